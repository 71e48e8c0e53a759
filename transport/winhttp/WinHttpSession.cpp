#include "WinHttpSession.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <velTransport/TransportErrors.h>

#include "AnswerDelivery.h"
#include "AuthorityBundle.h"
#include "ClientCertificate.h"
#include "FormEncoding.h"
#include "ServerCheck.h"
#include "UserAgent.h"
#include "WinHttpFailures.h"
#include "text/AnsiText.h"

namespace {

constexpr DWORD kChunkSize = 16384;
constexpr wchar_t kFormType[] = L"Content-Type: application/x-www-form-urlencoded";

std::wstring wide(const std::string& text) {
    const velcom::Bstr converted = toBstr(text);
    return std::wstring(converted.get(), SysStringLen(converted.get()));
}

// What WinHTTP needs of an address: the server, and what follows it up to a fragment, which
// stays with the client.
struct Address {
    std::wstring host;
    std::string hostText;
    INTERNET_PORT port = 0;
    bool secure = false;
    std::wstring pathAndQuery;
};

Address crack(const std::string& text) {
    const std::wstring address = wide(text);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(parts);
    parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength =
        parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(address.c_str(), static_cast<DWORD>(address.size()), 0, &parts))
        throw winHttpFailure(GetLastError(), {}, 0, "reading the address \"" + text + "\"");
    Address result;
    result.host.assign(parts.lpszHostName, parts.dwHostNameLength);
    result.hostText = toAnsi(result.host.c_str(), static_cast<UINT>(result.host.size()));
    result.port = parts.nPort;
    result.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    result.pathAndQuery.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    result.pathAndQuery.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    result.pathAndQuery.resize(
        std::min(result.pathAndQuery.find(L'#'), result.pathAndQuery.size()));
    if (result.pathAndQuery.empty() || result.pathAndQuery.front() != L'/')
        result.pathAndQuery.insert(0, L"/");
    return result;
}

// WinHTTP limits each step, not the whole request; the transport limits the whole request too.
class Deadline {
public:
    explicit Deadline(long milliseconds)
        : m_end(std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds)) {}
    // What is left, at least a millisecond; 0 once the time is up.
    int remaining() const {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            m_end - std::chrono::steady_clock::now());
        return left.count() > 0 ? static_cast<int>(std::max<long long>(left.count(), 1)) : 0;
    }

private:
    std::chrono::steady_clock::time_point m_end;
};

// A header of the answer as text; empty when the answer has none.
std::string headerText(HINTERNET request, DWORD query) {
    DWORD size = 0;
    WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER,
                        &size, WINHTTP_NO_HEADER_INDEX);
    if (size == 0) return {};
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    if (!WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &size,
                             WINHTTP_NO_HEADER_INDEX))
        return {};
    return toAnsi(text.c_str(), static_cast<UINT>(size / sizeof(wchar_t)));
}

bool headerNumber(HINTERNET request, DWORD query, DWORD& number) {
    DWORD size = sizeof(number);
    return WinHttpQueryHeaders(request, query | WINHTTP_QUERY_FLAG_NUMBER,
                               WINHTTP_HEADER_NAME_BY_INDEX, &number, &size,
                               WINHTTP_NO_HEADER_INDEX);
}

bool setNumber(HINTERNET handle, DWORD option, DWORD value) {
    return WinHttpSetOption(handle, option, &value, sizeof(value));
}

// Whether a request's https connection stays open: only the check of the server's certificate
// leaves it to the request that follows.
enum class KeepOpen { No, ForTheRequest };

// The failures of a certificate WinHTTP does not trust: Windows says 12045 or 12175, Wine's
// WinHTTP 12157 for every failed check.
bool untrusted(DWORD error) {
    return error == ERROR_WINHTTP_SECURE_INVALID_CA || error == ERROR_WINHTTP_SECURE_FAILURE ||
           error == ERROR_WINHTTP_SECURE_CHANNEL_ERROR;
}

}  // namespace

std::unique_ptr<HttpSession> makeHttpSession() { return std::make_unique<WinHttpSession>(); }

