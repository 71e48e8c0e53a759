// What the operations share for the server's certificates and revocation lists: the PEM file in
// the temporary directory and the import into the PKI component.
#include <gtest/gtest.h>

#include <memory>

#include "markup/mtGParser.h"
#include "markup/mtGScanner.h"
#include "proxy/OperationTest.h"

namespace {

std::unique_ptr<ReturnNode> answerWith(const std::string& lines) {
    const std::string block = "Return=R\n" + lines;  // the scanner reads it in place
    mtGScanner scanner(block);
    return std::unique_ptr<ReturnNode>(dynamic_cast<ReturnNode*>(mtGParser::parseBlock(scanner)));
}

using CertificateImportTest = OperationTest;

TEST_F(CertificateImportTest, TheValueIsWrittenForItsOwnerAloneBetweenMarkersOfItsType) {
    std::ofstream(dataFile(), std::ios::binary) << "a much longer earlier content";
    std::filesystem::permissions(dataFile(), std::filesystem::perms::all);
    const struct {
        const char* lines;
        const char* name;
        std::string written;
    } values[] = {{"Param1=CERT\nValue1=MIIB\nAAAA", "cert", pem("CERTIFICATE", "MIIB\r\nAAAA")},
                  {"Param1=cert\nType1=PKCS#7\nValue1=P7", "cert", pem("PKCS7", "P7")},
                  {"Param1=crl\nType1=X.509\nValue1=CRL", "crl", pem("X509 CRL", "CRL")},
                  {"Param1=cert\nType1=NSCS\nValue1=V", "cert", pem("CERTIFICATE", "V")},
                  {"Param1=cert\nType1=TEXT\nValue1=V", "cert", pem("CERTIFICATE", "V")},
                  {"Param1=cert\nType1=SPKAC\nValue1=V", "cert", pem("CERTIFICATE", "V")}};
    for (const auto& value : values) {
        SCOPED_TRACE(value.lines);
        std::string path;
        ASSERT_TRUE(proxy.object().writePemFile(answerWith(value.lines).get(), value.name, path));
        EXPECT_EQ(path, dataFile().string());
        EXPECT_EQ(contentOf(dataFile()), value.written);
        struct stat status {};
        ASSERT_EQ(::stat(dataFile().c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0600u);
    }
}

TEST_F(CertificateImportTest, AMissingOrEmptyValueTouchesNoFile) {
    std::ofstream(dataFile(), std::ios::binary) << "earlier";
    for (const char* lines : {"Param1=other\nValue1=V", "Param1=cert\nType1=X.509", ""}) {
        std::string path;
        EXPECT_FALSE(proxy.object().writePemFile(answerWith(lines).get(), "cert", path)) << lines;
    }
    EXPECT_EQ(contentOf(dataFile()), "earlier");
    LONG id = 77;
    EXPECT_EQ(proxy.object().importIssuedCertificate(answerWith("Param1=cert").get(), "4711",
                                                     nullptr, &id),
              TSR_E_RESPONSE);
    EXPECT_EQ(id, 77);
    EXPECT_EQ(levelledTraces(),
              Strings{"3 TSR velTesseraProxy(806): parameter -cert not found in response\r\n"});
    EXPECT_EQ(reportedErrors(), std::vector<LONG>{TSR_E_RESPONSE});
    EXPECT_TRUE(pki->calls().empty());
}

TEST_F(CertificateImportTest, WithoutTheExtendedInterfaceThePlainImportIsUsedWithoutPassword) {
    const auto plain = RecordingPki::create(RecordingPki::Extended::Missing);
    plain->certificateId = 8;
    ProxyObject other;
    // A trailing separator of the directory gives the same path.
    ASSERT_EQ(other->Init(&host, random.get(), plain.get(),
                          velcom::Bstr((directory.u16string() + u"/").c_str()).get()),
              S_OK);
    velcom::Bstr password(u"key password");
    BSTR address = password.get();
    LONG id = 0;
    forgetCallbacks();
    EXPECT_EQ(other.object().importIssuedCertificate(answerWith("Param1=cert\nValue1=MIIC").get(),
                                                     "4711", &address, &id),
              S_OK);
    EXPECT_EQ(id, 8);
    ASSERT_EQ(plain->calls().size(), 1u);
    EXPECT_EQ(plain->calls()[0].method, "ImportRequestedCertificate");
    EXPECT_EQ(plain->calls()[0].arguments, (Strings{dataFile().string(), "4711"}));
    EXPECT_EQ(plain->calls()[0].fileContent, pem("CERTIFICATE", "MIIC"));
    EXPECT_EQ(levelledTraces(),
              Strings{"1 TSR velTesseraProxy(827): ISMPrivateKeyInfrastructureEx not found\r\n"});
    EXPECT_TRUE(reportedErrors().empty());
}

}  // namespace
