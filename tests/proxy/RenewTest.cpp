// Renewing a certificate: the old certificate and its key exported for client authentication, the
// renewal page handed to the host, and a new key request submitted over the authenticated
// transport, kept open in the PKI component and its certificate fetched at once.
#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "proxy/EnrollmentTest.h"
#include "proxy/NodeView.h"
#include "support/TestAuthenticator.h"

namespace {

constexpr char kSubmitUrl[] = "https://ca.test/renew-submit";
constexpr char kFetchUrl[] = "https://ca.test/renew-fetch";
constexpr char kRequestText[] = "MIIBRENEWREQ==";
constexpr char kOldCertificate[] = "MIIOLDCERT+/=";

// An authenticator that a host handed over although it does not offer IAuthenticator (or whose
// query fails otherwise).
class ForeignAuthenticator final : public CountedDouble<IAuthenticator> {
public:
    static velcom::ComPtr<ForeignAuthenticator> create(HRESULT queryResult) {
        return velcom::ComPtr<ForeignAuthenticator>(new ForeignAuthenticator(queryResult));
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (IsEqualIID(riid, IID_IAuthenticator)) {
            *object = nullptr;
            return m_queryResult;
        }
        return CountedDouble::QueryInterface(riid, object);
    }
    STDMETHODIMP GetPassword(BSTR* result) override {
        *result = toBstr("never asked").detach();
        return enter("GetPassword");
    }

private:
    explicit ForeignAuthenticator(HRESULT queryResult)
        : CountedDouble({"GetPassword"}), m_queryResult(queryResult) {}

    HRESULT m_queryResult;
};

Params fullRenewal() {
    return {{"-challenge", "r-9"},
            {"-IDENT_LANG", "de"},
            {"-ident-org_country", "DE"},
            {"-ident-org_name", "Example GmbH"},
            {"-ident-extn_email", "erika@example.test"},
            {"-ident-email_flag", "1"},
            {"-ident-org_unit1", "IT"},
            {"-ident-common_name", "Erika Mustermann"},
            {"-ident-ku_vname", "Erika"},
            {"-ident-ku_nname", "Mustermann"},
            {"-ident-email", "erika@example.test"},
            {"-ident-TO_ku-nr", "0815"}};
}

// The fields the full renewal page gives the submission, before the user's answer.
Strings copiedRenewalFields() {
    return {"-IDENT_LANG",        "de",
            "-ident-org_country", "DE",
            "-ident-org_name",    "Example GmbH",
            "-ident-extn_email",  "erika@example.test",
            "-ident-email_flag",  "1",
            "-ident-org_unit1",   "IT",
            "-ident-common_name", "Erika Mustermann",
            "-ident-ku_vname",    "Erika",
            "-ident-ku_nname",    "Mustermann",
            "-ident-email",       "erika@example.test"};
}

Params fullReceipt() {
    return {{"-refnum", "4711"}, {"-cert_format", "PEM"}, {"-ident_lang", "de"},
            {"USER_NR", "12"},   {"SUFFIX_NR", "3"},      {"EMAIL_ADR", "erika@example.test"}};
}

std::string receiptPage(const Params& params = fullReceipt()) {
    return answerPage("submitted", params, kFetchUrl, "GET");
}

std::string certificatePage(const std::string& value = "MIICnew") {
    return answerPage("issued", {{"cert", value, "PKCS#7"}});
}

class RenewTest : public EnrollmentTest {
protected:
    RenewTest() : EnrollmentTest(kRequestText) {}

    std::string expectedOptions(const std::string& password = "old secret") const {
        return "-ssl3 -oc" + pathOf("cert.pem") + " -pk" + pathOf("key.pem") + " -pp" + password;
    }

