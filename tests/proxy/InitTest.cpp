// Init, InitComm, the state checks of every operation, and the frame that turns every failure
// inside a proxy method into its result: traced with the method's frame line, reported, returned.
#include <cerrno>
#include <functional>
#include <stdexcept>

#include "Utility/ExceptionBase.h"
#include "proxy/ProxyTest.h"

namespace {

using InitTest = ProxyTest;

TEST_F(InitTest, InitCreatesTheTransportAndHandsItTheProxysBackChannelAndTheGenerator) {
    ASSERT_EQ(init(), S_OK);
    for (const char* step : {"CreateInstance", "Run", "Init"})
        EXPECT_EQ(script.callCount(step), 1u) << step;
    EXPECT_EQ(script.random(), random);
    EXPECT_NE(script.backChannel(), nullptr);
    EXPECT_TRUE(host.calls().empty());

    const auto otherPki = make<RecordingPki>();
    RecordingBackChannel otherHost;
    EXPECT_EQ(proxy->Init(&otherHost, nullptr, otherPki.get(), nullptr), S_OK);
    EXPECT_EQ(traces(), (Strings{"TSR velTesseraProxy(1183): already initialized\r\n"}));
    EXPECT_EQ(script.callCount("CreateInstance"), 1u) << "a second Init is ignored";
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
        EXPECT_EQ(init(nullptr, &fresh), result);
        EXPECT_EQ(script.liveTransports(), 0u) << "a transport that cannot be used is let go";
        expectReported("", "");
        EXPECT_EQ(initComm("", &fresh), TSR_E_NOT_INITIALIZED);
        script.succeedAll();
        script.offersTransport = true;
        EXPECT_EQ(init(nullptr, &fresh), S_OK);
        EXPECT_EQ(script.liveTransports(), 1u);
    }
}

// A PKI component whose QueryInterface, the first thing Init does with it, fails or raises.
class ThrowingPki : public CountedObject {
public:
    explicit ThrowingPki(std::function<HRESULT()> query) : m_query(std::move(query)) {}
    STDMETHODIMP QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return m_query();
    }

private:
    std::function<HRESULT()> m_query;
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
    const std::string frame = "TSR velTesseraProxy(1218): ";
    const auto message = [](HRESULT code) { return std::string(_com_error(code).ErrorMessage()); };
    const struct {
        const char* name;
        std::function<HRESULT()> init;
        HRESULT result;
        std::string trace;
    } failures[] = {
        // Refused before the frame, so not reported.
        {"no PKI", [this] { return proxy->Init(&host, random, nullptr, nullptr); }, E_INVALIDARG,
         "TSR velTesseraProxy(1189): invalid PKI\r\n"},
        {"transport's Init",
         [this] { return script.fail("Init", E_ACCESSDENIED, "no data"), init(); }, E_ACCESSDENIED,
         frame + "no data\r\n"},
        {"PKI query failing otherwise", withPki([] { return E_UNEXPECTED; }), E_UNEXPECTED,
         frame + message(E_UNEXPECTED) + "\r\n"},
        {"COM error", withPki([]() -> HRESULT { throw _com_error(E_OUTOFMEMORY); }), E_OUTOFMEMORY,
         frame + message(E_OUTOFMEMORY) + "\r\n"},
        {"exception of the component",
         withPki([]() -> HRESULT { throw PreCondition("velNode", 12); }),
         static_cast<HRESULT>(PreCondition::kCode),
         frame + "PreCondition violated(File velNode at Line 12)\r\n"},
        {"standard exception",
         withPki([]() -> HRESULT { throw(errno = 34, std::length_error("too long")); }), E_FAIL,
         frame + "Exception too long (34)\r\n"},
    };
    for (const auto& failure : failures) {
        SCOPED_TRACE(failure.name);
        forgetCallbacks();
        EXPECT_EQ(failure.init(), failure.result);
        expectReported(failure.trace,
                       failure.result == E_INVALIDARG ? "" : std::to_string(failure.result));

        script.succeedAll();
        forgetCallbacks();
        EXPECT_EQ(initComm(""), TSR_E_NOT_INITIALIZED) << "Init did not complete";
        expectReported("TSR velTesseraProxy(1243): not initialized\r\n",
                       std::to_string(TSR_E_NOT_INITIALIZED));
    }
    EXPECT_EQ(script.requests().size(), 0u);
    EXPECT_EQ(script.callCount("CreateInstance"), 2u) << "only the transport's Init got so far";
}

