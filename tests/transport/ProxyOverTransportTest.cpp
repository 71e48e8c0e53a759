// The proxy, created by its class as a host creates it, driving the real transport against a
// loopback server that answers the start and the application pages.
#include "TransportFixture.h"
#include "support/RecordingPki.h"

namespace {

TEST_F(TransportTest, RequestStep1FetchesTheApplicationPageThroughTheRealTransport) {
    Loopback& loopback = serve();
    Strings seen;
    const auto page = [&](std::string text) {
        return [&seen, text](const httplib::Request& request, httplib::Response& answer) {
            seen.push_back(request.path + " " + request.get_header_value("X-Host"));
            answer.set_content("<html><!-- " + text + "\n--></html>", "text/html");
        };
    };
    loopback.server->Get("/start",
                         page("!!!\nReturn\nCreateCertficate=" + loopback.url("/create")));
    loopback.server->Get(
        "/create", page("???\nReturn=application\nStatus=100\nParam1=-challenge\nValue1=abc"));
    velcom::ComPtr<IvelTesseraProxy> proxy;
    ASSERT_EQ(CoCreateInstance(CLSID_velTesseraProxy, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IvelTesseraProxy, proxy.putVoid()),
              S_OK);
    const velcom::ComPtr<RecordingPki> pki = make<RecordingPki>();
    ASSERT_EQ(proxy->Init(&host, random, pki.get(), velcom::Bstr(u"/tmp").get()), S_OK);
    ASSERT_EQ(proxy->InitComm(toBstr(loopback.url("/start")).get(),
                              *makeStringList({"X-Host: test"}).get()),
              S_OK);
    velcom::ComPtr<IvelNode> node;
    ASSERT_EQ(proxy->RequestStep1(node.put()), S_OK);
    velcom::Bstr name;
    ASSERT_EQ(node->get_Name(name.put()), S_OK);
    EXPECT_EQ(toAnsi(name.get()), "application");
    EXPECT_EQ(seen, (Strings{"/start test", "/create test"}));
}

}  // namespace
