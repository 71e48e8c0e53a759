// For the collection and its enumerator, whose members have no exception handlers of their own:
// a node's clone() may throw while a member makes a node object, and nothing may escape a COM call.
#pragma once

#include <exception>
#include <new>

#include <velcom/com.h>

#include "Utility/ExceptionBase.h"

// Runs call and gives its result; an exception that escapes it gives the code it carries, or
// E_OUTOFMEMORY for a failed allocation, or E_FAIL for any other standard exception.
template <class Call>
HRESULT resultOrExceptionCode(Call call) noexcept {
    try {
        return call();
    } catch (const _com_error& error) {
        return error.Error();
    } catch (const ExceptionBase& error) {
        return static_cast<HRESULT>(error.getCode());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::exception&) {
        return E_FAIL;
    }
}
