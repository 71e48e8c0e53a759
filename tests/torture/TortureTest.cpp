// Every operation of the proxy, and the host's walk through a node tree it hands out, with each
// allocation it makes (the doubles' aside) failing, once or from there on. Each run must end in a
// failure the host can tell (E_OUTOFMEMORY, or E_FAIL for a std::bad_alloc, which the frames treat
// as any std::exception) or in the full result, never in a crash or a success that lost something;
// the proxy must serve the operation again at once, and nothing may be left behind (the references
// the doubles count, the sanitizer's leak check at exit). CI runs a fixed sample of the failure
// points; VEL_FULL=1 runs all of them and prints, per operation, how many and how long they took.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <numeric>
#include <random>

#include <gmock/gmock.h>

#include "proxy/ProxyTest.h"
#include "torture/AllocationFailure.h"

namespace {

constexpr std::size_t kSampledRuns = 40;

const Params kApplication = {{"-challenge", "c-1"}, {"-ident-org_name", "Org"}};
const Params kReceipt = {{"-refnum", "4711"}, {"-cert_format", "PEM"}};
const std::string kIssued = pageWith("Return=issued\nStatus=100\nParam1=cert\nValue1=MIICcert");
// The receipt for an application and the certificate fetched with it.
Pages issuing() {
    return {answerPage("submitted", kReceipt, "https://ca.test/fetch", "GET"), kIssued};
}

class TortureTest;
using Step = HRESULT (TortureTest::*)();
using Failing = AllocationFailure::Failing;

struct Operation {
    const char* name;
    std::vector<Step> before;  // run without failures
    Step tortured;
    HRESULT result = S_OK;  // without failures
};
// Named in test lists by its name alone.
void PrintTo(const Operation& operation, std::ostream* stream) { *stream << operation.name; }

class TortureTest : public ProxyTest, public ::testing::WithParamInterface<Operation> {
protected:
    struct Outcome {
        HRESULT result = S_OK;
        std::size_t allocations = 0;
        Strings effects;
    };

    void SetUp() override {
        std::string made = std::filesystem::temp_directory_path() / "tessera-XXXXXX";
        ASSERT_NE(::mkdtemp(made.data()), nullptr);
        directory = made;
        directoryText = velcom::Bstr(directory.u16string());
        pki->openRequests = makeStringList({"77"});
    }
    void TearDown() override {
        std::filesystem::remove_all(directory);
        ProxyTest::TearDown();
    }

    // The operation on a new proxy, its `failAt`th allocation failing (or every one from there
    // on), and what came of it; or `again` on the proxy the last run left, without failures.
    Outcome run(const Operation& operation, std::size_t failAt, Failing failing,
                bool again = false) {
        if (!again) proxy = ProxyObject();
        for (const Step step : operation.before) EXPECT_EQ((this->*step)(), S_OK);
        const std::size_t sent = script.requests.size(), made = pki->calls().size();
        forgetCallbacks();
        if (!again) armedAt = {failAt, failing};
        const HRESULT result = (this->*operation.tortured)();
        armedAt.reset();
        return {result, allocations, effectsSince(sent, made)};
    }

