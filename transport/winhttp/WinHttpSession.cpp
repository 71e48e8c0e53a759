#include "WinHttpSession.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include <velTransport/TransportErrors.h>

#include "AnswerDelivery.h"
#include "FormEncoding.h"
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

}  // namespace

std::unique_ptr<HttpSession> makeHttpSession() { return std::make_unique<WinHttpSession>(); }

WinHttpSession::WinHttpSession()
    : m_session(WinHttpOpen(wide(kUserAgent).c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                            WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0)) {
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
    if (!request.options.strCertFile.empty() || !request.options.strKeyFile.empty())
        throw TransportFailure(HRESULT_FROM_WIN32(ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED),
                               "velTransport on Windows cannot present a client certificate "
                               "from PEM files (-oc, -pk)");
    if (!request.settings.strCaBundle.empty())
        reporter.trace(kTraceRequest,
                       std::string("velTransport on Windows trusts the system's authorities "
                                   "only and ignores ") +
                           kCaBundleVariable);
    const Deadline deadline(request.settings.lTimeoutMs);
    Address address = crack(request.strAddress);
    const std::string form = encodeForm(request.vecFields);
    if (!request.bPost && !form.empty())
        address.pathAndQuery +=
            (address.pathAndQuery.find(L'?') == std::wstring::npos ? L"?" : L"&") + wide(form);
    // Takes the thread's last error before anything else can change it.
    const auto failure = [&](const char* step) {
        const DWORD error = GetLastError();
        return winHttpFailure(error, address.hostText, address.port, step);
    };

    const WinHttpHandle connection(
        WinHttpConnect(m_session.get(), address.host.c_str(), address.port, 0));
    if (!connection) throw failure("opening a connection");
    const WinHttpHandle handle(
        WinHttpOpenRequest(connection.get(), request.bPost ? L"POST" : L"GET",
                           address.pathAndQuery.c_str(), nullptr, WINHTTP_NO_REFERER,
                           WINHTTP_DEFAULT_ACCEPT_TYPES, address.secure ? WINHTTP_FLAG_SECURE : 0));
    if (!handle) throw failure("opening the request");
    HINTERNET http = handle.get();
    const int connectMs = static_cast<int>(request.settings.lConnectTimeoutMs);
    if (!WinHttpSetTimeouts(http, connectMs, connectMs, deadline.remaining(), deadline.remaining()))
        throw failure("setting the time limits");
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
    if (!WinHttpSendRequest(
            http, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
            formSize != 0 ? const_cast<char*>(form.data()) : WINHTTP_NO_REQUEST_DATA, formSize,
            formSize, 0))
        throw failure("sending the request");
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
