// Applying for a certificate: the application page handed to the host, the submission of the key
// request with the user's answers, the request kept open in the PKI component, and the
// certificate fetched, written and imported at once.
#include <gtest/gtest.h>

#include <memory>

#include "markup/mtGParser.h"
#include "markup/mtGScanner.h"
#include "proxy/OperationTest.h"

namespace {

// Every name the submission copies, some spelled by the server in another letter case, between a
// challenge and a name it does not copy.
const Params kApplication = {{"-challenge", "c-1"},         {"-IDENT-ORG_COUNTRY", "DE"},
                             {"-ident-org_name", "Org"},    {"-ident-ku_vname", "Eva"},
                             {"-ident-ku_nname", "Muster"}, {"-ident-TO_ku-nr", "0815"},
                             {"-ident-extn_email", "e@x"},  {"-ident-email_flag", "1"},
                             {"-ident_lang", "de"},         {"-not-copied", "x"}};
const Params kCopied(kApplication.begin() + 1, kApplication.end() - 1);
// The server's reference, the names the pick-up copies and one it does not.
const Params kReceipt = {{"-refnum", "4711"}, {"-cert_format", "PEM"}, {"-ident_lang", "de"},
                         {"user_nr", "12"},   {"SUFFIX_NR", "3"},      {"EMAIL_ADR", "e@x"},
                         {"-not-copied", "x"}};
const Params kFetched(kReceipt.begin() + 1, kReceipt.end() - 1);

constexpr char kCreate[] = "CreateRequest(0,key secret,challenge=c-1)";
constexpr char kKeptOpen[] = "AddRequest(MIIBREQ==,<now>)";
constexpr char kKept[] = "AddRequest(MIIBREQ==,4711)";

std::string application(const Params& params = kApplication) {
    return answerPage("application", params, "https://ca.test/submit");
}
std::string receipt(const Params& params = kReceipt) {
    return answerPage("submitted", params, "https://ca.test/fetch", "GET");
}
const std::string kIssued = pageWith("Return=issued\nStatus=100\nParam1=cert\nValue1=MIICcert");

// A dialogue that reaches its certificate: the submission of the copied names and the user's
// answers, and the pick-up of the same fields followed by the receipt's names.
Strings issued(const std::string& answers, const Params& copied = kCopied,
               const std::string& challenge = "c-1", const Params& fetched = kFetched,
               const std::string& key = "key secret", const std::string& password = "to secret") {
    const std::string sent = fieldsOf(copied) + (copied.empty() ? "" : "&") +
                             "-ident-TO_passwd=" + password + "&" + answers +
                             "&-key_challenge=" + kRequestText;
    const std::string submitted = "POST /submit " + sent,
                      fetch = "GET /fetch " + sent + "&" + fieldsOf(fetched),
                      created = "CreateRequest(0," + key + ",challenge=" + challenge + ")";
    const std::string imported = "ImportRequestedCertificate2($/data.pem,4711," + key + ") " +
                                 pem("CERTIFICATE", "MIICcert");
    return {"S_OK", "GET /create", submitted, fetch, created, kKeptOpen, kKept, imported, "id 42"};
}

class RequestTest : public OperationTest {
protected:
    // Both steps, the second after a first that succeeded.
    std::function<HRESULT()> apply(LONG agb = 1, LONG name = 1, bool nullTexts = false,
                                   bool nullId = false) {
        return [=, this] {
            const HRESULT shown = proxy->RequestStep1(node.put());
            node.reset();
            const velcom::Bstr to = nullTexts ? velcom::Bstr() : velcom::Bstr(u"to secret"),
                               key = nullTexts ? velcom::Bstr() : velcom::Bstr(u"key secret");
            return FAILED(shown) ? shown
                                 : proxy->RequestStep2(to.get(), key.get(), agb, name,
                                                       nullId ? nullptr : &certificateId);
        };
    }
};

TEST_F(RequestTest, TheDialogueSendsTheApplicationsNamesAndTheAnswersAndImportsTheCertificate) {
    expectRows(
        {{"no and on", apply(0, 1), Pages{application(), receipt(), kIssued},
          issued("-ident_check_name=on&-ident_check_AGB=no")},
         // After a dialogue: nothing of it goes with a new application.
         {"the application for the host", [this] { return proxy->RequestStep1(node.put()); },
          Pages{application()},
          Strings{"S_OK", "GET /create", "step 2", "node application(100, , 10)"}},
         {"any non-zero is yes; null texts are empty; no challenge; a missing name stops each copy",
          apply(-7, 0, true),
          Pages{application(without(without(kApplication, "-challenge"), "-ident-TO_ku-nr")),
                receipt(without(kReceipt, "user_nr")), kIssued},
          issued("-ident_check_name=off&-ident_check_AGB=yes",
                 Params(kCopied.begin(), kCopied.begin() + 4), "",
                 Params(kFetched.begin(), kFetched.begin() + 2), "", "")}});
}

TEST_F(RequestTest, AFailureEndsTheDialogueWithTheRequestKeptOpenOnceCreated) {
    expectRows(firstPageFailures(apply(), {"GET /create"}, 1318));
    const std::string sent = "POST /submit ...";
    expectRows(
        {{"null node", [this] { return proxy->RequestStep1(nullptr); }, Pages{},
          Strings{"E_INVALIDARG"}},
         {"null identifier", apply(1, 1, false, true), Pages{application()},
          Strings{"E_INVALIDARG", "GET /create"}},
         {"request text of another type", apply(), Pages{application()},
          Strings{"E_INVALIDARG", "GET /create", kCreate},
          [this] { pki->request->binaryType = VT_BSTR; }},
         {"keeping it open fails", apply(), Pages{application()},
          Strings{"E_ACCESSDENIED reported", "GET /create", kCreate, kKeptOpen,
                  "7 1414: store locked"},
          [this] { pki->fail("AddRequest", E_ACCESSDENIED, "store locked"); }},
         {"application without action", apply(), Pages{answerPage("application", kApplication)},
          Strings{"TSR_E_RESPONSE reported", "GET /create", kCreate, kKeptOpen, kNoAction}},
         {"receipt without reference", apply(),
          Pages{application(), receipt(without(kReceipt, "-refnum"))},
          Strings{"TSR_E_RESPONSE reported", "GET /create", sent, kCreate, kKeptOpen,
                  missing(1404, "-refnum")}},
         {"pick-up refused", apply(),
          Pages{application(), receipt(), refusalPage(2, "not yet issued")},
          Strings{"TSR_E_SERVER", "GET /create", sent, "GET /fetch ...", kCreate, kKeptOpen, kKept,
                  "3 349: Tessera error (2): not yet issued",
                  "error TSR_E_SERVER 2|not yet issued"}}});
}

TEST_F(RequestTest, ANewKeyRequestTakesThePlaceOfTheOneItsSlotHeld) {
    mtGScanner scanner("Return=application\nParam1=-Challenge\nValue1=c-9");
    const std::unique_ptr<ReturnNode> answer(
        dynamic_cast<ReturnNode*>(mtGParser::parseBlock(scanner)));
    const auto earlier = TestRequest::create("earlier");
    ISMRequest* slot = earlier.get();
    slot->AddRef();  // the slot's own reference
    ASSERT_EQ(proxy.object().createKeyRequest(answer.get(), nullptr, &slot), S_OK);
    const auto created = velcom::ComPtr<ISMRequest>::attach(slot);
    EXPECT_EQ(created.get(), pki->request.get());
    EXPECT_EQ(earlier->references(), 1u) << "the slot's reference is given back";
    EXPECT_EQ(pki->calls().at(0).arguments, (Strings{"0", "", "challenge=c-9"}));
}

}  // namespace
