// Requests through the transport module against loopback servers: what the server receives, what
// the host is handed, and the failures a host sees.
#include <velTransport/TransportErrors.h>

#include "TransportFixture.h"

namespace {

using namespace std::chrono_literals;

// One server with every page the requests below ask for.
class SiteTest : public TransportTest {
protected:
    void SetUp() override {
        TransportTest::SetUp();
        httplib::Server& server = *site.server;
        server.Post("/form", [this](const httplib::Request& request, httplib::Response& answer) {
            seen = request.get_header_value("X-Tessera") + " " + request.body;
            answer.set_content("posted", "text/html");
        });
        server.Get("/page", [this](const httplib::Request& request, httplib::Response& answer) {
            seen = request.target;
            answer.set_content("the page", "text/html");
        });
        server.Get("/moved", [](const httplib::Request&, httplib::Response& answer) {
            answer.set_redirect("/page?kept=1");
        });
        server.Post("/moved", [](const httplib::Request&, httplib::Response& answer) {
            answer.set_redirect("/page");
            answer.set_content("moved away", "text/html");
        });
        server.Get("/sized", reply(big));
        server.Get("/broken", reply("<html>it broke</html>", 500));
        server.Get("/chunked", [](const httplib::Request&, httplib::Response& answer) {
            answer.set_chunked_content_provider("text/html", [](size_t, httplib::DataSink& sink) {
                for (const char* part : {"one ", "two ", "three"}) sink.write(part, strlen(part));
                return sink.done(), true;
            });
        });
        server.Get("/cut", [](const httplib::Request&, httplib::Response& answer) {
            answer.set_content_provider(1000, "text/html", [](size_t offset, size_t, auto& sink) {
                return offset == 0 && sink.write("first part", 10);
            });
        });
        server.Get("/stall", [](const httplib::Request&, httplib::Response& answer) {
            std::this_thread::sleep_for(1s);
            answer.set_content("too late", "text/html");
        });
    }

