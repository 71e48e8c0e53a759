// Requests through the transport module against loopback servers: what the server receives, what
// the host is handed, and the failures a host sees.
#include <velTransport/TransportErrors.h>
#include <zlib.h>

#include "TransportFixture.h"
#include "support/FaultProxy.h"

namespace {

// The text compressed in the zlib format that HTTP calls deflate, or with windowBits 31 in gzip.
std::string compressed(const std::string& text, int windowBits) {
    z_stream stream{};
    std::string result(compressBound(text.size()) + 32, '\0');
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(result.data());
    stream.avail_out = static_cast<uInt>(result.size());
    deflate(&stream, Z_FINISH);
    result.resize(stream.total_out);
    deflateEnd(&stream);
    return result;
}

TEST_F(TransportTest, IsADualInterfaceWithReservedPlacesThatRunsAndExplainsItsErrors) {
    EXPECT_EQ(OleRun(transport.get()), S_OK);
    for (HRESULT (IvelTransport::*reserved)() :
         {&IvelTransport::Reserved1, &IvelTransport::Reserved2, &IvelTransport::Reserved3,
          &IvelTransport::Reserved4, &IvelTransport::Reserved5, &IvelTransport::Reserved6})
        EXPECT_EQ((transport.get()->*reserved)(), E_NOTIMPL);
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"Get")};
    DISPID id = 0;
    EXPECT_EQ(transport->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    EXPECT_EQ(id, 9);
    velcom::ComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(transport.as(support), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IvelTransport), S_OK);
}

// Fields go form-encoded in a POST's body and into a GET's query; only a GET follows a
// redirection. Every page arrives whole in Data calls before the request returns, with one Info of
// the status line and Progress ending at 100 percent, or -1 when the length was never known.
TEST_F(TransportTest, SendsFieldsAndHeadersAndHandsOverStatusAndWholePages) {
    const Strings form{"plain",    "a b", "plus+", "1+1=2", "amp&",  "x&y=z",
                       "umlaut ä", "€ ü", "empty", "",      "plain", "again"};
    const std::tuple<std::string, Strings, std::string, std::string, std::string, SHORT> rows[] = {
        {"POST /form", form, "posted",
         "POST /form plain=a%20b&plus%2B=1%2B1%3D2&amp%26=x%26y%3Dz&umlaut%20%C3%A4=%E2%82%AC"
         "%20%C3%BC&empty=&plain=again",
         "200 OK", 100},
        {"GET /page", {"a b", "c&d"}, "the page", "GET /page?a%20b=c%26d", "200 OK", 100},
        {"GET /page?x=1", {"y", "2"}, "the page", "GET /page?x=1&y=2", "200 OK", 100},
        {"GET /moved", {}, "the page", "GET /moved, GET /page?kept=1", "200 OK", 100},
        {"POST /moved", {}, "moved away", "POST /moved", "302 Found", 100},
        {"GET /sized", {}, big, "GET /sized", "200 OK", 100},
        {"GET /chunked", {}, "one two three", "GET /chunked", "200 OK", -1},
    };
    for (const auto& [call, fields, content, received, status, percent] : rows) {
        SCOPED_TRACE(call);
        seen.clear();
        const std::size_t space = call.find(' ');
        const std::string url = site.url(call.substr(space + 1));
        EXPECT_EQ(request(call[0] == 'P', url, {"X-Tessera: one two"}, fields), S_OK);
        EXPECT_EQ(page(), content);
        EXPECT_EQ(seen, received);
        EXPECT_EQ(header, "one two");
        ASSERT_EQ(recent("Info").size(), 1u);
        EXPECT_EQ(toAnsi(recent("Info")[0].text1), "HTTP/1.1 " + status);
        EXPECT_EQ(recent("Info")[0].code, std::stol(status));
        ASSERT_FALSE(recent("Progress").empty());
        EXPECT_EQ(recent("Progress").back().percent, percent);
        EXPECT_EQ(toAnsi(recent("Progress").front().text2),
                  percent == 100 ? std::to_string(content.size()) : "")
            << "a known size is announced before the first bytes";
        EXPECT_TRUE(traces().ends_with("velTransport " + call.substr(0, space + 1) + url + "\r\n"));
    }
}

