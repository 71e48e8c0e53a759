// The pages of each operation as the client reads them, the refusals, and the state that a
// restarted authority finds again.
#include "tests/ca/CaTest.h"

#include <openssl/x509.h>

#include <fstream>
#include <iterator>

namespace {

using ca::CertificateFormat;
using ca::Operation;

std::string serialOf(const std::string& der) {
    return ca::serialOf(ca::certificateFromDer(der).get());
}

TEST_F(CaTest, RequestFetchCheckRevokeAndListTellOneStory) {
    // The page writer names each address by its own key.
    const std::string at = "http://ca.test/a/" + token + "/";
    EXPECT_EQ(ask(Operation::Start).start,
              (std::map<std::string, std::string>{
                  {"CreateCertficate", at + "create"},
                  {"PickUpCertificate", at + "pickup"},
                  {"RenewCertificate", "https://ca.test/a/" + token + "/renew"},
                  {"RevokeCertificate", at + "revoke"},
                  {"CRLDownload", at + "crl"},
                  {"CheckCertificate", at + "check"}}));

    const Answer application = ask(Operation::Application);
    EXPECT_EQ(application.params.at("-ident-ku_nname"), "Muster");
    EXPECT_EQ(application.params.at("-ident-org_country"), "DE");
    EXPECT_EQ(application.actionUrl, at + "submit");

    const Answer submitted = apply();
    ASSERT_EQ(submitted.status, 100) << submitted.message;
    EXPECT_EQ(submitted.params.at("SUFFIX_NR"), submitted.params.at("-refnum"));
    EXPECT_EQ(submitted.params.at("EMAIL_ADR"), "anna@example.org");
    EXPECT_EQ(submitted.actionUrl, at + "fetch");
    EXPECT_EQ(ask(Operation::PickUpList).params.at("-abhol_list"), "0");

    const Answer fetched = ask(Operation::Fetch, {{"SUFFIX_NR", submitted.params.at("-refnum")}});
    const std::vector<ca::CertificatePtr> chain = certificatesOf(fetched);
    ASSERT_EQ(chain.size(), 2u);
    const ca::CertificatePtr& certificate = chain.front();
    EXPECT_EQ(X509_verify(certificate.get(), X509_get0_pubkey(authority->certificate())), 1);
    EXPECT_EQ(EVP_PKEY_eq(X509_get0_pubkey(certificate.get()), key.key.get()), 1);
    EXPECT_EQ(X509_cmp(chain.back().get(), authority->certificate()), 0);
    const std::string serial = fetched.params.at("-serial_nr");
    EXPECT_EQ(serial, serialOf(ca::derOf(certificate.get())));
    EXPECT_EQ(ask(Operation::PickUpList).params.at("-abhol_list"), "1");

    EXPECT_EQ(ask(Operation::RevocationStart).params.at("-serial_nr"), serial);
    EXPECT_EQ(ask(Operation::RevocationConfirm, {{"-serial_nr", serial}}).status, 100);

    const Answer list = ask(Operation::CrlFetch);
    EXPECT_EQ(list.types.at("crl"), 6);
    const std::string der = ca::decodeBase64(list.params.at("crl")).value_or("");
    const auto* bytes = reinterpret_cast<const unsigned char*>(der.data());
    const ca::CrlPtr crl(d2i_X509_CRL(nullptr, &bytes, static_cast<long>(der.size())));
    ASSERT_TRUE(crl);
    ASSERT_EQ(sk_X509_REVOKED_num(X509_CRL_get_REVOKED(crl.get())), 1);
    EXPECT_EQ(X509_CRL_verify(crl.get(), X509_get0_pubkey(authority->certificate())), 1);
}

// The serve option names the format in the submission's answer; a fetch form that names one of
// the two formats overrides it, on either way of fetching.
TEST_F(CaTest, IssuedCertificateIsAnsweredInTheFormatAskedFor) {
    const std::tuple<CertificateFormat, const char*, bool> rows[] = {
        {CertificateFormat::Pkcs7, "", true},      {CertificateFormat::X509, "", false},
        {CertificateFormat::X509, "PKCS#7", true}, {CertificateFormat::Pkcs7, "X.509", false},
        {CertificateFormat::X509, "PEM", false},
    };
    for (const auto& [served, asked, chained] : rows) {
        const bool pkcs7 = served == CertificateFormat::Pkcs7;
        SCOPED_TRACE(std::string(pkcs7 ? "pkcs7" : "x509") + ", the form asks for " + asked);
        open(ca::Approval::Automatic, served);
        const Answer submitted = apply();
        EXPECT_EQ(submitted.params.at("-cert_format"), pkcs7 ? "PKCS#7" : "X.509");
        const std::string ref = submitted.params.at("-refnum");
        for (ca::Fields form : {ca::Fields{{"SUFFIX_NR", ref}},
                                ca::Fields{{"-reference_list", ref}, {"-ident_cert_nr", "0"}}}) {
            if (*asked) form.emplace("-cert_format", asked);
            const Answer fetched =
                ask(form.contains("SUFFIX_NR") ? Operation::Fetch : Operation::PickUpFetch, form);
            EXPECT_EQ(fetched.types.at("cert"), chained ? ParamTypePKCS7 : ParamTypeNone);
            const std::string serial = fetched.params.at("-serial_nr");
            std::vector<std::string> held, expected{store->certificate(serial).value().der};
            for (const ca::CertificatePtr& certificate : certificatesOf(fetched))
                held.push_back(ca::derOf(certificate.get()));
            if (chained) expected.push_back(ca::derOf(authority->certificate()));
            EXPECT_EQ(held, expected);
        }
    }
}

TEST_F(CaTest, SeveralCertificatesAreRevokedThroughTheSelection) {
    const std::string first = serialOf(issued()), second = serialOf(issued());
    const Answer start = ask(Operation::RevocationStart);
    EXPECT_EQ(start.params.at("-serial_list"), first + "+" + second);
    EXPECT_EQ(start.actionUrl, "http://ca.test/a/" + token + "/revoke/select");
    const Answer selected =
        ask(Operation::RevocationSelect,
            {{"-serial_list", start.params.at("-serial_list")}, {"-ident_cert_nr", "1"}});
    EXPECT_EQ(selected.params.at("-serial_nr"), second);
    EXPECT_EQ(ask(Operation::RevocationConfirm, {{"-serial_nr", second}}).status, 100);
    EXPECT_EQ(ask(Operation::RevocationStart).params.at("-serial_nr"), first);
}

TEST_F(CaTest, CheckReportsEachState) {
    const std::string serial = serialOf(issued()), revoked = serialOf(issued());
    ASSERT_EQ(ask(Operation::RevocationConfirm, {{"-serial_nr", revoked}}).status, 100);
    const std::pair<std::string, const char*> rows[] = {{serial, "1"},    {"00" + serial, "1"},
                                                        {revoked, "2"},   {"7", "0"},
                                                        {"not hex", "0"}, {"", "0"}};
    for (const auto& [asked, state] : rows) {
        SCOPED_TRACE(asked);
        EXPECT_EQ(ask(Operation::CheckState, {{"-serial", asked}}).params.at("-cert_state"), state);
    }
    now += 2 * kYear;
    EXPECT_EQ(ask(Operation::CheckState, {{"-serial", serial}}).params.at("-cert_state"), "3");
}

// Every page that reads a field, sent a hostile one in each: the answer holds none of it, as
// a refusal names the fault and not the input. A position of 0 lets the hostile list entry on.
TEST_F(CaTest, NoPageWritesBackWhatTheRequestSent) {
    const std::string hostile = "--!><script>alert(1)</script>";
    issued();
    for (const char* position : {"", "0"})
        for (const ca::Route& route : ca::kRoutes) {
            SCOPED_TRACE(std::string(route.path) + " at position " + position);
            ca::Fields fields;
            for (const char* name :
                 {"-ident-TO_passwd", "-ident_check_AGB", "-key_challenge", "SUFFIX_NR",
                  "-reference_list", "-ident_cert_nr", "-serial_list", "-serial_nr", "-serial",
                  "CLIENT_CERT", "-cert_format", "-ident-ku_nname"})
                fields[name] = hostile;
            if (*position) fields["-ident_cert_nr"] = position;
            const std::string page = dialogue->answer(route.operation, {token, fields, {}});
            EXPECT_TRUE(readAnswer(page).parsed);
            EXPECT_EQ(page.find("script"), std::string::npos) << page;
            EXPECT_EQ(page.find("--!"), std::string::npos) << page;
        }
}

// Every page, asked in English, in German by the form or by the browser, gives the client the same
// nodes (a new challenge and a newly signed list aside), the nodes of its markup blocks alone:
// what a person reads never reaches the client. The form's language wins over the browser's.
TEST_F(CaTest, EveryPageGivesTheSameNodesInEveryLanguage) {
    const std::string serial = serialOf(issued());
    const ca::Fields fields{
        {"-ident-TO_passwd", password}, {"SUFFIX_NR", "1"},  {"-ident_cert_nr", "0"},
        {"-serial_list", serial},       {"-serial", serial}, {"-serial_nr", "7"}};
    const auto nodes = [](const std::string& page) {
        Answer answer = readAnswer(page);
        answer.params.erase("-challenge");
        answer.params.erase("crl");
        std::string text = std::to_string(answer.parsed) + answer.result + " " +
                           std::to_string(answer.status) + " " + answer.message + " " +
                           answer.actionUrl + (answer.post ? " POST" : "");
        for (const auto& [name, value] : answer.params)
            text += "|" + name + ":" + std::to_string(answer.types.at(name)) + "=" + value;
        for (const auto& [name, address] : answer.start) text += "|" + name + "=" + address;
        return text;
    };
    const std::tuple<const char*, const char*, const char*> asked[] = {
        {"", "", "en"},
        {"de", "en", "de"},
        {"", "fr, de;q=0.8, en;q=0.5", "de"},
        {"EN", "de", "en"},
        {"fr", " de-AT ", "de"},
        {"", "de;q=0, en-GB", "en"},
        {"", "de;q=2, de;x, *", "en"}};
    for (const ca::Route& route : ca::kRoutes) {
        std::string english;
        for (const auto& [field, browser, language] : asked) {
            SCOPED_TRACE(std::string(route.path) + " asked in " + field + " by " + browser);
            ca::Fields form = fields;
            if (*field) form["-ident_lang"] = field;
            const std::string page =
                dialogue->answer(route.operation, {token, form, {}, false, browser});
            std::string blocks;
            for (std::size_t open = page.find("<!--"), close; open != std::string::npos;
                 open = page.find("<!--", close)) {
                close = page.find("-->", open) + 3;
                blocks += page.substr(open, close - open);
            }
            EXPECT_NE(page.find(std::string("<html lang=\"") + language + "\">"),
                      std::string::npos);
            EXPECT_EQ(nodes(page), nodes(blocks));
            if (english.empty()) english = nodes(page);
            EXPECT_EQ(nodes(page), english);
        }
    }
}

// Each refusal as "status message" on a line of its own.
TEST_F(CaTest, RefusalsAreAnswersWithAReason) {
    const std::string certificate = issued(), revoked = issued();
    ASSERT_EQ(ask(Operation::RevocationConfirm, {{"-serial_nr", serialOf(revoked)}}).status, 100);
    const ca::Fields oldOne{{"CLIENT_CERT", ca::encodeBase64(certificate)}},
        revokedOne{{"CLIENT_CERT", ca::encodeBase64(revoked)}};
    std::string refusals;
    const auto note = [&](const Answer& answer) {
        refusals += (answer.parsed ? "" : "unreadable: ") + std::to_string(answer.status) + " " +
                    answer.message + "\n";
    };
    note(apply({{"-ident-TO_passwd", "guess"}}));
    note(apply({{"-ident_check_AGB", "no"}}));
    note(apply({{"-key_challenge", "MIIBbroken"}}));
    note(apply({{"-key_challenge", makeKeyRequest("made up").base64}}));
    note(ask(Operation::Fetch, {{"SUFFIX_NR", "999"}}));
    note(ask(Operation::Fetch));
    note(ask(Operation::PickUpFetch, {{"-ident_cert_nr", "9"}}));
    note(readAnswer(dialogue->answer(Operation::Start, {"0123", {}, {}})));
    note(ask(Operation::RenewalStart, oldOne));
    note(ask(Operation::RenewalStart, revokedOne, certificate));
    note(ask(Operation::RenewalSubmission, {}, ca::derOf(authority->tlsCertificate())));
    note(ask(Operation::RenewalStart, revokedOne, revoked));
    now += 2 * kYear;
    note(ask(Operation::RenewalSubmission, {}, certificate));
    EXPECT_EQ(refusals,
              "2 wrong password\n"
              "3 the terms and conditions were not accepted\n"
              "4 the key request is missing, unreadable or badly signed\n"
              "4 the key request answers no challenge of this authority\n"
              "5 no such request of this applicant\n"
              "5 the request's reference is missing\n"
              "5 no request at the chosen position\n"
              "1 unknown applicant address\n"
              "8 a renewal needs the old certificate as TLS client certificate\n"
              "8 CLIENT_CERT is not the certificate the TLS client presented\n"
              "8 the client certificate does not belong to this applicant\n"
              "8 the client certificate is revoked\n"
              "8 the client certificate has expired\n");
}

TEST_F(CaTest, RenewalIssuesANewCertificateForTheHolderOfTheOldOne) {
    const std::string old = issued();
    const Answer start =
        ask(Operation::RenewalStart, {{"CLIENT_CERT", ca::encodeBase64(old)}}, old);
    ASSERT_EQ(start.status, 100) << start.message;
    EXPECT_EQ(start.params.at("-ident-common_name"), "Anna Muster");
    EXPECT_EQ(start.actionUrl, "https://ca.test/a/" + token + "/renew/submit");
    key = makeKeyRequest(start.params.at("-challenge"));
    open(ca::Approval::Manual);
    const Answer renewed = ask(Operation::RenewalSubmission,
                               {{"-ident_check_AGB", "yes"}, {"-key_challenge", key.base64}}, old);
    ASSERT_EQ(renewed.status, 100) << renewed.message;
    EXPECT_EQ(renewed.actionUrl, "http://ca.test/a/" + token + "/fetch");
    EXPECT_EQ(ask(Operation::Fetch, {{"SUFFIX_NR", renewed.params.at("-refnum")}}).status, 100);
}

TEST_F(CaTest, PendingRequestSurvivesARestartAndIsPickedUpOnceApproved) {
    open(ca::Approval::Manual);
    const Answer submitted = apply();
    const std::string ref = submitted.params.at("-refnum");
    const Answer waiting = ask(Operation::Fetch, {{"SUFFIX_NR", ref}});
    EXPECT_EQ(waiting.status, 6);
    EXPECT_EQ(waiting.message, "the request awaits approval; pick it up later");
    EXPECT_EQ(ask(Operation::PickUpList).params.at("-abhol_list"), "2");

    dialogue.reset();
    store.reset();
    std::ostringstream printed;
    ca::approve(directory, ref, printed);
    EXPECT_THROW(ca::approve(directory, ref, printed), std::runtime_error);
    open(ca::Approval::Manual);

    const Answer list = ask(Operation::PickUpList);
    EXPECT_EQ(list.params.at("-reference_list"), ref);
    EXPECT_EQ(list.params.at("-abhol_list"), "0");
    const Answer fetched =
        ask(Operation::PickUpFetch, {{"-reference_list", ref}, {"-ident_cert_nr", "0"}});
    EXPECT_EQ("issued " + fetched.params.at("-serial_nr") + "\n", printed.str());

    std::ostringstream revoked;
    ca::revoke(directory, "0" + fetched.params.at("-serial_nr"), CRL_REASON_SUPERSEDED, revoked);
    open();
    EXPECT_EQ(ask(Operation::CheckState, {{"-serial", fetched.params.at("-serial_nr")}})
                  .params.at("-cert_state"),
              "2");
}

}  // namespace

