// Applying for a certificate and renewing one; a renewal authenticates with the old certificate
// and its key, exported for the transport.
#include <memory>

#include "markup/mtGParser.h"
#include "markup/mtGScanner.h"
#include "proxy/ProxyTest.h"

namespace {

// Every name each submission copies, some spelled by the server in another letter case, between a
// challenge and a name it does not copy.
const Params kApplication =
    "-challenge=c-1&-IDENT-ORG_COUNTRY=DE&-ident-org_name=Org&-ident-ku_vname=Eva&"
    "-ident-ku_nname=Muster&-ident-TO_ku-nr=0815&-ident-extn_email=e@x&-ident-email_flag=1&"
    "-ident_lang=de&-not-copied=x";
const Params kRenewal =
    "-challenge=c-1&-IDENT_LANG=de&-ident-org_country=DE&-ident-org_name=Org&-ident-extn_email=e@x&"
    "-ident-email_flag=1&-ident-org_unit1=IT&-ident-common_name=Eva M&-ident-ku_vname=Eva&"
    "-ident-ku_nname=M&-ident-email=e@x&-ident-TO_ku-nr=0815";
// The server's reference, the names the pick-up copies and one it does not.
const Params kReceipt =
    "-refnum=4711&-cert_format=PEM&-ident_lang=de&user_nr=12&SUFFIX_NR=3&EMAIL_ADR=e@x&-other=x";
const Params kFetched(kReceipt.begin() + 1, kReceipt.end() - 1);

constexpr char kCreate[] = "CreateRequest(0,key secret,challenge=c-1)";
constexpr char kKeptOpen[] = "AddRequest(MIIBREQ==,<now>)";
constexpr char kKept[] = "AddRequest(MIIBREQ==,4711)";
const std::string kOptions = "{-ssl3 -oc$/cert.pem -pk$/key.pem -ppold secret}";
const std::string kAuthenticated = "GET /renew " + kOptions + " CLIENT_CERT=MIIOLD";
const Strings kExports = {"FindKey(7)", "Export2($/cert.pem,3,1,7)",
                          "ExportKey($/key.pem,old secret,5,1,key)"};
const Strings kPasswords = {"asked", "decrypt old secret"};

std::string application(const Params& params = kApplication) {
    return answerPage("application", params, "https://ca.test/submit");
}
std::string renewal(const Params& params = kRenewal) {
    return answerPage("renewal", params, "https://ca.test/renew-submit");
}
std::string receipt(const Params& params = kReceipt, const char* path = "fetch") {
    return answerPage("submitted", params, std::string("https://ca.test/") + path, "GET");
}
const std::string kIssued = pageWith("Return=issued\nStatus=100\nParam1=cert\nValue1=MIICcert");

// The pick-up sends the submission's fields again, followed by the receipt's names.
Strings issued(const std::string& sent, const std::string& key = "key secret",
               const std::string& challenge = "c-1", const Params& fetched = kFetched) {
    const std::string fetch = "GET /fetch " + sent + "&" + fieldsOf(fetched),
                      created = "CreateRequest(0," + key + ",challenge=" + challenge + ")",
                      imported = "ImportRequestedCertificate2($/data.pem,4711," + key + ") " +
                                 pem("CERTIFICATE", "MIICcert");
    return {"S_OK",   "GET /create", "POST /submit " + sent, fetch, created, kKeptOpen, kKept,
            imported, "id 42"};
}
std::string sent(const Params& copied, const std::string& answers) {
    return fieldsOf(copied) + (copied.empty() ? "" : "&") + answers + "&-key_challenge=MIIBREQ==";
}

class RequestTest : public OperationTest {
protected:
    // Both steps, the second after a first that succeeded.
    std::function<HRESULT()> apply(LONG agb = 1, LONG name = 1, bool nullTexts = false,
                                   bool nullId = false) {
        return [=, this] {
            const HRESULT shown = proxy->RequestStep1(node.put());
            node.reset();
            if (FAILED(shown)) return shown;
            proxy.object().addField("-left", "over");  // the second step starts its fields afresh
            const velcom::Bstr to = nullTexts ? velcom::Bstr() : velcom::Bstr(u"to secret"),
                               key = nullTexts ? velcom::Bstr() : velcom::Bstr(u"key secret");
            return proxy->RequestStep2(to.get(), key.get(), agb, name,
                                       nullId ? nullptr : &certificateId);
        };
    }
};

TEST_F(RequestTest, TheDialogueSendsTheApplicationsNamesAndTheAnswersAndImportsTheCertificate) {
    const Params copied(kApplication.begin() + 1, kApplication.end() - 1);
    expectRows(
        {{"no and on", apply(0, 1), Pages{application(), receipt(), kIssued},
          issued(
              sent(copied, "-ident-TO_passwd=to secret&-ident_check_name=on&-ident_check_AGB=no"))},
         // After a dialogue: nothing of it goes with a new application.
         {"the application for the host", [this] { return proxy->RequestStep1(node.put()); },
          Pages{application()},
          Strings{"S_OK", "GET /create", "step 2", "node application(100, , 10)"}},
         {"any non-zero is yes; null texts are empty; no challenge; a missing name stops each copy",
          apply(-7, 0, true),
          Pages{application(without(without(kApplication, "-challenge"), "-ident-TO_ku-nr")),
                receipt(without(kReceipt, "user_nr")), kIssued},
          issued(sent({copied.begin(), copied.begin() + 4},
                      "-ident-TO_passwd=&-ident_check_name=off&-ident_check_AGB=yes"),
                 "", "", {kFetched.begin(), kFetched.begin() + 2})}});
}

TEST_F(RequestTest, AFailureEndsTheDialogueWithTheRequestKeptOpenOnceCreated) {
    expectRows(firstPageFailures(apply(), {"GET /create"}, 1318));
    expectRows(
        {{"null node", [this] { return proxy->RequestStep1(nullptr); }, Pages{},
          Strings{"E_INVALIDARG"}},
         {"null identifier", apply(1, 1, false, true), Pages{application()},
          Strings{"E_INVALIDARG", "GET /create"}},
         {"request text of another type", apply(), Pages{application()},
          Strings{"E_INVALIDARG", "GET /create", kCreate},
          [this] { pki->request->binaryType = VT_BSTR; }},
         {"the request's text fails", apply(), Pages{application()},
          Strings{"E_FAIL reported", "GET /create", kCreate, "7 1414: no text"},
          [this] { pki->request->fail("AsBinaryString", E_FAIL, "no text"); }},
         {"keeping it open fails", apply(), Pages{application()},
          Strings{"E_ACCESSDENIED reported", "GET /create", kCreate, kKeptOpen,
                  "7 1414: store locked"},
          [this] { pki->fail("AddRequest", E_ACCESSDENIED, "store locked"); }},
         {"application without action", apply(), Pages{answerPage("application", kApplication)},
          Strings{"TSR_E_RESPONSE reported", "GET /create", kCreate, kKeptOpen, kNoAction}},
         {"receipt without reference", apply(),
          Pages{application(), receipt(without(kReceipt, "-refnum"))},
          Strings{"TSR_E_RESPONSE reported", "GET /create", "POST /submit ...", kCreate, kKeptOpen,
                  missing(1404, "-refnum")}},
         {"pick-up refused", apply(),
          Pages{application(), receipt(), refusalPage(2, "not yet issued")},
          Strings{"TSR_E_SERVER", "GET /create", "POST /submit ...", "GET /fetch ...", kCreate,
                  kKeptOpen, kKept, "3 349: Tessera error (2): not yet issued",
                  "error TSR_E_SERVER 2|not yet issued"}}});
}

// A value large enough to refer to its page keeps the page alive: the node reads the same after the
// proxy's next exchange, whose page would overwrite a buffer still in use, and the proxy's end. The
// page comes unannounced in three chunks: it starts small, moves to a buffer of its own, grows
// there.
TEST_F(RequestTest, TheNodeOfALargeValueOutlivesTheNextExchangeAndTheProxy) {
    std::string lines;
    while (lines.size() <= 2 * AnswerPage::kHeapPageSize)
        lines += "\nMIIB" + std::to_string(lines.size());
    std::string next = answerPage("application", {{"-large", "head" + lines}});
    TransportAnswer& chunked = script.answers.emplace_back();
    chunked.chunks = {next.substr(0, 100), next.substr(100, AnswerPage::kHeapPageSize),
                      next.substr(100 + AnswerPage::kHeapPageSize)};
    ASSERT_EQ(proxy->RequestStep1(node.put()), S_OK);
    std::replace(next.begin(), next.end(), 'M', 'X');
    script.answers.push_back(next);
    ASSERT_EQ(proxy.object().exchange("https://ca.test/next", false, ""), S_OK);
    proxy.reset();

    std::string expected = "head" + lines;
    for (std::size_t at = 0; (at = expected.find('\n', at)) != std::string::npos; at += 2)
        expected.insert(at, 1, '\r');
    velcom::ComPtr<IvelNodeCollection> parameters;
    velcom::ComPtr<IvelNode> parameter;
    velcom::Bstr value;
    ASSERT_EQ(node->get_SubNodes(parameters.put()), S_OK);
    ASSERT_EQ(parameters->get_Item(1, parameter.put()), S_OK);
    ASSERT_EQ(parameter->get_StringProp(value.put()), S_OK);
    EXPECT_EQ(toAnsi(value.get()), expected);
    node.reset();
}

TEST_F(RequestTest, ANewKeyRequestTakesThePlaceOfTheOneItsSlotHeld) {
    mtGScanner scanner("Return=application\nParam1=-Challenge\nValue1=c-9");
    const std::unique_ptr<ReturnNode> answer(
        dynamic_cast<ReturnNode*>(mtGParser::parseBlock(scanner)));
    const auto earlier = make<TestRequest>();
    ISMRequest* slot = earlier.get();
    slot->AddRef();  // the slot's own reference
    ASSERT_EQ(proxy.object().createKeyRequest(answer.get(), nullptr, &slot), S_OK);
    EXPECT_EQ(velcom::ComPtr<ISMRequest>::attach(slot).get(), pki->request.get());
    EXPECT_EQ(earlier->references(), 1u) << "the slot's reference is given back";
    EXPECT_EQ(pki->calls().at(0).arguments, (Strings{"0", "", "challenge=c-9"}));
}

class RenewTest : public OperationTest {
protected:
    std::function<HRESULT()> authenticate() {
        return [this] {
            return proxy->RenewStep1(certificate.get(), authenticator.get(), node.put());
        };
    }
    std::function<HRESULT()> renew(LONG agb, LONG* id) {
        return [this, agb, id] {
            const HRESULT shown = authenticate()();
            node.reset();
            return FAILED(shown) ? shown
                                 : proxy->RenewStep2(velcom::Bstr(u"key secret").get(), agb, id);
        };
    }
    static Strings renewed(const char* result, const Strings& requests, const Strings& calls,
                           const Strings& rest) {
        return joined({{result, kAuthenticated}, requests, kExports, calls, kPasswords, rest});
    }
};

TEST_F(RenewTest, TheOldCertificateAndItsKeyAuthenticateTheRenewalPageOrTheFirstFailureEndsIt) {
    const Strings authenticated = joined({{kAuthenticated}, kExports, kPasswords});
    expectRows(firstPageFailures(authenticate(), authenticated, 1744));
    expectRows(
        {{"the renewal page for the host", authenticate(), Pages{renewal()},
          joined({{"S_OK"}, authenticated, {"step 3", "node renewal(100, , 12)"}})},
         {"null arguments",
          [this] { return proxy->RenewStep1(certificate.get(), authenticator.get(), nullptr); },
          Pages{}, Strings{"E_INVALIDARG"}},
         {"a certificate text of another type", authenticate(), Pages{},
          joined({{"E_INVALIDARG"}, kExports, kPasswords}),
          [this] { certificate->binaryType = VT_BSTR; }},
         // A failing password source or a wrong password ends it before anything is exported.
         {"the password source fails", authenticate(), Pages{},
          Strings{"E_UNEXPECTED reported", kExports[0], "asked", "7 1744: cancelled"},
          [this] { authenticator->fail("GetPassword", E_UNEXPECTED, "cancelled"); }},
         {"the password source cannot be asked", authenticate(), Pages{},
          Strings{"E_UNEXPECTED reported",
                  "7 1744: " + std::string(_com_error(E_UNEXPECTED).ErrorMessage())},
          [this] { authenticator->queryResult = E_UNEXPECTED; }},
         {"the certificate's identifier fails", authenticate(), Pages{},
          Strings{"E_UNEXPECTED reported", "7 1744: no ID"},
          [this] { certificate->fail("ID", E_UNEXPECTED, "no ID"); }},
         {"no key for the certificate", authenticate(), Pages{},
          Strings{"E_POINTER reported", kExports[0], "7 1744: ..."},
          [this] { pki->keyFound = false; }},
         {"a wrong password", authenticate(), Pages{},
          Strings{"E_ACCESSDENIED reported", kExports[0], "asked", "decrypt old secret",
                  "7 1744: wrong password"},
          [this] { pki->key->fail("Decrypt", E_ACCESSDENIED, "wrong password"); }}});
}

TEST_F(RenewTest, TheNewRequestGoesOverTheAuthenticatedTransportAndItsPickUpOverThePlainOne) {
    const Params copied(kRenewal.begin() + 1, kRenewal.end() - 1);
    const auto succeeded = [](const std::string& submitted) {
        const std::string imported =
            "ImportRequestedCertificate2($/data.pem,4711,key secret) " + pem("PKCS7", "MIICnew");
        return renewed("S_OK",
                       {"POST /renew-submit " + kOptions + " " + submitted,
                        "GET /renew-fetch " + submitted + "&" + fieldsOf(kFetched)},
                       {kCreate, kKeptOpen, kKept, imported}, {"id 42"});
    };
    const std::string issued =
        pageWith("Return=issued\nStatus=100\nParam1=cert\nType1=PKCS#7\nValue1=MIICnew");
    expectRows({{"no", renew(0, &certificateId),
                 Pages{renewal(), receipt(kReceipt, "renew-fetch"), issued},
                 succeeded(sent(copied, "-ident_check_AGB=no"))},
                {"any non-zero is yes; a missing name stops the copy", renew(-1, &certificateId),
                 Pages{renewal(without(kRenewal, "-ident-org_unit1")),
                       receipt(kReceipt, "renew-fetch"), issued},
                 succeeded(sent({copied.begin(), copied.begin() + 5}, "-ident_check_AGB=yes"))},
                {"null identifier", renew(1, nullptr), Pages{renewal()},
                 renewed("E_INVALIDARG", {}, {}, {})},
                {"receipt without reference", renew(1, &certificateId),
                 Pages{renewal(), receipt(without(kReceipt, "-refnum"), "renew-fetch")},
                 renewed("TSR_E_RESPONSE reported", {"POST /renew-submit " + kOptions + " ..."},
                         {kCreate, kKeptOpen}, {missing(1823, "-refnum")})},
                {"key request fails", renew(1, &certificateId), Pages{renewal()},
                 renewed("E_OUTOFMEMORY reported", {}, {kCreate}, {"7 1834: no room for a key"}),
                 [this] { pki->fail("CreateRequest", E_OUTOFMEMORY, "no room for a key"); }}});
}

}  // namespace
