// The proxy's own back channel: the transport's callbacks reach the host one level deeper, and
// the page arrives through Data.
#include <gtest/gtest.h>

#include "proxy/ProxyTest.h"
#include "support/DispatchStub.h"

namespace {

class BackChannelTest : public ProxyTest {
protected:
    IvelBackChannel& own() {
        if (!m_own) proxy->QueryInterface(IID_IvelBackChannel, m_own.putVoid());
        return *m_own.get();
    }
    void TearDown() override {
        m_own.reset();
        ProxyTest::TearDown();
    }

private:
    velcom::ComPtr<IvelBackChannel> m_own;
};

TEST_F(BackChannelTest, DataAppendsByteArraysEvenWithoutAHost) {
    velcom::Variant chunk = makeByteArray("0123456789");
    EXPECT_EQ(own().Data(1, 2, 0, chunk.get()), S_OK);
    chunk = makeByteArray(std::string("ab\0c", 4));
    EXPECT_EQ(own().Data(1, 2, 0, chunk.get()), S_OK);
    EXPECT_EQ(proxy.object().response(), std::string("0123456789ab\0c", 14));
}

TEST_F(BackChannelTest, DataOfAnotherTypeOrNoneIsOnlyForwarded) {
    ASSERT_EQ(init(), S_OK);
    velcom::Variant text;
    text.get()->vt = VT_BSTR;
    text.get()->bstrVal = SysAllocString(u"page?");
    EXPECT_EQ(own().Data(1, 2, 0, text.get()), S_OK);
    EXPECT_EQ(own().Data(1, 2, 0, nullptr), S_OK);
    velcom::Variant empty = makeByteArray("");
    EXPECT_EQ(own().Data(1, 2, 0, empty.get()), S_OK);
    EXPECT_EQ(proxy.object().response(), "");
    const auto data = callbacks("Data");
    ASSERT_EQ(data.size(), 3u);
    EXPECT_EQ(data[0].dataType, VT_BSTR);
    EXPECT_EQ(data[0].data, text.get()) << "the host sees the very VARIANT";
    EXPECT_EQ(data[1].data, nullptr);
}

TEST_F(BackChannelTest, CallbacksReachTheHostOneLevelDeeperWithEverythingElseUnchanged) {
    ASSERT_EQ(init(), S_OK);
    velcom::Bstr one(u"one");
    velcom::Bstr two(u"two");
    velcom::Variant chunk = makeByteArray("page");
    EXPECT_EQ(own().Error(11, 22, 0, 0x1234, one.get(), nullptr, two.get()), S_OK);
    EXPECT_EQ(own().Progress(11, 22, 1, 5, one.get(), two.get(), nullptr, 50, 3), S_OK);
    EXPECT_EQ(own().Info(11, 22, 2, 6, nullptr, one.get(), nullptr), S_OK);
    EXPECT_EQ(own().Data(11, 22, 3, chunk.get()), S_OK);

    const auto calls = host.calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].kind, "Error");
    EXPECT_EQ(calls[0].depth, 1);
    EXPECT_EQ(calls[0].threadId, 11);
    EXPECT_EQ(calls[0].time, 22);
    EXPECT_EQ(calls[0].code, 0x1234);
    EXPECT_EQ(calls[0].text1, u"one");
    EXPECT_EQ(calls[0].text3, u"two");
    EXPECT_EQ(calls[1].kind, "Progress");
    EXPECT_EQ(calls[1].depth, 2);
    EXPECT_EQ(calls[1].percent, 50);
    EXPECT_EQ(calls[1].action, 3);
    EXPECT_EQ(calls[2].kind, "Info");
    EXPECT_EQ(calls[2].depth, 3);
    EXPECT_TRUE(calls[2].text1IsNull);
    EXPECT_EQ(calls[3].kind, "Data");
    EXPECT_EQ(calls[3].depth, 4);
    EXPECT_EQ(calls[3].dataBytes, "page");
    EXPECT_EQ(proxy.object().response(), "page");
}