TEST_F(TransportTest, AFailedRequestReturnsItsWinInetCodeAndSaysWhatHappenedWhere) {
    const ScopedEnvironment timeout("VELTRANSPORT_TIMEOUT", "300ms");
    const int closed = Loopback(std::make_unique<httplib::Server>()).port;
    const std::string where = "127.0.0.1 port " + std::to_string(site.port);
    const std::tuple<std::string, DWORD, std::string> rows[] = {
        {"http://127.0.0.1:" + std::to_string(closed) + "/", ERROR_INTERNET_CANNOT_CONNECT,
         "cannot connect to 127.0.0.1 port " + std::to_string(closed)},
        {site.url("/cut"), ERROR_INTERNET_CONNECTION_ABORTED,
         "the connection closed before the whole answer arrived from " + where},
        {site.url("/stall"), ERROR_INTERNET_TIMEOUT, "timed out waiting for " + where},
        {"no address at all", ERROR_INTERNET_INVALID_URL, "the address \"no address at all\""},
        {"ftp://127.0.0.1/", ERROR_INTERNET_UNRECOGNIZED_SCHEME, "neither http nor https"},
    };
    for (const auto& [url, error, what] : rows) {
        SCOPED_TRACE(url);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(request(false, url), HRESULT_FROM_WIN32(error));
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(900));
        const std::string description = errorDescription();
        EXPECT_NE(description.find(what), std::string::npos) << description;
        EXPECT_EQ(page(), "") << "the start of a page is held while its character set is sought";
        EXPECT_TRUE(traces().ends_with("velTransport GET failed: " + description + "\r\n"));
    }
    // A host that could not keep a chunk stops the transfer at once.
    host.dataResult = E_OUTOFMEMORY;
    EXPECT_EQ(request(false, site.url("/sized")), E_OUTOFMEMORY);
    EXPECT_EQ(recent("Data").size(), 1u);
}

