#include "CurlSession.h"

#include <strings.h>

#include <algorithm>
#include <new>
#include <optional>

#include "AnswerDelivery.h"
#include "CurlFailures.h"
#include "PageCharset.h"
#include "RequestText.h"
#include "UserAgent.h"

struct CurlSession::Transfer {
    CURL* handle;
    const TransportReporter& reporter;
    const std::string& address;
    const ParsedAddress& server;
    AnswerDelivery delivery;
    std::string statusLine;
    bool encoded = false;
    // Made with the final answer's head, before its first bytes.
    std::optional<PageCharset> page;
    // What a callback raised; libcurl is C and must not be unwound through.
    std::exception_ptr failure;

    // The final answer's head, once: after a redirection libcurl reads the next answer's.
    void begin() {
        long status = 0;
        curl_off_t expected = -1;
        const char* contentType = nullptr;
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
        curl_easy_getinfo(handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected);
        curl_easy_getinfo(handle, CURLINFO_CONTENT_TYPE, &contentType);
        delivery.begin(status, statusLine, expected, encoded);
        page.emplace(delivery, contentType != nullptr ? contentType : "", server.strHost,
                     server.lPort);
    }
};

namespace {

constexpr long kMaximumRedirections = 10;

void set(CURL* handle, CURLoption option, auto value) {
    const CURLcode result = curl_easy_setopt(handle, option, value);
    if (result == CURLE_OUT_OF_MEMORY) throw std::bad_alloc();
    if (result != CURLE_OK)
        throw TransportFailure(
            E_FAIL, std::string("libcurl refused an option (") + curl_easy_strerror(result) + ")");
}

}  // namespace

std::unique_ptr<HttpSession> makeHttpSession() { return std::make_unique<CurlSession>(); }

CurlSession::CurlSession() {
    if (!initializeCurlOnce()) throw TransportFailure(E_FAIL, "libcurl cannot be initialised");
    m_handle.reset(curl_easy_init());
    if (!m_handle) throw TransportFailure(E_OUTOFMEMORY, "libcurl has no memory for a handle");
}

