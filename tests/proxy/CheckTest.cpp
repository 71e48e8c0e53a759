// A certificate's state from the server, with the PKI component following a revocation, and the
// current revocation list fetched, written and imported.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#include <unistd.h>

#include "proxy/ProxyTest.h"
#include "support/CountedObject.h"

namespace {

using Strings = std::vector<std::string>;
using Fields = std::vector<std::pair<std::string, std::string>>;

// The operation's start page: its Return node with the lines given, and the form's Action node.
std::string formPage(const std::string& lines, const std::string& url, const char* method) {
    return pageWith("Return=Form" + lines) +
           pageWith("Action=send\nURL=" + url + "\nMethod=" + method);
}

std::string contentOf(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

// What a script reads of a node object.
struct NodeView {
    std::string name;
    NodeType type = TesseraNTParam;
    std::string text;
    LONG number = 0;
    LONG children = 0;
};

NodeView viewOf(IvelNode& node) {
    NodeView view;
    velcom::Bstr text;
    EXPECT_EQ(node.get_Name(text.put()), S_OK);
    view.name = toAnsi(text.get());
    EXPECT_EQ(node.get_Type(&view.type), S_OK);
    EXPECT_EQ(node.get_StringProp(text.put()), S_OK);
    view.text = toAnsi(text.get());
    EXPECT_EQ(node.get_LongProp(&view.number), S_OK);
    velcom::ComPtr<IvelNodeCollection> children;
    EXPECT_EQ(node.get_SubNodes(children.put()), S_OK);
    if (children) {
        EXPECT_EQ(children->get_Count(&view.children), S_OK);
    }
    return view;
}

class OperationTest : public ProxyTest {
protected:
    void SetUp() override {
        directory = std::filesystem::temp_directory_path() /
                    ("tessera-check-" + std::to_string(::getpid()) + "-" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(directory);
        ASSERT_EQ(init(directory.u16string().c_str()), S_OK);
        ASSERT_EQ(initComm(), S_OK);
    }
    void TearDown() override {
        std::filesystem::remove_all(directory);
        ProxyTest::TearDown();
    }

    std::filesystem::path dataFile() const { return directory / "data.pem"; }

    // From now on only later callbacks count for levelledTraces() and errors().
    void forgetCallbacks() { forgotten = host.count(); }
    std::vector<BackChannelCall> recent(const std::string& kind) const {
        const auto all = host.calls();
        std::vector<BackChannelCall> matching;
        for (std::size_t index = forgotten; index < all.size(); ++index)
            if (all[index].kind == kind) matching.push_back(all[index]);
        return matching;
    }
    // Every trace the host received, as its level and text.
    Strings levelledTraces() const {
        Strings lines;
        for (const auto& call : recent("Trace"))
            lines.push_back(std::to_string(call.code) + " " + toAnsi(call.text1));
        return lines;
    }
    std::vector<LONG> errors() const {
        std::vector<LONG> codes;
        for (const auto& call : recent("Error")) codes.push_back(call.code);
        return codes;
    }

    std::filesystem::path directory;
    std::size_t forgotten = 0;
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
        script.queuePage(
            formPage("\nParam1=-ident_lang\nValue1=de", "https://ca.test/check/state", "POST"));
        script.queuePage(pageWith("Return=State\n" + stateLines));
        return proxy->Check(certificate.get(), node.put());
    }

    velcom::ComPtr<TestCertificate> certificate = TestCertificate::create("000A3F");
    velcom::ComPtr<IvelNode> node;
};

TEST_F(CheckTest, TheFormCarriesTheLanguageAndTheSerialAndTheStateComesBackAsANode) {
    script.queuePage(formPage("\nParam1=-crl_format\nValue1=pem\nParam2=-Ident_Lang\nValue2=de",
                              "https://ca.test/check/state", "POST"));
    script.queuePage(
        pageWith("Return=State\nStatus=100\nErrorMessage=all well\n"
                 "Param1=-cert_state\nValue1=1\nParam2=-valid_to\nValue2=2030"));
    EXPECT_EQ(proxy->Check(certificate.get(), node.put()), S_OK);
    EXPECT_EQ(proxy.object().step(), 1);

    ASSERT_EQ(script.requests().size(), 3u);
    const TransportRequest& form = script.requests()[1];
    EXPECT_EQ(form.method, "GET");
    EXPECT_EQ(form.address, "https://ca.test/check");
    EXPECT_TRUE(form.fields.omitted());
    const TransportRequest& state = script.requests()[2];
    EXPECT_EQ(state.method, "POST");
    EXPECT_EQ(state.address, "https://ca.test/check/state");
    EXPECT_EQ(state.options, "");
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
    script.queuePage(formPage("", "https://ca.test/check/state", "GET"));
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
    const auto reported = recent("Error");
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0].code, TSR_E_RESPONSE);
    EXPECT_TRUE(reported[0].text1IsNull);
    EXPECT_TRUE(pki->calls().empty());
    EXPECT_EQ(proxy.object().step(), 1);
}

