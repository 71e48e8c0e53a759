// Picking up an issued certificate: the server's reference list against the PKI component's open
// requests, the request that names the chosen entry, and the import of what the server sends.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <optional>
#include <utility>

#include "proxy/DirectoryProxyTest.h"
#include "support/CountedObject.h"
#include "support/TestAuthenticator.h"

namespace {

constexpr char kCertificatePem[] =
    "-----BEGIN CERTIFICATE-----\r\nMIICERTIFICATE\r\n-----END CERTIFICATE-----\r\n";

// The server's list of references, with an Action node naming the request that picks one.
std::string referencePage(const Params& references) {
    return answerPage("PickUp", references, "https://ca.test/pickup/select");
}

std::string certificatePage(const std::string& lines = "Param1=cert\nValue1=MIICERTIFICATE") {
    return pageWith("Return=Certificate\n" + lines);
}

class PickUpTest : public DirectoryProxyTest {
protected:
    void SetUp() override {
        DirectoryProxyTest::SetUp();
        openInDirectory();
        pki->certificateId = 42;
    }

    // The answers of a pick-up that reaches the import.
    void queueDialogue(const Params& references,
                       const std::string& certificate = certificatePage()) {
        script.queuePage(referencePage(references));
        script.queuePage(certificate);
    }
    // The fields of the selection request, the second of the operation.
    Fields selectionFields() const { return script.requests().at(2).fieldPairs(); }

