// Applying for a certificate: the application page handed to the host, the submission of the key
// request with the user's answers, the request kept open in the PKI component, and the
// certificate fetched, written and imported at once.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "markup/mtGParser.h"
#include "markup/mtGScanner.h"
#include "proxy/EnrollmentTest.h"
#include "proxy/NodeView.h"

namespace {

constexpr char kSubmitUrl[] = "https://ca.test/submit";
constexpr char kFetchUrl[] = "https://ca.test/fetch";
constexpr char kRequestText[] = "MIIBSPKAC+req/==";

// Every name the submission copies, some spelled by the server in another letter case.
Params fullApplication() {
    return {{"-challenge", "c-123"},
            {"-IDENT-ORG_COUNTRY", "DE"},
            {"-ident-org_name", "Example GmbH"},
            {"-ident-ku_vname", "Erika"},
            {"-ident-ku_nname", "Mustermann"},
            {"-ident-TO_ku-nr", "0815"},
            {"-ident-extn_email", "erika@example.test"},
            {"-ident-email_flag", "1"},
            {"-ident_lang", "de"},
            {"-not-copied", "x"}};
}

// The fields the full application page gives the submission, before the user's answers.
Strings copiedApplicationFields() {
    return {"-IDENT-ORG_COUNTRY", "DE",    "-ident-org_name",   "Example GmbH",
            "-ident-ku_vname",    "Erika", "-ident-ku_nname",   "Mustermann",
            "-ident-TO_ku-nr",    "0815",  "-ident-extn_email", "erika@example.test",
            "-ident-email_flag",  "1",     "-ident_lang",       "de"};
}

Params fullReceipt() {
    return {{"-refnum", "4711"}, {"-cert_format", "PEM"}, {"-ident_lang", "de"},
            {"user_nr", "12"},   {"SUFFIX_NR", "3"},      {"EMAIL_ADR", "erika@example.test"},
            {"-not-copied", "x"}};
}

std::string receiptPage(const Params& params = fullReceipt()) {
    return answerPage("submitted", params, kFetchUrl, "GET");
}

std::string certificatePage(const std::string& value = "MIICcert", const char* type = "") {
    return answerPage("issued", {{"cert", value, type}});
}

constexpr char kCertificatePem[] =
    "-----BEGIN CERTIFICATE-----\r\nMIICcert\r\n-----END CERTIFICATE-----\r\n";

class RequestTest : public EnrollmentTest {
protected:
    RequestTest() : EnrollmentTest(kRequestText) {}

    // RequestStep1 on an application page, asserting that it succeeds.
    void showApplication(const Params& application = fullApplication()) {
        script.queuePage(answerPage("application", application, kSubmitUrl));
        velcom::ComPtr<IvelNode> node;
        ASSERT_EQ(proxy->RequestStep1(node.put()), S_OK);
        ASSERT_EQ(proxy.object().step(), 2);
    }
    HRESULT submit(LONG bAGB = 1, LONG bName = 1) {
        return proxy->RequestStep2(velcom::Bstr(u"to secret").get(),
                                   velcom::Bstr(u"key secret").get(), bAGB, bName, &certificateId);
    }
    // The whole dialogue with the pages given.
    HRESULT apply(const Params& application, LONG bAGB = 1, LONG bName = 1) {
        showApplication(application);
        script.queuePage(receiptPage());
        script.queuePage(certificatePage());
        return submit(bAGB, bName);
    }

