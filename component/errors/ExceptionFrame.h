// The error boundary of an automation method: whatever the body raises becomes the method's
// result, a level 7 trace located at the frame's source line, and an error callback.
#pragma once

#include <exception>

#include <velcom/com.h>

#include "Utility/ExceptionBase.h"
#include "errors/ErrorReporting.h"

template <class Body>
HRESULT exceptionFrame(const char* source, int line, Body body) {
    try {
        return body();
    } catch (const _com_error& error) {
        return handleComError(error, source, line);
    } catch (const ExceptionBase& error) {
        return handleExceptionBase(error, source, line);
    } catch (const std::exception& error) {
        return handleStdException(error, source, line);
    }
}
