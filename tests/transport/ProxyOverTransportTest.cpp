// The proxy, created by its class as a host creates it, driving the real transport against the
// loopback site's start and application pages.
#include "TransportFixture.h"
#include "support/RecordingPki.h"

namespace {

TEST_F(TransportTest, RequestStep1FetchesTheApplicationPageThroughTheRealTransport) {
    velcom::ComPtr<IvelTesseraProxy> proxy;
    ASSERT_EQ(CoCreateInstance(CLSID_velTesseraProxy, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IvelTesseraProxy, proxy.putVoid()),
              S_OK);
    const velcom::ComPtr<RecordingPki> pki = make<RecordingPki>();
    ASSERT_EQ(proxy->Init(&host, random, pki.get(), velcom::Bstr(u"/tmp").get()), S_OK);
    ASSERT_EQ(proxy->InitComm(toBstr(site.url("/start")).get(),
                              *makeStringList({"X-Tessera: test"}).get()),
              S_OK);
    velcom::ComPtr<IvelNode> node;
    ASSERT_EQ(proxy->RequestStep1(node.put()), S_OK);
    velcom::Bstr name;
    ASSERT_EQ(node->get_Name(name.put()), S_OK);
    EXPECT_EQ(toAnsi(name.get()), "application");
    EXPECT_EQ(seen, "GET /start, GET /create");
    EXPECT_EQ(header, "test");
}

}  // namespace
