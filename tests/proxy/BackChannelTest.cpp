// The proxy's own back channel: the transport's callbacks reach the host one level deeper, and the
// page arrives through Data.
#include "proxy/ProxyTest.h"

namespace {

using BackChannelTest = ProxyTest;

TEST_F(BackChannelTest, CallbacksReachTheHostOneLevelDeeperAndTheHostsResultsComeBack) {
    IvelBackChannel* const own = &proxy.object();  // the proxy keeps it alive
    // Without a host, byte arrays still make the page and the trace level is left alone.
    velcom::Variant chunk = makeByteArray("0123456789");
    EXPECT_EQ(own->Data(1, 2, 0, chunk.get()), S_OK);
    chunk = arrayOf<BYTE>(VT_UI1, {'a', 'b', 0, 'c'}, 5);
    LONG level = 99;
    EXPECT_EQ(
        own->Data(1, 2, 0, chunk.get()) | own->get_lTraceLevel(&level) | own->put_lTraceLevel(5),
        S_OK);
    EXPECT_EQ(level, 99);
    const std::string page("0123456789ab\0c", 14);
    EXPECT_EQ(proxy.object().response(), page);

    ASSERT_EQ(init(), S_OK);
    velcom::Variant text = makeText("page?"), empty = makeByteArray("");
    EXPECT_EQ(own->Data(1, 2, 0, text.get()) | own->Data(1, 2, 0, nullptr) |
                  own->Data(1, 2, 0, empty.get()),
              S_OK);
    EXPECT_EQ(proxy.object().response(), page) << "anything else is only forwarded";
    // The host sees the very VARIANTs.
    std::vector<std::pair<VARIANT*, VARTYPE>> forwarded;
    for (const auto& call : recent("Data")) forwarded.emplace_back(call.data, call.dataType);
    EXPECT_EQ(forwarded,
              (decltype(forwarded){
                  {text.get(), VT_BSTR}, {nullptr, VT_EMPTY}, {empty.get(), VT_ARRAY | VT_UI1}}));

    g_lTraceLevel = 2;  // traces are forwarded whatever the mask
    host.callbackResult = E_ABORT;
    host.progressResult = S_FALSE;
    const velcom::Bstr one(u"one"), two(u"two");
    chunk = makeByteArray("page");
    for (IvelBackChannel* channel : {own, script.backChannel}) {
        forgetCallbacks();
        EXPECT_EQ(channel->Error(11, 22, 0, 0x1234, one.get(), nullptr, two.get()), E_ABORT);
        EXPECT_EQ(channel->Progress(11, 22, 1, 5, one.get(), two.get(), nullptr, 50, 3), S_FALSE);
        EXPECT_EQ(channel->Info(11, 22, 2, 6, nullptr, one.get(), nullptr), E_ABORT);
        EXPECT_EQ(channel->Trace(11, 22, 3, 1, one.get()), E_ABORT);
        EXPECT_EQ(channel->Data(11, 22, 4, chunk.get()), E_ABORT);
        std::string received;
        for (const auto& call : recent(""))
            received +=
                call.kind + " " + std::to_string(call.threadId) + " " + std::to_string(call.time) +
                " " + std::to_string(call.depth) + " " + std::to_string(call.code) + " " +
                (call.text1IsNull ? "null" : toAnsi(call.text1)) + "|" + toAnsi(call.text2) + "|" +
                toAnsi(call.text3) + " " + std::to_string(call.percent) + "/" +
                std::to_string(call.action) + " " + call.dataBytes + "\n";
        EXPECT_EQ(received,
                  "Error 11 22 1 4660 one||two 0/0 \nProgress 11 22 2 5 one|two| 50/3 \n"
                  "Info 11 22 3 6 null|one| 0/0 \nTrace 11 22 4 1 one|| 0/0 \n"
                  "Data 11 22 5 0 || 0/0 page\n");
        host.traceLevel = 3;
        level = 0;
        EXPECT_EQ(channel->get_lTraceLevel(&level) | channel->put_lTraceLevel(6), S_OK);
        EXPECT_EQ(std::to_string(level) + " " + std::to_string(host.traceLevel), "3 6");
    }
    EXPECT_EQ(proxy.object().response(), page + "pagepage") << "kept whatever the host says";
    host.traceLevelResult = E_FAIL;
    EXPECT_EQ(own->get_lTraceLevel(&level), E_FAIL);
}

TEST_F(BackChannelTest, TheTransportsBackChannelIsAnObjectOfItsOwnThatOutlivesTheProxySafely) {
    ASSERT_EQ(init(), S_OK);
    velcom::ComPtr<IvelBackChannel> transportSide(script.backChannel);
    velcom::ComPtr<IUnknown> queried;
    EXPECT_EQ(transportSide->QueryInterface(IID_IvelTesseraProxy, queried.putVoid()),
              E_NOINTERFACE);
    EXPECT_FALSE(queried);
    EXPECT_EQ(transportSide->QueryInterface(IID_IDispatch, queried.putVoid()), S_OK);
    EXPECT_EQ(queried.get(), static_cast<IUnknown*>(transportSide.get()));

    const std::size_t heard = host.count();
    proxy.reset();
    // A proxy made after it, likely where the first one was, hears nothing of the first's.
    ProxyObject next;
    velcom::Variant chunk = makeByteArray("late");
    LONG level = 4;
    host.traceLevel = 9;
    velcom::Bstr text(u"late");
    EXPECT_EQ(transportSide->Data(1, 2, 0, chunk.get()) |
                  transportSide->Trace(1, 2, 0, 1, text.get()) |
                  transportSide->get_lTraceLevel(&level) | transportSide->put_lTraceLevel(3),
              S_OK);
    EXPECT_EQ(std::to_string(level) + " " + std::to_string(host.traceLevel), "4 9");
    EXPECT_EQ(host.count(), heard);
    EXPECT_EQ(next.object().response(), "");
    next.reset();
    EXPECT_NE(moduleLockCount(), 0) << "code the transport may still call stays loaded";
}

TEST_F(BackChannelTest, TheProxyAnswersForItsOwnInterfacesOnly) {
    std::string answered;
    for (const IID* iid : {&IID_IUnknown, &IID_IDispatch, &IID_IvelTesseraProxy,
                           &IID_IvelTesseraProxyEx, &IID_ISupportErrorInfo, &IID_IvelBackChannel,
                           &IID_IvelNode, &IID_IEnumVARIANT, &IID_IvelTransport}) {
        velcom::ComPtr<IUnknown> result;
        answered += proxy->QueryInterface(*iid, result.putVoid()) == S_OK ? "+" : "-";
        answered += result ? "" : "0";
    }
    EXPECT_EQ(answered, "++++++-0-0-0");
    ISupportErrorInfo& errorInfo = proxy.object();
    EXPECT_EQ(errorInfo.InterfaceSupportsErrorInfo(IID_IvelTesseraProxy), S_OK);
    EXPECT_EQ(errorInfo.InterfaceSupportsErrorInfo(IID_IvelTesseraProxyEx), S_FALSE);
    // Every dual interface has type information of its own.
    for (const IID* iid : {&IID_IvelTesseraProxy, &IID_IvelTesseraProxyEx, &IID_IvelBackChannel}) {
        velcom::ComPtr<IDispatch> dual;
        ASSERT_EQ(proxy->QueryInterface(*iid, dual.putVoid()), S_OK);
        UINT count = 0;
        ASSERT_EQ(dual->GetTypeInfoCount(&count), S_OK);
        EXPECT_EQ(count, 1u);
        velcom::ComPtr<ITypeInfo> typeInfo;
        EXPECT_EQ(dual->GetTypeInfo(1, 0, typeInfo.put()), DISP_E_BADINDEX);
        ASSERT_EQ(dual->GetTypeInfo(0, 0, typeInfo.put()), S_OK);
        TYPEATTR* attributes = nullptr;
        ASSERT_EQ(typeInfo->GetTypeAttr(&attributes), S_OK);
        EXPECT_TRUE(IsEqualIID(attributes->guid, *iid));
        typeInfo->ReleaseTypeAttr(attributes);
    }
    // Scripts reach the proxy's own methods by name, in any letter case.
    IDispatch* const dispatch = proxy.get();
    OLECHAR name[] = u"initCOMM";
    LPOLESTR names[] = {name};
    DISPID id = 0;
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    EXPECT_EQ(id, 2);
    // An object argument is converted to the method's interface, whose reference is given back
    // when the method fails.
    const auto certificate = make<TestCertificate>();
    VARIANT argument{};
    argument.vt = VT_DISPATCH;
    argument.pdispVal = certificate.get();
    DISPPARAMS params{&argument, nullptr, 1, 0};
    EXPECT_EQ(dispatch->Invoke(6, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
              DISP_E_EXCEPTION);
    EXPECT_EQ(certificate->references(), 1u);
}

}  // namespace