    // What the server and the PKI component saw, what the host heard and got, the proxy's state.
    Strings effectsSince(std::size_t sent, std::size_t made) {
        Strings effects = heard();
        for (std::size_t index = sent; index < script.requests.size(); ++index) {
            const TransportRequest& request = script.requests[index];
            std::string text = request.method + " " + request.address + " " + request.options;
            for (const std::string& item : request.fields.items) text += " " + item;
            effects.push_back(text);
        }
        // With the arguments and the file read, but not the times of day (ten digits).
        for (std::size_t index = made; index < pki->calls().size(); ++index) {
            const PkiCall& call = pki->calls()[index];
            std::string text = call.method + "(" + call.fileContent.value_or("") + ")";
            for (const std::string& argument : call.arguments)
                if (argument.size() != 10 || !std::isdigit(argument[0])) text += " " + argument;
            effects.push_back(text);
        }
        if (proxy)
            effects.push_back("id " + std::to_string(certificateId) + ", step " +
                              std::to_string(proxy.object().step()) +
                              (proxy.object().startNode() ? ", started" : ""));
        if (node) effects.push_back("node");
        if (!tree.empty()) effects.push_back(tree);
        certificateId = 0;
        node.reset();
        tree.clear();
        return effects;
    }

public:
    // The steps, in the order a host takes them; each scripts the pages its server answers with.
    HRESULT create() {
        proxy.reset();
        return component([this] {
            return CvelTesseraProxy::create(nullptr, IID_IvelTesseraProxy, proxy.putVoid());
        });
    }
    HRESULT initialize() {
        return component(
            [this] { return proxy->Init(&host, random, pki.get(), directoryText.get()); });
    }
    HRESULT startCommunication() {
        if (!proxy.object().startNode()) script.answers.push_back(startPage());
        return component([this] { return proxy->InitComm(startAddress.get(), VARIANT{}); });
    }
    HRESULT requestStep1() {
        return answeredWith({answerPage("application", kApplication, "https://ca.test/submit")},
                            [this] { return proxy->RequestStep1(node.put()); });
    }
    HRESULT requestStep2() {
        return answeredWith(issuing(), [this] {
            return proxy->RequestStep2(password.get(), password.get(), 1, 1, &certificateId);
        });
    }
    HRESULT pickUp() {
        return answeredWith(
            {answerPage("PickUp", {{"-reference_list", "42+77"}, {"-abhol_list", "0+0"}},
                        "https://ca.test/pickup/select"),
             pageWith("Return=Certificate\nParam1=cert\nValue1=MIICcert")},
            [this] {
                return static_cast<IvelTesseraProxyEx&>(proxy.object())
                    .PickUpEx(authenticator.get(), &certificateId);
            });
    }
    HRESULT revoke() {
        return answeredWith(
            {answerPage("Revoke", {{"-serial_list", "11+A3F"}}, "https://ca.test/revoke/select"),
             answerPage("Revoke", {{"-serial_nr", "A3F"}, {"-ident_lang", "de"}},
                        "https://ca.test/revoke/confirm"),
             pageWith("Return=Revoked\nStatus=100")},
            [this] { return proxy->Revoke(certificate.get()); });
    }
    HRESULT renewStep1() {
        return answeredWith(
            {answerPage("renewal", kApplication, "https://ca.test/renew-submit")}, [this] {
                return proxy->RenewStep1(certificate.get(), authenticator.get(), node.put());
            });
    }
    HRESULT renewStep2() {
        return answeredWith(
            issuing(), [this] { return proxy->RenewStep2(password.get(), 1, &certificateId); });
    }
    HRESULT check() {
        return answeredWith({answerPage("Form", {{"-crl_format", "pem"}, {"-ident_lang", "de"}},
                                        "https://ca.test/check/state"),
                             pageWith("Return=State\nStatus=100\nErrorMessage=revoked\nParam1=-"
                                      "cert_state\nValue1=2\nParam2=-valid_to\nValue2=2030")},
                            [this] { return proxy->Check(certificate.get(), node.put()); });
    }
    HRESULT updateCrl() {
        return answeredWith(
            {answerPage("Form", {{"-crl_format", "pem"}}, "https://ca.test/crl/get", "GET"),
             pageWith("Return=CRL\nParam1=crl\nType1=X.509\nValue1=MIICRL")},
            [this] { return proxy->UpdateCRL(); });
    }
    // The error paths: a refusal, reported with the server's texts, and a transport's failure.
    // (Out of memory, a collaborator's error description may give way to the system's text for
    // its code; the code itself is kept, so the failure here carries none.)
    HRESULT refusedRequest() {
        return answeredWith({refusalPage(5, "unknown applicant")},
                            [this] { return proxy->RequestStep1(node.put()); });
    }
    HRESULT failingTransport() {
        return answeredWith({{"", E_ACCESSDENIED}},
                            [this] { return proxy->Check(certificate.get(), node.put()); });
    }
    // The host reads every node of the tree, as a script would, through the collections'
    // indices and enumerators and through IDispatch.
    HRESULT walkTree() {
        const velcom::ComPtr<IvelNode> root = std::move(node);
        return component([&] { return walk(*root.get(), tree); });
    }

protected:
    // The component's part of a step, with the chosen allocation failing in the tortured step.
    HRESULT component(const std::function<HRESULT()>& call) {
        if (!armedAt) return call();
        const AllocationFailure failure(armedAt->first, armedAt->second);
        const HRESULT result = call();
        allocations = failure.count();
        return result;
    }
    HRESULT answeredWith(Pages pages, const std::function<HRESULT()>& call) {
        script.answers.assign(pages.begin(), pages.end());
        const HRESULT result = component(call);
        script.answers.clear();
        return result;
    }
    static HRESULT walk(IvelNode& current, std::string& text) {
        velcom::Bstr name, value;
        NodeType type{};
        LONG number = 0, count = 0;
        velcom::ComPtr<IvelNodeCollection> children;
        velcom::ComPtr<IUnknown> unknown;
        velcom::ComPtr<IEnumVARIANT> enumerator;
        HRESULT result = current.get_Name(name.put());
        if (SUCCEEDED(result)) result = current.get_Type(&type);
        if (SUCCEEDED(result)) result = current.get_StringProp(value.put());
        if (SUCCEEDED(result)) result = current.get_LongProp(&number);
        if (SUCCEEDED(result)) result = byDispatch(current, value);
        if (SUCCEEDED(result)) result = current.get_SubNodes(children.put());
        if (SUCCEEDED(result)) result = children->get_Count(&count);
        if (SUCCEEDED(result)) result = children->get__NewEnum(unknown.put());
        if (SUCCEEDED(result)) result = unknown.as(enumerator);
        if (FAILED(result)) return result;
        note(text, [&] {
            return toAnsi(name.get()) + "(" + std::to_string(type) + " " + toAnsi(value.get()) +
                   " " + std::to_string(number) + ")[";
        });
        for (LONG index = 0; index < count; ++index) {
            velcom::ComPtr<IvelNode> child;
            velcom::Variant item;  // the enumerator's copy of the child
            ULONG fetched = 0;
            result = children->get_Item(index, child.put());
            if (SUCCEEDED(result)) result = enumerator->Next(1, item.put(), &fetched);
            if (SUCCEEDED(result) && fetched != 1) result = E_UNEXPECTED;
            if (SUCCEEDED(result)) result = walk(*child.get(), text);
            if (FAILED(result)) return result;
        }
        note(text, [] { return "]"; });
        return S_OK;
    }
    // The host's own notes, made on its side.
    template <class Piece>
    static void note(std::string& text, Piece piece) {
        const CallSide side(Side::host);
        text += piece();
    }
    // StringProp again, by name, as a script host asks for it; it must agree with the vtable's.
    static HRESULT byDispatch(IvelNode& current, const velcom::Bstr& expected) {
        OLECHAR nameText[] = u"stringprop";
        LPOLESTR names[] = {nameText};
        DISPID member = 0;
        DISPPARAMS none{};
        velcom::Variant value;
        EXCEPINFO exception{};
        HRESULT result = current.GetIDsOfNames(IID_NULL, names, 1, 0, &member);
        if (SUCCEEDED(result))
            result = current.Invoke(member, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, value.put(),
                                    &exception, nullptr);
        // A failed member's own code travels in the exception information.
        if (result == DISP_E_EXCEPTION) result = exception.scode;
        for (BSTR text : {exception.bstrSource, exception.bstrDescription, exception.bstrHelpFile})
            SysFreeString(text);
        const CallSide side(Side::host);
        if (SUCCEEDED(result) &&
            (value.get()->vt != VT_BSTR || toAnsi(value.get()->bstrVal) != toAnsi(expected.get())))
            result = E_UNEXPECTED;
        return result;
    }