TEST_F(CheckTest, AFailingRevocationInTheStoreGivesNoNode) {
    pki->fail("Revoke", E_ACCESSDENIED, "store is read-only");
    EXPECT_EQ(checkAnswering("Param1=-cert_state\nValue1=2"), E_ACCESSDENIED);
    EXPECT_FALSE(node);
    EXPECT_EQ(levelledTraces(), Strings{"7 TSR velTesseraProxy(1910): store is read-only\r\n"});
    EXPECT_EQ(errors(), std::vector<LONG>{E_ACCESSDENIED});
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
    EXPECT_TRUE(errors().empty());

    CountedObject notACertificate;
    EXPECT_EQ(
        proxy->Check(reinterpret_cast<ISMCertificate*>(static_cast<IDispatch*>(&notACertificate)),
                     node.put()),
        E_POINTER);
    EXPECT_EQ(notACertificate.references, 1u);
    ASSERT_EQ(levelledTraces().size(), 1u);
    EXPECT_EQ(levelledTraces()[0].rfind("7 TSR velTesseraProxy(1910): ", 0), 0u);
    EXPECT_EQ(errors(), std::vector<LONG>{E_POINTER});
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
    EXPECT_EQ(errors(), std::vector<LONG>{TSR_E_COMM_NOT_INITIALIZED});
}

class UpdateCrlTest : public OperationTest {};

TEST_F(UpdateCrlTest, TheListIsFetchedWrittenLoadedAndImported) {
    std::ofstream(dataFile(), std::ios::binary)
        << "an earlier certificate, much longer than the list";
    script.queuePage(formPage("\nParam1=-crl_format\nValue1=pem\nParam2=-ident_lang\nValue2=en",
                              "https://ca.test/crl/get", "GET"));
    script.queuePage(pageWith("Return=CRL\nParam1=crl\nType1=X.509\nValue1=MIICRL"));
    EXPECT_EQ(proxy->UpdateCRL(), S_OK);
    EXPECT_EQ(proxy.object().step(), 1);

    ASSERT_EQ(script.requests().size(), 3u);
    const TransportRequest& form = script.requests()[1];
    EXPECT_EQ(form.method, "GET");
    EXPECT_EQ(form.address, "https://ca.test/crl");
    EXPECT_TRUE(form.fields.omitted());
    const TransportRequest& list = script.requests()[2];
    EXPECT_EQ(list.method, "GET");
    EXPECT_EQ(list.address, "https://ca.test/crl/get");
    EXPECT_EQ(list.options, "");
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
    script.queuePage(
        formPage("\nParam1=-crl_format\nValue1=pem", "https://ca.test/crl/get", "POST"));
    script.queuePage(pageWith("Return=CRL\nParam1=crl\nType1=PKCS#7\nValue1=MIIP7"));
    EXPECT_EQ(proxy->UpdateCRL(), S_OK);
    const TransportRequest& list = script.requests().at(2);
    EXPECT_EQ(list.method, "POST");
    EXPECT_TRUE(list.fields.omitted());
    EXPECT_EQ(contentOf(dataFile()), "-----BEGIN PKCS7-----\r\nMIIP7\r\n-----END PKCS7-----\r\n");
}

TEST_F(UpdateCrlTest, AListOfAnotherTypeIsLabelledAsCertificate) {
    script.queuePage(formPage("", "https://ca.test/crl/get", "GET"));
    script.queuePage(pageWith("Return=CRL\nParam1=CRL\nType1=NSCS\nValue1=MIIN"));
    EXPECT_EQ(proxy->UpdateCRL(), S_OK);
    EXPECT_EQ(pki->callsTo("Load").at(0).fileContent,
              "-----BEGIN CERTIFICATE-----\r\nMIIN\r\n-----END CERTIFICATE-----\r\n");
}

TEST_F(UpdateCrlTest, AnAnswerWithoutListWritesNothingAndIsUnusable) {
    std::ofstream(dataFile(), std::ios::binary) << "earlier";
    for (const char* lines : {"Param1=-crl\nValue1=MIICRL", "Param1=crl\nType1=X.509"}) {
        forgetCallbacks();
        script.queuePage(formPage("", "https://ca.test/crl/get", "GET"));
        script.queuePage(pageWith(std::string("Return=CRL\n") + lines));
        EXPECT_EQ(proxy->UpdateCRL(), TSR_E_RESPONSE) << lines;
        EXPECT_EQ(levelledTraces(),
                  Strings{"3 TSR velTesseraProxy(855): parameter -crl not found in response\r\n"});
        EXPECT_EQ(errors(), std::vector<LONG>{TSR_E_RESPONSE});
        EXPECT_EQ(proxy.object().step(), 1);
    }
    EXPECT_EQ(contentOf(dataFile()), "earlier");
    EXPECT_TRUE(pki->calls().empty());
}

TEST_F(UpdateCrlTest, AListThePkiComponentCannotTakeEndsTheUpdateThroughTheFrame) {
    pki->fail("Load", E_INVALIDARG, "not a PEM file");
    script.queuePage(formPage("", "https://ca.test/crl/get", "GET"));
    script.queuePage(pageWith("Return=CRL\nParam1=crl\nValue1=MIICRL"));
    EXPECT_EQ(proxy->UpdateCRL(), E_INVALIDARG);
    EXPECT_EQ(levelledTraces(), Strings{"7 TSR velTesseraProxy(1961): not a PEM file\r\n"});
    EXPECT_EQ(errors(), std::vector<LONG>{E_INVALIDARG});
    EXPECT_EQ(pki->methods(), Strings{"Load"});

    forgetCallbacks();
    pki->succeed("Load");
    pki->fail("Import", E_ACCESSDENIED, "store is read-only");
    script.queuePage(formPage("", "https://ca.test/crl/get", "GET"));
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
    script.queuePage(formPage("", "https://ca.test/crl/get", "GET"));
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
    EXPECT_EQ(errors(), std::vector<LONG>{TSR_E_COMM_NOT_INITIALIZED});
}

}  // namespace
