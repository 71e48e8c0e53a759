// The operator's commands: applicant data refused where it enters, the listings, a new password,
// and what init makes.
#include "tests/ca/CaTest.h"

#include <openssl/x509v3.h>

namespace {

using ca::Operation;

std::string serialOf(const std::string& der) {
    return ca::serialOf(ca::certificateFromDer(der).get());
}

TEST_F(CaTest, HostileApplicantDataIsRefusedWhereItEnters) {
    const ca::ApplicantData good{"Anna", "Muster", "anna@example.org", "ACME", "DE"};
    const auto with = [&good](std::string ca::ApplicantData::*field, std::string value) {
        ca::ApplicantData data = good;
        data.*field = std::move(value);
        return data;
    };
    using D = ca::ApplicantData;
    const std::tuple<const char*, ca::ApplicantData, const char*> rows[] = {
        {"comment end", with(&D::last, "x--!><img onerror=alert(1)>"), "--last must not hold --"},
        {"markup", with(&D::org, "<b>ACME"), "--org must not hold --, < or >"},
        {"line end", with(&D::first, "An\nna"), "--first must not hold control"},
        {"C1 control", with(&D::first, "An\xc2\x85na"), "--first must not hold control"},
        {"invalid UTF-8", with(&D::last, "M\xfcster"), "--last is not valid UTF-8"},
        {"overlong UTF-8", with(&D::last, "M\xc0\xbester"), "--last is not valid UTF-8"},
        {"surrogate", with(&D::last, "M\xed\xa0\x80"), "--last is not valid UTF-8"},
        {"cut short", with(&D::last, "M\xc3"), "--last is not valid UTF-8"},
        {"empty", with(&D::org, ""), "--org must not be empty"},
        {"common name of 65", with(&D::last, std::string(60, 'x')), "a common name over 64"},
        {"organisation of 65", with(&D::org, std::string(65, 'o')), "--org is over 64"},
        {"mail address of 129", with(&D::email, std::string(117, 'm') + "@example.org"),
         "--email is over 128"},
        {"two addresses", with(&D::email, "a@b.org,c@d.org"), "--email must be one"},
        {"lower-case country", with(&D::country, "de"), "--country must be two letters A-Z"},
        {"three letters", with(&D::country, "DEU"), "--country must be two letters A-Z"},
    };
    for (const auto& [name, data, reason] : rows) {
        SCOPED_TRACE(name);
        std::ostringstream printed;
        try {
            ca::addApplicant(directory, data, printed);
            ADD_FAILURE() << "accepted";
        } catch (const std::runtime_error& error) {
            EXPECT_NE(std::string(error.what()).find(reason), std::string::npos) << error.what();
        }
        EXPECT_EQ(printed.str(), "");
    }
    // At the bounds, in characters: "Ä" is two bytes.
    std::ostringstream printed;
    ca::addApplicant(directory,
                     {"\xc3\x84", std::string(62, 'x'), std::string(116, 'm') + "@example.org",
                      std::string(64, 'o'), "AT"},
                     printed);
    EXPECT_EQ(store->applicants().size(), 2u);
}

TEST_F(CaTest, ListNamesEachRecordAndItsState) {
    const std::string valid = serialOf(issued()), revoked = serialOf(issued());
    ASSERT_EQ(ask(Operation::RevocationConfirm, {{"-serial_nr", revoked}}).status, 100);
    open(ca::Approval::Manual);
    apply();
    const auto listing = [this](ca::Listed what, bool pending, bool json) {
        std::ostringstream out;
        ca::list(directory, {what, pending, json}, out);
        return out.str();
    };
    const std::string notAfter = ca::isoTime(store->certificate(valid)->notAfter);
    EXPECT_EQ(listing(ca::Listed::Applicants, false, false),
              "1\tAnna Muster\tanna@example.org\tACME\tDE\n");
    EXPECT_EQ(listing(ca::Listed::Requests, false, false),
              "1\t1\tissued\t" + valid + "\n2\t1\tissued\t" + revoked + "\n3\t1\tpending\t\n");
    EXPECT_EQ(
        listing(ca::Listed::Requests, true, true),
        "[{\"ref\": \"3\", \"applicant\": \"1\", \"state\": \"pending\", \"serial\": \"\"}]\n");
    const std::string certificates = listing(ca::Listed::Certificates, false, false);
    EXPECT_EQ(certificates.substr(0, certificates.find('\n')),
              valid + "\t1\t1\tvalid\t" + notAfter);
    EXPECT_NE(certificates.find(revoked + "\t2\t1\trevoked\t"), std::string::npos);
    EXPECT_THROW(listing(ca::Listed::Certificates, true, false), std::runtime_error);
}

TEST_F(CaTest, NewPasswordReplacesTheOldOne) {
    std::ostringstream printed;
    ca::newApplicantPassword(directory, "1", printed);
    const std::string old = password;
    password = printed.str().substr(std::string("password ").size());
    password.pop_back();
    open();
    EXPECT_EQ(apply({{"-ident-TO_passwd", old}}).status, ca::kWrongPassword);
    EXPECT_EQ(apply().status, 100);
    EXPECT_THROW(ca::newApplicantPassword(directory, "7", printed), std::runtime_error);
    EXPECT_THROW(ca::newApplicantPassword(directory, "x", printed), std::runtime_error);
}

// init names what it made and the fingerprint applicant add prints; the TLS certificate names
// the hosts it was given, an IP address as one.
TEST_F(CaTest, InitPrintsItsFilesAndNamesTheHostsGiven) {
    const std::string printed = initPrinted.str();
    EXPECT_NE(printed.find("made " + (directory / ca::kCaKeyFile).string() + "\n"),
              std::string::npos);
    EXPECT_TRUE(printed.ends_with("fingerprint " + fingerprint + "\n")) << printed;

    std::ostringstream made;
    ca::initAuthority(directory / "named", made, {"ca.example.org", "192.0.2.7", "::1"});
    const ca::Authority named(directory / "named");
    const ca::OpenSslPtr<GENERAL_NAMES, GENERAL_NAMES_free> names(static_cast<GENERAL_NAMES*>(
        X509_get_ext_d2i(named.tlsCertificate(), NID_subject_alt_name, nullptr, nullptr)));
    ASSERT_TRUE(names);
    std::vector<int> kinds;
    for (int index = 0; index < sk_GENERAL_NAME_num(names.get()); ++index)
        kinds.push_back(sk_GENERAL_NAME_value(names.get(), index)->type);
    EXPECT_EQ(kinds, (std::vector<int>{GEN_DNS, GEN_IPADD, GEN_IPADD}));
    for (const char* bad : {"a,DNS:evil.org", "-x", ""})
        EXPECT_THROW(ca::initAuthority(directory / "bad", made, {bad}), std::runtime_error) << bad;
}

}  // namespace
