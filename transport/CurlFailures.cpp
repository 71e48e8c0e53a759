#include "CurlFailures.h"

#include <velTransport/TransportErrors.h>

namespace {

struct Meaning {
    DWORD error;
    const char* words;
};

Meaning meaningOf(CURLcode code) {
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return {ERROR_INTERNET_NAME_NOT_RESOLVED, "cannot find the address of"};
        case CURLE_COULDNT_CONNECT:
            return {ERROR_INTERNET_CANNOT_CONNECT, "cannot connect to"};
        case CURLE_OPERATION_TIMEDOUT:
            return {ERROR_INTERNET_TIMEOUT, "timed out waiting for"};
        case CURLE_PARTIAL_FILE:
            return {ERROR_INTERNET_CONNECTION_ABORTED,
                    "the connection closed before the whole answer arrived from"};
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
            return {ERROR_INTERNET_CONNECTION_RESET, "the connection broke off with"};
        // libcurl refuses a reply without an HTTP status line as HTTP/0.9 with this code; an
        // address of another scheme never gets this far (parseAddress).
        case CURLE_UNSUPPORTED_PROTOCOL:
        case CURLE_GOT_NOTHING:
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_HTTP2:
        case CURLE_BAD_CONTENT_ENCODING:
            return {ERROR_HTTP_INVALID_SERVER_RESPONSE, "no valid answer came from"};
        case CURLE_SSL_CONNECT_ERROR:
            return {ERROR_INTERNET_SECURITY_CHANNEL_ERROR,
                    "cannot set up a secure connection with"};
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
            return {ERROR_INTERNET_INVALID_CA, "cannot trust the certificate of"};
        case CURLE_SSL_CERTPROBLEM:
            return {ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED,
                    "cannot use the client certificate or its key for"};
        case CURLE_URL_MALFORMAT:
            return {ERROR_INTERNET_INVALID_URL, "the address is not valid for"};
        case CURLE_FILESIZE_EXCEEDED:
            return {ERROR_HTTP_ANSWER_TOO_LARGE,
                    "an answer larger than VELTRANSPORT_MAX_ANSWER allows came from"};
        case CURLE_TOO_MANY_REDIRECTS:
            return {ERROR_HTTP_REDIRECT_FAILED, "too many redirections from"};
        default:
            return {ERROR_INTERNET_INTERNAL_ERROR, "the request failed with"};
    }
}

}  // namespace

TransportFailure curlFailure(CURLcode code, const std::string& host, long port,
                             const std::string& detail, const std::optional<ProxyInUse>& proxy) {
    if (code == CURLE_OUT_OF_MEMORY) return TransportFailure(E_OUTOFMEMORY, "out of memory");
    const Meaning meaning = meaningOf(code);
    // Through a proxy, libcurl itself connects to nothing but the proxy.
    if (proxy && (code == CURLE_COULDNT_RESOLVE_PROXY || code == CURLE_COULDNT_CONNECT))
        return serverFailure(meaning.error, meaning.words, "the proxy " + proxy->strHost,
                             proxy->lPort, detail);
    return serverFailure(meaning.error, meaning.words, host, port, detail);
}
