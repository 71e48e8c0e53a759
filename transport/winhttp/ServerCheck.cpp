#include "ServerCheck.h"

#include <vector>

#include "WinHttpFailures.h"

namespace {

// Enough for any start page; a longer one is not kept open for the request.
constexpr DWORD kMostProbeBytes = 1 << 20;

struct Check {
    const AuthorityBundle& bundle;
    bool checked = false;
    bool vouched = false;
};

void CALLBACK onSending(HINTERNET request, DWORD_PTR context, DWORD status, LPVOID, DWORD) {
    if (status != WINHTTP_CALLBACK_STATUS_SENDING_REQUEST) return;
    auto& check = *reinterpret_cast<Check*>(context);
    PCCERT_CONTEXT presented = nullptr;
    DWORD size = sizeof presented;
    if (WinHttpQueryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &presented, &size)) {
        const CertContext server(presented);
        check.vouched = check.bundle.vouchesFor(server.get());
    }
    check.checked = true;
    // Whatever the server answers, a connection the bundle does not vouch for ends with it.
    if (!check.vouched) {
        DWORD keepAlive = WINHTTP_DISABLE_KEEP_ALIVE;
        WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &keepAlive, sizeof keepAlive);
    }
}

}  // namespace

bool bundleVouchesForServer(HINTERNET probe, const AuthorityBundle& bundle, const std::string& host,
                            INTERNET_PORT port) {
    const auto failure = [&](const char* step) {
        const DWORD error = GetLastError();
        return winHttpFailure(error, host, port, step);
    };
    // The name and the dates are still WinHTTP's to check.
    DWORD allowance = SECURITY_FLAG_IGNORE_UNKNOWN_CA;
    if (!WinHttpSetOption(probe, WINHTTP_OPTION_SECURITY_FLAGS, &allowance, sizeof allowance))
        throw failure("allowing the bundle's authority");
    if (WinHttpSetStatusCallback(probe, onSending, WINHTTP_CALLBACK_FLAG_SEND_REQUEST, 0) ==
        WINHTTP_INVALID_STATUS_CALLBACK)
        throw failure("watching the connection to check its certificate");
    Check check{bundle};
    if (!WinHttpSendRequest(probe, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                            reinterpret_cast<DWORD_PTR>(&check)))
        throw failure("checking the server's certificate");
    if (!check.checked || !check.vouched) return false;
    // Read to its end, the answer leaves its connection open for the next request.
    if (!WinHttpReceiveResponse(probe, nullptr))
        throw failure("waiting for the answer that checks the server's certificate");
    std::vector<char> chunk(16384);
    DWORD total = 0;
    for (DWORD read = 0; total < kMostProbeBytes; total += read) {
        if (!WinHttpReadData(probe, chunk.data(), static_cast<DWORD>(chunk.size()), &read))
            throw failure("reading the answer that checks the server's certificate");
        if (read == 0) break;
    }
    return true;
}
