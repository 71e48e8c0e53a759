// Owners of an SQLite connection, its statements and its transactions; every failure becomes a
// std::runtime_error with SQLite's own message.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <sqlite3.h>

namespace ca {

class Statement;

class Database {
public:
    explicit Database(const std::filesystem::path& file);

    void execute(const char* sql);
    Statement prepare(const char* sql);
    std::int64_t lastInsertId() const;
    int changes() const;
    sqlite3* handle() const { return m_db.get(); }

private:
    struct Close {
        void operator()(sqlite3* db) const { sqlite3_close(db); }
    };
    std::unique_ptr<sqlite3, Close> m_db;
};

class Statement {
public:
    Statement(sqlite3* db, const char* sql);

    // Binds parameters 1, 2 … in order; returns itself for chaining.
    Statement& bind(std::string_view text);
    Statement& bind(std::int64_t number);
    Statement& bindBlob(std::string_view bytes);
    // True while a row is available.
    bool step();
    // Runs a statement that returns no rows.
    void run();

    std::string text(int column) const;
    std::int64_t number(int column) const;
    bool isNull(int column) const;

private:
    struct Finalize {
        void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
    };
    void check(int result) const;

    sqlite3* m_db;
    std::unique_ptr<sqlite3_stmt, Finalize> m_statement;
    int m_nextParameter = 1;
};

// Rolls back unless committed: a change is whole or not at all.
class Transaction {
public:
    explicit Transaction(Database& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit();

private:
    Database& m_db;
    bool m_open = true;
};

}  // namespace ca
