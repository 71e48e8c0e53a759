// The error boundary of an automation method: whatever the body raises becomes the method's
// result, a level 7 trace located at the frame's source line, and an error callback.
#pragma once

#include <exception>
#include <new>

#include <velcom/com.h>

#include "Utility/ExceptionBase.h"
#include "errors/ErrorReporting.h"

template <class Body>
HRESULT exceptionFrame(const char* source, int line, Body body) {
    try {
        try {
            return body();
        } catch (const _com_error& error) {
            return handleComError(error, source, line);
        } catch (const ExceptionBase& error) {
            return handleExceptionBase(error, source, line);
        } catch (const std::exception& error) {
            return handleStdException(error, source, line);
        }
    } catch (const _com_error& failure) {
        // A handler whose trace or report could not be made, for lack of memory: nothing may
        // leave the method but its result.
        return failure.Error();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
