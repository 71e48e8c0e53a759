#include "PkiStore.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "PkiFailure.h"

namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS certificates(
    id INTEGER PRIMARY KEY,
    der BLOB NOT NULL UNIQUE,
    serial TEXT NOT NULL,
    common_name TEXT NOT NULL,
    private_key TEXT,
    revoked INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS requests(
    id INTEGER PRIMARY KEY,
    request TEXT NOT NULL UNIQUE,
    reference TEXT NOT NULL,
    public_key BLOB NOT NULL,
    private_key TEXT NOT NULL,
    certificate_id INTEGER REFERENCES certificates(id) ON DELETE SET NULL,
    closed INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS revocation_lists(
    id INTEGER PRIMARY KEY,
    der BLOB NOT NULL UNIQUE);
CREATE TABLE IF NOT EXISTS trust_anchor(
    id INTEGER PRIMARY KEY CHECK(id = 1),
    der BLOB NOT NULL);
)sql";

// Stores of version 0 kept serials with the leading zeros of their bytes; the authority writes
// them without, and Find compares the texts.
constexpr const char* kToVersion1 = R"sql(
UPDATE certificates SET serial = CASE WHEN ltrim(serial, '0') = '' THEN '0'
                                      ELSE ltrim(serial, '0') END;
PRAGMA user_version = 1;
)sql";

class FileDescriptor {
public:
    explicit FileDescriptor(int descriptor) : m_descriptor(descriptor) {}
    ~FileDescriptor() {
        if (m_descriptor >= 0) ::close(m_descriptor);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    bool valid() const { return m_descriptor >= 0; }

private:
    int m_descriptor;
};

// The store holds keys and the open requests, so a new one is the owner's alone from its first
// byte on; SQLite gives its -wal and -shm files the mode of the database file. An existing file
// keeps the mode its owner chose.
const std::string& createdOwnerOnly(const std::string& path) {
    const FileDescriptor file(
        ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, S_IRUSR | S_IWUSR));
    if (!file.valid()) {
        const int error = errno;
        failWith(E_FAIL, "the store " + path + " cannot be opened: " + std::strerror(error));
    }
    return path;
}

}  // namespace

PkiStore::PkiStore(const std::string& path) : m_database(createdOwnerOnly(path)) {
    m_database.executeWhenFree("PRAGMA journal_mode=WAL");
    // A commit that returned is on disk, not only in the WAL's page cache.
    m_database.execute("PRAGMA synchronous=FULL");
    m_database.execute("PRAGMA foreign_keys=ON");
    // A forgotten request's key is overwritten, not left in a free page.
    m_database.execute("PRAGMA secure_delete=ON");
    Transaction transaction(m_database);
    m_database.execute(kSchema);
    Statement version(m_database, "PRAGMA user_version");
    if (version.step() && version.integer(0) == 0) m_database.execute(kToVersion1);
    transaction.commit();
}

void PkiStore::addRequest(const std::string& request, const std::string& publicKey,
                          const std::string& privateKey, const std::string& reference) {
    Transaction transaction(m_database);
    Statement(m_database,
              "INSERT INTO requests(request, reference, public_key, private_key) "
              "VALUES(?1, ?2, ?3, ?4) "
              "ON CONFLICT(request) DO UPDATE SET reference = excluded.reference")
        .bind(1, request)
        .bind(2, reference)
        .bindBlob(3, publicKey)
        .bind(4, privateKey)
        .run();
    transaction.commit();
}

std::vector<std::string> PkiStore::openReferences() {
    Statement query(m_database,
                    "SELECT reference FROM requests WHERE closed = 0 "
                    "GROUP BY reference ORDER BY MIN(id)");
    std::vector<std::string> references;
    while (query.step()) references.push_back(query.text(0));
    return references;
}

bool PkiStore::forgetRequest(const std::string& reference) {
    Transaction transaction(m_database);
    Statement(m_database, "DELETE FROM requests WHERE closed = 0 AND reference = ?1")
        .bind(1, reference)
        .run();
    const bool changed = sqlite3_changes(m_database.get()) > 0;
    transaction.commit();
    return changed;
}

std::vector<RequestRow> PkiStore::openRequests(const std::string& reference) {
    Statement query(m_database,
                    "SELECT id, public_key, private_key FROM requests "
                    "WHERE closed = 0 AND (?1 = '' OR reference = ?1) ORDER BY id");
    query.bind(1, reference);
    std::vector<RequestRow> rows;
    while (query.step()) rows.push_back({query.integer(0), query.blob(1), query.text(2)});
    return rows;
}

std::int64_t PkiStore::insertCertificate(const CertificateEntry& entry) {
    Statement(m_database,
              "INSERT INTO certificates(der, serial, common_name) VALUES(?1, ?2, ?3) "
              "ON CONFLICT(der) DO NOTHING")
        .bindBlob(1, entry.der)
        .bind(2, entry.serial)
        .bind(3, entry.commonName)
        .run();
    return *certificateId(entry.der);
}

