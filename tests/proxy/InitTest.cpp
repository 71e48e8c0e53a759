// Init, InitComm and the state checks every operation starts with.
#include <gtest/gtest.h>

#include <functional>

#include "proxy/ProxyTest.h"
#include "support/CountedObject.h"

namespace {

class InitTest : public ProxyTest {};

TEST_F(InitTest, InitCreatesTheTransportAndHandsItTheProxysBackChannelAndTheGenerator) {
    ASSERT_EQ(init(), S_OK);
    EXPECT_EQ(script.callCount("CreateInstance"), 1u);
    EXPECT_EQ(script.callCount("Run"), 1u) << "the transport is run before it is used";
    EXPECT_EQ(script.callCount("Init"), 1u);
    EXPECT_EQ(script.random(), random.get());
    ASSERT_NE(script.backChannel(), nullptr);
    EXPECT_TRUE(traces().empty());
    EXPECT_TRUE(host.calls().empty());
}

TEST_F(InitTest, ASecondInitIsIgnoredAndTheFirstCollaboratorsStay) {
    ASSERT_EQ(init(), S_OK);
    const auto otherPki = RecordingPki::create(RecordingPki::Extended::Offered);
    RecordingBackChannel otherHost;
    EXPECT_EQ(proxy->Init(&otherHost, nullptr, otherPki.get(), nullptr), S_OK);
    EXPECT_EQ(traces(), (Strings{"TSR velTesseraProxy(1183): already initialized\r\n"}));
    EXPECT_EQ(script.callCount("CreateInstance"), 1u);
    EXPECT_EQ(otherHost.references, 1u) << "the second back channel is not kept";

    proxy.object().pki().openRequests();
    EXPECT_EQ(pki->methods(), (std::vector<std::string>{"GetOpenRequests"}));
    EXPECT_TRUE(otherPki->calls().empty());
}

TEST_F(InitTest, ANullPkiIsRefusedWithATraceButNoReport) {
    EXPECT_EQ(proxy->Init(&host, random.get(), nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(traces(), Strings{}) << "the tracer has no host before a successful Init";
    EXPECT_EQ(script.callCount("CreateInstance"), 0u);
    EXPECT_EQ(proxy->InitComm(nullptr, VARIANT{}), TSR_E_NOT_INITIALIZED);
}

TEST_F(InitTest, ANullPkiIsTracedToAHostKnownFromAnEarlierInit) {
    ProxyObject first;
    ASSERT_EQ(first->Init(&host, random.get(), pki.get(), nullptr), S_OK);
    EXPECT_EQ(proxy->Init(&host, random.get(), nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(traces(), (Strings{"TSR velTesseraProxy(1189): invalid PKI\r\n"}));
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(InitTest, APkiWithoutItsInterfaceIsAcceptedAndFailsAtItsFirstUse) {
    CountedObject notAPki;
    ASSERT_EQ(proxy->Init(&host, random.get(), disguisedAs<ISMPrivateKeyInfrastructure>(notAPki),
                          nullptr),
              S_OK);
    EXPECT_EQ(notAPki.references, 1u) << "nothing of it is kept";
    try {
        proxy.object().pki().openRequests();
        FAIL() << "a PKI call without the PKI's interface must fail";
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), E_POINTER);
    }
}

TEST_F(InitTest, APkiWhoseQueryFailsOtherwiseEndsInitThroughTheFrame) {
    // A PKI component that answers neither yes nor no.
    struct BrokenPki : CountedObject {
        STDMETHODIMP QueryInterface(REFIID, void** object) override {
            *object = nullptr;
            return E_UNEXPECTED;
        }
    } broken;
    ProxyObject first;
    ASSERT_EQ(first->Init(&host, random.get(), pki.get(), nullptr), S_OK);
    EXPECT_EQ(
        proxy->Init(&host, random.get(), disguisedAs<ISMPrivateKeyInfrastructure>(broken), nullptr),
        E_UNEXPECTED);
    ASSERT_EQ(traces().size(), 1u);
    EXPECT_EQ(traces()[0].rfind("TSR velTesseraProxy(1218): ", 0), 0u) << traces()[0];
    EXPECT_EQ(reportedErrors(), (std::vector<LONG>{E_UNEXPECTED}));
}

struct TransportFailure {
    const char* method;
    HRESULT result;
};

class TransportCreationTest : public InitTest,
                              public ::testing::WithParamInterface<TransportFailure> {};

TEST_P(TransportCreationTest, FailsInitWithTheCodeAndWithoutATrace) {
    script.fail(GetParam().method, GetParam().result, "not today");
    EXPECT_EQ(init(), GetParam().result);
    EXPECT_TRUE(traces().empty());
    EXPECT_TRUE(reportedErrors().empty());
    EXPECT_EQ(script.liveTransports(), 0u) << "a transport that cannot be used is let go";
    EXPECT_EQ(proxy->InitComm(nullptr, VARIANT{}), TSR_E_NOT_INITIALIZED);

    script.succeed(GetParam().method);
    EXPECT_EQ(init(), S_OK) << "a failed Init can be repeated";
    EXPECT_EQ(script.liveTransports(), 1u);
}

INSTANTIATE_TEST_SUITE_P(EachStep, TransportCreationTest,
                         ::testing::Values(TransportFailure{"CreateInstance", E_ACCESSDENIED},
                                           TransportFailure{"Run", E_ABORT}));

TEST_F(InitTest, ATransportWithoutItsInterfaceFailsInitWithNoInterface) {
    script.offersTransport = false;
    EXPECT_EQ(init(), E_NOINTERFACE);
    EXPECT_TRUE(traces().empty());
    EXPECT_EQ(script.liveTransports(), 0u);
}

TEST_F(InitTest, AFailingTransportInitIsTracedWithItsDescriptionAndReported) {
    ProxyObject first;
    ASSERT_EQ(first->Init(&host, random.get(), pki.get(), nullptr), S_OK);
    script.fail("Init", E_ACCESSDENIED, "no random data");
    EXPECT_EQ(init(), E_ACCESSDENIED);
    EXPECT_EQ(traces(), (Strings{"TSR velTesseraProxy(1218): no random data\r\n"}));
    EXPECT_EQ(reportedErrors(), (std::vector<LONG>{E_ACCESSDENIED}));
    EXPECT_EQ(proxy->InitComm(nullptr, VARIANT{}), TSR_E_NOT_INITIALIZED);
}

TEST_F(InitTest, InitCommFetchesTheStartPageAndKeepsItsStartNode) {
    ASSERT_EQ(init(), S_OK);
    ASSERT_EQ(initComm(), S_OK);
    ASSERT_EQ(script.requests().size(), 1u);
    EXPECT_EQ(script.requests()[0].method, "GET");
    EXPECT_EQ(script.requests()[0].address, "https://ca.test/start");
    EXPECT_EQ(proxy.object().step(), 1);
    const StartNode* start = proxy.object().startNode();
    ASSERT_NE(start, nullptr);
    EXPECT_EQ(start->getCreateCertificate(), "https://ca.test/create");
    EXPECT_EQ(start->getCheckCertificate(), "https://ca.test/check");
}

TEST_F(InitTest, InitCommBeforeInitIsRefused) {
    EXPECT_EQ(proxy->InitComm(velcom::Bstr(u"https://ca.test/start").get(), VARIANT{}),
              TSR_E_NOT_INITIALIZED);
    EXPECT_TRUE(script.requests().empty());
    ProxyObject initialized;
    ASSERT_EQ(initialized->Init(&host, random.get(), pki.get(), nullptr), S_OK);
    EXPECT_EQ(proxy->InitComm(nullptr, VARIANT{}), TSR_E_NOT_INITIALIZED);
    EXPECT_EQ(traces(), (Strings{"TSR velTesseraProxy(1243): not initialized\r\n"}));
    EXPECT_EQ(reportedErrors(), (std::vector<LONG>{TSR_E_NOT_INITIALIZED}));
}

TEST_F(InitTest, ASecondInitCommMakesNoRequestAndReturnsToStepOne) {
    open();
    EXPECT_EQ(proxy->InitComm(velcom::Bstr(u"https://elsewhere.test/").get(), VARIANT{}), S_OK);
    EXPECT_EQ(script.requests().size(), 1u);
    EXPECT_EQ(proxy.object().step(), 1);
    EXPECT_EQ(traces(),
              (Strings{"TSR velTesseraProxy(1248): communication already initialized\r\n"}));
}

TEST_F(InitTest, AStartPageWithoutAStartNodeLeavesTheCommunicationClosed) {
    ASSERT_EQ(init(), S_OK);
    EXPECT_EQ(initComm(pageWith("Return=nothing to start")), S_OK);
    EXPECT_EQ(proxy.object().startNode(), nullptr);
    EXPECT_EQ(proxy.object().step(), 1);
    LONG id = 0;
    EXPECT_EQ(proxy->PickUp(&id), TSR_E_COMM_NOT_INITIALIZED);

    EXPECT_EQ(initComm(), S_OK) << "a later InitComm may still find one";
    EXPECT_NE(proxy.object().startNode(), nullptr);
}

TEST_F(InitTest, WithSeveralStartNodesTheLastOneWins) {
    ASSERT_EQ(init(), S_OK);
    ASSERT_EQ(initComm("<!-- !!!\nReturn\nCreateCertficate=first\n--><!-- !!!\nReturn\n"
                       "CreateCertficate=second\n-->"),
              S_OK);
    EXPECT_EQ(proxy.object().startNode()->getCreateCertificate(), "second");
}

TEST_F(InitTest, AnUnusableStartPageFailsInitCommButLeavesStepOne) {
    ASSERT_EQ(init(), S_OK);
    EXPECT_EQ(initComm("<html>maintenance</html>"), TSR_E_RESPONSE);
    EXPECT_EQ(proxy.object().step(), 1);
    EXPECT_EQ(proxy.object().startNode(), nullptr);
}

TEST_F(InitTest, AFailedStartRequestEndsInitCommThroughItsFrameWithoutAStep) {
    ASSERT_EQ(init(), S_OK);
    script.queue(TransportAnswer::failure(E_ACCESSDENIED, "proxy refused"));
    EXPECT_EQ(proxy->InitComm(velcom::Bstr(u"https://ca.test/start").get(), VARIANT{}),
              E_ACCESSDENIED);
    EXPECT_EQ(traces(), (Strings{"TSR velTesseraProxy(1273): proxy refused\r\n"}));
    EXPECT_EQ(reportedErrors(), (std::vector<LONG>{E_ACCESSDENIED}));
    EXPECT_EQ(proxy.object().step(), 0);
}

// Each operation: its check line, the step it requires, and how to call it.
struct Operation {
    const char* name;
    int checkLine;
    long step;
    std::function<HRESULT(IvelTesseraProxy&)> call;
};

std::vector<Operation> operations() {
    return {
        {"RequestStep1", 1297, 1,
         [](IvelTesseraProxy& proxy) {
             velcom::ComPtr<IvelNode> node;
             return proxy.RequestStep1(node.put());
         }},
        {"RequestStep2", 1353, 2,
         [](IvelTesseraProxy& proxy) {
             LONG id = 0;
             return proxy.RequestStep2(nullptr, nullptr, 1, 1, &id);
         }},
        {"PickUp", 1464, 1,
         [](IvelTesseraProxy& proxy) {
             LONG id = 0;
             return proxy.PickUp(&id);
         }},
        {"PickUpEx", 1464, 1,
         [](IvelTesseraProxy& proxy) {
             velcom::ComPtr<IvelTesseraProxyEx> extended;
             proxy.QueryInterface(IID_IvelTesseraProxyEx, extended.putVoid());
             LONG id = 0;
             return extended->PickUpEx(nullptr, &id);
         }},
        {"Revoke", 1601, 1, [](IvelTesseraProxy& proxy) { return proxy.Revoke(nullptr); }},
        {"RenewStep1", 1711, 1,
         [](IvelTesseraProxy& proxy) {
             velcom::ComPtr<IvelNode> node;
             return proxy.RenewStep1(nullptr, nullptr, node.put());
         }},
        {"RenewStep2", 1774, 3,
         [](IvelTesseraProxy& proxy) {
             LONG id = 0;
             return proxy.RenewStep2(nullptr, 0, &id);
         }},
        {"Check", 1862, 1,
         [](IvelTesseraProxy& proxy) {
             velcom::ComPtr<IvelNode> node;
             return proxy.Check(nullptr, node.put());
         }},
        {"UpdateCRL", 1934, 1, [](IvelTesseraProxy& proxy) { return proxy.UpdateCRL(); }},
    };
}

TEST_F(InitTest, EveryOperationBeforeAStartNodeFailsItsCheckAndLeavesStepOne) {
    for (const Operation& operation : operations()) {
        EXPECT_EQ(operation.call(*proxy.get()), TSR_E_COMM_NOT_INITIALIZED) << operation.name;
        EXPECT_EQ(proxy.object().step(), 1) << operation.name;
    }
    ASSERT_EQ(init(), S_OK);
    for (const Operation& operation : operations()) {
        const std::size_t before = traces().size();
        EXPECT_EQ(operation.call(*proxy.get()), TSR_E_COMM_NOT_INITIALIZED) << operation.name;
        ASSERT_EQ(traces().size(), before + 1) << operation.name;
        EXPECT_EQ(traces().back(), "TSR velTesseraProxy(" + std::to_string(operation.checkLine) +
                                       "): communication not initialized\r\n")
            << operation.name;
    }
    EXPECT_EQ(reportedErrors(), std::vector<LONG>(operations().size(), TSR_E_COMM_NOT_INITIALIZED));
}

TEST_F(InitTest, AnOperationOutOfStepFailsItsCheckAndLeavesStepOne) {
    open();
    for (const Operation& operation : operations()) {
        if (operation.step == 1) continue;
        const std::size_t before = traces().size();
        EXPECT_EQ(operation.call(*proxy.get()), TSR_E_WRONG_STEP) << operation.name;
        EXPECT_EQ(proxy.object().step(), 1);
        ASSERT_EQ(traces().size(), before + 1) << operation.name;
        EXPECT_EQ(traces().back(), "TSR velTesseraProxy(" + std::to_string(operation.checkLine) +
                                       "): wrong communication step\r\n")
            << operation.name;
    }
}

TEST_F(InitTest, HeadersOfAnotherFormAreIgnoredWithoutAnError) {
    ASSERT_EQ(init(), S_OK);
    velcom::Variant single;
    single.get()->vt = VT_BSTR;
    single.get()->bstrVal = SysAllocString(u"X-One: 1");
    script.queuePage(startPage());
    EXPECT_EQ(proxy->InitComm(velcom::Bstr(u"https://ca.test/start").get(), *single.get()), S_OK);
    ASSERT_EQ(script.requests().size(), 1u);
    EXPECT_TRUE(script.requests()[0].headers.isList(VT_BSTR));
    EXPECT_TRUE(script.requests()[0].headers.items.empty());
}

TEST_F(InitTest, HeadersGivenAsAnArrayOfVariantsAreIgnoredToo) {
    ASSERT_EQ(init(), S_OK);
    velcom::Variant variants;
    variants.get()->vt = VT_ARRAY | VT_VARIANT;
    variants.get()->parray = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    script.queuePage(startPage());
    EXPECT_EQ(proxy->InitComm(velcom::Bstr(u"https://ca.test/start").get(), *variants.get()), S_OK);
    EXPECT_TRUE(script.requests().at(0).headers.items.empty());
}

}  // namespace

namespace {

// Script hosts reach the proxy by name through IDispatch.
TEST_F(InitTest, ScriptsReachInitAndInitCommByNameInAnyLetterCase) {
    velcom::ComPtr<IDispatch> dispatch;
    ASSERT_EQ(proxy->QueryInterface(IID_IDispatch, dispatch.putVoid()), S_OK);
    OLECHAR initName[] = u"INIT";
    OLECHAR initCommName[] = u"initcomm";
    LPOLESTR names[] = {initName, initCommName};
    DISPID ids[2] = {};
    ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &ids[0]), S_OK);
    ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, names + 1, 1, 0, &ids[1]), S_OK);
    EXPECT_EQ(ids[0], 1);
    EXPECT_EQ(ids[1], 2);