namespace {

// A challenge answers within the hour it was handed out; of more than 16, the oldest are dropped.
TEST_F(CaTest, ChallengesExpireAndAreLimitedPerApplicant) {
    const std::int64_t id = store->applicantByToken(token)->id;
    const auto answers = [&](const std::string& challenge) {
        key = makeKeyRequest(challenge);
        return ask(Operation::Submission, {{"-ident-TO_passwd", password},
                                           {"-ident_check_AGB", "yes"},
                                           {"-key_challenge", key.base64}})
            .status;
    };
    for (const auto& [age, status] : {std::pair{0, 100}, {3599, 100}, {3600, 4}, {7200, 4}}) {
        SCOPED_TRACE(age);
        const std::string challenge = ask(Operation::Application).params.at("-challenge");
        now += age;
        EXPECT_EQ(answers(challenge), status);
    }
    std::vector<std::string> handedOut;
    for (int count = 0; count < 17; ++count, ++now) {
        handedOut.push_back(ask(Operation::Application).params.at("-challenge"));
        if (count == 0) {
            EXPECT_EQ(store->openChallenges(id), 1) << "the expired ones stay";
        }
    }
    EXPECT_EQ(store->openChallenges(id), 16);
    EXPECT_EQ(answers(handedOut.front()), 4);
    EXPECT_EQ(answers(handedOut[1]), 100);
}

// After five wrong passwords one try per ten seconds is taken, until a right one.
TEST_F(CaTest, WrongPasswordsSlowTheNextTries) {
    const std::string wrong = "guess", tooMany = "2 too many wrong passwords; try again in ";
    const std::tuple<std::time_t, std::string, std::string> rows[] = {
        {0, wrong, "2 wrong password"}, {0, wrong, "2 wrong password"},
        {0, wrong, "2 wrong password"}, {0, wrong, "2 wrong password"},
        {0, wrong, "2 wrong password"}, {0, password, tooMany + "10 s"},
        {4, password, tooMany + "6 s"}, {6, wrong, "2 wrong password"},
        {9, password, tooMany + "1 s"}, {1, password, "100 "},
        {0, wrong, "2 wrong password"}, {0, password, "100 "},
    };
    for (const auto& [wait, tried, expected] : rows) {
        now += wait;
        const Answer answer = apply({{"-ident-TO_passwd", tried}});
        EXPECT_EQ(
            std::to_string(answer.status) + " " + (answer.status == 100 ? "" : answer.message),
            expected)
            << "after " << wait << " s with " << tried;
    }
}

// The state keeps a path token only as its hash; a state of the older layout, which kept it in
// clear, is migrated when opened and its applicant keeps the address.
TEST_F(CaTest, TokensAreKeptOnlyAsHashesAndOldStatesAreMigrated) {
    std::string bytes;
    for (const char* file : {"state.db", "state.db-wal"}) {
        std::ifstream in(directory / file, std::ios::binary);
        bytes.append(std::istreambuf_iterator<char>(in), {});
    }
    EXPECT_EQ(bytes.find(token), std::string::npos);
    EXPECT_NE(bytes.find(ca::tokenHash(token)), std::string::npos);

    store->database().execute(("UPDATE applicants SET token = '" + token +
                               "'; ALTER TABLE challenges DROP COLUMN created; "
                               "PRAGMA user_version = 0")
                                  .c_str());
    open();
    ca::Statement stored = store->database().prepare("SELECT token FROM applicants");
    ASSERT_TRUE(stored.step());
    EXPECT_EQ(stored.text(0), ca::tokenHash(token));
    EXPECT_EQ(apply().status, 100);
}

}  // namespace
