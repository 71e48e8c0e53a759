// What the operations share for the server's certificates and revocation lists: the PEM file in
// the temporary directory, the import into the PKI component, the request an Action node names.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "markup/mtGParser.h"
#include "markup/mtGScanner.h"
#include "proxy/DirectoryProxyTest.h"

namespace {

std::unique_ptr<ReturnNode> answerWith(const std::string& lines) {
    mtGScanner scanner(lines);
    return std::unique_ptr<ReturnNode>(dynamic_cast<ReturnNode*>(mtGParser::parseBlock(scanner)));
}

class CertificateImportTest : public DirectoryProxyTest {
protected:
    void SetUp() override {
        DirectoryProxyTest::SetUp();
        ASSERT_EQ(initInDirectory(), S_OK);
    }

    // writePemFile for the named parameter of an answer of the given lines.
    bool write(const std::string& lines, const std::string& name = "cert") {
        const auto answer = answerWith(lines);
        std::string path;
        const bool written = proxy.object().writePemFile(answer.get(), name, path);
        if (written) {
            EXPECT_EQ(path, dataFile().string());
        }
        return written;
    }
};

TEST_F(CertificateImportTest, TheValueIsWrappedExactlyBetweenMarkersOfItsType) {
    ASSERT_TRUE(write("Return=R\nParam1=CERT\nValue1=MIIB\nAAAA"));
    EXPECT_EQ(contentOf(dataFile()),
              "-----BEGIN CERTIFICATE-----\r\nMIIB\r\nAAAA\r\n-----END CERTIFICATE-----\r\n");
    ASSERT_TRUE(write("Return=R\nParam1=cert\nType1=PKCS#7\nValue1=P7"));
    EXPECT_EQ(contentOf(dataFile()), "-----BEGIN PKCS7-----\r\nP7\r\n-----END PKCS7-----\r\n");
    ASSERT_TRUE(write("Return=R\nParam1=crl\nType1=X.509\nValue1=CRL", "crl"));
    EXPECT_EQ(contentOf(dataFile()),
              "-----BEGIN X509 CRL-----\r\nCRL\r\n-----END X509 CRL-----\r\n");
    for (const char* type : {"NSCS", "TEXT", "SPKAC"}) {
        ASSERT_TRUE(write(std::string("Return=R\nParam1=cert\nType1=") + type + "\nValue1=V"));
        EXPECT_EQ(contentOf(dataFile()),
                  "-----BEGIN CERTIFICATE-----\r\nV\r\n-----END CERTIFICATE-----\r\n")
            << type;
    }
}

TEST_F(CertificateImportTest, AMissingOrEmptyValueTouchesNoFile) {
    std::ofstream(dataFile(), std::ios::binary) << "earlier";
    EXPECT_FALSE(write("Return=R\nParam1=other\nValue1=V"));
    EXPECT_FALSE(write("Return=R\nParam1=cert\nType1=X.509"));
    EXPECT_FALSE(write("Return=R"));
    EXPECT_EQ(contentOf(dataFile()), "earlier");
}

TEST_F(CertificateImportTest, TheFileIsTheOwnersAloneEvenWhenItExistedBefore) {
    std::ofstream(dataFile(), std::ios::binary) << "a much longer earlier content";
    std::filesystem::permissions(
        dataFile(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                        std::filesystem::perms::group_read | std::filesystem::perms::others_read);
    ASSERT_TRUE(write("Return=R\nParam1=cert\nValue1=V"));
    struct stat status {};
    ASSERT_EQ(::stat(dataFile().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_EQ(contentOf(dataFile()),
              "-----BEGIN CERTIFICATE-----\r\nV\r\n-----END CERTIFICATE-----\r\n")
        << "the earlier content is gone";
}

TEST_F(CertificateImportTest, ADirectoryWithATrailingSeparatorGivesTheSamePath) {
    ProxyObject other;
    ASSERT_EQ(other->Init(&host, random.get(), pki.get(),
                          velcom::Bstr((directory.u16string() + u"/").c_str()).get()),
              S_OK);
    EXPECT_EQ(other.object().temporaryPath("data.pem"), dataFile().string());
    EXPECT_EQ(proxy.object().temporaryPath("key.pem"), pathOf("key.pem"));
}

TEST_F(CertificateImportTest, TheExtendedImportGetsTheFileTheReferenceAndThePassword) {
    const auto answer = answerWith("Return=R\nParam1=cert\nValue1=MIIC");
    pki->certificateId = 31;
    velcom::Bstr password(u"key password");
    BSTR address = password.get();
    LONG id = 0;
    EXPECT_EQ(proxy.object().importIssuedCertificate(answer.get(), "4711", &address, &id), S_OK);
    EXPECT_EQ(id, 31);
    const auto imports = pki->callsTo("ImportRequestedCertificate2");
    ASSERT_EQ(imports.size(), 1u);
    EXPECT_EQ(imports[0].arguments, (Strings{dataFile().string(), "4711", "key password"}));
    EXPECT_EQ(imports[0].fileContent,
              "-----BEGIN CERTIFICATE-----\r\nMIIC\r\n-----END CERTIFICATE-----\r\n");
    EXPECT_TRUE(traces().empty());
}

TEST_F(CertificateImportTest, WithoutTheExtendedInterfaceThePlainImportIsUsedWithoutPassword) {
    ProxyObject plainProxy;
    const auto plain = RecordingPki::create(RecordingPki::Extended::Missing);
    plain->certificateId = 8;
    ASSERT_EQ(plainProxy->Init(&host, random.get(), plain.get(),
                               velcom::Bstr(directory.u16string().c_str()).get()),
              S_OK);
    const auto answer = answerWith("Return=R\nParam1=cert\nValue1=MIIC");
    velcom::Bstr password(u"key password");
    BSTR address = password.get();
    LONG id = 0;
    EXPECT_EQ(plainProxy.object().importIssuedCertificate(answer.get(), "4711", &address, &id),
              S_OK);
    EXPECT_EQ(id, 8);
    EXPECT_EQ(plain->callsTo("ImportRequestedCertificate").at(0).arguments,
              (Strings{dataFile().string(), "4711"}));
    EXPECT_EQ(traces(),
              (Strings{"TSR velTesseraProxy(827): ISMPrivateKeyInfrastructureEx not found\r\n"}));
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(CertificateImportTest, AnAnswerWithoutCertificateLeavesTheIdentifierAlone) {
    const auto answer = answerWith("Return=R\nParam1=cert");
    LONG id = 77;
    EXPECT_EQ(proxy.object().importIssuedCertificate(answer.get(), "4711", nullptr, &id),
              TSR_E_RESPONSE);
    EXPECT_EQ(id, 77);
    EXPECT_TRUE(pki->calls().empty());
    EXPECT_EQ(traces(),
              (Strings{"TSR velTesseraProxy(806): parameter -cert not found in response\r\n"}));
    EXPECT_EQ(reportedErrors(), (std::vector<LONG>{TSR_E_RESPONSE}));
}

TEST_F(CertificateImportTest, ARevocationListIsLoadedAndImported) {
    const auto answer = answerWith("Return=R\nParam1=CRL\nType1=X.509\nValue1=MIIL");
    EXPECT_EQ(proxy.object().importRevocationList(answer.get()), S_OK);
    EXPECT_EQ(pki->methods(), (Strings{"Load", "Import"}));
    EXPECT_EQ(pki->callsTo("Load").at(0).fileContent,
              "-----BEGIN X509 CRL-----\r\nMIIL\r\n-----END X509 CRL-----\r\n");
}

TEST_F(CertificateImportTest, AnAnswerWithoutRevocationListIsUnusable) {
    const auto answer = answerWith("Return=R\nParam1=crl\nValue1=");
    EXPECT_EQ(proxy.object().importRevocationList(answer.get()), TSR_E_RESPONSE);
    EXPECT_TRUE(pki->calls().empty());
    EXPECT_FALSE(std::filesystem::exists(dataFile()));
    EXPECT_EQ(traces(),
              (Strings{"TSR velTesseraProxy(855): parameter -crl not found in response\r\n"}));
}

TEST_F(CertificateImportTest, TheNextRequestGoesWhereTheActionNodeSaysOrNowhere) {
    ASSERT_EQ(initComm(), S_OK);
    EXPECT_EQ(proxy.object().exchangeAction(nullptr, ""), TSR_E_RESPONSE);
    EXPECT_EQ(script.requests().size(), 1u);
    EXPECT_EQ(traces(),
              (Strings{"TSR velTesseraProxy(353): no action node in Tessera response\r\n"}));
    EXPECT_EQ(reportedErrors(), (std::vector<LONG>{TSR_E_RESPONSE}));

    mtGScanner scanner("Action=next\nURL=https://ca.test/get\nMethod=GET");
    const std::unique_ptr<ActionNode> action(
        dynamic_cast<ActionNode*>(mtGParser::parseBlock(scanner)));
    script.queuePage(pageWith("Return=R"));
    EXPECT_EQ(proxy.object().exchangeAction(action.get(), "opts"), S_OK);
    EXPECT_EQ(script.requests().at(1).method, "GET");
    EXPECT_EQ(script.requests().at(1).address, "https://ca.test/get");
    EXPECT_EQ(script.requests().at(1).options, "opts");
}

}  // namespace