    // Arguments in reverse order: strTmpDir, pPKI, pRandGenerator, pBackChannel.
    VARIANT initArguments[4];
    for (VARIANT& argument : initArguments) VariantInit(&argument);
    velcom::Bstr tmpDir(u"/tmp/tessera");
    initArguments[0].vt = VT_BSTR;
    initArguments[0].bstrVal = tmpDir.get();
    initArguments[1].vt = VT_DISPATCH;
    initArguments[1].pdispVal = static_cast<ISMPrivateKeyInfrastructure*>(pki.get());
    initArguments[2].vt = VT_DISPATCH;
    initArguments[2].pdispVal = random.get();
    initArguments[3].vt = VT_DISPATCH;
    initArguments[3].pdispVal = &host;
    DISPPARAMS initParams{initArguments, nullptr, 4, 0};
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(dispatch->Invoke(ids[0], IID_NULL, 0, DISPATCH_METHOD, &initParams, &result, nullptr,
                               nullptr),
              S_OK);
    EXPECT_EQ(script.callCount("Init"), 1u);

    // The headers are left out, as a script may.
    velcom::Bstr url(u"https://ca.test/start");
    VARIANT commArguments[1];
    commArguments[0].vt = VT_BSTR;
    commArguments[0].bstrVal = url.get();
    DISPPARAMS commParams{commArguments, nullptr, 1, 0};
    script.queuePage(startPage());
    EXPECT_EQ(dispatch->Invoke(ids[1], IID_NULL, 0, DISPATCH_METHOD, &commParams, &result, nullptr,
                               nullptr),
              S_OK);
    ASSERT_EQ(script.requests().size(), 1u);
    EXPECT_EQ(script.requests()[0].address, "https://ca.test/start");
    EXPECT_NE(proxy.object().startNode(), nullptr);
}