std::int64_t PkiStore::completeRequest(const RequestRow& request,
                                       const CertificateEntry& certificate,
                                       const std::vector<CertificateEntry>& others) {
    Transaction transaction(m_database);
    // The user's own certificate first, so that it gets the lower number of the two.
    const std::int64_t id = insertCertificate(certificate);
    for (const CertificateEntry& other : others) insertCertificate(other);
    Statement(m_database, "UPDATE certificates SET private_key = ?2 WHERE id = ?1")
        .bind(1, id)
        .bind(2, request.privateKey)
        .run();
    Statement(m_database, "UPDATE requests SET closed = 1, certificate_id = ?2 WHERE id = ?1")
        .bind(1, request.id)
        .bind(2, id)
        .run();
    transaction.commit();
    return id;
}

void PkiStore::storeAll(const std::vector<CertificateEntry>& certificates,
                        const std::vector<std::string>& revocationLists,
                        const std::function<bool(const std::string& der)>& revoked) {
    Transaction transaction(m_database);
    for (const CertificateEntry& entry : certificates) insertCertificate(entry);
    for (const std::string& der : revocationLists)
        Statement(m_database,
                  "INSERT INTO revocation_lists(der) VALUES(?1) ON CONFLICT(der) DO NOTHING")
            .bindBlob(1, der)
            .run();
    std::vector<std::int64_t> named;
    Statement query(m_database, "SELECT id, der FROM certificates WHERE revoked = 0");
    while (!revocationLists.empty() && query.step())
        if (revoked(query.blob(1))) named.push_back(query.integer(0));
    for (const std::int64_t id : named)
        Statement(m_database, "UPDATE certificates SET revoked = 1 WHERE id = ?1")
            .bind(1, id)
            .run();
    transaction.commit();
}

std::optional<std::string> PkiStore::trustAnchor() {
    Statement query(m_database, "SELECT der FROM trust_anchor");
    if (!query.step()) return std::nullopt;
    return query.blob(0);
}

void PkiStore::setTrustAnchor(const std::string& der) {
    Transaction transaction(m_database);
    Statement(m_database, "INSERT OR REPLACE INTO trust_anchor(id, der) VALUES(1, ?1)")
        .bindBlob(1, der)
        .run();
    transaction.commit();
}

std::optional<CertificateRow> PkiStore::certificate(std::int64_t id) {
    Statement query(m_database,
                    "SELECT id, der, private_key, revoked FROM certificates WHERE id = ?1");
    query.bind(1, id);
    if (!query.step()) return std::nullopt;
    return CertificateRow{query.integer(0), query.blob(1), query.optionalText(2),
                          query.integer(3) != 0};
}

std::optional<std::int64_t> PkiStore::certificateId(const std::string& der) {
    Statement query(m_database, "SELECT id FROM certificates WHERE der = ?1");
    query.bindBlob(1, der);
    if (!query.step()) return std::nullopt;
    return query.integer(0);
}

std::vector<CertificateRow> PkiStore::certificates(const std::optional<std::string>& commonName,
                                                   const std::optional<std::string>& serial) {
    Statement query(m_database,
                    "SELECT id, der, private_key, revoked FROM certificates "
                    "WHERE (?1 IS NULL OR common_name = ?1) AND (?2 IS NULL OR serial = ?2) "
                    "ORDER BY id");
    query.bind(1, commonName).bind(2, serial);
    std::vector<CertificateRow> rows;
    while (query.step())
        rows.push_back(
            {query.integer(0), query.blob(1), query.optionalText(2), query.integer(3) != 0});
    return rows;
}

std::vector<std::string> PkiStore::revocationLists() {
    Statement query(m_database, "SELECT der FROM revocation_lists ORDER BY id");
    std::vector<std::string> lists;
    while (query.step()) lists.push_back(query.blob(0));
    return lists;
}

bool PkiStore::markRevoked(std::int64_t id) {
    Transaction transaction(m_database);
    Statement(m_database, "UPDATE certificates SET revoked = 1 WHERE id = ?1").bind(1, id).run();
    const bool changed = sqlite3_changes(m_database.get()) > 0;
    transaction.commit();
    return changed;
}

bool PkiStore::remove(std::int64_t id) {
    Transaction transaction(m_database);
    Statement(m_database, "DELETE FROM certificates WHERE id = ?1").bind(1, id).run();
    const bool changed = sqlite3_changes(m_database.get()) > 0;
    transaction.commit();
    return changed;
}

void PkiStore::replacePrivateKey(std::int64_t id, const std::string& privateKey) {
    Transaction transaction(m_database);
    Statement(m_database, "UPDATE certificates SET private_key = ?2 WHERE id = ?1")
        .bind(1, id)
        .bind(2, privateKey)
        .run();
    transaction.commit();
}

std::string defaultStorePath() {
    std::filesystem::path base;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data != '\0')
        base = data;
    else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        base = std::filesystem::path(home) / ".local" / "share";
    else
        failWith(E_FAIL, "neither XDG_DATA_HOME nor HOME names a place for the store");
    const std::filesystem::path directory = base / "velpki";
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) failWith(E_FAIL, "the directory " + directory.string() + ": " + error.message());
    std::filesystem::permissions(directory, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace, error);
    return (directory / "store.db").string();
}
