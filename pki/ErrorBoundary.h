// The error boundary of every automation method of the component: whatever the body raises
// becomes the method's failing HRESULT, an error object with the reason for the caller's
// GetErrorInfo, and a level 7 trace; a method that succeeds leaves no stale error object behind.
#pragma once

#include <exception>
#include <new>
#include <string>

#include <velcom/com.h>

#include "PkiFailure.h"

HRESULT reportFailure(REFIID iid, const char* method, HRESULT code, const std::string& text);
void clearErrorObject();

template <class Body>
HRESULT errorBoundary(REFIID iid, const char* method, Body body) {
    try {
        body();
        clearErrorObject();
        return S_OK;
    } catch (const PkiFailure& failure) {
        return reportFailure(iid, method, failure.code(), failure.what());
    } catch (const _com_error& error) {
        return reportFailure(iid, method, error.Error(), "a call on another object failed");
    } catch (const std::bad_alloc&) {
        return reportFailure(iid, method, E_OUTOFMEMORY, "out of memory");
    } catch (const std::exception& error) {
        return reportFailure(iid, method, E_FAIL, error.what());
    }
}

// The output pointer of a method checked before its body runs.
template <class Pointer>
void requireOut(Pointer* pointer) {
    if (pointer == nullptr) failWith(E_POINTER, "no place for the result");
}
