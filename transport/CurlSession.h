// The libcurl easy handle of one transport object. It is kept across requests, so that its
// connections stay open for the next request to the same server.
#pragma once

#include <exception>
#include <string>

#include "CurlHandles.h"
#include "HttpRequest.h"
#include "TransportReporter.h"

class CurlSession {
public:
    // Throws TransportFailure when libcurl cannot be set up.
    CurlSession();

    // Carries out the request, handing the answer's bytes to the reporter as they arrive, its
    // progress and, at the end, its status line. Throws TransportFailure when the answer could
    // not be received whole; an answer with an error status is still an answer.
    void perform(const HttpRequest& request, const TransportReporter& reporter);

private:
    struct Transfer;
    static size_t receiveBody(char* bytes, size_t size, size_t count, void* transfer);
    static size_t receiveHeader(char* bytes, size_t size, size_t count, void* transfer);

    void configure(const HttpRequest& request, const std::string& address, curl_slist* headers,
                   Transfer& transfer, char* errorBuffer);

    CurlEasy m_handle;
};
