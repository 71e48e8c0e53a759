// The trust anchor through tessera: set by the fingerprint the authority printed, carrying HTTPS
// alone, guarding the revocation list; and what export writes, read back by the openssl command.
#include <tuple>

#include "EndToEndFixture.h"

namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;
constexpr int kUsage = 2;

// The store's number of the certificate a request or renewal issued: the authority's own
// certificate comes into the store first.
std::string issuedId(const std::string& output) {
    const std::size_t id = output.find("issued:\n  #") + 11;
    return output.substr(id, output.find(' ', id) - id);
}

class TrustTest : public EndToEndTest {
protected:
    std::string openssl(const Arguments& arguments) const {
        Arguments command{VEL_OPENSSL};
        command.insert(command.end(), arguments.begin(), arguments.end());
        const ProgramRun done = runProgram(command, StandardError::Captured);
        EXPECT_EQ(done.status, 0) << done.output;
        return done.output;
    }
    void trust(const std::string& name) {
        runs(name,
             {"trust", authority.caAddress(), "--fingerprint", applicants.at(name).fingerprint});
    }
};

TEST_F(TrustTest, TrustedByFingerprintTheAnchorCarriesHttpsAndTheExportedKeyFitsItsCertificate) {
    const std::string fingerprint = addApplicant("Ada").fingerprint;
    ASSERT_THAT(fingerprint, HasSubstr("SHA256:"));
    const std::string wrong = "SHA256:" + std::string(64, '0');
    const std::tuple<Arguments, const char*> refusals[] = {
        {Arguments{}, "compare it"},
        {Arguments{"--fingerprint", wrong}, "the fingerprints differ"},
    };
    for (const auto& [extra, reason] : refusals) {
        Arguments command{"trust", authority.caAddress()};
        command.insert(command.end(), extra.begin(), extra.end());
        EXPECT_THAT(runs("Ada", command, kUsage),
                    AllOf(HasSubstr(reason), HasSubstr("CN=Tessera reference CA")));
    }
    EXPECT_THAT(runs("Ada", {"certs"}), HasSubstr("trust anchor: none"));
    trust("Ada");
    unsetenv("VELTRANSPORT_CA_BUNDLE");
    const std::string first = issuedId(runs("Ada", {"request", "--accept-terms"}));
    const std::string id = issuedId(runs("Ada", {"renew", first, "--accept-terms"}));
    EXPECT_THAT(runs("Ada", {"certs", "--json"}),
                HasSubstr("\"trustAnchor\":{\"subject\":\"CN=Tessera reference CA,O=Tessera\""));

    const std::string p12 = file("Ada", "p12"), password = file("Ada", "export");
    std::ofstream(password) << "export secret\n";
    const Arguments exportP12{"export", id, "--p12", p12, "--export-password-file", password};
    runs("Ada", exportP12);
    EXPECT_THAT(runs("Ada", exportP12, kUsage), HasSubstr("--force"));
    const Arguments read{"pkcs12", "-in", p12, "-passin", "file:" + password, "-nodes"};
    const auto part = [&](const char* which, const std::string& out) {
        Arguments arguments = read;
        arguments.insert(arguments.end(), {which, "-out", out});
        return openssl(arguments);
    };
    part("-clcerts", file("Ada", "cert.pem"));
    part("-nocerts", file("Ada", "key.pem"));
    EXPECT_THAT(openssl({"x509", "-in", file("Ada", "cert.pem"), "-noout", "-subject"}),
                HasSubstr("Ada Tester"));
    EXPECT_EQ(openssl({"x509", "-in", file("Ada", "cert.pem"), "-noout", "-pubkey"}),
              openssl({"pkey", "-in", file("Ada", "key.pem"), "-pubout"}));
    Arguments chain = read;
    chain.insert(chain.end(), {"-cacerts", "-nokeys"});
    EXPECT_THAT(openssl(chain), AllOf(HasSubstr("subject=O = Tessera, CN = Tessera reference CA"),
                                      Not(HasSubstr("CN = Ada"))));
}

TEST_F(TrustTest, OnlyASignedRevocationListMarksTheStoreAndOnlyWithAnAnchor) {
    addApplicant("Bob");
    EXPECT_THAT(runs("Bob", {"crl"}, kUsage), HasSubstr("tessera trust"));
    trust("Bob");
    const std::string id = issuedId(runs("Bob", {"request", "--accept-terms"}));
    const std::string show = runs("Bob", {"show", id, "--json"});
    const std::size_t serial = show.find("\"serial\":\"") + 10;
    ASSERT_NE(serial, std::string::npos + 10) << show;
    authority.revoke(show.substr(serial, show.find('"', serial) - serial));
    EXPECT_THAT(runs("Bob", {"crl"}), HasSubstr("certificate #" + id + " (Bob Tester) is revoked"));
    EXPECT_THAT(runs("Bob", {"certs"}), HasSubstr("revoked"));
}

}  // namespace
