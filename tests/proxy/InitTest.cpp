// Init, InitComm, the state checks of every operation, and the frame that turns every failure
// inside a proxy method into its result: traced with the method's frame line, reported, returned.
#include <cerrno>
#include <functional>
#include <stdexcept>
#include <tuple>

#include "Utility/ExceptionBase.h"
#include "proxy/ProxyTest.h"

namespace {

using InitTest = ProxyTest;

TEST_F(InitTest, InitCreatesTheTransportAndHandsItTheProxysBackChannelAndTheGenerator) {
    ASSERT_EQ(init(), S_OK);
    EXPECT_EQ(script.random, random);
    EXPECT_NE(script.backChannel, nullptr);
    EXPECT_TRUE(host.calls().empty());

    const auto otherPki = make<RecordingPki>();
    RecordingBackChannel otherHost;
    EXPECT_EQ(told(proxy->Init(&otherHost, nullptr, otherPki.get(), nullptr)),
              (Strings{"S_OK", "1 1183: already initialized"}));
    for (const char* step : {"CreateInstance", "Run", "Init"})
        EXPECT_EQ(script.callCount(step), 1u) << step << ", once: a second Init is ignored";
    EXPECT_EQ(otherHost.references, 1u) << "the second back channel is not kept";
    proxy.object().pki().openRequests();
    EXPECT_EQ(pki->calls().size(), 1u);
    EXPECT_TRUE(otherPki->calls().empty());
}

TEST_F(InitTest, AFailingTransportFailsInitWithoutATraceAndInitCanBeRepeated) {
    const std::pair<std::function<void()>, HRESULT> failures[] = {
        {[&] { script.fail("CreateInstance", E_ACCESSDENIED, "no"); }, E_ACCESSDENIED},
        {[&] { script.fail("Run", E_ABORT); }, E_ABORT},
        {[&] { script.offersTransport = false; }, E_NOINTERFACE}};
    for (const auto& [breakTransport, result] : failures) {
        SCOPED_TRACE(result);
        ProxyObject fresh;
        forgetCallbacks();
        breakTransport();
        EXPECT_EQ(told(init(nullptr, &fresh)), Strings{nameOf(result)});
        EXPECT_EQ(script.liveTransports, 0u) << "a transport that cannot be used is let go";
        EXPECT_EQ(initComm("", &fresh), TSR_E_NOT_INITIALIZED);
        script.succeedAll();
        script.offersTransport = true;
        EXPECT_EQ(init(nullptr, &fresh), S_OK);
        EXPECT_EQ(script.liveTransports, 1u);
    }
}

// Its QueryInterface, the first thing Init does with it, fails or raises.
struct ThrowingPki : CountedObject {
    explicit ThrowingPki(std::function<HRESULT()> failure) : query(std::move(failure)) {}
    std::function<HRESULT()> query;
    STDMETHODIMP QueryInterface(REFIID, void** object) override {
        return *object = nullptr, query();
    }
};

TEST_F(InitTest, FailuresInsideInitAreTracedWithTheFrameLineReportedAndLeaveItUndone) {
    ProxyObject first;  // its Init gives the tracer the host, so that failing Inits show
    ASSERT_EQ(init(nullptr, &first), S_OK);
    const auto withPki = [this](std::function<HRESULT()> query) {
        return [this, query] {
            ThrowingPki broken(query);
            return proxy->Init(&host, random, disguisedAs<ISMPrivateKeyInfrastructure>(broken),
                               nullptr);
        };
    };
    const auto frame = [](HRESULT code, std::string text = {}) {
        return Strings{nameOf(code) + " reported",
                       "7 1218: " + (text.empty() ? _com_error(code).ErrorMessage() : text)};
    };
    const std::pair<std::function<HRESULT()>, Strings> failures[] = {
        // Refused before the frame, so not reported.
        {[this] { return proxy->Init(&host, random, nullptr, nullptr); },
         {"E_INVALIDARG", "1 1189: invalid PKI"}},
        {[this] { return script.fail("Init", E_ACCESSDENIED, "no data"), init(); },
         frame(E_ACCESSDENIED, "no data")},
        {withPki([] { return E_UNEXPECTED; }), frame(E_UNEXPECTED)},
        {withPki([]() -> HRESULT { throw _com_error(E_OUTOFMEMORY); }), frame(E_OUTOFMEMORY)},
        {withPki([]() -> HRESULT { throw PreCondition("velNode", 12); }),
         frame(PreCondition::kCode, "PreCondition violated(File velNode at Line 12)")},
        {withPki([]() -> HRESULT { throw(errno = 34, std::length_error("too long")); }),
         frame(E_FAIL, "Exception too long (34)")},
    };
    for (const auto& [failingInit, transcript] : failures) {
        SCOPED_TRACE(transcript[0]);
        forgetCallbacks();
        EXPECT_EQ(told(failingInit()), transcript);
        script.succeedAll();
        forgetCallbacks();
        EXPECT_EQ(told(initComm("")),
                  (Strings{"TSR_E_NOT_INITIALIZED reported", "1 1243: not initialized"}))
            << "Init did not complete";
    }
    EXPECT_EQ(script.requests.size(), 0u);
    EXPECT_EQ(script.callCount("CreateInstance"), 2u) << "only the transport's Init got so far";
}

TEST_F(InitTest,
       InitCommFetchesTheStartPageWithHeadersOnlyFromAStringListAndKeepsItsLastStartNode) {
    // told(), step, the start node's addresses; headers in any form but a string list are ignored.
    const std::string unusable = "<html>maintenance</html>";
    const std::tuple<TransportAnswer, Strings, velcom::Variant> pages[] = {
        {startPage(), {"S_OK", "step 1", "start https://ca.test/create https://ca.test/check"}, {}},
        {pageWith("Return=none"), {"S_OK", "step 1", "start "}, makeText("X-One: 1")},
        {"<!-- !!!\nReturn\nCreateCertficate=first\n--><!-- !!!\nReturn\n"
         "CreateCertficate=second\n-->",
         {"S_OK", "step 1", "start second "},
         arrayOf<VARIANT>(VT_VARIANT, {VARIANT{}, VARIANT{}})},
        {unusable,
         {"TSR_E_RESPONSE reported", "3 297: cannot process server response\r\n" + unusable,
          "step 1", "start "},
         {}},
        {{"", E_ACCESSDENIED, "proxy refused"},
         {"E_ACCESSDENIED reported", "7 1273: proxy refused", "step 0", "start "},
         {}},
    };
    for (const auto& [answer, transcript, headers] : pages) {
        SCOPED_TRACE(transcript[2]);
        ProxyObject fresh;
        ASSERT_EQ(init(nullptr, &fresh), S_OK);
        forgetCallbacks();
        script.answers.push_back(answer);
        Strings got = told(initComm("", &fresh, *headers.get()));
        const ListArgument& sent = script.requests.back().headers;
        EXPECT_TRUE(sent.isList(VT_BSTR) && sent.items.empty());
        const StartNode* start = fresh.object().startNode();
        got.push_back("step " + std::to_string(fresh.object().step()));
        got.push_back(
            "start " +
            (start ? start->getCreateCertificate() + " " + start->getCheckCertificate() : ""));
        EXPECT_EQ(got, transcript);
        if (start != nullptr) continue;
        LONG id = 0;
        EXPECT_EQ(fresh->PickUp(&id), TSR_E_COMM_NOT_INITIALIZED);
        EXPECT_EQ(initComm(startPage(), &fresh), S_OK) << "a later InitComm may still find one";
        EXPECT_NE(fresh.object().startNode(), nullptr);
    }
}

TEST_F(InitTest, EveryOperationChecksForAStartNodeAndItsStepAndLeavesStepOne) {
    velcom::ComPtr<IvelNode> node;
    LONG id = 0;
    // Each operation, the line of its check and the step it requires.
    const std::tuple<const char*, int, long, std::function<HRESULT()>> operations[] = {
        {"RequestStep1", 1297, 1, [&] { return proxy->RequestStep1(node.put()); }},
        {"RequestStep2", 1353, 2, [&] { return proxy->RequestStep2(nullptr, nullptr, 1, 1, &id); }},
        {"PickUp", 1464, 1, [&] { return proxy->PickUp(&id); }},
        {"PickUpEx", 1464, 1, [&] { return proxy.object().PickUpEx(nullptr, &id); }},
        {"Revoke", 1601, 1, [&] { return proxy->Revoke(nullptr); }},
        {"RenewStep1", 1711, 1, [&] { return proxy->RenewStep1(nullptr, nullptr, node.put()); }},
        {"RenewStep2", 1774, 3, [&] { return proxy->RenewStep2(nullptr, 0, &id); }},
        {"Check", 1862, 1, [&] { return proxy->Check(nullptr, node.put()); }},
        {"UpdateCRL", 1934, 1, [&] { return proxy->UpdateCRL(); }},
    };
    // Before Init nothing is traced; then there is no start node; then only step one is in step.
    const auto check = [&](HRESULT expected, const std::string& text) {
        for (const auto& [name, checkLine, step, call] : operations) {
            SCOPED_TRACE(name);
            if (expected == TSR_E_WRONG_STEP && step == 1) continue;
            forgetCallbacks();
            Strings expect{nameOf(expected)};
            if (!text.empty())
                expect = {expect[0] + " reported", "1 " + std::to_string(checkLine) + ": " + text};
            EXPECT_EQ(told(call()), expect);
            EXPECT_EQ(proxy.object().step(), 1);
        }
    };
    check(TSR_E_COMM_NOT_INITIALIZED, "");
    ASSERT_EQ(init(), S_OK);
    check(TSR_E_COMM_NOT_INITIALIZED, "communication not initialized");
    ASSERT_EQ(initComm(), S_OK);
    check(TSR_E_WRONG_STEP, "wrong communication step");
}

TEST_F(InitTest, AnAggregatedProxyPassesItsIdentityToTheOuterObject) {
    CountedObject outer;
    velcom::ComPtr<IUnknown> inner;
    ASSERT_EQ(CvelTesseraProxy::create(&outer, IID_IUnknown, inner.putVoid()), S_OK);
    velcom::ComPtr<IvelTesseraProxy> aggregated;
    ASSERT_EQ(inner->QueryInterface(IID_IvelTesseraProxy, aggregated.putVoid()), S_OK);
    EXPECT_EQ(outer.references, 2u) << "references to the proxy count on the outer";
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
