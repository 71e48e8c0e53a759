// The error boundary of the transport's methods: whatever the body raises becomes the method's
// result, an error object with the text in plain words, and a trace.
#pragma once

#include <exception>
#include <new>
#include <string>

#include <velcom/com.h>

#include "TransportFailure.h"
#include "TransportReporter.h"
#include "text/AnsiText.h"

// Sets the thread's error object for IvelTransport (or clears it for an empty description).
void setTransportErrorInfo(const std::string& description);

// Traces "velTransport <method> failed: <description>", sets the error object, returns code.
HRESULT failTransportCall(const TransportReporter& reporter, const char* method, HRESULT code,
                          const std::string& description);

template <class Body>
HRESULT transportFrame(const TransportReporter& reporter, const char* method, Body body) {
    try {
        setTransportErrorInfo({});
        return body();
    } catch (const TransportFailure& failure) {
        return failTransportCall(reporter, method, failure.code(), failure.what());
    } catch (const _com_error& error) {
        const std::u16string description = error.Description();
        return failTransportCall(reporter, method, error.Error(),
                                 description.empty() ? error.ErrorMessage() : toAnsi(description));
    } catch (const std::bad_alloc&) {
        return failTransportCall(reporter, method, E_OUTOFMEMORY, "out of memory");
    } catch (const std::exception& error) {
        return failTransportCall(reporter, method, E_FAIL, error.what());
    }
}
