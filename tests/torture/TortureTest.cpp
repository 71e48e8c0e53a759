// Every proxy operation, and the host's walk through a node tree, with each allocation failing once
// or from there on: a failure the host can tell or the whole result, nothing left behind.
#include <cstdlib>
#include <iostream>
#include <numeric>
#include <random>

#include <gmock/gmock.h>

#include "proxy/ProxyTest.h"
#include "torture/AllocationFailure.h"

namespace {

constexpr std::size_t kSampledRuns = 40;

using Failing = AllocationFailure::Failing;

const Params kApplication = {{"-challenge", "c-1"}, {"-ident-org_name", "Org"}};
// The receipt for an application and the certificate fetched with it.
const Pages kIssuing = {answerPage("submitted", {{"-refnum", "4711"}, {"-cert_format", "PEM"}},
                                   "https://ca.test/fetch", "GET"),
                        pageWith("Return=issued\nStatus=100\nParam1=cert\nValue1=MIICcert")};

struct Operation {
    std::string_view name;
    const char* after;  // the operation that comes first, without failures; null: none
    HRESULT result;     // without failures
    Pages pages;        // the server's answers
    std::function<HRESULT()> call;
};

class TortureTest : public DirectoryTest, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        DirectoryTest::SetUp();
        directoryText = velcom::Bstr(directory.u16string());
        pki->openRequests = makeStringList({"77"});
    }

    // The operation after those before it, with its `failAt`th allocation failing: result, effects.
    std::pair<HRESULT, Strings> run(const Operation& operation,
                                    std::size_t failAt = AllocationFailure::kNever,
                                    Failing failing = Failing::once) {
        prepare(operation.after);
        const std::size_t sent = script.requests.size(), made = pki->calls().size();
        forgetCallbacks();
        const HRESULT result = perform(operation, failAt, failing);
        Strings effects = joined({heard(), sentSince(sent, made, started, ended)});
        if (proxy)
            effects.push_back("id " + std::to_string(certificateId) + ", step " +
                              std::to_string(proxy.object().step()) +
                              (proxy.object().startNode() ? ", started" : ""));
        if (node) effects.push_back("node");
        if (!tree.empty()) effects.push_back(tree);
        certificateId = kUntouched;
        node.reset();
        tree.clear();
        return {result, effects};
    }
    void prepare(const char* name) {
        if (name == nullptr) return;
        prepare(operation(name).after);
        EXPECT_EQ(perform(operation(name)), S_OK) << name;
    }
    HRESULT perform(const Operation& operation, std::size_t failAt = AllocationFailure::kNever,
                    Failing failing = Failing::once) {
        script.answers.assign(operation.pages.begin(), operation.pages.end());
        const AllocationFailure failure(failAt, failing);
        started = std::time(nullptr);
        const HRESULT result = operation.call();
        ended = std::time(nullptr);
        allocations = failure.count();
        return result;
    }

    // As a script would: through indices, enumerators and IDispatch; the first failure ends it.
    static HRESULT walk(IvelNode& current, std::string& text) {
        velcom::Bstr name, value;
        NodeType type{};
        LONG number = 0, count = 0;
        velcom::ComPtr<IvelNodeCollection> children;
        velcom::ComPtr<IUnknown> unknown;
        velcom::ComPtr<IEnumVARIANT> enumerator;
        HRESULT result = S_OK;
        const auto failed = [&result](HRESULT step) { return FAILED(result = step); };
        const auto note = [&text](auto piece) {
            const CallSide side(Side::host);
            text += piece();
        };
        if (failed(current.get_Name(name.put())) || failed(current.get_Type(&type)) ||
            failed(current.get_StringProp(value.put())) || failed(current.get_LongProp(&number)) ||
            failed(byDispatch(current, value)) || failed(current.get_SubNodes(children.put())) ||
            failed(children->get_Count(&count)) || failed(children->get__NewEnum(unknown.put())) ||
            failed(unknown.as(enumerator)))
            return result;
        note([&] {
            return toAnsi(name.get()) + "(" + std::to_string(type) + " " + toAnsi(value.get()) +
                   " " + std::to_string(number) + ")[";
        });
        for (LONG index = 0; index < count; ++index) {
            velcom::ComPtr<IvelNode> child;
            velcom::Variant item;  // the enumerator's copy of the child
            ULONG fetched = 0;
            if (failed(children->get_Item(index, child.put())) ||
                failed(enumerator->Next(1, item.put(), &fetched)) ||
                failed(fetched == 1 ? S_OK : E_UNEXPECTED) || failed(walk(*child.get(), text)))
                return result;
        }
        note([] { return "]"; });
        return S_OK;
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

    std::string tree;
    std::time_t started = 0, ended = 0;
    velcom::Bstr directoryText;
    const velcom::Bstr startAddress{u"https://ca.test/start"}, password{u"secret"};
    std::size_t allocations = 0;

    std::vector<Operation> operations;

    // Out of memory a collaborator's description may give way to the system's text for its code,
    // so the transport's failure here carries none.
    TortureTest() {
        define("Create", nullptr, S_OK, {}, [this] {
            return CvelTesseraProxy::create(nullptr, IID_IvelTesseraProxy, proxy.putVoid());
        });
        define("Init", nullptr, S_OK, {},
               [this] { return proxy->Init(&host, random, pki.get(), directoryText.get()); });
        define("InitComm", "Init", S_OK, {startPage()},
               [this] { return proxy->InitComm(startAddress.get(), VARIANT{}); });
        define("RequestStep1", "InitComm", S_OK,
               {answerPage("application", kApplication, "https://ca.test/submit")},
               [this] { return proxy->RequestStep1(node.put()); });
        define("RequestStep2", "RequestStep1", S_OK, kIssuing, [this] {
            return proxy->RequestStep2(password.get(), password.get(), 1, 1, &certificateId);
        });
        define("PickUp", "InitComm", S_OK,
               {answerPage("PickUp", {{"-reference_list", "42+77"}, {"-abhol_list", "0+0"}},
                           "https://ca.test/pickup/select"),
                pageWith("Return=Certificate\nParam1=cert\nValue1=MIICcert")},
               [this] {
                   return static_cast<IvelTesseraProxyEx&>(proxy.object())
                       .PickUpEx(authenticator.get(), &certificateId);
               });
        define("Revoke", "InitComm", S_OK,
               {answerPage("Revoke", {{"-serial_list", "11+A3F"}}, "https://ca.test/revoke/select"),
                answerPage("Revoke", {{"-serial_nr", "A3F"}, {"-ident_lang", "de"}},
                           "https://ca.test/revoke/confirm"),
                pageWith("Return=Revoked\nStatus=100")},
               [this] { return proxy->Revoke(certificate.get()); });
        define("RenewStep1", "InitComm", S_OK,
               {answerPage("renewal", kApplication, "https://ca.test/renew-submit")}, [this] {
                   return proxy->RenewStep1(certificate.get(), authenticator.get(), node.put());
               });
        define("RenewStep2", "RenewStep1", S_OK, kIssuing,
               [this] { return proxy->RenewStep2(password.get(), 1, &certificateId); });
        define("Check", "InitComm", S_OK,
               {answerPage("Form", {{"-crl_format", "pem"}, {"-ident_lang", "de"}},
                           "https://ca.test/check/state"),
                pageWith("Return=State\nStatus=100\nErrorMessage=revoked\nParam1=-cert_state\n"
                         "Value1=2\nParam2=-valid_to\nValue2=2030")},
               [this] { return proxy->Check(certificate.get(), node.put()); });
        define("UpdateCRL", "InitComm", S_OK,
               {answerPage("Form", {{"-crl_format", "pem"}}, "https://ca.test/crl/get", "GET"),
                pageWith("Return=CRL\nParam1=crl\nType1=X.509\nValue1=MIICRL")},
               [this] { return proxy->UpdateCRL(); });
        define("NodeTree", "Check", S_OK, {}, [this] {
            const velcom::ComPtr<IvelNode> root = std::move(node);
            return walk(*root.get(), tree);
        });
        define("Refusal", "InitComm", TSR_E_SERVER, {refusalPage(5, "unknown applicant")},
               [this] { return proxy->RequestStep1(node.put()); });
        define("TransportFailure", "InitComm", E_ACCESSDENIED, {{"", E_ACCESSDENIED}},
               [this] { return proxy->Check(certificate.get(), node.put()); });
    }
    void define(std::string_view name, const char* after, HRESULT result, Pages pages,
                std::function<HRESULT()> call) {
        operations.push_back({name, after, result, std::move(pages), std::move(call)});
    }
    const Operation& operation(std::string_view name) const {
        return *std::ranges::find(operations, name, &Operation::name);
    }
};