TEST_F(InitTest, AnAggregatedProxyPassesItsIdentityToTheOuterObject) {
    CountedObject outer;
    velcom::ComPtr<IUnknown> inner;
    ASSERT_EQ(CvelTesseraProxy::create(&outer, IID_IUnknown, inner.putVoid()), S_OK);
    velcom::ComPtr<IvelTesseraProxy> aggregated;
    ASSERT_EQ(inner->QueryInterface(IID_IvelTesseraProxy, aggregated.putVoid()), S_OK);
    EXPECT_EQ(outer.references, 2u) << "references to the proxy's interfaces count on the outer";
    velcom::ComPtr<IUnknown> identity;
    ASSERT_EQ(aggregated->QueryInterface(IID_IUnknown, identity.putVoid()), S_OK);
    EXPECT_EQ(identity.get(), static_cast<IUnknown*>(static_cast<IDispatch*>(&outer)));
    identity.reset();
    aggregated.reset();
    EXPECT_EQ(outer.references, 1u);
    EXPECT_NE(moduleLockCount(), 0) << "the inner unknown keeps the proxy";
    inner.reset();

    velcom::ComPtr<IUnknown> refused;
    EXPECT_EQ(CvelTesseraProxy::create(&outer, IID_IvelTesseraProxy, refused.putVoid()),
              CLASS_E_NOAGGREGATION);
    EXPECT_FALSE(refused);
    EXPECT_EQ(CvelTesseraProxy::create(nullptr, IID_IvelTesseraProxy, nullptr), E_POINTER);
    EXPECT_EQ(CvelTesseraProxy::create(nullptr, IID_IvelNode, refused.putVoid()), E_NOINTERFACE);
}

}  // namespace
