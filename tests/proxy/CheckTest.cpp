// A certificate's state from the server, with the PKI component following a revocation, and the
// current revocation list fetched, written and imported.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

#include "proxy/DirectoryProxyTest.h"
#include "proxy/NodeView.h"
#include "support/CountedObject.h"

namespace {

// The operation's start page: its parameters and the form's Action node.
std::string formPage(const Params& params, const std::string& url, const char* method) {
    return answerPage("Form", params, url, method);
}

class OperationTest : public DirectoryProxyTest {
protected:
    void SetUp() override {
        DirectoryProxyTest::SetUp();
        openInDirectory();
    }

    // The operation's first request fetches its form from the start page's address, without
    // fields.
    void expectFormFetchedFrom(const std::string& address) const {
        const TransportRequest& form = script.requests().at(1);
        EXPECT_EQ(form.method, "GET");
        EXPECT_EQ(form.address, address);
        EXPECT_TRUE(form.fields.omitted());
    }
};

class CheckTest : public OperationTest {
protected:
    // The node object holds the module too: it goes before the module's count is checked.
    void TearDown() override {
        node.reset();
        OperationTest::TearDown();
    }

    // A check whose state answer carries the lines given.
    HRESULT checkAnswering(const std::string& stateLines) {
        script.queuePage(formPage({{"-ident_lang", "de"}}, "https://ca.test/check/state", "POST"));
        script.queuePage(pageWith("Return=State\n" + stateLines));
        return proxy->Check(certificate.get(), node.put());
    }