    HRESULT authenticate(velcom::ComPtr<IvelNode>* node = nullptr) {
        velcom::ComPtr<IvelNode> own;
        return proxy->RenewStep1(certificate.get(), authenticator.get(),
                                 node != nullptr ? node->put() : own.put());
    }
    // RenewStep1 on a renewal page, asserting that it succeeds.
    void showRenewal(const Params& renewal = fullRenewal()) {
        script.queuePage(answerPage("renewal", renewal, kSubmitUrl));
        ASSERT_EQ(authenticate(), S_OK);
        ASSERT_EQ(proxy.object().step(), 3);
    }
    HRESULT submit(LONG bAGB = 1) {
        return proxy->RenewStep2(velcom::Bstr(u"new key secret").get(), bAGB, &certificateId);
    }
    HRESULT renew(const Params& renewal, LONG bAGB = 1) {
        showRenewal(renewal);
        script.queuePage(receiptPage());
        script.queuePage(certificatePage());
        return submit(bAGB);
    }

    velcom::ComPtr<TestCertificate> certificate =
        TestCertificate::create("0A3F", 7, kOldCertificate);
    velcom::ComPtr<TestAuthenticator> authenticator = TestAuthenticator::create("old secret");
};

TEST_F(RenewTest, TheOldCertificateAuthenticatesTheRequestForTheRenewalPage) {
    openInDirectory();
    script.queuePage(answerPage("renewal", fullRenewal(), kSubmitUrl));
    velcom::ComPtr<IvelNode> node;
    ASSERT_EQ(authenticate(&node), S_OK);
    EXPECT_EQ(proxy.object().step(), 3);

    ASSERT_EQ(script.requests().size(), 2u);
    const TransportRequest& request = script.requests()[1];
    EXPECT_EQ(requestLine(request),
              (RequestLine{"GET", "https://ca.test/renew", expectedOptions()}));
    EXPECT_EQ(request.fields.items, (Strings{"CLIENT_CERT", kOldCertificate}));
    EXPECT_EQ(proxy.object().options(), expectedOptions());

    EXPECT_EQ(pkiMethods(), (Strings{"FindKey", "Export2", "ExportKey"}));
    EXPECT_EQ(argumentsOf("FindKey"), (Strings{"7"}));
    EXPECT_EQ(argumentsOf("Export2"), (Strings{pathOf("cert.pem"), "3", "1", "7"}));
    EXPECT_EQ(argumentsOf("ExportKey"),
              (Strings{pathOf("key.pem"), "old secret", "5", "1", "key"}));
    EXPECT_EQ(pki->key->decryptPasswords, (Strings{"old secret"}));
    EXPECT_EQ(authenticator->callCount("GetPassword"), 1u);
    EXPECT_TRUE(levelledTraces().empty());
    EXPECT_TRUE(reportedErrors().empty());
    EXPECT_EQ(certificate->references(), 1u);
    EXPECT_EQ(authenticator->references(), 1u);
    EXPECT_EQ(pki->key->references(), 1u);

    // The node is the host's own: it stays readable with the proxy gone.
    proxy.reset();
    const NodeView view = viewOf(*node.get());
    EXPECT_EQ(view.name, "renewal");
    EXPECT_EQ(view.number, 100);
    EXPECT_EQ(view.children, static_cast<LONG>(fullRenewal().size()));
}

TEST_F(RenewTest, AnEmptyOrNullPasswordLeavesTheOptionsEndingInTheBarePasswordOption) {
    openInDirectory();
    for (const std::optional<std::string>& password :
         {std::optional<std::string>(""), std::optional<std::string>()}) {
        authenticator->password = password;
        showRenewal();
        const std::string& options = script.requests().back().options;
        EXPECT_EQ(options, expectedOptions(""));
        EXPECT_TRUE(options.ends_with(" -pp")) << options;
        EXPECT_EQ(argumentsOf("ExportKey", pki->callsTo("ExportKey").size() - 1).at(1), "");
        ASSERT_EQ(proxy->InitComm(velcom::Bstr(u"https://ca.test/start").get(), VARIANT{}), S_OK);
    }
}

TEST_F(RenewTest, AWrongPasswordFailsAtTheKeyBeforeAnyExportOrRequest) {
    openInDirectory();
    pki->key->fail("Decrypt", E_ACCESSDENIED, "wrong password");
    authenticator->password = "guessed";
    EXPECT_EQ(authenticate(), E_ACCESSDENIED);
    EXPECT_EQ(proxy.object().step(), 1);
    EXPECT_EQ(pki->key->decryptPasswords, (Strings{"guessed"}));
    EXPECT_EQ(pkiMethods(), (Strings{"FindKey"}));
    EXPECT_EQ(script.requests().size(), 1u) << "only the start page";
    EXPECT_EQ(proxy.object().options(), "");
    EXPECT_EQ(levelledTraces(), Strings{"7 TSR velTesseraProxy(1744): wrong password\r\n"});
    EXPECT_EQ(reportedErrors(), (std::vector<LONG>{E_ACCESSDENIED}));
    EXPECT_EQ(submit(), TSR_E_WRONG_STEP) << "a failed first step leaves no second";
}

TEST_F(RenewTest, EachFailingStepOfTheAuthenticationStopsTheFollowingOnes) {
    openInDirectory();
    struct Case {
        const char* name;
        std::function<void()> breakStep;
        Strings pkiCalls;
        unsigned passwordsAsked;
        std::size_t decrypted;
    };
    const auto fail = [](auto& object, const char* method) {
        return [&object, method] { object->fail(method, E_UNEXPECTED, "step failed"); };
    };
    const std::vector<Case> cases = {
        {"certificate's identifier", fail(certificate, "ID"), {}, 0, 0},
        {"key", fail(pki, "FindKey"), {"FindKey"}, 0, 0},
        {"password", fail(authenticator, "GetPassword"), {"FindKey"}, 1, 0},
        {"certificate export", fail(pki, "Export2"), {"FindKey", "Export2"}, 1, 1},
        {"key export", fail(pki, "ExportKey"), {"FindKey", "Export2", "ExportKey"}, 1, 1},
        {"certificate text",
         fail(certificate, "AsBinaryString"),
         {"FindKey", "Export2", "ExportKey"},
         1,
         1},
    };
    for (const Case& step : cases) {
        step.breakStep();
        const std::size_t callsBefore = pki->calls().size();
        forgetCallbacks();
        const unsigned askedBefore = authenticator->callCount("GetPassword");
        const std::size_t decryptedBefore = pki->key->decryptPasswords.size();

        EXPECT_EQ(authenticate(), E_UNEXPECTED) << step.name;
        EXPECT_EQ(proxy.object().step(), 1) << step.name;
        EXPECT_EQ(pkiMethodsFrom(callsBefore), step.pkiCalls) << step.name;
        EXPECT_EQ(authenticator->callCount("GetPassword") - askedBefore, step.passwordsAsked)
            << step.name;
        EXPECT_EQ(pki->key->decryptPasswords.size() - decryptedBefore, step.decrypted) << step.name;
        EXPECT_EQ(levelledTraces(), Strings{"7 TSR velTesseraProxy(1744): step failed\r\n"})
            << step.name;
        EXPECT_EQ(callbacks("Error").back().code, E_UNEXPECTED) << step.name;

        for (const char* method : {"ID", "AsBinaryString"}) certificate->succeed(method);
        authenticator->succeed("GetPassword");
        for (const char* method : {"FindKey", "Export2", "ExportKey"}) pki->succeed(method);
    }
    EXPECT_EQ(script.requests().size(), 1u) << "no failure reaches the server";
    EXPECT_EQ(certificate->references(), 1u);
    EXPECT_EQ(authenticator->references(), 1u);
}

TEST_F(RenewTest, NullArgumentsAreRejectedBeforeAnythingIsAsked) {
    openInDirectory();
    velcom::ComPtr<IvelNode> node;
    EXPECT_EQ(proxy->RenewStep1(nullptr, authenticator.get(), node.put()), E_INVALIDARG);
    EXPECT_EQ(proxy->RenewStep1(certificate.get(), nullptr, node.put()), E_INVALIDARG);
    EXPECT_EQ(proxy->RenewStep1(certificate.get(), authenticator.get(), nullptr), E_INVALIDARG);
    EXPECT_EQ(proxy.object().step(), 1);
    EXPECT_TRUE(pki->calls().empty());
    EXPECT_EQ(authenticator->callCount("GetPassword"), 0u);
    EXPECT_EQ(script.requests().size(), 1u);
    EXPECT_TRUE(levelledTraces().empty());
    EXPECT_TRUE(reportedErrors().empty());

    showRenewal();
    EXPECT_EQ(proxy->RenewStep2(nullptr, 1, nullptr), E_INVALIDARG);
    EXPECT_EQ(proxy.object().step(), 1);
    EXPECT_EQ(pki->callsTo("CreateRequest").size(), 0u);
    EXPECT_TRUE(levelledTraces().empty());
}

TEST_F(RenewTest, AnAuthenticatorWithoutItsInterfaceFailsWhereItIsNeeded) {
    openInDirectory();
    const auto foreign = ForeignAuthenticator::create(E_NOINTERFACE);
    velcom::ComPtr<IvelNode> node;
    EXPECT_EQ(proxy->RenewStep1(certificate.get(), foreign.get(), node.put()), E_POINTER);
    EXPECT_EQ(pkiMethods(), (Strings{"FindKey"})) << "the certificate's key is looked up first";
    EXPECT_EQ(foreign->callCount("GetPassword"), 0u);
    ASSERT_EQ(levelledTraces().size(), 1u);
    EXPECT_EQ(levelledTraces()[0].rfind("7 TSR velTesseraProxy(1744): ", 0), 0u);
    EXPECT_EQ(reportedErrors(), (std::vector<LONG>{E_POINTER}));

    const auto broken = ForeignAuthenticator::create(E_UNEXPECTED);
    EXPECT_EQ(proxy->RenewStep1(certificate.get(), broken.get(), node.put()), E_UNEXPECTED)
        << "a query that fails otherwise is an error of its own";
    EXPECT_EQ(pkiMethods(), (Strings{"FindKey"}));
    EXPECT_EQ(proxy.object().step(), 1);
    EXPECT_EQ(script.requests().size(), 1u);
    EXPECT_EQ(foreign->references(), 1u);
    EXPECT_EQ(broken->references(), 1u);
}

TEST_F(RenewTest, ACertificateTextOfAnotherTypeEndsBeforeTheRequest) {
    openInDirectory();
    certificate->binaryType = VT_BSTR;
    EXPECT_EQ(authenticate(), E_INVALIDARG);
    EXPECT_EQ(proxy.object().step(), 1);
    EXPECT_EQ(script.requests().size(), 1u);
    EXPECT_TRUE(levelledTraces().empty());
}

TEST_F(RenewTest, AFailedRenewalPageLeavesStepOneAndNoSecondStep) {
    openInDirectory();
    expectFirstStepFailsOn(
        {{"transport", TransportAnswer::failure(E_ACCESSDENIED, "client certificate refused"),
          E_ACCESSDENIED, "7 TSR velTesseraProxy(1744): client certificate refused\r\n"},
         {"no markup", TransportAnswer::page("<html/>"), TSR_E_RESPONSE,
          "3 TSR velTesseraProxy(297): cannot process server response\r\n<html/>\r\n"},
         {"no return node", TransportAnswer::page(pageWith("Action=a")), TSR_E_RESPONSE,
          "3 TSR velTesseraProxy(339): no return node in Tessera response\r\n"},
         {"refused", TransportAnswer::page(refusalPage(9, "certificate revoked")), TSR_E_SERVER,
          "3 TSR velTesseraProxy(349): Tessera error (9): certificate revoked\r\n"}},
        [this](velcom::ComPtr<IvelNode>& node) {
            const HRESULT result = authenticate(&node);
            EXPECT_EQ(script.requests().back().options, expectedOptions());
            return result;
        });
    EXPECT_EQ(callbacks("Error").back().text1, u"9");
    EXPECT_EQ(callbacks("Error").back().text2, u"certificate revoked");
    forgetCallbacks();
    EXPECT_EQ(submit(), TSR_E_WRONG_STEP);
    EXPECT_EQ(levelledTraces(),
              Strings{"1 TSR velTesseraProxy(1774): wrong communication step\r\n"});
}

TEST_F(RenewTest, TheNewRequestGoesOverTheAuthenticatedTransportAndItsPickUpOverThePlainOne) {
    openInDirectory();
    showRenewal();
    const std::size_t renewalCalls = pki->calls().size();
    script.queuePage(receiptPage());
    script.queuePage(certificatePage());
    const std::time_t before = std::time(nullptr);
    ASSERT_EQ(submit(0), S_OK);
    const std::time_t after = std::time(nullptr);
    EXPECT_EQ(certificateId, 42);
    EXPECT_EQ(proxy.object().step(), 1);

    Strings submitted = copiedRenewalFields();
    submitted.insert(submitted.end(), {"-ident_check_AGB", "no", "-key_challenge", kRequestText});
    expectSubmissionAndPickUp({"POST", kSubmitUrl, expectedOptions()}, submitted, kFetchUrl,
                              {"-cert_format", "PEM", "-ident_lang", "de", "USER_NR", "12",
                               "SUFFIX_NR", "3", "EMAIL_ADR", "erika@example.test"});

    EXPECT_EQ(pkiMethodsFrom(renewalCalls), (Strings{"CreateRequest", "AddRequest", "AddRequest",
                                                     "ImportRequestedCertificate2"}));
    EXPECT_EQ(argumentsOf("CreateRequest"), (Strings{"0", "new key secret", "challenge=r-9"}));
    const Strings provisional = argumentsOf("AddRequest");
    EXPECT_EQ(provisional.at(0), kRequestText);
    EXPECT_GE(std::stoll(provisional.at(1)), static_cast<long long>(before));
    EXPECT_LE(std::stoll(provisional.at(1)), static_cast<long long>(after));
    EXPECT_EQ(argumentsOf("AddRequest", 1), (Strings{kRequestText, "4711"}));
    EXPECT_EQ(argumentsOf("ImportRequestedCertificate2"),
              (Strings{pathOf("data.pem"), "4711", "new key secret"}));
    const std::string written = "-----BEGIN PKCS7-----\r\nMIICnew\r\n-----END PKCS7-----\r\n";
    EXPECT_EQ(pki->callsTo("ImportRequestedCertificate2").at(0).fileContent, written);
    EXPECT_EQ(contentOf(dataFile()), written);
    EXPECT_TRUE(levelledTraces().empty());
    EXPECT_EQ(pki->request->references(), 1u);
}

TEST_F(RenewTest, TheRenewalCopiesItsNamesUntilTheFirstMissingAndAnswersYesOrNo) {
    openInDirectory();
    ASSERT_EQ(renew(without(fullRenewal(), "-IDENT_LANG"), 5), S_OK);
    EXPECT_EQ(submission().fields.items,
              (Strings{"-ident_check_AGB", "yes", "-key_challenge", kRequestText}));

    ASSERT_EQ(renew(without(fullRenewal(), "-ident-org_unit1"), 0), S_OK);
    const Strings copied = copiedRenewalFields();
    Strings expected(copied.begin(), copied.begin() + 10);
    expected.insert(expected.end(), {"-ident_check_AGB", "no", "-key_challenge", kRequestText});
    EXPECT_EQ(submission().fields.items, expected);
    const TransportRequest& authentication = script.requests().at(script.requests().size() - 3);
    EXPECT_EQ(authentication.fields.items, (Strings{"CLIENT_CERT", kOldCertificate}))
        << "nothing of the last dialogue goes with a new renewal";

    ASSERT_EQ(renew(fullRenewal(), -1), S_OK);
    EXPECT_EQ(submission().field("-ident_check_AGB"), "yes");
}

TEST_F(RenewTest, AReceiptWithoutReferenceLeavesTheNewRequestOpenUnderTheTimeReference) {
    openInDirectory();
    showRenewal();
    script.queuePage(receiptPage(without(fullReceipt(), "-refnum")));
    EXPECT_EQ(submit(), TSR_E_RESPONSE);
    EXPECT_EQ(proxy.object().step(), 1);
    EXPECT_EQ(pkiMethodsFrom(3), (Strings{"CreateRequest", "AddRequest"}));
    EXPECT_NE(argumentsOf("AddRequest").at(1), "4711");
    EXPECT_EQ(script.requests().size(), 3u) << "no pick-up";
    EXPECT_EQ(levelledTraces(),
              Strings{"3 TSR velTesseraProxy(1823): parameter -refnum not found in response\r\n"});
    expectErrorWithoutTexts(TSR_E_RESPONSE);
}

TEST_F(RenewTest, APickUpWithoutCertificateLeavesTheNewRequestOpenUnderTheServersReference) {
    openInDirectory();
    showRenewal();
    script.queuePage(receiptPage());
    script.queuePage(answerPage("issued", {{"-cert", "dashed name is another parameter"}}));
    certificateId = 77;
    EXPECT_EQ(submit(), TSR_E_RESPONSE);
    EXPECT_EQ(certificateId, 77);
    EXPECT_EQ(proxy.object().step(), 1);
    EXPECT_EQ(pkiMethodsFrom(3), (Strings{"CreateRequest", "AddRequest", "AddRequest"}));
    EXPECT_EQ(argumentsOf("AddRequest", 1), (Strings{kRequestText, "4711"}));
    EXPECT_FALSE(std::filesystem::exists(dataFile()));
    EXPECT_EQ(levelledTraces(),
              Strings{"3 TSR velTesseraProxy(806): parameter -cert not found in response\r\n"});
    EXPECT_EQ(reportedErrors(), (std::vector<LONG>{TSR_E_RESPONSE}));
}

TEST_F(RenewTest, TheSecondStepOnlyDirectlyAfterTheFirst) {
    openInDirectory();
    script.queuePage(answerPage("application", {}, kSubmitUrl));
    velcom::ComPtr<IvelNode> node;
    ASSERT_EQ(proxy->RequestStep1(node.put()), S_OK);
    EXPECT_EQ(submit(), TSR_E_WRONG_STEP);
    EXPECT_EQ(proxy.object().step(), 1);
    LONG id = 0;
    EXPECT_EQ(proxy->RequestStep2(nullptr, nullptr, 1, 1, &id), TSR_E_WRONG_STEP)
        << "the application is over too";
    EXPECT_EQ(levelledTraces(),
              (Strings{"1 TSR velTesseraProxy(1774): wrong communication step\r\n",
                       "1 TSR velTesseraProxy(1353): wrong communication step\r\n"}));

    showRenewal();
    ASSERT_EQ(proxy->InitComm(velcom::Bstr(u"https://ca.test/start").get(), VARIANT{}), S_OK);
    EXPECT_EQ(submit(), TSR_E_WRONG_STEP) << "InitComm returns to step one";
    EXPECT_EQ(proxy.object().options(), expectedOptions()) << "and keeps the options";
    EXPECT_TRUE(pki->callsTo("CreateRequest").empty());
}

TEST_F(RenewTest, AFailedSubmissionEndsTheRenewalThroughItsFrameOrWithTheServersVerdict) {
    openInDirectory();
    showRenewal(fullRenewal());
    script.queue(TransportAnswer::failure(E_ABORT, "handshake failed"));
    EXPECT_EQ(submit(), E_ABORT);
    EXPECT_EQ(script.requests().back().options, expectedOptions());

    showRenewal();
    script.queuePage(refusalPage(4, "renewal not allowed"));
    EXPECT_EQ(submit(), TSR_E_SERVER);

    script.queuePage(answerPage("renewal", fullRenewal()));
    ASSERT_EQ(authenticate(), S_OK);
    EXPECT_EQ(submit(), TSR_E_RESPONSE) << "a renewal page without Action node";

    showRenewal();
    pki->fail("CreateRequest", E_OUTOFMEMORY, "no room for a key");
    EXPECT_EQ(submit(), E_OUTOFMEMORY);
    EXPECT_EQ(proxy.object().step(), 1);

    EXPECT_EQ(pki->callsTo("CreateRequest").size(), 4u);
    EXPECT_EQ(pki->callsTo("AddRequest").size(), 3u) << "each kept open under its time reference";
    EXPECT_EQ(levelledTraces(),
              (Strings{"7 TSR velTesseraProxy(1834): handshake failed\r\n",
                       "3 TSR velTesseraProxy(349): Tessera error (4): renewal not allowed\r\n",
                       "3 TSR velTesseraProxy(353): no action node in Tessera response\r\n",
                       "7 TSR velTesseraProxy(1834): no room for a key\r\n"}));
    EXPECT_EQ(reportedErrors(),
              (std::vector<LONG>{E_ABORT, TSR_E_SERVER, TSR_E_RESPONSE, E_OUTOFMEMORY}));
}

}  // namespace
