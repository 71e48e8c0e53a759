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

TEST_F(CertificateImportTest, AFileThatWasThereBeforeIsOverwrittenForItsOwnerAlone) {
    std::ofstream(dataFile(), std::ios::binary) << "a much longer earlier content";
    std::filesystem::permissions(dataFile(), std::filesystem::perms::all);
    std::string path;
    ASSERT_TRUE(proxy.object().writePemFile(answerWith("Param1=CERT\nValue1=MIIB\nAAAA").get(),
                                            "cert", path));
    EXPECT_EQ(path, dataFile().string());
    EXPECT_EQ(contentOf(dataFile()), pem("CERTIFICATE", "MIIB\r\nAAAA"));
    struct stat status {};
    ASSERT_EQ(::stat(dataFile().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
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

}  // namespace
