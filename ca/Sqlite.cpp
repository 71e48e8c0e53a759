#include "ca/Sqlite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace ca {
namespace {

// How long a command waits for a running server (or another command) to finish its change.
constexpr int kBusyMilliseconds = 10000;

[[noreturn]] void fail(sqlite3* db, const std::string& what) {
    throw std::runtime_error(what + ": " + (db ? sqlite3_errmsg(db) : "out of memory"));
}

// SQLite gives its write-ahead log and shared-memory files the mode of the database file, so
// making that file owner-only, before SQLite first creates it, keeps all three private under
// any umask; a state made by an older version is made private here too.
void makePrivate(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 || ::fchmod(fd, 0600) != 0) {
        const std::string reason = std::strerror(errno);
        if (fd >= 0) ::close(fd);
        throw std::runtime_error("cannot open " + file.string() + ": " + reason);
    }
    ::close(fd);
    for (const char* suffix : {"-wal", "-shm"}) {
        const std::filesystem::path companion = file.string() + suffix;
        if (std::filesystem::is_regular_file(std::filesystem::symlink_status(companion)))
            std::filesystem::permissions(companion, std::filesystem::perms::owner_read |
                                                        std::filesystem::perms::owner_write);
    }
}

}  // namespace

Database::Database(const std::filesystem::path& file) {
    makePrivate(file);
    sqlite3* db = nullptr;
    const int result =
        sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    m_db.reset(db);
    if (result != SQLITE_OK) fail(db, "cannot open " + file.string());
    sqlite3_busy_timeout(db, kBusyMilliseconds);
    execute("PRAGMA foreign_keys = ON");
}

void Database::execute(const char* sql) {
    if (sqlite3_exec(m_db.get(), sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(m_db.get(), "state");
}

Statement Database::prepare(const char* sql) { return Statement(m_db.get(), sql); }

std::int64_t Database::lastInsertId() const { return sqlite3_last_insert_rowid(m_db.get()); }

int Database::changes() const { return sqlite3_changes(m_db.get()); }

Statement::Statement(sqlite3* db, const char* sql) : m_db(db) {
    sqlite3_stmt* statement = nullptr;
    const int result = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    m_statement.reset(statement);
    check(result);
}

void Statement::check(int result) const {
    if (result != SQLITE_OK && result != SQLITE_ROW && result != SQLITE_DONE) fail(m_db, "state");
}

Statement& Statement::bind(std::string_view text) {
    check(sqlite3_bind_text(m_statement.get(), m_nextParameter++, text.data(),
                            static_cast<int>(text.size()), SQLITE_TRANSIENT));
    return *this;
}

Statement& Statement::bind(std::int64_t number) {
    check(sqlite3_bind_int64(m_statement.get(), m_nextParameter++, number));
    return *this;
}

Statement& Statement::bindBlob(std::string_view bytes) {
    check(sqlite3_bind_blob(m_statement.get(), m_nextParameter++, bytes.data(),
                            static_cast<int>(bytes.size()), SQLITE_TRANSIENT));
    return *this;
}

bool Statement::step() {
    const int result = sqlite3_step(m_statement.get());
    check(result);
    return result == SQLITE_ROW;
}

void Statement::run() {
    while (step()) {
    }
}

std::string Statement::text(int column) const {
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(m_statement.get(), column));
    return bytes ? std::string(bytes, static_cast<std::size_t>(
                                          sqlite3_column_bytes(m_statement.get(), column)))
                 : std::string();
}

std::int64_t Statement::number(int column) const {
    return sqlite3_column_int64(m_statement.get(), column);
}

bool Statement::isNull(int column) const {
    return sqlite3_column_type(m_statement.get(), column) == SQLITE_NULL;
}

Transaction::Transaction(Database& db) : m_db(db) { m_db.execute("BEGIN IMMEDIATE"); }

Transaction::~Transaction() {
    if (m_open) sqlite3_exec(m_db.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::commit() {
    m_db.execute("COMMIT");
    m_open = false;
}

}  // namespace ca