TEST_F(BackChannelTest, TracesAreForwardedWhateverTheMask) {
    ASSERT_EQ(init(), S_OK);
    g_lTraceLevel = 2;
    velcom::Bstr line(u"transport line");
    EXPECT_EQ(own().Trace(1, 2, 0, 1, line.get()), S_OK);
    const auto forwarded = callbacks("Trace");
    ASSERT_EQ(forwarded.size(), 1u);
    EXPECT_EQ(forwarded[0].code, 1);
    EXPECT_EQ(forwarded[0].depth, 1);
    EXPECT_EQ(forwarded[0].text1, u"transport line");
}

TEST_F(BackChannelTest, TheHostsResultsComeBack) {
    ASSERT_EQ(init(), S_OK);
    host.callbackResult = E_ABORT;
    host.progressResult = S_FALSE;
    velcom::Variant chunk = makeByteArray("kept");
    EXPECT_EQ(own().Error(1, 2, 0, 3, nullptr, nullptr, nullptr), E_ABORT);
    EXPECT_EQ(own().Progress(1, 2, 0, 3, nullptr, nullptr, nullptr, 0, 0), S_FALSE);
    EXPECT_EQ(own().Data(1, 2, 0, chunk.get()), E_ABORT);
    EXPECT_EQ(proxy.object().response(), "kept") << "the page is kept whatever the host says";
}

TEST_F(BackChannelTest, TheTraceLevelIsTheHostsOrLeftAloneWithoutOne) {
    LONG level = 99;
    EXPECT_EQ(own().get_lTraceLevel(&level), S_OK);
    EXPECT_EQ(level, 99);
    EXPECT_EQ(own().put_lTraceLevel(5), S_OK);

    host.traceLevel = 3;
    ASSERT_EQ(init(), S_OK);
    EXPECT_EQ(own().get_lTraceLevel(&level), S_OK);
    EXPECT_EQ(level, 3);
    EXPECT_EQ(own().put_lTraceLevel(6), S_OK);
    EXPECT_EQ(host.traceLevel, 6);
    host.traceLevelResult = E_FAIL;
    EXPECT_EQ(own().get_lTraceLevel(&level), E_FAIL);
}

TEST_F(BackChannelTest, TheTransportsBackChannelFeedsTheProxyAndOutlivesItSafely) {
    ASSERT_EQ(init(), S_OK);
    velcom::ComPtr<IvelBackChannel> transportSide(script.backChannel());
    velcom::Variant chunk = makeByteArray("via transport");
    EXPECT_EQ(transportSide->Data(1, 2, 0, chunk.get()), S_OK);
    EXPECT_EQ(proxy.object().response(), "via transport");
    EXPECT_EQ(callbacks("Data").at(0).depth, 1);

    proxy.reset();
    EXPECT_EQ(transportSide->Data(1, 2, 0, chunk.get()), S_OK) << "dropped, not a crash";
    EXPECT_EQ(callbacks("Data").size(), 1u);
    EXPECT_NE(moduleLockCount(), 0) << "code the transport may still call stays loaded";
}

TEST_F(BackChannelTest, TheProxyAnswersForItsOwnInterfacesOnly) {
    const std::pair<const IID*, bool> queries[] = {
        {&IID_IUnknown, true},          {&IID_IDispatch, true},
        {&IID_IvelTesseraProxy, true},  {&IID_IvelTesseraProxyEx, true},
        {&IID_ISupportErrorInfo, true}, {&IID_IvelBackChannel, true},
        {&IID_IvelNode, false},         {&IID_IEnumVARIANT, false},
        {&IID_IvelTransport, false}};
    for (const auto& [iid, answered] : queries) {
        velcom::ComPtr<IUnknown> result;
        EXPECT_EQ(proxy->QueryInterface(*iid, result.putVoid()), answered ? S_OK : E_NOINTERFACE);
        EXPECT_EQ(static_cast<bool>(result), answered);
    }
    velcom::ComPtr<ISupportErrorInfo> errorInfo;
    ASSERT_EQ(proxy->QueryInterface(IID_ISupportErrorInfo, errorInfo.putVoid()), S_OK);
    EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(IID_IvelTesseraProxy), S_OK);
    EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(IID_IvelTesseraProxyEx), S_FALSE);
}

}  // namespace