    LONG certificateId = 0;
};

TEST_F(PickUpTest, TheLastOpenReferenceInTheListWinsWithItsOwnPosition) {
    pki->setOpenRequests({"0042", "77"});
    queueDialogue({{"-reference_list", "42+77"}, {"-abhol_list", "0+0"}, {"-ident_lang", "de"}});
    EXPECT_EQ(proxy->PickUp(&certificateId), S_OK);
    EXPECT_EQ(certificateId, 42);
    EXPECT_EQ(proxy.object().step(), 1);

    ASSERT_EQ(script.requests().size(), 3u);
    const TransportRequest& list = script.requests()[1];
    EXPECT_EQ(requestLine(list), (RequestLine{"GET", "https://ca.test/pickup", ""}));
    EXPECT_TRUE(list.fields.omitted());
    const TransportRequest& selection = script.requests()[2];
    EXPECT_EQ(requestLine(selection), (RequestLine{"POST", "https://ca.test/pickup/select", ""}));
    EXPECT_EQ(selection.fieldPairs(), (Fields{{"-reference_list", "42+77"},
                                              {"-abhol_list", "0+0"},
                                              {"-ident_lang", "de"},
                                              {"-ident_cert_nr", "1"}}));

    EXPECT_EQ(pki->methods(), (Strings{"GetOpenRequests", "ImportRequestedCertificate2"}));
    const PkiCall import = pki->callsTo("ImportRequestedCertificate2").at(0);
    EXPECT_EQ(import.arguments, (Strings{dataFile().string(), "77", kNullArgument}))
        << "PickUp has no password to give";
    EXPECT_EQ(import.fileContent, kCertificatePem);
    EXPECT_TRUE(levelledTraces().empty());
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(PickUpTest, AnEarlierOpenReferenceWinsWhenItIsTheLastThatMatches) {
    pki->setOpenRequests({"77", "0042", "5"});
    queueDialogue({{"-reference_list", "42+77"}, {"-abhol_list", "0+0"}});
    EXPECT_EQ(proxy->PickUp(&certificateId), S_OK);
    EXPECT_EQ(
        selectionFields(),
        (Fields{{"-reference_list", "42+77"}, {"-abhol_list", "0+0"}, {"-ident_cert_nr", "0"}}))
        << "the copy stops at the missing -ident_lang";
    EXPECT_EQ(pki->callsTo("ImportRequestedCertificate2").at(0).arguments.at(1), "0042");
}

TEST_F(PickUpTest, OnlyTheOpenReferenceLosesItsLeadingZerosAndCaseDoesNotMatter) {
    pki->setOpenRequests({"00ab"});
    queueDialogue({{"-reference_list", "AB+3"}});
    EXPECT_EQ(proxy->PickUp(&certificateId), S_OK);
    EXPECT_EQ(selectionFields(), (Fields{{"-reference_list", "AB+3"}, {"-ident_cert_nr", "0"}}));
    EXPECT_EQ(pki->callsTo("ImportRequestedCertificate2").at(0).arguments.at(1), "00ab");
    EXPECT_TRUE(levelledTraces().empty());
}

TEST_F(PickUpTest, AListedReferenceWithLeadingZerosFallsBackToTheFirstCertificateNotFetched) {
    pki->setOpenRequests({"0042"});
    queueDialogue({{"-reference_list", "0042+17"}, {"-abhol_list", "1+0+0"}});
    EXPECT_EQ(proxy->PickUp(&certificateId), S_OK);
    EXPECT_EQ(certificateId, 42);
    EXPECT_EQ(selectionFields(), (Fields{{"-reference_list", "0042+17"},
                                         {"-abhol_list", "1+0+0"},
                                         {"-ident_cert_nr", "1"}}));
    EXPECT_EQ(pki->callsTo("ImportRequestedCertificate2").at(0).arguments,
              (Strings{dataFile().string(), "", kNullArgument}))
        << "the fallback imports without a request reference";
    EXPECT_EQ(levelledTraces(),
              (Strings{"3 TSR velTesseraProxy(1518): wrong refnumber\r\n",
                       "3 TSR velTesseraProxy(1523): try the first certificate that was not "
                       "downloaded\r\n"}));
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(PickUpTest, TheFallbackTakesTheFirstEntryThatIsExactlyZero) {
    const std::pair<const char*, const char*> cases[] = {
        {"0", "0"}, {"1+1+0", "2"}, {"1+00+0", "2"}};
    pki->setOpenRequests({"9"});
    for (const auto& [flags, position] : cases) {
        queueDialogue({{"-reference_list", "1+2+3"}, {"-abhol_list", flags}});
        EXPECT_EQ(proxy->PickUp(&certificateId), S_OK) << flags;
        EXPECT_EQ(script.requests().back().field("-ident_cert_nr"), position) << flags;
    }
}

TEST_F(PickUpTest, PickUpExHandsTheAuthenticatorsPasswordToTheExtendedImport) {
    const auto authenticator = TestAuthenticator::create("key password");
    pki->setOpenRequests({"1031"});
    queueDialogue({{"-reference_list", "1024+1031+1177"}});
    velcom::ComPtr<IvelTesseraProxyEx> extended;
    ASSERT_EQ(proxy.get()->QueryInterface(IID_IvelTesseraProxyEx, extended.putVoid()), S_OK);
    EXPECT_EQ(extended->PickUpEx(authenticator.get(), &certificateId), S_OK);
    EXPECT_EQ(certificateId, 42);
    EXPECT_EQ(authenticator->callCount("GetPassword"), 1u);
    EXPECT_EQ(authenticator->references(), 1u);
    EXPECT_EQ(selectionFields(),
              (Fields{{"-reference_list", "1024+1031+1177"}, {"-ident_cert_nr", "1"}}));
    EXPECT_EQ(pki->callsTo("ImportRequestedCertificate2").at(0).arguments,
              (Strings{dataFile().string(), "1031", "key password"}));
}

TEST_F(PickUpTest, ANullPasswordIsGivenAsAnEmptyOneByAddress) {
    const auto authenticator = TestAuthenticator::create(std::nullopt);
    pki->setOpenRequests({"1031"});
    queueDialogue({{"-reference_list", "1031"}});
    velcom::ComPtr<IvelTesseraProxyEx> extended;
    ASSERT_EQ(proxy.get()->QueryInterface(IID_IvelTesseraProxyEx, extended.putVoid()), S_OK);
    EXPECT_EQ(extended->PickUpEx(authenticator.get(), &certificateId), S_OK);
    EXPECT_EQ(pki->callsTo("ImportRequestedCertificate2").at(0).arguments,
              (Strings{dataFile().string(), "1031", ""}));
}

TEST_F(PickUpTest, AFailingAuthenticatorEndsThePickUpBeforeTheImport) {
    const auto authenticator = TestAuthenticator::create("key password");
    authenticator->fail("GetPassword", E_ABORT, "cancelled");
    pki->setOpenRequests({"1031"});
    queueDialogue({{"-reference_list", "1031"}});
    velcom::ComPtr<IvelTesseraProxyEx> extended;
    ASSERT_EQ(proxy.get()->QueryInterface(IID_IvelTesseraProxyEx, extended.putVoid()), S_OK);
    certificateId = 5;
    EXPECT_EQ(extended->PickUpEx(authenticator.get(), &certificateId), E_ABORT);
    EXPECT_EQ(certificateId, 5);
    EXPECT_EQ(script.requests().size(), 3u);
    EXPECT_EQ(pki->methods(), Strings{"GetOpenRequests"});
    EXPECT_TRUE(levelledTraces().empty());
    EXPECT_TRUE(reportedErrors().empty());
    EXPECT_EQ(proxy.object().step(), 1);
}

TEST_F(PickUpTest, WithoutTheExtendedInterfaceThePlainImportGetsNoPassword) {
    const auto plain = RecordingPki::create(RecordingPki::Extended::Missing);
    plain->setOpenRequests({"1031"});
    plain->certificateId = 8;
    ProxyObject plainProxy;
    ASSERT_EQ(plainProxy->Init(&host, random.get(), plain.get(),
                               velcom::Bstr(directory.u16string().c_str()).get()),
              S_OK);
    script.queuePage(startPage());
    ASSERT_EQ(plainProxy->InitComm(velcom::Bstr(u"https://ca.test/start").get(), VARIANT{}), S_OK);
    queueDialogue({{"-reference_list", "1031"}});
    const auto authenticator = TestAuthenticator::create("key password");
    velcom::ComPtr<IvelTesseraProxyEx> extended;
    ASSERT_EQ(plainProxy.get()->QueryInterface(IID_IvelTesseraProxyEx, extended.putVoid()), S_OK);
    EXPECT_EQ(extended->PickUpEx(authenticator.get(), &certificateId), S_OK);
    EXPECT_EQ(certificateId, 8);
    EXPECT_EQ(plain->methods(), (Strings{"GetOpenRequests", "ImportRequestedCertificate"}));
    EXPECT_EQ(plain->callsTo("ImportRequestedCertificate").at(0).arguments,
              (Strings{dataFile().string(), "1031"}));
    EXPECT_EQ(plain->callsTo("ImportRequestedCertificate").at(0).fileContent, kCertificatePem);
    EXPECT_EQ(levelledTraces(),
              Strings{"1 TSR velTesseraProxy(827): ISMPrivateKeyInfrastructureEx not found\r\n"});
}

TEST_F(PickUpTest, TheCertificateFileIsLabelledByItsTypeAndTheOwnersAlone) {
    pki->setOpenRequests({"1031"});
    queueDialogue({{"-reference_list", "1031"}},
                  certificatePage("Param1=CERT\nType1=PKCS#7\nValue1=MIIP7"));
    EXPECT_EQ(proxy->PickUp(&certificateId), S_OK);
    const std::string expected = "-----BEGIN PKCS7-----\r\nMIIP7\r\n-----END PKCS7-----\r\n";
    EXPECT_EQ(pki->callsTo("ImportRequestedCertificate2").at(0).fileContent, expected);
    EXPECT_EQ(contentOf(dataFile()), expected);
    struct stat status {};
    ASSERT_EQ(::stat(dataFile().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
}

TEST_F(PickUpTest, WithoutOpenRequestsNothingIsAskedOfTheServer) {
    velcom::Variant emptyList = makeStringList({});
    for (velcom::Variant openRequests : {velcom::Variant(), emptyList}) {
        pki->openRequests = openRequests;
        certificateId = 5;
        EXPECT_EQ(proxy->PickUp(&certificateId), S_OK);
        EXPECT_EQ(certificateId, -1);
        EXPECT_EQ(proxy.object().step(), 1);
    }
    EXPECT_EQ(script.requests().size(), 1u) << "InitComm's alone";
    EXPECT_EQ(levelledTraces(), (Strings{"3 TSR velTesseraProxy(1480): no open requests\r\n",
                                         "3 TSR velTesseraProxy(1480): no open requests\r\n"}));
    EXPECT_TRUE(reportedErrors().empty());
    EXPECT_EQ(pki->methods(), (Strings{"GetOpenRequests", "GetOpenRequests"}));
}

TEST_F(PickUpTest, OpenRequestsOfAnotherFormAreRefused) {
    pki->openRequests.put()->vt = VT_I4;
    pki->openRequests.get()->lVal = 1031;
    certificateId = 5;
    EXPECT_EQ(proxy->PickUp(&certificateId), E_INVALIDARG);
    EXPECT_EQ(certificateId, 5);
    EXPECT_EQ(script.requests().size(), 1u);
    EXPECT_TRUE(levelledTraces().empty());
    EXPECT_TRUE(reportedErrors().empty());
    EXPECT_EQ(proxy.object().step(), 1);
}

TEST_F(PickUpTest, ANullResultPointerIsRefusedBeforeThePkiIsAsked) {
    pki->setOpenRequests({"1031"});
    EXPECT_EQ(proxy->PickUp(nullptr), E_INVALIDARG);
    EXPECT_TRUE(pki->calls().empty());
    EXPECT_EQ(script.requests().size(), 1u);
    EXPECT_TRUE(levelledTraces().empty());
}

TEST_F(PickUpTest, AReferenceListWithoutAnyOpenReferenceOrFallbackIsAPickUpError) {
    struct Case {
        Params references;
        Strings traceLines;
    };
    const std::string wrong = "3 TSR velTesseraProxy(1518): wrong refnumber\r\n";
    const std::string fallback =
        "3 TSR velTesseraProxy(1523): try the first certificate that was not downloaded\r\n";
    const Case cases[] = {
        {{{"-reference_list", std::nullopt}, {"-abhol_list", "0"}}, {wrong}},
        {{{"-reference_list", "1+2+3"}, {"-abhol_list", "1+1+1"}}, {wrong, fallback}},
        {{{"-reference_list", "1+2"}, {"-abhol_list", "00+1"}}, {wrong, fallback}},
    };
    pki->setOpenRequests({"9"});
    for (const Case& scenario : cases) {
        forgetCallbacks();
        const std::size_t before = script.requests().size();
        script.queuePage(referencePage(scenario.references));
        certificateId = 5;
        EXPECT_EQ(proxy->PickUp(&certificateId), TSR_E_PICKUP);
        EXPECT_EQ(certificateId, 5);
        EXPECT_EQ(script.requests().size(), before + 1) << "no selection is sent";
        EXPECT_EQ(levelledTraces(), scenario.traceLines);
        const auto reported = recent("Error");
        ASSERT_EQ(reported.size(), 1u);
        EXPECT_EQ(reported[0].code, TSR_E_PICKUP);
        EXPECT_FALSE(reported[0].text1IsNull) << "the chosen reference, empty, is the first text";
        EXPECT_EQ(reported[0].text1, u"");
        EXPECT_EQ(proxy.object().step(), 1);
    }
    EXPECT_EQ(pki->methods(), (Strings{"GetOpenRequests", "GetOpenRequests", "GetOpenRequests"}));
}

TEST_F(PickUpTest, AnAnswerWithoutItsListsIsUnusable) {
    pki->setOpenRequests({"9"});
    script.queuePage(referencePage({{"-abhol_list", "0"}}));
    EXPECT_EQ(proxy->PickUp(&certificateId), TSR_E_RESPONSE);
    EXPECT_EQ(levelledTraces(),
              Strings{"3 TSR velTesseraProxy(1502): parameter -reference_list not found in "
                      "response\r\n"});
    EXPECT_EQ(reportedErrors(), std::vector<LONG>{TSR_E_RESPONSE});

    forgetCallbacks();
    script.queuePage(referencePage({{"-reference_list", "1+2"}}));
    EXPECT_EQ(proxy->PickUp(&certificateId), TSR_E_RESPONSE);
    EXPECT_EQ(
        levelledTraces(),
        (Strings{"3 TSR velTesseraProxy(1518): wrong refnumber\r\n",
                 "3 TSR velTesseraProxy(1523): try the first certificate that was not "
                 "downloaded\r\n",
                 "3 TSR velTesseraProxy(1528): parameter -abhol_list not found in response\r\n"}));
    EXPECT_EQ(reportedErrors(), std::vector<LONG>{TSR_E_RESPONSE});
    EXPECT_EQ(script.requests().size(), 3u) << "no selection is sent";
    EXPECT_EQ(pki->methods(), (Strings{"GetOpenRequests", "GetOpenRequests"}));
    EXPECT_EQ(proxy.object().step(), 1);
}

TEST_F(PickUpTest, AnOpenReferenceOfOnlyZerosEndsThePickUpWithFail) {
    for (const char* reference : {"000", ""}) {
        forgetCallbacks();
        pki->setOpenRequests({"1031", reference});
        script.queuePage(referencePage({{"-reference_list", "1031"}}));
        EXPECT_EQ(proxy->PickUp(&certificateId), E_FAIL) << reference;
        const Strings lines = levelledTraces();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].rfind("7 TSR velTesseraProxy(1574): Exception ", 0), 0u) << lines[0];
        EXPECT_EQ(reportedErrors(), std::vector<LONG>{E_FAIL});
        EXPECT_EQ(proxy.object().step(), 1);
    }
    EXPECT_EQ(script.requests().size(), 3u) << "the reference lists only";
    EXPECT_TRUE(pki->callsTo("ImportRequestedCertificate2").empty());
}

TEST_F(PickUpTest, ACertificateAnswerWithoutCertificateLeavesTheRequestOpen) {
    std::ofstream(dataFile(), std::ios::binary) << "earlier";
    for (const char* lines : {"Param1=other\nValue1=x", "Param1=cert"}) {
        forgetCallbacks();
        pki->setOpenRequests({"1031"});
        queueDialogue({{"-reference_list", "1031"}}, certificatePage(lines));
        certificateId = 5;
        EXPECT_EQ(proxy->PickUp(&certificateId), TSR_E_RESPONSE) << lines;
        EXPECT_EQ(certificateId, 5);
        EXPECT_EQ(levelledTraces(),
                  Strings{"3 TSR velTesseraProxy(806): parameter -cert not found in response\r\n"});
        EXPECT_EQ(reportedErrors(), std::vector<LONG>{TSR_E_RESPONSE});
        EXPECT_EQ(proxy.object().step(), 1);
    }
    EXPECT_EQ(pki->methods(), (Strings{"GetOpenRequests", "GetOpenRequests"}));
    EXPECT_EQ(contentOf(dataFile()), "earlier");
}

TEST_F(PickUpTest, FailuresOfTheExchangesEndThePickUpWithTheirCodes) {
    pki->setOpenRequests({"1031"});
    // The selection request fails in the transport.
    script.queuePage(referencePage({{"-reference_list", "1031"}}));
    script.queue(TransportAnswer::failure(E_ACCESSDENIED, "proxy refused"));
    EXPECT_EQ(proxy->PickUp(&certificateId), E_ACCESSDENIED);
    EXPECT_EQ(levelledTraces(), Strings{"7 TSR velTesseraProxy(1574): proxy refused\r\n"});
    EXPECT_EQ(reportedErrors(), std::vector<LONG>{E_ACCESSDENIED});

    // The server refuses the list.
    forgetCallbacks();
    script.queuePage(pageWith("Return=PickUp\nStatus=7\nErrorMessage=no such user"));
    EXPECT_EQ(proxy->PickUp(&certificateId), TSR_E_SERVER);
    EXPECT_EQ(levelledTraces(),
              Strings{"3 TSR velTesseraProxy(349): Tessera error (7): no such user\r\n"});

    // The list comes without an Action node to send the selection to.
    forgetCallbacks();
    script.queuePage(pageWith("Return=PickUp\nParam1=-reference_list\nValue1=1031"));
    EXPECT_EQ(proxy->PickUp(&certificateId), TSR_E_RESPONSE);
    EXPECT_EQ(levelledTraces(),
              Strings{"3 TSR velTesseraProxy(353): no action node in Tessera response\r\n"});

    // The certificate answer has no Return node.
    forgetCallbacks();
    queueDialogue({{"-reference_list", "1031"}}, pageWith("Action=more\nURL=https://ca.test/x"));
    EXPECT_EQ(proxy->PickUp(&certificateId), TSR_E_RESPONSE);
    EXPECT_EQ(levelledTraces(),
              Strings{"3 TSR velTesseraProxy(339): no return node in Tessera response\r\n"});

    EXPECT_EQ(pki->callsTo("ImportRequestedCertificate2").size(), 0u);
    EXPECT_EQ(proxy.object().step(), 1);
}

TEST_F(PickUpTest, APkiComponentWithoutItsInterfaceFailsThroughTheFrame) {
    CountedObject notAPki;
    ProxyObject other;
    ASSERT_EQ(other->Init(&host, random.get(), disguisedAs<ISMPrivateKeyInfrastructure>(notAPki),
                          nullptr),
              S_OK);
    script.queuePage(startPage());
    ASSERT_EQ(other->InitComm(velcom::Bstr(u"https://ca.test/start").get(), VARIANT{}), S_OK);
    forgetCallbacks();
    EXPECT_EQ(other->PickUp(&certificateId), E_POINTER);
    ASSERT_EQ(levelledTraces().size(), 1u);
    EXPECT_EQ(levelledTraces()[0].rfind("7 TSR velTesseraProxy(1574): ", 0), 0u);
    EXPECT_EQ(reportedErrors(), std::vector<LONG>{E_POINTER});
    EXPECT_EQ(other.object().step(), 1);
}

TEST_F(PickUpTest, APickUpBeforeTheCommunicationIsOpenIsRefused) {
    ProxyObject unopened;
    ASSERT_EQ(unopened->Init(&host, random.get(), pki.get(), nullptr), S_OK);
    pki->setOpenRequests({"1031"});
    EXPECT_EQ(unopened->PickUp(&certificateId), TSR_E_COMM_NOT_INITIALIZED);
    EXPECT_EQ(levelledTraces(),
              Strings{"1 TSR velTesseraProxy(1464): communication not initialized\r\n"});
    EXPECT_EQ(reportedErrors(), std::vector<LONG>{TSR_E_COMM_NOT_INITIALIZED});
    EXPECT_TRUE(pki->calls().empty());
}

}  // namespace