    std::filesystem::path directory;
    velcom::ComPtr<TestCertificate> certificate = make<TestCertificate>();
    velcom::ComPtr<TestAuthenticator> authenticator = make<TestAuthenticator>();
    velcom::ComPtr<IvelNode> node;
    std::string tree;
    LONG certificateId = 0;
    velcom::Bstr directoryText;
    const velcom::Bstr startAddress{u"https://ca.test/start"}, password{u"secret"};
    std::optional<std::pair<std::size_t, Failing>> armedAt;
    std::size_t allocations = 0;
};

std::vector<std::size_t> failurePoints(std::size_t allocations) {
    std::vector<std::size_t> points(allocations);
    std::iota(points.begin(), points.end(), 1);
    const char* full = std::getenv("VEL_FULL");
    if ((full != nullptr && std::string(full) == "1") || allocations <= kSampledRuns) return points;
    std::mt19937 random(20261207);
    std::shuffle(points.begin(), points.end(), random);
    points.resize(kSampledRuns);
    return points;
}

TEST_P(TortureTest, EachFailedAllocationIsReportedAndTheProxyServesTheNextCall) {
    const Operation& operation = GetParam();
    const Outcome expected = run(operation, AllocationFailure::kNever, Failing::once);
    ASSERT_EQ(expected.result, operation.result);
    const Strings expectedAgain = run(operation, 0, Failing::once, true).effects;

    const auto start = std::chrono::steady_clock::now();
    const std::vector<std::size_t> points = failurePoints(expected.allocations);
    for (const std::size_t failAt : points)
        for (const Failing failing : {Failing::once, Failing::onward}) {
            SCOPED_TRACE("allocation " + std::to_string(failAt) + " of " +
                         std::to_string(expected.allocations) +
                         (failing == Failing::onward ? " and on" : ""));
            const Outcome outcome = run(operation, failAt, failing);
            ASSERT_GE(outcome.allocations, failAt) << "the operation allocates the same each time";
            if (outcome.result == operation.result)
                EXPECT_EQ(outcome.effects, expected.effects)
                    << "that result must be the whole result";
            else
                EXPECT_TRUE(outcome.result == E_OUTOFMEMORY || outcome.result == E_FAIL)
                    << nameOf(outcome.result);
            // Again as at first, or as a second time when the failure came after the state was set.
            const Outcome retried = run(operation, 0, Failing::once, true);
            EXPECT_EQ(retried.result, operation.result);
            EXPECT_THAT(retried.effects, ::testing::AnyOf(expected.effects, expectedAgain));
            proxy.reset();
            EXPECT_EQ(script.liveTransports, 0u);
            EXPECT_EQ(moduleLockCount(), 0);
            for (ULONG references :
                 {host.references.load(), pki->references(), pki->request->references(),
                  pki->key->references(), certificate->references(), authenticator->references()})
                EXPECT_EQ(references, 1u);
            if (HasFailure()) return;
        }
    const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
    std::cout << operation.name << ": " << points.size() << " of " << expected.allocations
              << " failure points, once and onward, in " << spent.count() << " s\n";
}

using T = TortureTest;
const std::vector<Step> kStarted = {&T::initialize, &T::startCommunication};
std::vector<Step> after(std::vector<Step> steps) {
    steps.insert(steps.begin(), kStarted.begin(), kStarted.end());
    return steps;
}

INSTANTIATE_TEST_SUITE_P(
    Operations, TortureTest,
    ::testing::Values(
        Operation{"Create", {}, &T::create}, Operation{"Init", {}, &T::initialize},
        Operation{"InitComm", {&T::initialize}, &T::startCommunication},
        Operation{"RequestStep1", kStarted, &T::requestStep1},
        Operation{"RequestStep2", after({&T::requestStep1}), &T::requestStep2},
        Operation{"PickUp", kStarted, &T::pickUp}, Operation{"Revoke", kStarted, &T::revoke},
        Operation{"RenewStep1", kStarted, &T::renewStep1},
        Operation{"RenewStep2", after({&T::renewStep1}), &T::renewStep2},
        Operation{"Check", kStarted, &T::check}, Operation{"UpdateCRL", kStarted, &T::updateCrl},
        Operation{"NodeTree", after({&T::check}), &T::walkTree},
        Operation{"Refusal", kStarted, &T::refusedRequest, TSR_E_SERVER},
        Operation{"TransportFailure", kStarted, &T::failingTransport, E_ACCESSDENIED}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
