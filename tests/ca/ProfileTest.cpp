// What a relying party's tools read in the authority's certificates and lists, and the keys and
// key requests it refuses to certify; keys and requests are made with the openssl command line.
#include "tests/ca/CaTest.h"

#include <cstdio>
#include <fstream>

namespace {

using ca::Operation;

class ProfileTest : public CaTest {
protected:
    // openssl with `arguments` in the authority's directory; standard output and error together.
    std::string openssl(const std::string& arguments) {
        const std::string command =
            "cd '" + directory.string() + "' && openssl " + arguments + " 2>&1";
        std::string output;
        const std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
        if (pipe)
            for (int c; (c = std::fgetc(pipe.get())) != EOF;) output += static_cast<char>(c);
        return output;
    }
    // The key file's SPKAC, signed with `digest`, submitted by the current applicant.
    Answer submit(const std::string& keyFile, const std::string& digest) {
        const std::string challenge = ask(Operation::Application).params.at("-challenge");
        const std::string spkac =
            openssl("spkac -key " + keyFile + " -digest " + digest + " -challenge " + challenge);
        return ask(Operation::Submission, {{"-ident-TO_passwd", password},
                                           {"-ident_check_AGB", "yes"},
                                           {"-key_challenge", spkac.substr(spkac.find('=') + 1)}});
    }
    void write(const std::string& name, const std::string& content) {
        std::ofstream(directory / name, std::ios::binary) << content;
    }
};

TEST_F(ProfileTest, KeyPolicyRefusesWeakKeysSignaturesAndAnotherApplicantsKey) {
    openssl("genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:1024 -out rsa1024.pem");
    openssl("genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out rsa2048.pem");
    openssl("genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:3072 -out rsa3072.pem");
    openssl("ecparam -name secp112r1 -genkey -noout -out secp112r1.pem");
    openssl("ecparam -name prime256v1 -param_enc explicit -genkey -noout -out explicit.pem");
    openssl("ecparam -name secp384r1 -genkey -noout -out p384.pem");
    openssl("genpkey -genparam -algorithm DSA -pkeyopt dsa_paramgen_bits:1024 -out dsa.param");
    openssl("genpkey -paramfile dsa.param -out dsa.pem");
    const std::string rsaSize = "an RSA key must have 2048 to 8192 bits",
                      curve = "an EC key must be on the named curve P-256, P-384 or P-521",
                      digest = "the key request must be signed with SHA-256 or a stronger digest";
    const std::tuple<const char*, const char*, std::string> rows[] = {
        {"rsa1024.pem", "sha256", rsaSize},
        {"secp112r1.pem", "sha256", curve},
        {"explicit.pem", "sha256", curve},
        {"dsa.pem", "sha256", "only RSA and EC keys are certified"},
        {"rsa2048.pem", "md5", digest},
        {"rsa2048.pem", "sha1", digest},
        {"rsa3072.pem", "sha256", ""},
        {"p384.pem", "sha384", ""},
    };
    for (const auto& [keyFile, signedWith, refusal] : rows) {
        SCOPED_TRACE(std::string(keyFile) + " " + signedWith);
        const Answer answer = submit(keyFile, signedWith);
        EXPECT_EQ(answer.status, refusal.empty() ? 100 : 4);
        EXPECT_EQ(answer.message.find(refusal.empty() ? "request" : refusal), 0u) << answer.message;
    }
    std::ostringstream printed;
    ca::addApplicant(directory, {"Bob", "Other", "bob@example.org", "ACME", "DE"}, printed);
    const std::string anna = token, annasPassword = password;
    std::istringstream lines(printed.str());
    std::string label, start;
    lines >> label >> start >> label >> password;
    token = start.substr(start.find("/a/") + 3, 32);
    EXPECT_EQ(submit("p384.pem", "sha256").message,
              "the public key is already another applicant's");
    token = anna, password = annasPassword;
    EXPECT_EQ(submit("p384.pem", "sha256").status, 100);
}

TEST_F(ProfileTest, CertificatesAndListsCarryTheProfileOpensslReads) {
    openssl("genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out rsa.pem");
    const Answer rsa =
        ask(Operation::Fetch, {{"SUFFIX_NR", submit("rsa.pem", "sha256").params.at("-refnum")}});
    write("rsa.crt", ca::pemOf(certificatesOf(rsa).at(0).get()));
    const std::string ec = issued(), ecSerial = ca::serialOf(ca::certificateFromDer(ec).get());
    write("ec.crt", ca::pemOf(ca::certificateFromDer(ec).get()));
    EXPECT_GT(ecSerial.size(), 16u);
    EXPECT_LE(ecSerial.size(), 32u);
    std::ostringstream printed;
    ca::revoke(directory, ecSerial, CRL_REASON_KEY_COMPROMISE, printed);
    for (int list = 0; list < 2; ++list)
        write("list.crl", ca::decodeBase64(ask(Operation::CrlFetch).params.at("crl")).value_or(""));

    const std::pair<std::string, std::vector<std::string>> rows[] = {
        {"crl -inform DER -in list.crl -noout -text",
         {"CRL Number: \n                2\n", "Authority Key Identifier",
          // openssl prints whole octets.
          "Serial Number: " + std::string(ecSerial.size() % 2, '0') + ecSerial, "Key Compromise"}},
        {"verify -purpose smimeencrypt -CAfile ca.pem rsa.crt", {"rsa.crt: OK"}},
        {"x509 -in rsa.crt -noout -text",
         {"Subject Key Identifier", "Authority Key Identifier", "Key Encipherment",
          "CRL Distribution Points: \n                Full Name:\n"
          "                  URI:http://ca.test/crl",
          "CA Issuers - URI:http://ca.test/ca.crt"}},
        {"x509 -in ec.crt -noout -text", {"Digital Signature, Key Agreement"}},
        {"x509 -in ca.pem -noout -text", {"CA:TRUE, pathlen:0", "Subject Key Identifier"}},
    };
    for (const auto& [arguments, shown] : rows) {
        const std::string output = openssl(arguments);
        for (const std::string& text : shown)
            EXPECT_NE(output.find(text), std::string::npos)
                << arguments << " lacks " << text << ":\n"
                << output;
    }
}

}  // namespace