// Servers and proxies as they are: every page reaches the component whole and in UTF-8, or the
// request fails with its own code and says why; a header line cannot smuggle in another header.
TEST_F(TransportTest, ServersAsTheyAreGiveTheComponentUtf8PagesOrTheirOwnErrors) {
    httplib::Server& server = *site.server;
    const auto typed = [&](const char* path, std::string page, const char* type, int status = 200) {
        server.Get(path, reply(std::move(page), status, type));
    };
    typed("/latin1", "J\xFCrgen", "text/html; charset=ISO-8859-1");
    typed("/meta", "<html><meta charset='windows-1252'>J\xFCrgen \x80", "text/html");
    typed("/late", std::string(1024, ' ') + "<meta charset=latin1>J\xFCrgen", "text/html");
    typed("/unknown", "x", "text/html;charset=\"x-no-such\"");
    typed("/refused", "<!-- ???\r\nReturn=R\r\n-->", "text/html", 500);
    server.Get("/agent", [](const httplib::Request& in, httplib::Response& out) {
        out.set_content(in.get_header_value("User-Agent"), "application/octet-stream");
    });
    for (const auto& [path, windowBits] : {std::pair{"/gzip", 31}, {"/deflate", 15}})
        server.Get(path, [encoding = path + 1, windowBits](auto&, httplib::Response& out) {
            out.set_header("Content-Encoding", encoding);
            out.set_content(compressed("packed " + std::string(encoding), windowBits),
                            "application/octet-stream");
        });
    FaultProxy banner(site.port);
    banner.inject(Fault::NotHttp);
    const std::string closed = std::to_string(Loopback(std::make_unique<httplib::Server>()).port);
    const std::string where = "127.0.0.1 port " + std::to_string(site.port);
    const std::string proxyDown = "http_proxy=http://127.0.0.1:" + closed;
    // outcome: the page, or a part of the failure's text when no page arrives; setting: a
    // variable of the environment, no_proxy unset for http_proxy.
    struct Row {
        const char* name;
        std::string url;
        HRESULT result;
        std::string outcome;
        const char* setting = "VELTRANSPORT_MAX_ANSWER=";
        Strings headers = {};
    };
    const auto failed = [](DWORD error) { return HRESULT_FROM_WIN32(error); };
    const Row rows[] = {
        {"not HTTP", "http://127.0.0.1:" + std::to_string(banner.port()) + "/",
         failed(ERROR_HTTP_INVALID_SERVER_RESPONSE),
         "no valid answer came from 127.0.0.1 port " + std::to_string(banner.port())},
        {"charset in the header", site.url("/latin1"), S_OK, "J\xC3\xBCrgen"},
        {"charset in a meta tag", site.url("/meta"), S_OK,
         "<html><meta charset='windows-1252'>J\xC3\xBCrgen \xE2\x82\xAC"},
        {"meta tag after the first KiB", site.url("/late"), S_OK,
         std::string(1024, ' ') + "<meta charset=latin1>J\xFCrgen"},
        {"unknown charset", site.url("/unknown"), failed(ERROR_HTTP_INVALID_SERVER_RESPONSE),
         "from " + where + " (the page's character set \"x-no-such\" is unknown)"},
        {"error status, no markup", site.url("/broken"), failed(ERROR_INTERNET_EXTENDED_ERROR),
         "markup came from " + where + " (HTTP/1.1 500 Internal Server Error)"},
        {"not found, no page", site.url("/nowhere"), failed(ERROR_INTERNET_EXTENDED_ERROR),
         "(HTTP/1.1 404 Not Found)"},
        {"error status with markup", site.url("/refused"), S_OK, "<!-- ???\r\nReturn=R\r\n-->"},
        {"announced size over the limit", site.url("/sized"), failed(ERROR_HTTP_ANSWER_TOO_LARGE),
         "allows came from " + where + " (100000 bytes announced, 65536 allowed)",
         "VELTRANSPORT_MAX_ANSWER=64KiB"},
        {"unannounced size over the limit", site.url("/chunked"),
         failed(ERROR_HTTP_ANSWER_TOO_LARGE), "(more than 3 bytes)", "VELTRANSPORT_MAX_ANSWER=3"},
        {"gzip", site.url("/gzip"), S_OK, "packed gzip"},
        {"deflate", site.url("/deflate"), S_OK, "packed deflate"},
        {"user agent", site.url("/agent"), S_OK, "velTesseraComm/" VEL_PROJECT_VERSION},
        {"proxy down", site.url("/page"), failed(ERROR_INTERNET_CANNOT_CONNECT),
         "cannot connect to the proxy 127.0.0.1 port " + closed + " (", proxyDown.c_str()},
        {"proxy unknown", site.url("/page"), failed(ERROR_INTERNET_NAME_NOT_RESOLVED),
         "cannot find the address of the proxy no-such-proxy.invalid port 3128 (",
         "http_proxy=http://no-such-proxy.invalid:3128"},
        {"header line with CR LF",
         site.url("/page"),
         E_INVALIDARG,
         "the header line 2 holds a line break",
         "VELTRANSPORT_MAX_ANSWER=",
         {"X-A: 1", "X-Tessera: a\r\nX-B: b"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string setting = row.setting;
        const std::size_t equals = setting.find('=');
        const ScopedEnvironment chosen(setting.substr(0, equals).c_str(),
                                       setting.c_str() + equals + 1),
            noneDirect("no_proxy", setting.starts_with("http_proxy") ? nullptr : "127.0.0.1");
        seen.clear();
        EXPECT_EQ(request(false, row.url, row.headers), row.result);
        EXPECT_EQ(page(), row.result == S_OK ? row.outcome : "");
        EXPECT_NE(errorDescription().find(row.result == S_OK ? "" : row.outcome), std::string::npos)
            << errorDescription();
        EXPECT_TRUE(row.result != E_INVALIDARG || seen.empty()) << "refused before it is sent";
    }
}

// Each break the fault proxy makes ends in its own error within the time limits, never a hang.
TEST_F(TransportTest, EachBreakOfTheConnectionEndsInItsOwnErrorWithinTheTimeLimits) {
    using namespace std::chrono_literals;
    Loopback& origin = serve();
    const std::string whole(200, 'y');
    origin.server->Get("/", reply(whole));
    FaultProxy proxy(origin.port);
    const ScopedEnvironment connectLimit("VELTRANSPORT_CONNECT_TIMEOUT", "500ms");
    constexpr DWORD kReset = ERROR_INTERNET_CONNECTION_RESET, kTimeout = ERROR_INTERNET_TIMEOUT,
                    kTls = ERROR_INTERNET_SECURITY_CHANNEL_ERROR,
                    kCut = ERROR_INTERNET_CONNECTION_ABORTED;
    using enum Fault;
    using Duration = std::chrono::steady_clock::duration;
    // limit: VELTRANSPORT_TIMEOUT; error 0: the whole page arrives; least, most: the time taken.
    const std::tuple<const char*, Fault, const char*, const char*, DWORD, Duration, Duration>
        rows[] = {
            {"reset before the answer", ResetBeforeAnswer, "http", "1", kReset, 0ms, 900ms},
            {"reset during the answer", ResetDuringAnswer, "http", "1", kReset, 0ms, 900ms},
            {"truncated answer", TruncatedAnswer, "http", "1", kCut, 0ms, 900ms},
            {"stalled server", Stall, "http", "1", kTimeout, 950ms, 2900ms},
            {"slow drip", Drip, "http", "20", 0, 0ms, 19s},
            {"garbage for the server's hello", GarbageHandshake, "https", "1", kTls, 0ms, 900ms},
            {"reset for the server's hello", ResetHandshake, "https", "1", kTls, 0ms, 900ms},
            {"stalled handshake: the connect limit", Stall, "https", "3", kTimeout, 450ms, 2900ms},
        };
    for (const auto& [name, fault, scheme, timeLimit, error, least, most] : rows) {
        SCOPED_TRACE(name);
        const ScopedEnvironment limit("VELTRANSPORT_TIMEOUT", timeLimit);
        proxy.inject(fault);
        const auto started = std::chrono::steady_clock::now();
        const HRESULT result = request(
            false, std::string(scheme) + "://127.0.0.1:" + std::to_string(proxy.port()) + "/");
        const Duration took = std::chrono::steady_clock::now() - started;
        const std::string text = errorDescription();
        EXPECT_EQ(result, error == 0 ? S_OK : HRESULT_FROM_WIN32(error)) << text;
        EXPECT_GE(took, least);
        EXPECT_LT(took, most);
        if (error == 0)
            EXPECT_EQ(page(), whole);
        else
            EXPECT_NE(text.find("127.0.0.1 port"), std::string::npos) << text;
    }
}

TEST_F(TransportTest, TlsTrustsTheNamedAuthorityAndAuthenticatesWithTheClientKey) {
    const auto file = [](const char* name) { return std::string(VEL_CERTIFICATES) + "/" + name; };
    const std::string server = file("server.pem"), key = file("server.key"), ca = file("ca.pem");
    Loopback& plain =
        serve(std::make_unique<httplib::SSLServer>(server.c_str(), key.c_str()), "https");
    Loopback& client = serve(
        std::make_unique<httplib::SSLServer>(server.c_str(), key.c_str(), ca.c_str()), "https");
    for (Loopback* each : {&plain, &client}) each->server->Get("/", reply("secret page"));
    const std::string clientAuth =
        "-ssl3 -oc" + file("client.pem") + " -pk" + file("client.key") + " -pp";
    // The authority's bundle, or none for the system's store.
    const std::tuple<const char*, Loopback*, const char*, std::string, HRESULT> rows[] = {
        {"private authority", &plain, ca.c_str(), "-ssl3", S_OK},
        {"unknown authority", &plain, nullptr, "", HRESULT_FROM_WIN32(ERROR_INTERNET_INVALID_CA)},
        {"client certificate", &client, ca.c_str(), "-zz " + clientAuth + "right horse", S_OK},
        // After a connection made with the right password could be used again.
        {"wrong key password", &client, ca.c_str(), clientAuth + "wrong horse",
         HRESULT_FROM_WIN32(ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED)},
    };
    for (const auto& [name, loopback, bundle, options, result] : rows) {
        SCOPED_TRACE(name);
        const ScopedEnvironment trusted("VELTRANSPORT_CA_BUNDLE", bundle);
        EXPECT_EQ(request(false, loopback->url("/"), {}, {}, options), result);
        EXPECT_EQ(page(), result == S_OK ? "secret page" : "");
        EXPECT_EQ(errorDescription().find("horse"), std::string::npos);
        EXPECT_EQ(traces().find("horse"), std::string::npos);
        EXPECT_EQ(traces().find("option -zz\r\n") != std::string::npos, options.starts_with("-zz"));
    }
}

}  // namespace