TEST_F(InitTest,
       InitCommFetchesTheStartPageWithHeadersOnlyFromAStringListAndKeepsItsLastStartNode) {
    struct Page {
        const char* name;
        TransportAnswer answer;
        HRESULT result;
        long step;
        std::string start;  // the start node's addresses for creating and checking; none if empty
        std::string trace;  // none if empty
        velcom::Variant headers = {};  // any other form than a list of strings is ignored
    };
    const std::string unusable = "<html>maintenance</html>";
    const Page pages[] = {
        {"start page", startPage(), S_OK, 1, "https://ca.test/create https://ca.test/check", ""},
        {"no start node", pageWith("Return=none"), S_OK, 1, "", "", makeText("X-One: 1")},
        {"two start nodes",
         "<!-- !!!\nReturn\nCreateCertficate=first\n--><!-- !!!\nReturn\n"
         "CreateCertficate=second\n-->",
         S_OK, 1, "second ", "", arrayOf<VARIANT>(VT_VARIANT, {VARIANT{}, VARIANT{}})},
        {"unusable page", unusable, TSR_E_RESPONSE, 1, "",
         "TSR velTesseraProxy(297): cannot process server response\r\n" + unusable + "\r\n"},
        {"failed request", TransportAnswer::failure(E_ACCESSDENIED, "proxy refused"),
         E_ACCESSDENIED, 0, "", "TSR velTesseraProxy(1273): proxy refused\r\n"},
    };
    for (const Page& page : pages) {
        SCOPED_TRACE(page.name);
        ProxyObject fresh;
        ASSERT_EQ(init(nullptr, &fresh), S_OK);
        forgetCallbacks();
        script.queue(page.answer);
        EXPECT_EQ(initComm("", &fresh, *page.headers.get()), page.result);
        EXPECT_TRUE(script.requests().back().headers.isList(VT_BSTR));
        EXPECT_TRUE(script.requests().back().headers.items.empty());
        EXPECT_EQ(fresh.object().step(), page.step);
        expectReported(page.trace, page.trace.empty() ? "" : std::to_string(page.result));
        const StartNode* start = fresh.object().startNode();
        EXPECT_EQ(start ? start->getCreateCertificate() + " " + start->getCheckCertificate() : "",
                  page.start);
        if (start != nullptr) continue;
        LONG id = 0;
        EXPECT_EQ(fresh->PickUp(&id), TSR_E_COMM_NOT_INITIALIZED);
        EXPECT_EQ(initComm(startPage(), &fresh), S_OK) << "a later InitComm may still find one";
        EXPECT_NE(fresh.object().startNode(), nullptr);
    }
}

TEST_F(InitTest, EveryOperationChecksForAStartNodeAndItsStepAndLeavesStepOne) {
    velcom::ComPtr<IvelTesseraProxyEx> extended;
    ASSERT_EQ(proxy->QueryInterface(IID_IvelTesseraProxyEx, extended.putVoid()), S_OK);
    velcom::ComPtr<IvelNode> node;
    LONG id = 0;
    IvelTesseraProxy& object = *proxy.get();
    const struct {
        const char* name;
        int checkLine;
        long step;  // the step it requires
        std::function<HRESULT()> call;
    } operations[] = {
        {"RequestStep1", 1297, 1, [&] { return object.RequestStep1(node.put()); }},
        {"RequestStep2", 1353, 2, [&] { return object.RequestStep2(nullptr, nullptr, 1, 1, &id); }},
        {"PickUp", 1464, 1, [&] { return object.PickUp(&id); }},
        {"PickUpEx", 1464, 1, [&] { return extended->PickUpEx(nullptr, &id); }},
        {"Revoke", 1601, 1, [&] { return object.Revoke(nullptr); }},
        {"RenewStep1", 1711, 1, [&] { return object.RenewStep1(nullptr, nullptr, node.put()); }},
        {"RenewStep2", 1774, 3, [&] { return object.RenewStep2(nullptr, 0, &id); }},
        {"Check", 1862, 1, [&] { return object.Check(nullptr, node.put()); }},
        {"UpdateCRL", 1934, 1, [&] { return object.UpdateCRL(); }},
    };
    // Before Init nothing is traced; after it, without InitComm, there is no start node; after
    // InitComm every operation but those of step one is out of step.
    const auto check = [&](HRESULT expected, const std::string& text) {
        for (const auto& operation : operations) {
            SCOPED_TRACE(operation.name);
            if (expected == TSR_E_WRONG_STEP && operation.step == 1) continue;
            forgetCallbacks();
            EXPECT_EQ(operation.call(), expected);
            EXPECT_EQ(proxy.object().step(), 1);
            const std::string line = "TSR velTesseraProxy(" + std::to_string(operation.checkLine) +
                                     "): " + text + "\r\n";
            expectReported(text.empty() ? "" : line, text.empty() ? "" : std::to_string(expected));
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