std::vector<std::size_t> failurePoints(std::size_t allocations) {
    std::vector<std::size_t> points(allocations);
    std::iota(points.begin(), points.end(), 1);
    const char* full = std::getenv("VEL_FULL");
    if (std::string_view(full ? full : "") == "1" || allocations <= kSampledRuns) return points;
    std::mt19937 random(20261207);
    std::shuffle(points.begin(), points.end(), random);
    points.resize(kSampledRuns);
    return points;
}

TEST_P(TortureTest, EachFailedAllocationIsReportedAndTheProxyServesTheNextCall) {
    const Operation& operation = this->operation(GetParam());
    const auto [result, expected] = run(operation);
    ASSERT_EQ(result, operation.result);
    const std::size_t total = allocations;
    const Strings expectedAgain = run(operation).second;

    const std::vector<std::size_t> points = failurePoints(total);
    for (const std::size_t failAt : points)
        for (const Failing failing : {Failing::once, Failing::onward}) {
            SCOPED_TRACE("allocation " + std::to_string(failAt) + " of " + std::to_string(total) +
                         (failing == Failing::onward ? " and on" : ""));
            proxy = ProxyObject();
            const auto [got, effects] = run(operation, failAt, failing);
            ASSERT_GE(allocations, failAt) << "the operation allocates the same each time";
            if (got == operation.result)
                EXPECT_EQ(effects, expected) << "that result must be the whole result";
            else
                // E_FAIL: the frames take std::bad_alloc as any std::exception.
                EXPECT_TRUE(got == E_OUTOFMEMORY || got == E_FAIL) << nameOf(got);
            // Again as at first, or as a second time when the failure came after the state was set.
            const auto [again, effectsAgain] = run(operation);
            EXPECT_EQ(again, operation.result);
            EXPECT_THAT(effectsAgain, ::testing::AnyOf(expected, expectedAgain));
            proxy.reset();
            EXPECT_EQ(script.liveTransports, 0u);
            EXPECT_EQ(moduleLockCount(), 0);
            for (ULONG references :
                 {host.references.load(), pki->references(), pki->request->references(),
                  pki->key->references(), certificate->references(), authenticator->references()})
                EXPECT_EQ(references, 1u);
            if (HasFailure()) return;
        }
    std::cout << GetParam() << ": " << points.size() << " of " << total << " failure points\n";
}

INSTANTIATE_TEST_SUITE_P(Operations, TortureTest,
                         ::testing::Values("Create", "Init", "InitComm", "RequestStep1",
                                           "RequestStep2", "PickUp", "Revoke", "RenewStep1",
                                           "RenewStep2", "Check", "UpdateCRL", "NodeTree",
                                           "Refusal", "TransportFailure"),
                         [](const auto& row) { return std::string(row.param); });

}  // namespace
