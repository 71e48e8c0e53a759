// An authority in a temporary directory with one applicant, and the pages it answers read back
// with the component's own parser.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <sstream>

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

class CaTest : public ::testing::Test {
protected:
    static constexpr std::time_t kYear = 365 * 24 * 60 * 60;

    void SetUp() override {
        std::string made = std::filesystem::temp_directory_path() / "tessera-ca-XXXXXX";
        ASSERT_NE(::mkdtemp(made.data()), nullptr);
        directory = made;
        ca::initAuthority(directory);
        std::ostringstream printed;
        ca::addApplicant(directory, {"Anna", "Muster", "anna@example.org", "ACME", "DE"}, printed);
        std::istringstream lines(printed.str());
        std::string label, start;
        lines >> label >> start >> label >> password;
        token = start.substr(start.find("/a/") + 3, 32);
        open();
    }
    void TearDown() override {
        dialogue.reset();
        std::filesystem::remove_all(directory);
    }

    // The authority as a server (re)started on it finds it.
    void open(ca::Approval approval = ca::Approval::Automatic) {
        dialogue.reset();
        store = std::make_unique<ca::Store>(directory);
        authority = std::make_unique<ca::Authority>(directory);
        dialogue = std::make_unique<ca::Dialogue>(
            *store, *authority, ca::Endpoints{"http://ca.test", "https://ca.test"}, approval,
            [this] { return now; });
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
        return ca::decodeBase64(fetched.params.at("cert")).value_or("");
    }

    std::filesystem::path directory;
    std::string token, password;
    std::time_t now = std::time(nullptr);
    KeyRequestText key;
    std::unique_ptr<ca::Store> store;
    std::unique_ptr<ca::Authority> authority;
    std::unique_ptr<ca::Dialogue> dialogue;
};