    Loopback& site = serve();
    const std::string big = std::string(100'000, 'x');
    std::string seen;
};

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
TEST_F(SiteTest, SendsFieldsAndHeadersAndHandsOverStatusAndWholePages) {
    const struct {
        bool post;
        std::string path;
        Strings fields;
        std::string page, seen, status;
        SHORT percent;
    } rows[] = {
        {true,
         "/form",
         {"plain", "a b", "plus+", "1+1=2", "amp&", "x&y=z", "umlaut ä", "€ ü", "empty", "",
          "plain", "again"},
         "posted",
         "one two plain=a%20b&plus%2B=1%2B1%3D2&amp%26=x%26y%3Dz&umlaut%20%C3%A4=%E2%82%AC"
         "%20%C3%BC&empty=&plain=again",
         "HTTP/1.1 200 OK",
         100},
        {false, "/page", {"a b", "c&d"}, "the page", "/page?a%20b=c%26d", "HTTP/1.1 200 OK", 100},
        {false, "/page?x=1", {"y", "2"}, "the page", "/page?x=1&y=2", "HTTP/1.1 200 OK", 100},
        {false, "/moved", {}, "the page", "/page?kept=1", "HTTP/1.1 200 OK", 100},
        {true, "/moved", {}, "moved away", "", "HTTP/1.1 302 Found", 100},
        {false, "/sized", {}, big, "", "HTTP/1.1 200 OK", 100},
        {false, "/chunked", {}, "one two three", "", "HTTP/1.1 200 OK", -1},
        {false,
         "/broken",
         {},
         "<html>it broke</html>",
         "",
         "HTTP/1.1 500 Internal Server Error",
         100},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        seen.clear();
        EXPECT_EQ(request(row.post, site.url(row.path), {"X-Tessera: one two"}, row.fields), S_OK);
        EXPECT_EQ(page(), row.page);
        EXPECT_EQ(seen, row.seen);
        ASSERT_EQ(recent("Info").size(), 1u);
        EXPECT_EQ(toAnsi(recent("Info")[0].text1), row.status);
        EXPECT_EQ(recent("Info")[0].code, std::stol(row.status.substr(9)));
        ASSERT_FALSE(recent("Progress").empty());
        EXPECT_EQ(recent("Progress").back().percent, row.percent);
        EXPECT_EQ(traces().back(), std::string("velTransport ") + (row.post ? "POST " : "GET ") +
                                       site.url(row.path) + "\r\n");
    }
}

TEST_F(SiteTest, AFailedRequestReturnsItsWinInetCodeAndSaysWhatHappenedWhere) {
    const ScopedEnvironment timeout("VELTRANSPORT_TIMEOUT", "300ms");
    int closed = 0;
    {
        const Loopback gone(std::make_unique<httplib::Server>());
        closed = gone.port;
    }
    const std::string where = "127.0.0.1 port " + std::to_string(site.port);
    const struct {
        std::string url;
        DWORD error;
        std::string description, partialPage;
    } rows[] = {
        {"http://127.0.0.1:" + std::to_string(closed) + "/", ERROR_INTERNET_CANNOT_CONNECT,
         "cannot connect to 127.0.0.1 port " + std::to_string(closed), ""},
        {site.url("/cut"), ERROR_INTERNET_CONNECTION_ABORTED,
         "the connection closed before the whole answer arrived from " + where, "first part"},
        {site.url("/stall"), ERROR_INTERNET_TIMEOUT, "timed out waiting for " + where, ""},
        {"no address at all", ERROR_INTERNET_INVALID_URL, "the address \"no address at all\"", ""},
        {"ftp://127.0.0.1/", ERROR_INTERNET_UNRECOGNIZED_SCHEME, "neither http nor https", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.url);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(request(false, row.url), HRESULT_FROM_WIN32(row.error));
        EXPECT_LT(std::chrono::steady_clock::now() - started, 900ms);
        EXPECT_NE(errorDescription().find(row.description), std::string::npos)
            << errorDescription();
        EXPECT_EQ(page(), row.partialPage);
        EXPECT_TRUE(traces().back().starts_with("velTransport GET failed: "));
        EXPECT_NE(traces().back().find(row.description), std::string::npos);
    }
}

TEST_F(TransportTest, TlsTrustsTheNamedAuthorityAndAuthenticatesWithTheClientKey) {
    const std::string server = certificate("server.pem"), key = certificate("server.key"),
                      ca = certificate("ca.pem");
    Loopback& plain =
        serve(std::make_unique<httplib::SSLServer>(server.c_str(), key.c_str()), "https");
    Loopback& client = serve(
        std::make_unique<httplib::SSLServer>(server.c_str(), key.c_str(), ca.c_str()), "https");
    for (Loopback* each : {&plain, &client}) each->server->Get("/", reply("secret page"));
    const std::string clientAuth =
        "-ssl3 -oc" + certificate("client.pem") + " -pk" + certificate("client.key") + " -pp";
    const struct {
        const char* name;
        Loopback& server;
        bool trusted;
        std::string options;
        HRESULT result;
    } rows[] = {
        {"private authority", plain, true, "-ssl3", S_OK},
        {"unknown authority", plain, false, "", HRESULT_FROM_WIN32(ERROR_INTERNET_INVALID_CA)},
        {"client certificate", client, true, "-zz " + clientAuth + "right horse", S_OK},
        // After a connection made with the right password could be used again.
        {"wrong key password", client, true, clientAuth + "wrong horse",
         HRESULT_FROM_WIN32(ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const ScopedEnvironment bundle("VELTRANSPORT_CA_BUNDLE",
                                       row.trusted ? ca.c_str() : nullptr);
        EXPECT_EQ(request(false, row.server.url("/"), {}, {}, row.options), row.result);
        EXPECT_EQ(page(), row.result == S_OK ? "secret page" : "");
        EXPECT_EQ(errorDescription().find("horse"), std::string::npos);
        for (const std::string& line : traces()) EXPECT_EQ(line.find("horse"), std::string::npos);
    }
}

}  // namespace
