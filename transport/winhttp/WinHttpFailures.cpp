#include "WinHttpFailures.h"

namespace {

const char* wordsFor(DWORD error) {
    switch (error) {
        case ERROR_WINHTTP_NAME_NOT_RESOLVED:
            return "cannot find the address of";
        case ERROR_WINHTTP_CANNOT_CONNECT:
            return "cannot connect to";
        case ERROR_WINHTTP_TIMEOUT:
            return "timed out waiting for";
        case ERROR_WINHTTP_CONNECTION_ERROR:
            return "the connection broke off with";
        case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
        case ERROR_WINHTTP_HEADER_NOT_FOUND:
            return "no valid answer came from";
        case ERROR_WINHTTP_SECURE_FAILURE:
        case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
            return "cannot set up a secure connection with";
        case ERROR_WINHTTP_SECURE_INVALID_CA:
        case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
        case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
        case ERROR_WINHTTP_SECURE_INVALID_CERT:
        case ERROR_WINHTTP_SECURE_CERT_REVOKED:
            return "cannot trust the certificate of";
        case ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED:
            return "a client certificate is needed for";
        case ERROR_WINHTTP_INVALID_URL:
            return "the address is not valid for";
        case ERROR_WINHTTP_UNRECOGNIZED_SCHEME:
            return "the address is neither http nor https for";
        case ERROR_WINHTTP_REDIRECT_FAILED:
            return "too many redirections from";
        default:
            return "the request failed with";
    }
}

}  // namespace

TransportFailure winHttpFailure(DWORD error, const std::string& host, INTERNET_PORT port,
                                const std::string& step, const std::optional<ProxyInUse>& proxy) {
    if (error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY)
        return TransportFailure(E_OUTOFMEMORY, "out of memory");
    const std::string detail = step + ", WinHTTP error " + std::to_string(error);
    if (proxy &&
        (error == ERROR_WINHTTP_NAME_NOT_RESOLVED || error == ERROR_WINHTTP_CANNOT_CONNECT))
        return serverFailure(error, wordsFor(error), "the proxy " + proxy->strHost, proxy->lPort,
                             detail);
    return serverFailure(error, wordsFor(error), host, port, detail);
}
