// velTransport.dll beside the test program, loaded as a host loads it, against loopback servers
// that answer with bytes of the test's choosing: what WinHTTP (Wine's here) lets through to the
// component, and the failures it leaves to the transport.
#include <stdlib.h>
#include <winsock2.h>

#include <winhttp.h>

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include <velTesseraComm/velTesseraComm.h>
#include <velTransport/TransportErrors.h>

#include "StoredClientCertificate.h"
#include "support/DispatchStub.h"
#include "support/RecordingBackChannel.h"

namespace {

// A server on a free loopback port that reads each request's head, keeps it, and answers every
// connection with the same bytes before closing it.
class CannedServer {
public:
    explicit CannedServer(std::string answer) : m_answer(std::move(answer)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof address;
        bind(m_listener.socket, reinterpret_cast<sockaddr*>(&address), size);
        listen(m_listener.socket, SOMAXCONN);
        getsockname(m_listener.socket, reinterpret_cast<sockaddr*>(&address), &size);
        m_address = address;
        m_thread = std::thread([this] { serve(); });
    }
    ~CannedServer() {
        m_stopping = true;
        // A connection of its own wakes the thread waiting for the next one.
        const Socket wake;
        connect(wake.socket, reinterpret_cast<const sockaddr*>(&m_address), sizeof m_address);
        m_thread.join();
    }
    std::string url() const {
        return "http://127.0.0.1:" + std::to_string(ntohs(m_address.sin_port)) + "/";
    }
    std::string received() const {
        const std::lock_guard lock(m_lock);
        return m_received;
    }

private:
    struct Socket {
        SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        ~Socket() { closesocket(socket); }
    };

    void serve() {
        while (true) {
            const Socket client{accept(m_listener.socket, nullptr, nullptr)};
            if (m_stopping || client.socket == INVALID_SOCKET) return;
            // A client that never finishes its request cannot hold the server up.
            const DWORD limit = 5000;
            setsockopt(client.socket, SOL_SOCKET, SO_RCVTIMEO,
                       reinterpret_cast<const char*>(&limit), sizeof limit);
            std::string head;
            char buffer[4096];
            for (int got = 0; head.find("\r\n\r\n") == std::string::npos &&
                              (got = recv(client.socket, buffer, sizeof buffer, 0)) > 0;)
                head.append(buffer, static_cast<std::size_t>(got));
            {
                const std::lock_guard lock(m_lock);
                m_received += head;
            }
            send(client.socket, m_answer.data(), static_cast<int>(m_answer.size()), 0);
            shutdown(client.socket, SD_SEND);
        }
    }

    const std::string m_answer;
    Socket m_listener;
    sockaddr_in m_address{};
    std::atomic<bool> m_stopping{false};
    mutable std::mutex m_lock;
    std::string m_received;
    std::thread m_thread;
};

// An answer of the status line, the header lines and the page, which announces its size unless
// told not to; the server's closing of the connection ends it then.
std::string answer(const std::string& status, const std::string& headers, const std::string& page,
                   bool sized = true) {
    return "HTTP/1.1 " + status + "\r\n" + headers +
           (sized ? "Content-Length: " + std::to_string(page.size()) + "\r\n" : "") +
           "Connection: close\r\n\r\n" + page;
}

struct LibraryFree {
    void operator()(HMODULE library) const { FreeLibrary(library); }
};

class TransportUnderWineTest : public ::testing::Test {
protected:
    void SetUp() override {
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        // A request that goes wrong fails the row instead of stalling the run.
        _putenv_s("VELTRANSPORT_TIMEOUT", "10");
        // Wine's WinHTTP takes the machine's proxy from here, and the servers are on loopback.
        _putenv_s("http_proxy", "");
        m_library.reset(LoadLibraryA("velTransport.dll"));
        ASSERT_NE(m_library, nullptr) << GetLastError();
        renewTransport();
    }
    void TearDown() override {
        transport.reset();
        for (const char* name : {"VELTRANSPORT_TIMEOUT", "VELTRANSPORT_MAX_ANSWER",
                                 "VELTRANSPORT_CA_BUNDLE", "http_proxy"})
            _putenv_s(name, "");
        CoUninitialize();
        WSACleanup();
    }