WinHttpSession::WinHttpSession()
    : m_session(WinHttpOpen(wide(kUserAgent).c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                            WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0)),
      m_proxy(SystemProxy::current()) {
    if (!m_session) throw winHttpFailure(GetLastError(), {}, 0, "opening a WinHTTP session");
    // gzip and deflate are asked for and decoded where the system can (Windows 8.1 and later);
    // elsewhere the server sends the page as it is.
    setNumber(m_session.get(), WINHTTP_OPTION_DECOMPRESSION, WINHTTP_DECOMPRESSION_FLAG_ALL);
    // Nothing older than TLS 1.2 is safe any more; a system without TLS 1.3 refuses its flag.
    if (!setNumber(m_session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS,
                   WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3) &&
        !setNumber(m_session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS,
                   WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2))
        throw winHttpFailure(GetLastError(), {}, 0, "allowing TLS 1.2 and newer only");
}

void WinHttpSession::perform(const HttpRequest& request, const TransportReporter& reporter) {
    const Deadline deadline(request.settings.lTimeoutMs);
    Address address = crack(request.strAddress);
    const std::string form = encodeForm(request.vecFields);
    if (!request.bPost && !form.empty())
        address.pathAndQuery +=
            (address.pathAndQuery.find(L'?') == std::wstring::npos ? L"?" : L"&") + wide(form);
    const std::optional<ProxyInUse> proxy =
        m_proxy.forServer(address.secure ? "https" : "http", address.hostText);
    // Takes the thread's last error before anything else can change it.
    const auto failure = [&](const char* step) {
        const DWORD error = GetLastError();
        return winHttpFailure(error, address.hostText, address.port, step, proxy);
    };
    const TransportOptions& options = request.options;
    if (options.strCertFile.empty() && !options.strKeyFile.empty())
        throw serverFailure(ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED,
                            "cannot use the client certificate for", address.hostText, address.port,
                            "a key file (-pk) without its certificate (-oc)");
    const CertContext clientCertificate =
        options.strCertFile.empty()
            ? CertContext()
            : storedClientCertificate(options.strCertFile, address.hostText, address.port);
    std::optional<AuthorityBundle> bundle;
    if (address.secure && !request.settings.strCaBundle.empty())
        bundle.emplace(request.settings.strCaBundle, address.hostText, address.port);

    const WinHttpHandle connection(
        WinHttpConnect(m_session.get(), address.host.c_str(), address.port, 0));
    if (!connection) throw failure("opening a connection");
    const int connectMs = static_cast<int>(request.settings.lConnectTimeoutMs);
    const auto open = [&](const wchar_t* verb, const wchar_t* path, KeepOpen keepOpen) {
        WinHttpHandle opened(WinHttpOpenRequest(connection.get(), verb, path, nullptr,
                                                WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                address.secure ? WINHTTP_FLAG_SECURE : 0));
        if (!opened) throw failure("opening the request");
        if (!WinHttpSetTimeouts(opened.get(), connectMs, connectMs, deadline.remaining(),
                                deadline.remaining()))
            throw failure("setting the time limits");
        // WinHTTP (Wine's at least) hands a kept connection to the next request for the same
        // server whatever its client certificate or check: an https connection serves one
        // request only, and a client certificate is presented on a connection of its own.
        if (keepOpen != KeepOpen::ForTheRequest && address.secure &&
            !setNumber(opened.get(), WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_KEEP_ALIVE))
            throw failure("closing the connection after the request");
        if (clientCertificate &&
            !WinHttpSetOption(opened.get(), WINHTTP_OPTION_CLIENT_CERT_CONTEXT,
                              const_cast<CERT_CONTEXT*>(clientCertificate.get()),
                              sizeof(CERT_CONTEXT)))
            throw failure("presenting the client certificate");
        return opened;
    };
    const auto send = [&](HINTERNET http) {
        // A form submission must not be repeated elsewhere; a page may move.
        if (request.bPost &&
            !setNumber(http, WINHTTP_OPTION_REDIRECT_POLICY, WINHTTP_OPTION_REDIRECT_POLICY_NEVER))
            throw failure("turning redirections off");
        for (const std::string& line : request.vecHeaders) {
            const std::wstring text = wide(line);
            // The name only: a value may be a secret.
            if (!line.empty() &&
                !WinHttpAddRequestHeaders(http, text.c_str(), static_cast<DWORD>(text.size()),
                                          WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE)) {
                const DWORD error = GetLastError();
                throw winHttpFailure(error, address.hostText, address.port,
                                     "adding the header " + line.substr(0, line.find(':')));
            }
        }
        if (request.bPost &&
            !WinHttpAddRequestHeaders(http, kFormType, static_cast<DWORD>(-1L),
                                      WINHTTP_ADDREQ_FLAG_ADD_IF_NEW) &&
            GetLastError() != ERROR_WINHTTP_HEADER_ALREADY_EXISTS)
            throw failure("adding the form's content type");
        const DWORD formSize = request.bPost ? static_cast<DWORD>(form.size()) : 0;
        return WinHttpSendRequest(
                   http, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                   formSize != 0 ? const_cast<char*>(form.data()) : WINHTTP_NO_REQUEST_DATA,
                   formSize, formSize, 0) != FALSE;
    };

    const wchar_t* verb = request.bPost ? L"POST" : L"GET";
    WinHttpHandle handle = open(verb, address.pathAndQuery.c_str(), KeepOpen::No);
    if (!send(handle.get())) {
        if (!bundle || !untrusted(GetLastError())) throw failure("sending the request");
        // The system's store does not vouch for the server: the bundle may.
        if (!bundleVouchesForServer(open(L"GET", L"/", KeepOpen::ForTheRequest).get(), *bundle,
                                    address.hostText, address.port))
            throw serverFailure(ERROR_WINHTTP_SECURE_INVALID_CA, "cannot trust the certificate of",
                                address.hostText, address.port,
                                std::string("no authority of ") + kCaBundleVariable +
                                    " issued it; the request was not sent");
        handle = open(verb, address.pathAndQuery.c_str(), KeepOpen::No);
        if (!send(handle.get())) throw failure("sending the request on the checked connection");
    }
    HINTERNET http = handle.get();
    if (!WinHttpReceiveResponse(http, nullptr)) throw failure("waiting for the answer");

    DWORD status = 0;
    if (!headerNumber(http, WINHTTP_QUERY_STATUS_CODE, status))
        throw failure("reading the answer's status");
    const std::string statusLine = headerText(http, WINHTTP_QUERY_VERSION) + " " +
                                   std::to_string(status) + " " +
                                   headerText(http, WINHTTP_QUERY_STATUS_TEXT);
    DWORD expected = 0;
    const bool sized = headerNumber(http, WINHTTP_QUERY_CONTENT_LENGTH, expected) && expected > 0;
    AnswerDelivery delivery(reporter, request.strAddress, request.settings.llMaxAnswer,
                            address.hostText, address.port);
    // The bytes stay as WinHTTP gives them, in the character set the page declares.
    delivery.begin(static_cast<long>(status), statusLine, sized ? std::int64_t{expected} : -1,
                   !headerText(http, WINHTTP_QUERY_CONTENT_ENCODING).empty());
    std::vector<char> chunk(kChunkSize);
    ULONGLONG received = 0;
    while (true) {
        const int left = deadline.remaining();
        if (left == 0)
            throw winHttpFailure(ERROR_WINHTTP_TIMEOUT, address.hostText, address.port,
                                 "waiting for the whole answer");
        if (!WinHttpSetTimeouts(http, connectMs, connectMs, left, left))
            throw failure("setting the time limits");
        DWORD read = 0;
        if (!WinHttpReadData(http, chunk.data(), kChunkSize, &read))
            throw failure("reading the answer");
        if (read == 0) break;
        delivery.take(std::string_view(chunk.data(), read));
        received += read;
        // Decompressed, more arrives than the compressed size announced.
        reporter.progress(request.strAddress, sized ? static_cast<SHORT>(std::min<ULONGLONG>(
                                                          received * 100 / expected, 100))
                                                    : SHORT{-1});
    }
    delivery.finish();
}
