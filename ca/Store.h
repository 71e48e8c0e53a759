// The authority's state in one SQLite file: applicants, their outstanding challenges, requests,
// certificates, revocations and the ports of the last server. Callers group the calls of one
// change in a Transaction.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ca/Sqlite.h"

namespace ca {

struct Applicant {
    std::int64_t id = 0;
    // The clear path token when the applicant was found by it; the state keeps only its hash,
    // so it is empty otherwise.
    std::string token;
    std::string first;
    std::string last;
    std::string email;
    std::string org;
    std::string country;
    std::string salt;
    std::string passwordHash;
};

struct RequestRecord {
    std::int64_t ref = 0;
    std::int64_t applicant = 0;
    std::string publicKey;
    // Set once the certificate is issued.
    std::optional<std::string> serial;
    bool fetched = false;
};

struct CertificateRecord {
    std::string serial;
    std::int64_t ref = 0;
    std::int64_t applicant = 0;
    std::string der;
    std::int64_t notAfter = 0;
    bool fetched = false;
    std::optional<std::int64_t> revokedAt;
};

// An applicant's wrong passwords since the last right one, and the earliest time of the next try.
struct PasswordFailures {
    int count = 0;
    std::int64_t nextTry = 0;
};

struct Revocation {
    std::string serial;
    std::int64_t revokedAt = 0;
    // The CRLReason code of RFC 5280; 0 is unspecified.
    int reason = 0;
};

class Store {
public:
    static constexpr const char* kFileName = "state.db";
    // A challenge answers a key request within an hour, and an applicant holds at most 16: so
    // many calls for a form cannot fill the state.
    static constexpr std::int64_t kChallengeLifetime = 60 * 60;
    static constexpr int kOpenChallenges = 16;

    // Opens (and on first use creates) the state in `directory`, owner-only, and brings a state
    // of an older layout up to date.
    explicit Store(const std::filesystem::path& directory);

    Database& database() { return m_db; }

    std::int64_t addApplicant(const Applicant& applicant);
    std::optional<Applicant> applicantByToken(std::string_view token);
    std::optional<Applicant> applicant(std::int64_t id);
    // In the order they were added.
    std::vector<Applicant> applicants();
    // False when there is no such applicant.
    bool setPassword(std::int64_t applicant, std::string_view salt, std::string_view hash);

    // Drops the expired challenges of all applicants, and this applicant's oldest beyond the
    // limit, before it adds the new one.
    void addChallenge(std::int64_t applicant, std::string_view challenge, std::int64_t now);
    // Removes the challenge; false when the applicant had no such challenge outstanding.
    bool takeChallenge(std::int64_t applicant, std::string_view challenge, std::int64_t now);
    int openChallenges(std::int64_t applicant);

    PasswordFailures passwordFailures(std::int64_t applicant);
    // A count of 0 forgets the failures.
    void setPasswordFailures(std::int64_t applicant, const PasswordFailures& failures);

    std::int64_t addRequest(std::int64_t applicant, std::string_view publicKey);
    // Whether an applicant other than `applicant` asked for a certificate of this public key.
    bool keyOfAnother(std::int64_t applicant, std::string_view publicKey);
    std::optional<RequestRecord> request(std::int64_t ref);
    // In the order they were made.
    std::vector<RequestRecord> requestsOf(std::int64_t applicant);
    std::vector<RequestRecord> requests();

    void addCertificate(const CertificateRecord& certificate);
    std::optional<CertificateRecord> certificate(std::string_view serial);
    // In the order they were issued.
    std::vector<CertificateRecord> certificatesOf(std::int64_t applicant);
    std::vector<CertificateRecord> certificates();
    void markFetched(std::string_view serial);

    void revoke(std::string_view serial, std::int64_t at, int reason = 0);
    std::vector<Revocation> revocations();
    // One more than the last revocation list's number, kept as that number; 1 at first.
    std::int64_t nextCrlNumber();

    std::optional<std::string> setting(std::string_view name);
    void setSetting(std::string_view name, std::string_view value);

private:
    std::vector<Applicant> applicantsWhere(const char* condition, std::string_view key);
    std::vector<RequestRecord> requestsWhere(const char* condition, std::string_view key);
    std::vector<CertificateRecord> certificatesWhere(const char* sql, std::string_view key);

    Database m_db;
};

}  // namespace ca
