#include "Sqlite.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "PkiFailure.h"

namespace {

constexpr int kBusyTimeoutMilliseconds = 10000;

// SQLite's message with the system's reason behind it, when a system call failed: "unable to
// open database file" alone does not tell a missing directory from a denied one.
std::string reasonOf(sqlite3* connection) {
    std::string reason = sqlite3_errmsg(connection);
    const int code = sqlite3_errcode(connection);
    const bool system = code == SQLITE_CANTOPEN || code == SQLITE_IOERR || code == SQLITE_READONLY;
    if (const int error = sqlite3_system_errno(connection); system && error != 0)
        reason += std::string(": ") + std::strerror(error);
    return reason;
}

}  // namespace

Database::Database(const std::string& path) {
    sqlite3* connection = nullptr;
    const int opened = sqlite3_open_v2(path.c_str(), &connection,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    m_connection.reset(connection);
    if (opened != SQLITE_OK) {
        const std::string reason =
            connection != nullptr ? reasonOf(connection) : sqlite3_errstr(opened);
        failWith(E_FAIL, "the store " + path + " cannot be opened: " + reason);
    }
    sqlite3_busy_timeout(connection, kBusyTimeoutMilliseconds);
}

void Database::execute(const char* sql) {
    if (sqlite3_exec(get(), sql, nullptr, nullptr, nullptr) != SQLITE_OK) fail(sql);
}

void Database::executeWhenFree(const char* sql) {
    const auto giveUp =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMilliseconds);
    int result = SQLITE_OK;
    while ((result = sqlite3_exec(get(), sql, nullptr, nullptr, nullptr)) == SQLITE_BUSY &&
           std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (result != SQLITE_OK) fail(sql);
}

void Database::fail(const char* what) const {
    failWith(E_FAIL, std::string("the store failed (") + what + "): " + reasonOf(get()));
}

Statement::Statement(Database& database, const char* sql) : m_database(database) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(database.get(), sql, -1, &statement, nullptr) != SQLITE_OK)
        database.fail(sql);
    m_statement.reset(statement);
}

Statement& Statement::bind(int index, const std::string& text) {
    if (sqlite3_bind_text(m_statement.get(), index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT) != SQLITE_OK)
        m_database.fail("binding a text");
    return *this;
}

Statement& Statement::bindBlob(int index, const std::string& bytes) {
    if (sqlite3_bind_blob(m_statement.get(), index, bytes.data(), static_cast<int>(bytes.size()),
                          SQLITE_TRANSIENT) != SQLITE_OK)
        m_database.fail("binding bytes");
    return *this;
}

Statement& Statement::bind(int index, std::int64_t value) {
    if (sqlite3_bind_int64(m_statement.get(), index, value) != SQLITE_OK)
        m_database.fail("binding a number");
    return *this;
}

Statement& Statement::bind(int index, const std::optional<std::string>& text) {
    if (text) return bind(index, *text);
    if (sqlite3_bind_null(m_statement.get(), index) != SQLITE_OK) m_database.fail("binding a null");
    return *this;
}

bool Statement::step() {
    const int result = sqlite3_step(m_statement.get());
    if (result == SQLITE_ROW) return true;
    if (result != SQLITE_DONE) m_database.fail(sqlite3_sql(m_statement.get()));
    return false;
}

void Statement::run() {
    while (step()) {
    }
}

std::string Statement::text(int column) const {
    const auto* data = sqlite3_column_text(m_statement.get(), column);
    const int length = sqlite3_column_bytes(m_statement.get(), column);
    return data == nullptr
               ? std::string()
               : std::string(reinterpret_cast<const char*>(data), static_cast<std::size_t>(length));
}

std::optional<std::string> Statement::optionalText(int column) const {
    if (sqlite3_column_type(m_statement.get(), column) == SQLITE_NULL) return std::nullopt;
    return text(column);
}

std::string Statement::blob(int column) const {
    const void* data = sqlite3_column_blob(m_statement.get(), column);
    const int length = sqlite3_column_bytes(m_statement.get(), column);
    return data == nullptr
               ? std::string()
               : std::string(static_cast<const char*>(data), static_cast<std::size_t>(length));
}

std::int64_t Statement::integer(int column) const {
    return sqlite3_column_int64(m_statement.get(), column);
}

Transaction::Transaction(Database& database) : m_database(database) {
    m_database.execute("BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
    if (m_open) sqlite3_exec(m_database.get(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::commit() {
    m_database.execute("COMMIT");
    m_open = false;
}
