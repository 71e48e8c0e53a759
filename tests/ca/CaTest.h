// An authority in a temporary directory with one applicant, and the pages it answers read back
// with the component's own parser.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <openssl/pkcs7.h>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <vector>

#include "Keys.h"
#include "ca/Base64.h"
#include "ca/Commands.h"
#include "ca/Dialogue.h"
#include "ca/KeyRequest.h"
#include "ca/Secrets.h"
#include "markup/mtGParser.h"

// One answer page as the client sees it.
struct Answer {
    bool parsed = false;
    std::string result;
    long status = -1;
    std::string message;
    std::map<std::string, std::string> params;
    std::map<std::string, int> types;
    std::string actionUrl;
    bool post = false;
    // The start page's addresses, by key.
    std::map<std::string, std::string> start;
};

inline Answer readAnswer(const std::string& page) {
    mtGParser parser;
    Answer answer;
    answer.parsed = parser.parse(page);
    for (Node* node : parser.getNodes()) {
        if (auto* start = dynamic_cast<StartNode*>(node)) {
            answer.start = {{"CreateCertficate", start->getCreateCertificate()},
                            {"PickUpCertificate", start->getPickUpCertificate()},
                            {"RenewCertificate", start->getRenewCertificate()},
                            {"RevokeCertificate", start->getRevokeCertificate()},
                            {"CRLDownload", start->getCRLDownload()},
                            {"CheckCertificate", start->getCheckCertificate()}};
        } else if (auto* result = dynamic_cast<ReturnNode*>(node)) {
            answer.result = result->getName();
            answer.status = result->getStatus();
            answer.message = result->getErrorMessage();
            for (Node* child : result->getChildren())
                if (auto* param = dynamic_cast<ParameterNode*>(child)) {
                    answer.params[param->getName()] = param->getValue();
                    answer.types[param->getName()] = param->getType();
                }
        } else if (auto* action = dynamic_cast<ActionNode*>(node)) {
            answer.actionUrl = action->getURL();
            answer.post = action->getPost();
        }
    }
    return answer;
}

// A new key and its SPKAC for `challenge`, made as the PKI component makes them.
struct KeyRequestText {
    KeyOwner key;
    std::string base64;
};
inline KeyRequestText makeKeyRequest(const std::string& challenge) {
    KeyOwner key = generateKey(KeyAlgorithm::EcP256);
    std::string base64 = signedSpkac(key.get(), challenge);
    return {std::move(key), std::move(base64)};
}

// The certificates of a "cert" answer: the one a plain answer holds (null when unreadable), or
// those of a PKCS#7 chain in their order.
inline std::vector<ca::CertificatePtr> certificatesOf(const Answer& answer) {
    const std::string der = ca::decodeBase64(answer.params.at("cert")).value_or("");
    std::vector<ca::CertificatePtr> certificates;
    const auto* bytes = reinterpret_cast<const unsigned char*>(der.data());
    const ca::Pkcs7Ptr chain(d2i_PKCS7(nullptr, &bytes, static_cast<long>(der.size())));
    if (answer.types.at("cert") != ParamTypePKCS7)
        certificates.push_back(ca::certificateFromDer(der));
    else if (chain && PKCS7_type_is_signed(chain.get()))
        for (int index = 0; index < sk_X509_num(chain->d.sign->cert); ++index)
            certificates.push_back(
                ca::certificateFromDer(ca::derOf(sk_X509_value(chain->d.sign->cert, index))));
    return certificates;
}

class CaTest : public ::testing::Test {
protected:
    static constexpr std::time_t kYear = 365 * 24 * 60 * 60;

    void SetUp() override {
        std::string made = std::filesystem::temp_directory_path() / "tessera-ca-XXXXXX";
        ASSERT_NE(::mkdtemp(made.data()), nullptr);
        directory = made;
        std::ostringstream printed;
        ca::initAuthority(directory, initPrinted);
        ca::addApplicant(directory, {"Anna", "Muster", "anna@example.org", "ACME", "DE"}, printed);
        std::istringstream lines(printed.str());
        std::string label, start;
        lines >> label >> start >> label >> password >> label >> fingerprint;
        token = start.substr(start.find("/a/") + 3, 32);
        open();
    }
    void TearDown() override {
        dialogue.reset();
        std::filesystem::remove_all(directory);
    }

    // The authority as a server (re)started on it finds it.
    void open(ca::Approval approval = ca::Approval::Automatic,
              ca::CertificateFormat format = ca::CertificateFormat::Pkcs7) {
        dialogue.reset();
        store = std::make_unique<ca::Store>(directory);
        authority = std::make_unique<ca::Authority>(directory);
        dialogue = std::make_unique<ca::Dialogue>(
            *store, *authority, ca::Endpoints{"http://ca.test", "https://ca.test"}, approval,
            format, [this] { return now; });
    }

    Answer ask(ca::Operation operation, ca::Fields fields = {},
               std::optional<std::string> clientCertificate = std::nullopt) {
        return readAnswer(
            dialogue->answer(operation, {token, std::move(fields), clientCertificate}));
    }

    // An application as the client makes it, answered with the reference.
    Answer apply(ca::Fields changes = {}) {
        const Answer application = ask(ca::Operation::Application);
        key = makeKeyRequest(application.params.at("-challenge"));
        changes.insert({{"-ident-TO_passwd", password},
                        {"-ident_check_AGB", "yes"},
                        {"-key_challenge", key.base64}});
        return ask(ca::Operation::Submission, changes);
    }
    // An issued certificate's DER, applied for and fetched.
    std::string issued() {
        const Answer fetched =
            ask(ca::Operation::Fetch, {{"SUFFIX_NR", apply().params.at("-refnum")}});
        const std::vector<ca::CertificatePtr> certificates = certificatesOf(fetched);
        return certificates.empty() ? "" : ca::derOf(certificates.front().get());
    }

    std::filesystem::path directory;
    std::ostringstream initPrinted;
    std::string token, password, fingerprint;
    std::time_t now = std::time(nullptr);
    KeyRequestText key;
    std::unique_ptr<ca::Store> store;
    std::unique_ptr<ca::Authority> authority;
    std::unique_ptr<ca::Dialogue> dialogue;
};
