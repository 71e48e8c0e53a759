#include "ca/Store.h"

#include <stdexcept>
#include <utility>

#include "ca/Secrets.h"

namespace ca {
namespace {

// The version of the state's layout in PRAGMA user_version. Version 0 kept the applicants' path
// tokens in clear and its challenges without the time they were handed out.
constexpr int kStateVersion = 1;

constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS applicants(
    id INTEGER PRIMARY KEY, token TEXT UNIQUE NOT NULL, first TEXT NOT NULL, last TEXT NOT NULL,
    email TEXT NOT NULL, org TEXT NOT NULL, country TEXT NOT NULL, salt BLOB NOT NULL,
    password_hash BLOB NOT NULL);
CREATE TABLE IF NOT EXISTS challenges(
    challenge TEXT PRIMARY KEY, applicant INTEGER NOT NULL REFERENCES applicants(id),
    created INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS requests(
    ref INTEGER PRIMARY KEY, applicant INTEGER NOT NULL REFERENCES applicants(id),
    public_key BLOB NOT NULL);
CREATE TABLE IF NOT EXISTS certificates(
    serial TEXT PRIMARY KEY, ref INTEGER UNIQUE NOT NULL REFERENCES requests(ref),
    der BLOB NOT NULL, not_after INTEGER NOT NULL, fetched INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS revocations(
    serial TEXT PRIMARY KEY REFERENCES certificates(serial), revoked_at INTEGER NOT NULL,
    reason INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS settings(name TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS password_failures(
    applicant INTEGER PRIMARY KEY REFERENCES applicants(id), count INTEGER NOT NULL,
    next_try INTEGER NOT NULL);
)";

constexpr const char* kCrlNumberSetting = "crl-number";

int stateVersion(Database& db) {
    Statement row = db.prepare("PRAGMA user_version");
    return row.step() ? static_cast<int>(row.number(0)) : 0;
}

bool hasApplicantsTable(Database& db) {
    Statement row =
        db.prepare("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'applicants'");
    return row.step();
}

// A state of version 0: its tokens are hashed in place, and its open challenges, whose age is
// unknown, count as expired.
void migrateFromVersion0(Database& db) {
    db.execute("ALTER TABLE challenges ADD COLUMN created INTEGER NOT NULL DEFAULT 0");
    std::vector<std::pair<std::int64_t, std::string>> tokens;
    for (Statement row = db.prepare("SELECT id, token FROM applicants"); row.step();)
        tokens.emplace_back(row.number(0), row.text(1));
    for (const auto& [id, token] : tokens)
        db.prepare("UPDATE applicants SET token = ? WHERE id = ?")
            .bind(tokenHash(token))
            .bind(id)
            .run();
}

constexpr const char* kCertificateColumns =
    "SELECT c.serial, c.ref, r.applicant, c.der, c.not_after, c.fetched, v.revoked_at "
    "FROM certificates c JOIN requests r ON r.ref = c.ref "
    "LEFT JOIN revocations v ON v.serial = c.serial ";

CertificateRecord certificateOf(const Statement& row) {
    CertificateRecord record{row.text(0),   row.number(1),      row.number(2), row.text(3),
                             row.number(4), row.number(5) != 0, std::nullopt};
    if (!row.isNull(6)) record.revokedAt = row.number(6);
    return record;
}

}  // namespace

Store::Store(const std::filesystem::path& directory) : m_db(directory / kFileName) {
    // Write-ahead logging lets the commands change the state while a server reads it.
    m_db.execute("PRAGMA journal_mode = WAL");
    Transaction transaction(m_db);
    const int version = stateVersion(m_db);
    if (version > kStateVersion)
        throw std::runtime_error("the state in " + directory.string() +
                                 " was made by a newer tessera-ca");
    if (version == 0 && hasApplicantsTable(m_db)) migrateFromVersion0(m_db);
    m_db.execute(kSchema);
    // A state from before revocation reasons were kept: its revocations become unspecified.
    if (!m_db.prepare("SELECT 1 FROM pragma_table_info('revocations') WHERE name = 'reason'")
             .step())
        m_db.execute("ALTER TABLE revocations ADD COLUMN reason INTEGER NOT NULL DEFAULT 0");
    m_db.execute(("PRAGMA user_version = " + std::to_string(kStateVersion)).c_str());
    transaction.commit();
}

std::int64_t Store::addApplicant(const Applicant& applicant) {
    m_db.prepare(
            "INSERT INTO applicants(token, first, last, email, org, country, salt, "
            "password_hash) VALUES(?, ?, ?, ?, ?, ?, ?, ?)")
        .bind(tokenHash(applicant.token))
        .bind(applicant.first)
        .bind(applicant.last)
        .bind(applicant.email)
        .bind(applicant.org)
        .bind(applicant.country)
        .bindBlob(applicant.salt)
        .bindBlob(applicant.passwordHash)
        .run();
    return m_db.lastInsertId();
}

std::optional<Applicant> Store::applicantByToken(std::string_view token) {
    std::vector<Applicant> found = applicantsWhere("token = ?", tokenHash(token));
    if (found.empty()) return std::nullopt;
    found.front().token = token;
    return std::move(found.front());
}

std::optional<Applicant> Store::applicant(std::int64_t id) {
    std::vector<Applicant> found = applicantsWhere("id = ?", std::to_string(id));
    if (found.empty()) return std::nullopt;
    return std::move(found.front());
}

std::vector<Applicant> Store::applicants() { return applicantsWhere("id >= ? ORDER BY id", "0"); }

std::vector<Applicant> Store::applicantsWhere(const char* condition, std::string_view key) {
    Statement row = m_db.prepare(
        (std::string("SELECT id, token, first, last, email, org, country, salt, password_hash "
                     "FROM applicants WHERE ") +
         condition)
            .c_str());
    row.bind(key);
    std::vector<Applicant> found;
    while (row.step())
        // The state keeps only the token's hash: it is no token to hand out.
        found.push_back({row.number(0), "", row.text(2), row.text(3), row.text(4), row.text(5),
                         row.text(6), row.text(7), row.text(8)});
    return found;
}

bool Store::setPassword(std::int64_t applicant, std::string_view salt, std::string_view hash) {
    m_db.prepare("UPDATE applicants SET salt = ?, password_hash = ? WHERE id = ?")
        .bindBlob(salt)
        .bindBlob(hash)
        .bind(applicant)
        .run();
    return m_db.changes() == 1;
}

void Store::addChallenge(std::int64_t applicant, std::string_view challenge, std::int64_t now) {
    m_db.prepare("DELETE FROM challenges WHERE created <= ?").bind(now - kChallengeLifetime).run();
    m_db.prepare(
            "DELETE FROM challenges WHERE applicant = ? AND rowid NOT IN (SELECT rowid FROM "
            "challenges WHERE applicant = ? ORDER BY created DESC, rowid DESC LIMIT ?)")
        .bind(applicant)
        .bind(applicant)
        .bind(std::int64_t{kOpenChallenges - 1})
        .run();
    m_db.prepare("INSERT INTO challenges(challenge, applicant, created) VALUES(?, ?, ?)")
        .bind(challenge)
        .bind(applicant)
        .bind(now)
        .run();
}

bool Store::takeChallenge(std::int64_t applicant, std::string_view challenge, std::int64_t now) {
    m_db.prepare("DELETE FROM challenges WHERE challenge = ? AND applicant = ? AND created > ?")
        .bind(challenge)
        .bind(applicant)
        .bind(now - kChallengeLifetime)
        .run();
    return m_db.changes() == 1;
}

int Store::openChallenges(std::int64_t applicant) {
    Statement row = m_db.prepare("SELECT count(*) FROM challenges WHERE applicant = ?");
    return row.bind(applicant).step() ? static_cast<int>(row.number(0)) : 0;
}

PasswordFailures Store::passwordFailures(std::int64_t applicant) {
    Statement row =
        m_db.prepare("SELECT count, next_try FROM password_failures WHERE applicant = ?");
    if (!row.bind(applicant).step()) return {};
    return {static_cast<int>(row.number(0)), row.number(1)};
}

void Store::setPasswordFailures(std::int64_t applicant, const PasswordFailures& failures) {
    if (failures.count == 0) {
        m_db.prepare("DELETE FROM password_failures WHERE applicant = ?").bind(applicant).run();
        return;
    }
    m_db.prepare(
            "INSERT OR REPLACE INTO password_failures(applicant, count, next_try) "
            "VALUES(?, ?, ?)")
        .bind(applicant)
        .bind(std::int64_t{failures.count})
        .bind(failures.nextTry)
        .run();
}

std::int64_t Store::addRequest(std::int64_t applicant, std::string_view publicKey) {
    m_db.prepare("INSERT INTO requests(applicant, public_key) VALUES(?, ?)")
        .bind(applicant)
        .bindBlob(publicKey)
        .run();
    return m_db.lastInsertId();
}

bool Store::keyOfAnother(std::int64_t applicant, std::string_view publicKey) {
    return m_db.prepare("SELECT 1 FROM requests WHERE public_key = ? AND applicant != ?")
        .bindBlob(publicKey)
        .bind(applicant)
        .step();
}

std::optional<RequestRecord> Store::request(std::int64_t ref) {
    std::vector<RequestRecord> found = requestsWhere("r.ref = ?", std::to_string(ref));
    if (found.empty()) return std::nullopt;
    return std::move(found.front());
}

std::vector<RequestRecord> Store::requestsOf(std::int64_t applicant) {
    return requestsWhere("r.applicant = ? ORDER BY r.ref", std::to_string(applicant));
}

std::vector<RequestRecord> Store::requests() {
    return requestsWhere("r.ref >= ? ORDER BY r.ref", "0");
}

std::vector<RequestRecord> Store::requestsWhere(const char* condition, std::string_view key) {
    Statement row = m_db.prepare((std::string("SELECT r.ref, r.applicant, r.public_key, c.serial, "
                                              "c.fetched FROM requests r LEFT JOIN certificates c "
                                              "ON c.ref = r.ref WHERE ") +
                                  condition)
                                     .c_str());
    row.bind(key);
    std::vector<RequestRecord> records;
    while (row.step()) {
        RequestRecord& record = records.emplace_back(RequestRecord{
            row.number(0), row.number(1), row.text(2), std::nullopt, row.number(4) != 0});
        if (!row.isNull(3)) record.serial = row.text(3);
    }
    return records;
}

void Store::addCertificate(const CertificateRecord& certificate) {
    m_db.prepare("INSERT INTO certificates(serial, ref, der, not_after) VALUES(?, ?, ?, ?)")
        .bind(certificate.serial)
        .bind(certificate.ref)
        .bindBlob(certificate.der)
        .bind(certificate.notAfter)
        .run();
}

std::vector<CertificateRecord> Store::certificatesWhere(const char* condition,
                                                        std::string_view key) {
    Statement row = m_db.prepare((std::string(kCertificateColumns) + condition).c_str());
    row.bind(key);
    std::vector<CertificateRecord> records;
    while (row.step()) records.push_back(certificateOf(row));
    return records;
}

std::optional<CertificateRecord> Store::certificate(std::string_view serial) {
    std::vector<CertificateRecord> found = certificatesWhere("WHERE c.serial = ?", serial);
    if (found.empty()) return std::nullopt;
    return found.front();
}

std::vector<CertificateRecord> Store::certificatesOf(std::int64_t applicant) {
    return certificatesWhere("WHERE r.applicant = ? ORDER BY c.ref", std::to_string(applicant));
}

std::vector<CertificateRecord> Store::certificates() {
    return certificatesWhere("WHERE c.ref >= ? ORDER BY c.ref", "0");
}

void Store::markFetched(std::string_view serial) {
    m_db.prepare("UPDATE certificates SET fetched = 1 WHERE serial = ?").bind(serial).run();
}

void Store::revoke(std::string_view serial, std::int64_t at, int reason) {
    m_db.prepare("INSERT INTO revocations(serial, revoked_at, reason) VALUES(?, ?, ?)")
        .bind(serial)
        .bind(at)
        .bind(reason)
        .run();
}

std::vector<Revocation> Store::revocations() {
    Statement row =
        m_db.prepare("SELECT serial, revoked_at, reason FROM revocations ORDER BY revoked_at");
    std::vector<Revocation> list;
    while (row.step())
        list.push_back({row.text(0), row.number(1), static_cast<int>(row.number(2))});
    return list;
}

std::int64_t Store::nextCrlNumber() {
    const std::string last = setting(kCrlNumberSetting).value_or("0");
    const std::int64_t number = std::stoll(last) + 1;
    setSetting(kCrlNumberSetting, std::to_string(number));
    return number;
}

std::optional<std::string> Store::setting(std::string_view name) {
    Statement row = m_db.prepare("SELECT value FROM settings WHERE name = ?");
    if (!row.bind(name).step()) return std::nullopt;
    return row.text(0);
}

void Store::setSetting(std::string_view name, std::string_view value) {
    m_db.prepare("INSERT OR REPLACE INTO settings(name, value) VALUES(?, ?)")
        .bind(name)
        .bind(value)
        .run();
}

}  // namespace ca