    velcom::ComPtr<TestCertificate> certificate = TestCertificate::create("000A3F");
    velcom::ComPtr<IvelNode> node;
};

TEST_F(CheckTest, TheFormCarriesTheLanguageAndTheSerialAndTheStateComesBackAsANode) {
    script.queuePage(formPage({{"-crl_format", "pem"}, {"-Ident_Lang", "de"}},
                              "https://ca.test/check/state", "POST"));
    script.queuePage(
        pageWith("Return=State\nStatus=100\nErrorMessage=all well\n"
                 "Param1=-cert_state\nValue1=1\nParam2=-valid_to\nValue2=2030"));
    EXPECT_EQ(proxy->Check(certificate.get(), node.put()), S_OK);
    EXPECT_EQ(proxy.object().step(), 1);

    ASSERT_EQ(script.requests().size(), 3u);
    expectFormFetchedFrom("https://ca.test/check");
    const TransportRequest& state = script.requests()[2];
    EXPECT_EQ(requestLine(state), (RequestLine{"POST", "https://ca.test/check/state", ""}));
    EXPECT_EQ(state.fieldPairs(), (Fields{{"-Ident_Lang", "de"}, {"-serial", "000A3F"}}))
        << "the serial goes as the certificate gives it";

    ASSERT_TRUE(node);
    const NodeView view = viewOf(*node.get());
    EXPECT_EQ(view.name, "State");
    EXPECT_EQ(view.type, TesseraNTReturn);
    EXPECT_EQ(view.text, "all well");
    EXPECT_EQ(view.number, 100);
    EXPECT_EQ(view.children, 2);
    EXPECT_TRUE(pki->calls().empty()) << "state 1 is no revocation";
    EXPECT_TRUE(levelledTraces().empty());
    EXPECT_EQ(certificate->references(), 1u);
}

TEST_F(CheckTest, AFormWithoutLanguageSendsTheSerialAloneByTheActionsMethod) {
    script.queuePage(formPage({}, "https://ca.test/check/state", "GET"));
    script.queuePage(pageWith("Return=State\nParam1=-cert_state\nValue1=0"));
    EXPECT_EQ(proxy->Check(certificate.get(), node.put()), S_OK);
    const TransportRequest& state = script.requests().at(2);
    EXPECT_EQ(state.method, "GET");
    EXPECT_EQ(state.fieldPairs(), (Fields{{"-serial", "000A3F"}}));
}

TEST_F(CheckTest, AStateReadAsTwoMarksTheCertificateRevoked) {
    for (const char* state : {"2", "02", "+2", "2abc"}) {
        EXPECT_EQ(checkAnswering(std::string("Param1=-cert_state\nValue1=") + state), S_OK)
            << state;
        EXPECT_TRUE(node) << state;
    }
    EXPECT_EQ(pki->methods(), (Strings{"Revoke", "Revoke", "Revoke", "Revoke"}));
    EXPECT_EQ(pki->callsTo("Revoke").at(0).arguments, Strings{"000A3F"});
    EXPECT_EQ(certificate->references(), 1u);
}

TEST_F(CheckTest, OtherStatesLeaveThePkiComponentAlone) {
    for (const char* lines : {"Param1=-cert_state\nValue1=3", "Param1=-cert_state",
                              "Param1=-cert_state\nValue1=revoked", "Param1=-cert_state\nValue1=-2",
                              "Param1=-cert_state\nValue1=12"}) {
        EXPECT_EQ(checkAnswering(lines), S_OK) << lines;
        EXPECT_TRUE(node) << lines;
    }
    EXPECT_TRUE(pki->calls().empty());
}

TEST_F(CheckTest, AStateAnswerWithoutStateIsUnusable) {
    EXPECT_EQ(checkAnswering("Param1=-cert_status\nValue1=2"), TSR_E_RESPONSE);
    EXPECT_FALSE(node);
    EXPECT_EQ(levelledTraces(), Strings{"3 TSR velTesseraProxy(1900): parameter -cert_state not "
                                        "found in response\r\n"});
    expectErrorWithoutTexts(TSR_E_RESPONSE);
    EXPECT_TRUE(pki->calls().empty());
    EXPECT_EQ(proxy.object().step(), 1);
}

TEST_F(CheckTest, AFailingRevocationInTheStoreGivesNoNode) {
    pki->fail("Revoke", E_ACCESSDENIED, "store is read-only");
    EXPECT_EQ(checkAnswering("Param1=-cert_state\nValue1=2"), E_ACCESSDENIED);
    EXPECT_FALSE(node);
    EXPECT_EQ(levelledTraces(), Strings{"7 TSR velTesseraProxy(1910): store is read-only\r\n"});
    EXPECT_EQ(reportedErrors(), std::vector<LONG>{E_ACCESSDENIED});
    EXPECT_EQ(proxy.object().step(), 1);
}

TEST_F(CheckTest, TheNodeIsTheHostsOwnCopy) {
    ASSERT_EQ(checkAnswering("Param1=-cert_state\nValue1=1"), S_OK);
    velcom::ComPtr<IvelNodeCollection> children;
    ASSERT_EQ(node->get_SubNodes(children.put()), S_OK);
    script.queuePage(pageWith("Return=Other"));
    ASSERT_EQ(proxy.object().exchange("https://ca.test/other", false, ""), S_OK);
    proxy.reset();
    velcom::ComPtr<IvelNode> state;
    ASSERT_EQ(children->get_Item(1, state.put()), S_OK);
    const NodeView view = viewOf(*state.get());
    EXPECT_EQ(view.name, "-cert_state");
    EXPECT_EQ(view.text, "1");
    EXPECT_EQ(viewOf(*node.get()).name, "State");
}

TEST_F(CheckTest, ArgumentsThatAreNoneOrNoCertificateAreRefusedBeforeAnyRequest) {
    EXPECT_EQ(proxy->Check(nullptr, node.put()), E_INVALIDARG);
    EXPECT_EQ(proxy->Check(certificate.get(), nullptr), E_INVALIDARG);
    EXPECT_TRUE(levelledTraces().empty());
    EXPECT_TRUE(reportedErrors().empty());

    CountedObject notACertificate;
    EXPECT_EQ(proxy->Check(disguisedAs<ISMCertificate>(notACertificate), node.put()), E_POINTER);
    EXPECT_EQ(notACertificate.references, 1u);
    ASSERT_EQ(levelledTraces().size(), 1u);
    EXPECT_EQ(levelledTraces()[0].rfind("7 TSR velTesseraProxy(1910): ", 0), 0u);
    EXPECT_EQ(reportedErrors(), std::vector<LONG>{E_POINTER});
    EXPECT_EQ(script.requests().size(), 1u);
    EXPECT_EQ(proxy.object().step(), 1);
}

TEST_F(CheckTest, FailuresOfTheExchangesEndTheCheckWithTheirCodes) {
    script.queue(TransportAnswer::failure(E_ACCESSDENIED, "proxy refused"));
    EXPECT_EQ(proxy->Check(certificate.get(), node.put()), E_ACCESSDENIED);
    EXPECT_EQ(levelledTraces(), Strings{"7 TSR velTesseraProxy(1910): proxy refused\r\n"});

    forgetCallbacks();
    script.queuePage(pageWith("Return=Form\nParam1=-ident_lang\nValue1=de"));
    EXPECT_EQ(proxy->Check(certificate.get(), node.put()), TSR_E_RESPONSE);
    EXPECT_EQ(levelledTraces(),
              Strings{"3 TSR velTesseraProxy(353): no action node in Tessera response\r\n"});

    forgetCallbacks();
    EXPECT_EQ(checkAnswering("Status=4\nErrorMessage=unknown serial\nParam1=-cert_state\n"
                             "Value1=2"),
              TSR_E_SERVER);
    EXPECT_EQ(levelledTraces(),
              Strings{"3 TSR velTesseraProxy(349): Tessera error (4): unknown serial\r\n"});
    EXPECT_FALSE(node);
    EXPECT_TRUE(pki->calls().empty());
    EXPECT_EQ(script.requests().size(), 5u);
    EXPECT_EQ(proxy.object().step(), 1);
}

TEST_F(CheckTest, ACheckBeforeTheCommunicationIsOpenIsRefused) {
    ProxyObject unopened;
    ASSERT_EQ(unopened->Init(&host, random.get(), pki.get(), nullptr), S_OK);
    EXPECT_EQ(unopened->Check(certificate.get(), node.put()), TSR_E_COMM_NOT_INITIALIZED);
    EXPECT_EQ(levelledTraces(),
              Strings{"1 TSR velTesseraProxy(1862): communication not initialized\r\n"});
    EXPECT_EQ(reportedErrors(), std::vector<LONG>{TSR_E_COMM_NOT_INITIALIZED});
}

class UpdateCrlTest : public OperationTest {};

TEST_F(UpdateCrlTest, TheListIsFetchedWrittenLoadedAndImported) {
    std::ofstream(dataFile(), std::ios::binary)
        << "an earlier certificate, much longer than the list";
    script.queuePage(formPage({{"-crl_format", "pem"}, {"-ident_lang", "en"}},
                              "https://ca.test/crl/get", "GET"));
    script.queuePage(pageWith("Return=CRL\nParam1=crl\nType1=X.509\nValue1=MIICRL"));
    EXPECT_EQ(proxy->UpdateCRL(), S_OK);
    EXPECT_EQ(proxy.object().step(), 1);

    ASSERT_EQ(script.requests().size(), 3u);
    expectFormFetchedFrom("https://ca.test/crl");
    const TransportRequest& list = script.requests()[2];
    EXPECT_EQ(requestLine(list), (RequestLine{"GET", "https://ca.test/crl/get", ""}));
    EXPECT_EQ(list.fieldPairs(), (Fields{{"-ident_lang", "en"}, {"-crl_format", "pem"}}))
        << "in the order the server expects, not the page's";

    const std::string expected = "-----BEGIN X509 CRL-----\r\nMIICRL\r\n-----END X509 CRL-----\r\n";
    EXPECT_EQ(contentOf(dataFile()), expected);
    struct stat status {};
    ASSERT_EQ(::stat(dataFile().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_EQ(pki->methods(), (Strings{"Load", "Import"}));
    const PkiCall load = pki->callsTo("Load").at(0);
    EXPECT_EQ(load.arguments, Strings{dataFile().string()});
    EXPECT_EQ(load.fileContent, expected);
    EXPECT_EQ(pki->callsTo("Import").at(0).arguments,
              (Strings{"certificates", "revocation lists"}));
    EXPECT_TRUE(levelledTraces().empty());
    EXPECT_EQ(pki->loadedCertificates->references(), 1u);
    EXPECT_EQ(pki->loadedRevocationLists->references(), 1u);
}

TEST_F(UpdateCrlTest, AFormWithoutLanguageSendsNoFieldAtAll) {
    script.queuePage(formPage({{"-crl_format", "pem"}}, "https://ca.test/crl/get", "POST"));
    script.queuePage(pageWith("Return=CRL\nParam1=crl\nType1=PKCS#7\nValue1=MIIP7"));
    EXPECT_EQ(proxy->UpdateCRL(), S_OK);
    const TransportRequest& list = script.requests().at(2);
    EXPECT_EQ(list.method, "POST");
    EXPECT_TRUE(list.fields.omitted());
    EXPECT_EQ(contentOf(dataFile()), "-----BEGIN PKCS7-----\r\nMIIP7\r\n-----END PKCS7-----\r\n");
}

TEST_F(UpdateCrlTest, AListOfAnotherTypeIsLabelledAsCertificate) {
    script.queuePage(formPage({}, "https://ca.test/crl/get", "GET"));
    script.queuePage(pageWith("Return=CRL\nParam1=CRL\nType1=NSCS\nValue1=MIIN"));
    EXPECT_EQ(proxy->UpdateCRL(), S_OK);
    EXPECT_EQ(pki->callsTo("Load").at(0).fileContent,
              "-----BEGIN CERTIFICATE-----\r\nMIIN\r\n-----END CERTIFICATE-----\r\n");
}

TEST_F(UpdateCrlTest, AnAnswerWithoutListWritesNothingAndIsUnusable) {
    std::ofstream(dataFile(), std::ios::binary) << "earlier";
    for (const char* lines : {"Param1=-crl\nValue1=MIICRL", "Param1=crl\nType1=X.509"}) {
        forgetCallbacks();
        script.queuePage(formPage({}, "https://ca.test/crl/get", "GET"));
        script.queuePage(pageWith(std::string("Return=CRL\n") + lines));
        EXPECT_EQ(proxy->UpdateCRL(), TSR_E_RESPONSE) << lines;
        EXPECT_EQ(levelledTraces(),
                  Strings{"3 TSR velTesseraProxy(855): parameter -crl not found in response\r\n"});
        EXPECT_EQ(reportedErrors(), std::vector<LONG>{TSR_E_RESPONSE});
        EXPECT_EQ(proxy.object().step(), 1);
    }
    EXPECT_EQ(contentOf(dataFile()), "earlier");
    EXPECT_TRUE(pki->calls().empty());
}

TEST_F(UpdateCrlTest, AListThePkiComponentCannotTakeEndsTheUpdateThroughTheFrame) {
    pki->fail("Load", E_INVALIDARG, "not a PEM file");
    script.queuePage(formPage({}, "https://ca.test/crl/get", "GET"));
    script.queuePage(pageWith("Return=CRL\nParam1=crl\nValue1=MIICRL"));
    EXPECT_EQ(proxy->UpdateCRL(), E_INVALIDARG);
    EXPECT_EQ(levelledTraces(), Strings{"7 TSR velTesseraProxy(1961): not a PEM file\r\n"});
    EXPECT_EQ(reportedErrors(), std::vector<LONG>{E_INVALIDARG});
    EXPECT_EQ(pki->methods(), Strings{"Load"});

    forgetCallbacks();
    pki->succeed("Load");
    pki->fail("Import", E_ACCESSDENIED, "store is read-only");
    script.queuePage(formPage({}, "https://ca.test/crl/get", "GET"));
    script.queuePage(pageWith("Return=CRL\nParam1=crl\nValue1=MIICRL"));
    EXPECT_EQ(proxy->UpdateCRL(), E_ACCESSDENIED);
    EXPECT_EQ(levelledTraces(), Strings{"7 TSR velTesseraProxy(1961): store is read-only\r\n"});
    EXPECT_EQ(pki->methods(), (Strings{"Load", "Load", "Import"}));
    EXPECT_EQ(pki->loadedCertificates->references(), 1u);
    EXPECT_EQ(pki->loadedRevocationLists->references(), 1u);
    EXPECT_EQ(proxy.object().step(), 1);
}

TEST_F(UpdateCrlTest, FailuresOfTheExchangesEndTheUpdateWithTheirCodes) {
    script.queue(TransportAnswer::failure(E_ACCESSDENIED, "proxy refused"));
    EXPECT_EQ(proxy->UpdateCRL(), E_ACCESSDENIED);
    EXPECT_EQ(levelledTraces(), Strings{"7 TSR velTesseraProxy(1961): proxy refused\r\n"});

    forgetCallbacks();
    script.queuePage(pageWith("Return=Form\nStatus=9\nErrorMessage=no list today"));
    EXPECT_EQ(proxy->UpdateCRL(), TSR_E_SERVER);
    EXPECT_EQ(levelledTraces(),
              Strings{"3 TSR velTesseraProxy(349): Tessera error (9): no list today\r\n"});

    forgetCallbacks();
    script.queuePage(pageWith("Return=Form"));
    EXPECT_EQ(proxy->UpdateCRL(), TSR_E_RESPONSE);
    EXPECT_EQ(levelledTraces(),
              Strings{"3 TSR velTesseraProxy(353): no action node in Tessera response\r\n"});

    forgetCallbacks();
    script.queuePage(formPage({}, "https://ca.test/crl/get", "GET"));
    script.queuePage("<html>no markup</html>");
    EXPECT_EQ(proxy->UpdateCRL(), TSR_E_RESPONSE);
    EXPECT_EQ(levelledTraces(), Strings{"3 TSR velTesseraProxy(297): cannot process server "
                                        "response\r\n<html>no markup</html>\r\n"});

    EXPECT_TRUE(pki->calls().empty());
    EXPECT_EQ(proxy.object().step(), 1);
}

TEST_F(UpdateCrlTest, AnUpdateBeforeTheCommunicationIsOpenIsRefused) {
    ProxyObject unopened;
    ASSERT_EQ(unopened->Init(&host, random.get(), pki.get(), nullptr), S_OK);
    EXPECT_EQ(unopened->UpdateCRL(), TSR_E_COMM_NOT_INITIALIZED);
    EXPECT_EQ(levelledTraces(),
              Strings{"1 TSR velTesseraProxy(1934): communication not initialized\r\n"});
    EXPECT_EQ(reportedErrors(), std::vector<LONG>{TSR_E_COMM_NOT_INITIALIZED});
}

}  // namespace
