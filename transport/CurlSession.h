// The libcurl easy handle of one transport object, the session of the POSIX transport.
#pragma once

#include <exception>
#include <string>

#include "ClientKey.h"
#include "CurlHandles.h"
#include "HttpSession.h"

class CurlSession final : public HttpSession {
public:
    // Throws TransportFailure when libcurl cannot be set up.
    CurlSession();

    void perform(const HttpRequest& request, const TransportReporter& reporter) override;

private:
    struct Transfer;
    static size_t receiveBody(char* bytes, size_t size, size_t count, void* transfer);
    static size_t receiveHeader(char* bytes, size_t size, size_t count, void* transfer);

    // `clientKey`: the client certificate's key as unencrypted PEM, or none.
    void configure(const HttpRequest& request, const std::string& address,
                   const std::string* clientKey, curl_slist* headers, Transfer& transfer,
                   char* errorBuffer);

    CurlEasy m_handle;
    ClientKey m_clientKey;
};