    // A transport object of its own, whose session reads the system's proxy afresh.
    void renewTransport() {
        const auto getClassObject =
            reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
                reinterpret_cast<void (*)()>(GetProcAddress(m_library.get(), "DllGetClassObject")));
        ASSERT_NE(getClassObject, nullptr);
        velcom::ComPtr<IClassFactory> factory;
        ASSERT_EQ(getClassObject(CLSID_velTransport, IID_IClassFactory, factory.putVoid()), S_OK);
        transport.reset();
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IvelTransport, transport.putVoid()), S_OK);
        ASSERT_EQ(transport->Init(&host, nullptr), S_OK);
    }

    HRESULT get(const std::string& url, const std::vector<std::string>& headers,
                const std::string& options = "") {
        forgotten = host.calls().size();
        velcom::Variant headerList = makeStringList(headers), noFields;
        return transport->Get(toBstr(options).get(), toBstr(url).get(), *headerList.get(),
                              *noFields.get());
    }
    std::string page() const {
        std::string bytes;
        const auto calls = host.calls();
        for (std::size_t index = forgotten; index < calls.size(); ++index)
            if (calls[index].kind == "Data") bytes += calls[index].dataBytes;
        return bytes;
    }
    static std::string errorDescription() {
        velcom::ComPtr<IErrorInfo> info;
        velcom::Bstr description;
        if (GetErrorInfo(0, info.put()) == S_OK) info->GetDescription(description.put());
        return toAnsi(description.get());
    }

    static std::string fileText(const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }
    static std::string variable(const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr ? value : "";
    }

    std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryFree> m_library;
    RecordingBackChannel host;
    velcom::ComPtr<IvelTransport> transport;
    std::size_t forgotten = 0;
};

// Servers as they are, through WinHTTP: the page reaches the component with its bytes as sent,
// or the request fails with its own code and says why; every request names the component.
TEST_F(TransportUnderWineTest, ServersAsTheyAreGiveThePageOrTheirOwnErrors) {
    const auto failed = [](DWORD error) { return HRESULT_FROM_WIN32(error); };
    const std::string html = "Content-Type: text/html\r\n";
    const std::string markup = "<!-- ???\r\nReturn=R\r\n-->";
    // outcome: the page, or a part of the failure's text when no page arrives.
    struct Row {
        const char* name;
        std::string answer;
        HRESULT result;
        std::string outcome;
        const char* maxAnswer = "";
        std::vector<std::string> headers = {};
    };
    const Row rows[] = {
        {"not found, no markup", answer("404 Not Found", html, "gone"),
         failed(ERROR_INTERNET_EXTENDED_ERROR), "(HTTP/1.1 404 Not Found)"},
        {"server error, no markup", answer("500 Internal Server Error", html, "broken"),
         failed(ERROR_INTERNET_EXTENDED_ERROR), "(HTTP/1.1 500 Internal Server Error)"},
        {"server error with markup", answer("500 Internal Server Error", html, markup), S_OK,
         markup},
        {"declared ISO-8859-1",
         answer("200 OK", "Content-Type: text/html; charset=ISO-8859-1\r\n", "J\xFCrgen"), S_OK,
         "J\xFCrgen"},
        {"announced size over the limit", answer("200 OK", html, "four"),
         failed(ERROR_HTTP_ANSWER_TOO_LARGE), "(4 bytes announced, 3 allowed)", "3"},
        {"unannounced size over the limit", answer("200 OK", html, "four", false),
         failed(ERROR_HTTP_ANSWER_TOO_LARGE), "(more than 3 bytes)", "3"},
        {"not HTTP", "SSH-2.0-OpenSSH_9.2p1 Debian-2\r\nInvalid SSH identification string.\r\n",
         failed(ERROR_HTTP_INVALID_SERVER_RESPONSE), "no valid answer came from 127.0.0.1 port "},
        {"header line with CR LF",
         answer("200 OK", html, "page"),
         E_INVALIDARG,
         "the header line 2 holds a line break",
         "",
         {"X-A: 1", "X-Tessera: a\r\nX-B: b"}},
    };
    const std::string agent = "\r\nUser-Agent: velTesseraComm/" VEL_PROJECT_VERSION "\r\n";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        _putenv_s("VELTRANSPORT_MAX_ANSWER", row.maxAnswer);
        const CannedServer server(row.answer);
        const HRESULT result = get(server.url(), row.headers);
        const std::string description = errorDescription();
        EXPECT_EQ(result, row.result) << description;
        if (row.result == S_OK) {
            EXPECT_EQ(page(), row.outcome);
        } else {
            EXPECT_EQ(page(), "") << "nothing of a failed answer reaches the component";
            EXPECT_NE(description.find(row.outcome), std::string::npos) << description;
        }
        // A refused header line sends nothing at all.
        EXPECT_EQ(server.received().find(agent) != std::string::npos, row.result != E_INVALIDARG)
            << server.received();
    }
}