void CurlSession::configure(const HttpRequest& request, const std::string& address,
                            const std::string* clientKey, curl_slist* headers, Transfer& transfer,
                            char* errorBuffer) {
    CURL* handle = m_handle.get();
    // Forgets the last request's options, not its open connections.
    curl_easy_reset(handle);
    set(handle, CURLOPT_ERRORBUFFER, errorBuffer);
    set(handle, CURLOPT_NOSIGNAL, 1L);
    set(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    set(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    set(handle, CURLOPT_URL, address.c_str());
    set(handle, CURLOPT_HTTPHEADER, headers);
    set(handle, CURLOPT_WRITEFUNCTION, &CurlSession::receiveBody);
    set(handle, CURLOPT_WRITEDATA, &transfer);
    set(handle, CURLOPT_HEADERFUNCTION, &CurlSession::receiveHeader);
    set(handle, CURLOPT_HEADERDATA, &transfer);
    set(handle, CURLOPT_USERAGENT, kUserAgent);
    // Every encoding this libcurl decodes (gzip, deflate and others) is offered and decoded.
    set(handle, CURLOPT_ACCEPT_ENCODING, "");
    set(handle, CURLOPT_CONNECTTIMEOUT_MS, request.settings.lConnectTimeoutMs);
    set(handle, CURLOPT_TIMEOUT_MS, request.settings.lTimeoutMs);
    // "-ssl3" or not: nothing older than TLS 1.2 is safe any more.
    set(handle, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    if (!request.settings.strCaBundle.empty())
        set(handle, CURLOPT_CAINFO, request.settings.strCaBundle.c_str());
    const TransportOptions& options = request.options;
    if (!options.strCertFile.empty()) set(handle, CURLOPT_SSLCERT, options.strCertFile.c_str());
    if (clientKey != nullptr) {
        curl_blob blob{const_cast<char*>(clientKey->data()), clientKey->size(), CURL_BLOB_COPY};
        set(handle, CURLOPT_SSLKEY_BLOB, &blob);
        set(handle, CURLOPT_SSLKEYTYPE, "PEM");
        // libcurl would reuse a connection opened with the same key without the key's password
        // being proven again; each client-authenticated request proves it and has a connection
        // of its own, which no later request inherits.
        set(handle, CURLOPT_FRESH_CONNECT, 1L);
        set(handle, CURLOPT_FORBID_REUSE, 1L);
    }
    if (request.bPost) {
        const std::string form = encodeForm(handle, request.vecFields);
        // When a kept-alive connection breaks before any answer, libcurl sends the request again
        // on a new one, unseen; a form the server may already have taken must not go twice, so
        // it goes on a connection of its own, which libcurl never retries.
        set(handle, CURLOPT_FRESH_CONNECT, 1L);
        set(handle, CURLOPT_POST, 1L);
        set(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(form.size()));
        set(handle, CURLOPT_COPYPOSTFIELDS, form.c_str());
    } else {
        // A form submission must not be repeated elsewhere; a page may move.
        set(handle, CURLOPT_HTTPGET, 1L);
        set(handle, CURLOPT_FOLLOWLOCATION, 1L);
        set(handle, CURLOPT_MAXREDIRS, kMaximumRedirections);
    }
}

void CurlSession::perform(const HttpRequest& request, const TransportReporter& reporter) {
    ParsedAddress address = parseAddress(request.strAddress);
    const std::string target =
        request.bPost ? request.strAddress
                      : addressWithQuery(address, encodeForm(m_handle.get(), request.vecFields));
    const CurlList headers = headerList(request.vecHeaders);
    Transfer transfer{m_handle.get(),
                      reporter,
                      request.strAddress,
                      address,
                      AnswerDelivery(reporter, request.strAddress, request.settings.llMaxAnswer,
                                     address.strHost, address.lPort),
                      {},
                      false,
                      {},
                      {}};
    char errorBuffer[CURL_ERROR_SIZE] = {};
    const std::string* clientKey =
        request.options.strKeyFile.empty()
            ? nullptr
            : &m_clientKey.unlocked(request.options, address.strHost, address.lPort);
    configure(request, target, clientKey, headers.get(), transfer, errorBuffer);

    const CURLcode result = curl_easy_perform(m_handle.get());
    // The buffer must not outlive this call in the handle.
    curl_easy_setopt(m_handle.get(), CURLOPT_ERRORBUFFER, nullptr);
    if (transfer.failure) std::rethrow_exception(transfer.failure);
    if (result != CURLE_OK)
        throw curlFailure(result, address.strHost, address.lPort,
                          errorBuffer[0] != '\0' ? errorBuffer : curl_easy_strerror(result),
                          proxyFor(address.strScheme, address.strHost));
    if (!transfer.delivery.begun()) transfer.begin();
    transfer.page->finish();
    transfer.delivery.finish();
}

size_t CurlSession::receiveBody(char* bytes, size_t size, size_t count, void* context) {
    auto& transfer = *static_cast<Transfer*>(context);
    try {
        const std::size_t length = size * count;
        if (!transfer.delivery.begun()) transfer.begin();
        transfer.page->take(std::string_view(bytes, length));
        // Both before decoding: a compressed answer announces its compressed size.
        curl_off_t expected = -1, received = 0;
        curl_easy_getinfo(transfer.handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected);
        curl_easy_getinfo(transfer.handle, CURLINFO_SIZE_DOWNLOAD_T, &received);
        const SHORT percent =
            expected > 0 ? static_cast<SHORT>(std::min<curl_off_t>(received * 100 / expected, 100))
                         : SHORT{-1};
        transfer.reporter.progress(transfer.address, percent);
        return length;
    } catch (...) {
        transfer.failure = std::current_exception();
        return 0;
    }
}

size_t CurlSession::receiveHeader(char* bytes, size_t size, size_t count, void* context) {
    auto& transfer = *static_cast<Transfer*>(context);
    const std::string_view line(bytes, size * count);
    try {
        // The last response's head: after a redirection or a 100 Continue another follows.
        if (line.starts_with("HTTP/")) {
            transfer.statusLine = line.substr(0, line.find_last_not_of("\r\n") + 1);
            transfer.encoded = false;
        } else if (line.size() > 17 && strncasecmp(line.data(), "Content-Encoding:", 17) == 0) {
            transfer.encoded = true;
        }
    } catch (...) {
        transfer.failure = std::current_exception();
        return 0;
    }
    return line.size();
}