    // The request is open under a reference made of the current time.
    void expectTimeReference(std::time_t before, std::time_t after) const {
        const Strings added = argumentsOf("AddRequest");
        ASSERT_EQ(added.size(), 2u);
        EXPECT_EQ(added[0], kRequestText);
        EXPECT_EQ(added[1], std::to_string(std::stoll(added[1]))) << "decimal, no leading zeros";
        EXPECT_GE(std::stoll(added[1]), static_cast<long long>(before));
        EXPECT_LE(std::stoll(added[1]), static_cast<long long>(after));
    }
};

TEST_F(RequestTest, TheApplicationIsFetchedWithAGetAndHandedToTheHostAsItsReturnNode) {
    openInDirectory();
    script.queuePage(
        "<html><!-- ???\nReturn=application\nStatus=100\nErrorMessage=please confirm\n"
        "Param1=-ident-ku_nname\nValue1=Mustermann\n--><!-- ???\nAction=submit\nURL=" +
        std::string(kSubmitUrl) + "\n--></html>");
    velcom::ComPtr<IvelNode> node;
    ASSERT_EQ(proxy->RequestStep1(node.put()), S_OK);
    EXPECT_EQ(proxy.object().step(), 2);

    ASSERT_EQ(script.requests().size(), 2u);
    const TransportRequest& request = script.requests()[1];
    EXPECT_EQ(requestLine(request), (RequestLine{"GET", "https://ca.test/create", ""}));
    EXPECT_TRUE(request.fields.omitted());
    EXPECT_TRUE(pki->calls().empty());

    // The node is the host's own: it stays readable with the proxy gone.
    proxy.reset();
    const NodeView view = viewOf(*node.get());
    EXPECT_EQ(view.name, "application");
    EXPECT_EQ(view.number, 100);
    EXPECT_EQ(view.text, "please confirm");
    EXPECT_EQ(view.children, 1);
}

TEST_F(RequestTest, TheSubmissionAndThePickUpCarryExactlyTheExpectedFields) {
    openInDirectory();
    const std::time_t before = std::time(nullptr);
    ASSERT_EQ(apply(fullApplication(), 0, 1), S_OK);
    const std::time_t after = std::time(nullptr);
    EXPECT_EQ(certificateId, 42);
    EXPECT_EQ(proxy.object().step(), 1);

    Strings submitted = copiedApplicationFields();
    submitted.insert(submitted.end(), {"-ident-TO_passwd", "to secret", "-ident_check_name", "on",
                                       "-ident_check_AGB", "no", "-key_challenge", kRequestText});
    // The server finds the request by the submission again, followed by the receipt's names.
    expectSubmissionAndPickUp({"POST", kSubmitUrl, ""}, submitted, kFetchUrl,
                              {"-cert_format", "PEM", "-ident_lang", "de", "user_nr", "12",
                               "SUFFIX_NR", "3", "EMAIL_ADR", "erika@example.test"});

    EXPECT_EQ(pkiMethods(), (Strings{"CreateRequest", "AddRequest", "AddRequest",
                                     "ImportRequestedCertificate2"}));
    EXPECT_EQ(argumentsOf("CreateRequest"), (Strings{"0", "key secret", "challenge=c-123"}));
    expectTimeReference(before, after);
    EXPECT_EQ(argumentsOf("AddRequest", 1), (Strings{kRequestText, "4711"}));
    EXPECT_EQ(argumentsOf("ImportRequestedCertificate2"),
              (Strings{pathOf("data.pem"), "4711", "key secret"}));
    EXPECT_TRUE(levelledTraces().empty());
    EXPECT_TRUE(reportedErrors().empty());
    EXPECT_EQ(pki->request->references(), 1u) << "the proxy keeps no reference to the request";
}

TEST_F(RequestTest, TheIssuedCertificateIsWrittenByteForByteForTheOwnerAloneBeforeItsImport) {
    openInDirectory();
    showApplication();
    script.queuePage(receiptPage());
    script.queuePage(certificatePage("MIICcert\nAAAAtail", "X.509"));
    ASSERT_EQ(submit(), S_OK);
    const std::string written =
        "-----BEGIN X509 CRL-----\r\nMIICcert\r\nAAAAtail\r\n-----END X509 CRL-----\r\n";
    EXPECT_EQ(pki->callsTo("ImportRequestedCertificate2").at(0).fileContent, written);
    EXPECT_EQ(contentOf(dataFile()), written);
    struct stat status {};
    ASSERT_EQ(::stat(pathOf("data.pem").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
}

TEST_F(RequestTest, AnApplicationWithoutChallengeAsksForAKeyRequestWithAnEmptyOne) {
    openInDirectory();
    ASSERT_EQ(apply(without(fullApplication(), "-challenge")), S_OK);
    EXPECT_EQ(argumentsOf("CreateRequest"), (Strings{"0", "key secret", "challenge="}));
}

TEST_F(RequestTest, ANewKeyRequestTakesThePlaceOfTheOneItsSlotHeld) {
    openInDirectory();
    mtGScanner scanner("Return=application\nParam1=-Challenge\nValue1=c-9");
    const std::unique_ptr<ReturnNode> answer(
        dynamic_cast<ReturnNode*>(mtGParser::parseBlock(scanner)));
    ASSERT_NE(answer, nullptr);
    const auto earlier = TestRequest::create("earlier");
    ISMRequest* slot = earlier.get();
    slot->AddRef();  // the slot's own reference
    ASSERT_EQ(proxy.object().createKeyRequest(answer.get(), nullptr, &slot), S_OK);
    const auto created = velcom::ComPtr<ISMRequest>::attach(slot);
    EXPECT_EQ(created.get(), pki->request.get());
    EXPECT_EQ(earlier->references(), 1u) << "the slot's reference is given back";
    EXPECT_EQ(argumentsOf("CreateRequest"), (Strings{"0", "", "challenge=c-9"}));
}

TEST_F(RequestTest, TheCopyOfTheApplicationsNamesStopsAtTheFirstOneMissing) {
    openInDirectory();
    ASSERT_EQ(apply(without(fullApplication(), "-IDENT-ORG_COUNTRY")), S_OK);
    EXPECT_EQ(submission().fields.items.at(0), "-ident-TO_passwd")
        << "none of the names is sent, not even those the page has";

    ASSERT_EQ(apply(without(fullApplication(), "-ident-TO_ku-nr")), S_OK);
    const Strings copied = copiedApplicationFields();
    Strings expected(copied.begin(), copied.begin() + 8);
    expected.emplace_back("-ident-TO_passwd");
    const Strings& sent = submission().fields.items;
    EXPECT_EQ(Strings(sent.begin(), sent.begin() + 9), expected);
}

TEST_F(RequestTest, TheUsersAnswersAreOnOrOffAndYesOrNoWhereAnyNonZeroCountsAsSet) {
    openInDirectory();
    struct Answers {
        LONG bAGB;
        LONG bName;
        const char* agb;
        const char* name;
    };
    for (const Answers& answers : {Answers{0, 1, "no", "on"}, Answers{1, 0, "yes", "off"},
                                   Answers{-7, 2, "yes", "on"}, Answers{0, 0, "no", "off"}}) {
        ASSERT_EQ(apply(fullApplication(), answers.bAGB, answers.bName), S_OK);
        EXPECT_EQ(submission().field("-ident_check_AGB"), answers.agb) << answers.bAGB;
        EXPECT_EQ(submission().field("-ident_check_name"), answers.name) << answers.bName;
    }
}

TEST_F(RequestTest, ThePickUpCopiesTheReceiptsNamesUntilTheFirstOneMissing) {
    openInDirectory();
    showApplication();
    script.queuePage(receiptPage(without(fullReceipt(), "user_nr")));
    script.queuePage(certificatePage());
    ASSERT_EQ(submit(), S_OK);
    const Strings& submitted = script.requests().at(2).fields.items;
    Strings expected = submitted;
    expected.insert(expected.end(), {"-cert_format", "PEM", "-ident_lang", "de"});
    EXPECT_EQ(script.requests().at(3).fields.items, expected);
}

TEST_F(RequestTest, NullTextsAreSentAsEmptyTexts) {
    openInDirectory();
    showApplication();
    script.queuePage(receiptPage());
    script.queuePage(certificatePage());
    ASSERT_EQ(proxy->RequestStep2(nullptr, nullptr, 1, 1, &certificateId), S_OK);
    EXPECT_EQ(script.requests().at(2).field("-ident-TO_passwd"), "");
    EXPECT_EQ(argumentsOf("CreateRequest"), (Strings{"0", "", "challenge=c-123"}));
    EXPECT_EQ(argumentsOf("ImportRequestedCertificate2"),
              (Strings{pathOf("data.pem"), "4711", ""}));
}

TEST_F(RequestTest, WithoutTheExtendedInterfaceThePlainImportTakesTheCertificate) {
    pki = RecordingPki::create(RecordingPki::Extended::Missing);
    pki->request->base64 = kRequestText;
    pki->certificateId = 9;
    openInDirectory();
    ASSERT_EQ(apply(fullApplication()), S_OK);
    EXPECT_EQ(certificateId, 9);
    EXPECT_EQ(argumentsOf("ImportRequestedCertificate"), (Strings{pathOf("data.pem"), "4711"}));
    EXPECT_EQ(pki->callsTo("ImportRequestedCertificate").at(0).fileContent, kCertificatePem);
    EXPECT_EQ(levelledTraces(),
              Strings{"1 TSR velTesseraProxy(827): ISMPrivateKeyInfrastructureEx not found\r\n"});
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(RequestTest, NullResultPointersAreRejectedWithoutARequestAndEndTheDialogue) {
    openInDirectory();
    EXPECT_EQ(proxy->RequestStep1(nullptr), E_INVALIDARG);
    EXPECT_EQ(proxy.object().step(), 1);
    showApplication();
    EXPECT_EQ(proxy->RequestStep2(nullptr, nullptr, 1, 1, nullptr), E_INVALIDARG);
    EXPECT_EQ(proxy.object().step(), 1);
    EXPECT_EQ(script.requests().size(), 2u);
    EXPECT_TRUE(pki->calls().empty());
    EXPECT_TRUE(levelledTraces().empty());
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(RequestTest, TheSecondStepOnceOnlyAfterEachFirstStep) {
    openInDirectory();
    ASSERT_EQ(apply(fullApplication()), S_OK);
    EXPECT_EQ(submit(), TSR_E_WRONG_STEP);
    EXPECT_EQ(proxy.object().step(), 1);
    EXPECT_EQ(script.requests().size(), 4u);
    EXPECT_EQ(pki->callsTo("CreateRequest").size(), 1u);
    EXPECT_EQ(levelledTraces(),
              Strings{"1 TSR velTesseraProxy(1353): wrong communication step\r\n"});
    EXPECT_EQ(reportedErrors(), (std::vector<LONG>{TSR_E_WRONG_STEP}));

    showApplication();
    EXPECT_TRUE(script.requests().back().fields.omitted())
        << "nothing of the last dialogue goes with a new application";
}

TEST_F(RequestTest, AFailedApplicationPageLeavesStepOneAndNoSecondStep) {
    openInDirectory();
    const std::string plain = "<html>closed</html>";
    expectFirstStepFailsOn(
        {{"transport", TransportAnswer::failure(E_ACCESSDENIED, "proxy refused"), E_ACCESSDENIED,
          "7 TSR velTesseraProxy(1318): proxy refused\r\n"},
         {"no markup", TransportAnswer::page(plain), TSR_E_RESPONSE,
          "3 TSR velTesseraProxy(297): cannot process server response\r\n" + plain + "\r\n"},
         {"no return node", TransportAnswer::page(pageWith("Action=a\nURL=https://ca.test/a")),
          TSR_E_RESPONSE, "3 TSR velTesseraProxy(339): no return node in Tessera response\r\n"},
         {"refused", TransportAnswer::page(refusalPage(5, "unknown applicant")), TSR_E_SERVER,
          "3 TSR velTesseraProxy(349): Tessera error (5): unknown applicant\r\n"}},
        [this](velcom::ComPtr<IvelNode>& node) { return proxy->RequestStep1(node.put()); });
    const auto errors = callbacks("Error");
    EXPECT_EQ(errors.back().text1, u"5");
    EXPECT_EQ(errors.back().text2, u"unknown applicant");
    EXPECT_TRUE(errors[1].text1IsNull) << "an unusable page is reported without texts";
    EXPECT_EQ(submit(), TSR_E_WRONG_STEP);
    EXPECT_TRUE(pki->calls().empty());
}

TEST_F(RequestTest, AReceiptWithoutReferenceLeavesTheRequestOpenUnderTheTimeReference) {
    openInDirectory();
    showApplication();
    script.queuePage(receiptPage(without(fullReceipt(), "-refnum")));
    const std::time_t before = std::time(nullptr);
    EXPECT_EQ(submit(), TSR_E_RESPONSE);
    const std::time_t after = std::time(nullptr);
    EXPECT_EQ(proxy.object().step(), 1);
    EXPECT_EQ(pkiMethods(), (Strings{"CreateRequest", "AddRequest"}));
    expectTimeReference(before, after);
    EXPECT_EQ(script.requests().size(), 3u) << "no pick-up";
    EXPECT_EQ(levelledTraces(),
              Strings{"3 TSR velTesseraProxy(1404): parameter -refnum not found in response\r\n"});
    expectErrorWithoutTexts(TSR_E_RESPONSE);
    EXPECT_EQ(certificateId, 0);
}

TEST_F(RequestTest, APickUpWithoutCertificateLeavesTheRequestOpenUnderTheServersReference) {
    openInDirectory();
    for (const std::string& answer :
         {answerPage("issued", {{"other", "x"}}), answerPage("issued", {{"cert", ""}})}) {
        showApplication();
        script.queuePage(receiptPage());
        script.queuePage(answer);
        certificateId = 77;
        EXPECT_EQ(submit(), TSR_E_RESPONSE);
        EXPECT_EQ(certificateId, 77) << "the result is not touched";
        EXPECT_EQ(proxy.object().step(), 1);
    }
    EXPECT_EQ(pkiMethods(), (Strings{"CreateRequest", "AddRequest", "AddRequest", "CreateRequest",
                                     "AddRequest", "AddRequest"}));
    EXPECT_EQ(argumentsOf("AddRequest", 1), (Strings{kRequestText, "4711"}));
    EXPECT_EQ(argumentsOf("AddRequest", 3), (Strings{kRequestText, "4711"}));
    EXPECT_FALSE(std::filesystem::exists(dataFile()));
    const std::string missing =
        "3 TSR velTesseraProxy(806): parameter -cert not found in response\r\n";
    EXPECT_EQ(levelledTraces(), (Strings{missing, missing}));
    EXPECT_EQ(reportedErrors(), (std::vector<LONG>{TSR_E_RESPONSE, TSR_E_RESPONSE}));
}

TEST_F(RequestTest, ARequestTextOfAnotherTypeEndsBeforeTheRequestIsKept) {
    openInDirectory();
    pki->request->binaryType = VT_BSTR;
    showApplication();
    EXPECT_EQ(submit(), E_INVALIDARG);
    EXPECT_EQ(proxy.object().step(), 1);
    EXPECT_EQ(pkiMethods(), (Strings{"CreateRequest"}));
    EXPECT_EQ(script.requests().size(), 2u);
    EXPECT_TRUE(levelledTraces().empty());
}

TEST_F(RequestTest, AnApplicationWithoutActionEndsWithTheRequestOpenUnderTheTimeReference) {
    openInDirectory();
    script.queuePage(answerPage("application", fullApplication()));
    velcom::ComPtr<IvelNode> node;
    ASSERT_EQ(proxy->RequestStep1(node.put()), S_OK) << "the page itself is fine for the host";
    EXPECT_EQ(submit(), TSR_E_RESPONSE);
    EXPECT_EQ(proxy.object().step(), 1);
    EXPECT_EQ(pkiMethods(), (Strings{"CreateRequest", "AddRequest"}));
    EXPECT_EQ(script.requests().size(), 2u);
    EXPECT_EQ(levelledTraces(),
              Strings{"3 TSR velTesseraProxy(353): no action node in Tessera response\r\n"});
    EXPECT_EQ(reportedErrors(), (std::vector<LONG>{TSR_E_RESPONSE}));
}

TEST_F(RequestTest, AFailedSubmissionLeavesTheRequestOpenUnderTheTimeReference) {
    openInDirectory();
    showApplication();
    script.queue(TransportAnswer::failure(E_ABORT, "connection reset"));
    EXPECT_EQ(submit(), E_ABORT);
    showApplication();
    script.queuePage(refusalPage(17, "quota exceeded"));
    EXPECT_EQ(submit(), TSR_E_SERVER);
    EXPECT_EQ(proxy.object().step(), 1);
    EXPECT_EQ(pkiMethods(),
              (Strings{"CreateRequest", "AddRequest", "CreateRequest", "AddRequest"}));
    EXPECT_EQ(levelledTraces(),
              (Strings{"7 TSR velTesseraProxy(1414): connection reset\r\n",
                       "3 TSR velTesseraProxy(349): Tessera error (17): quota exceeded\r\n"}));
    EXPECT_EQ(reportedErrors(), (std::vector<LONG>{E_ABORT, TSR_E_SERVER}));
}

TEST_F(RequestTest, AFailedPickUpLeavesTheRequestOpenUnderTheServersReference) {
    openInDirectory();
    showApplication();
    script.queuePage(receiptPage());
    script.queuePage(refusalPage(2, "not yet issued"));
    EXPECT_EQ(submit(), TSR_E_SERVER);
    showApplication();
    script.queuePage(answerPage("submitted", fullReceipt()));
    EXPECT_EQ(submit(), TSR_E_RESPONSE) << "a receipt without Action node";
    EXPECT_EQ(proxy.object().step(), 1);
    EXPECT_EQ(pkiMethods(), (Strings{"CreateRequest", "AddRequest", "AddRequest", "CreateRequest",
                                     "AddRequest", "AddRequest"}));
    EXPECT_EQ(argumentsOf("AddRequest", 3), (Strings{kRequestText, "4711"}));
    EXPECT_EQ(script.requests().size(), 6u);
    EXPECT_EQ(levelledTraces(),
              (Strings{"3 TSR velTesseraProxy(349): Tessera error (2): not yet issued\r\n",
                       "3 TSR velTesseraProxy(353): no action node in Tessera response\r\n"}));
}

TEST_F(RequestTest, AFailingPkiCallEndsTheDialogueThroughItsFrame) {
    openInDirectory();
    struct Case {
        const char* method;
        Strings calls;
        std::size_t requests;
    };
    const std::vector<Case> cases = {
        {"CreateRequest", {"CreateRequest"}, 1},
        {"AddRequest", {"CreateRequest", "AddRequest"}, 1},
        {"ImportRequestedCertificate2",
         {"CreateRequest", "AddRequest", "AddRequest", "ImportRequestedCertificate2"},
         3},
    };
    for (const Case& failing : cases) {
        pki->fail(failing.method, E_ACCESSDENIED, "store locked");
        const std::size_t callsBefore = pki->calls().size();
        const std::size_t requestsBefore = script.requests().size();
        forgetCallbacks();
        showApplication();
        if (failing.requests == 3) {
            script.queuePage(receiptPage());
            script.queuePage(certificatePage());
        }
        EXPECT_EQ(submit(), E_ACCESSDENIED) << failing.method;
        EXPECT_EQ(proxy.object().step(), 1) << failing.method;
        EXPECT_EQ(certificateId, 0) << failing.method;
        EXPECT_EQ(pkiMethodsFrom(callsBefore), failing.calls) << failing.method;
        EXPECT_EQ(script.requests().size() - requestsBefore, failing.requests) << failing.method;
        EXPECT_EQ(levelledTraces(), Strings{"7 TSR velTesseraProxy(1414): store locked\r\n"})
            << failing.method;
        EXPECT_EQ(callbacks("Error").back().code, E_ACCESSDENIED) << failing.method;
        pki->succeed(failing.method);
    }
    EXPECT_EQ(script.pendingAnswers(), 0u);
}

}  // namespace
