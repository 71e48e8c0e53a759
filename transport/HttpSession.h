// What carries a transport object's requests: libcurl on POSIX, WinHTTP on Windows. One session
// per transport object, made on its first request and kept, so that connections stay open for the
// next request to the same server.
#pragma once

#include <memory>

#include "HttpRequest.h"
#include "TransportReporter.h"

class HttpSession {
public:
    virtual ~HttpSession() = default;

    // Carries out the request, handing the answer's bytes to the reporter as they arrive, its
    // progress and, at the end, its status line. Throws TransportFailure when the answer could
    // not be received whole; an answer with an error status is still an answer.
    virtual void perform(const HttpRequest& request, const TransportReporter& reporter) = 0;
};

// Throws TransportFailure when the HTTP library cannot be set up.
std::unique_ptr<HttpSession> makeHttpSession();