// A proxy that cannot be found or reached is named, not the server behind it. The rows set the
// machine's proxy, as `netsh winhttp set proxy` does.
TEST_F(TransportUnderWineTest, FailuresToReachTheProxyNameTheProxy) {
    const auto failed = [](DWORD error) { return HRESULT_FROM_WIN32(error); };
    struct Row {
        const wchar_t* proxy;
        const wchar_t* bypass;
        HRESULT result;
        const char* text;
    };
    const Row rows[] = {
        {L"127.0.0.1:2", L"", failed(ERROR_INTERNET_CANNOT_CONNECT),
         "cannot connect to the proxy 127.0.0.1 port 2 ("},
        {L"nosuch.invalid:3128", L"", failed(ERROR_INTERNET_NAME_NOT_RESOLVED),
         "cannot find the address of the proxy nosuch.invalid port 3128 ("},
        // Bypassed, the unknown proxy would fail otherwise.
        {L"nosuch.invalid:3128", L"<local>;127.0.0.1", failed(ERROR_INTERNET_CANNOT_CONNECT),
         "cannot connect to 127.0.0.1 port 1 ("},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.proxy << " bypassed by " << row.bypass);
        WINHTTP_PROXY_INFO machine{WINHTTP_ACCESS_TYPE_NAMED_PROXY, const_cast<wchar_t*>(row.proxy),
                                   const_cast<wchar_t*>(row.bypass)};
        EXPECT_TRUE(WinHttpSetDefaultProxyConfiguration(&machine)) << GetLastError();
        // The session takes the machine's proxy when it opens.
        renewTransport();
        EXPECT_EQ(get("http://127.0.0.1:1/", {}), row.result);
        const std::string description = errorDescription();
        EXPECT_EQ(description.rfind(row.text, 0), 0u) << description;
    }
    WINHTTP_PROXY_INFO none{WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr};
    WinHttpSetDefaultProxyConfiguration(&none);
}

// HTTPS to a server whose certificate a private authority issued (run_with_tls_server.sh): the
// bundle's authorities are trusted, a server none of them vouches for gets nothing of the request,
// and the client certificate is the user's store's, found by the certificate of the -oc file.
TEST_F(TransportUnderWineTest, HttpsTrustsTheBundleAndPresentsTheStoredCertificate) {
    const std::string url = variable("VEL_TLS_SERVER"), clientPem = variable("VEL_TLS_CLIENT_PEM"),
                      authority = variable("VEL_TLS_AUTHORITY");
    ASSERT_NE(url, "") << "run by run_with_tls_server.sh";
    StoredClientCertificate stored(L"velTransport Wine client", clientPem);
    const auto failed = [](DWORD error) { return HRESULT_FROM_WIN32(error); };
    // outcome: the page, or a part of the failure's text.
    struct Row {
        const char* name;
        std::string bundle;
        std::string options;
        HRESULT result;
        std::string outcome;
        bool keyGone = false;
    };
    const Row rows[] = {
        {"the system's store alone", "", "", failed(ERROR_INTERNET_SECURITY_CHANNEL_ERROR),
         "cannot set up a secure connection with"},
        {"another authority's bundle", variable("VEL_TLS_OTHER_AUTHORITY"), "",
         failed(ERROR_INTERNET_INVALID_CA), "no authority of VELTRANSPORT_CA_BUNDLE issued it"},
        {"the bundle vouches", authority, "", S_OK, "no client certificate"},
        {"the stored client certificate", authority, "-oc" + clientPem + " -pkkey.pem -ppsecret",
         S_OK, "served to velTransport Wine client"},
        {"a certificate the store lacks", authority, "-oc" + authority,
         failed(ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED), "is not in the user's store"},
        {"a stored certificate whose key is gone", authority, "-oc" + clientPem,
         failed(ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED), "has no usable key", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        _putenv_s("VELTRANSPORT_CA_BUNDLE", row.bundle.c_str());
        if (row.keyGone) stored.forgetKey();
        const std::string secret = "secret-" + std::to_string(&row - rows);
        const HRESULT result = get(url + "?" + secret, {}, row.options);
        const std::string description = errorDescription();
        EXPECT_EQ(result, row.result) << description;
        if (row.result == S_OK)
            EXPECT_EQ(page(), row.outcome);
        else
            EXPECT_NE(description.find(row.outcome), std::string::npos) << description;
        EXPECT_EQ(fileText(variable("VEL_TLS_LOG")).find(secret) != std::string::npos,
                  row.result == S_OK);
    }
}

}  // namespace
