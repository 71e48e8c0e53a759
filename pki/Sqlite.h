// SQLite's connection and statements as owners, and a transaction that rolls back unless it is
// committed. Every failure raises a PkiFailure with SQLite's message.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include <sqlite3.h>

class Database {
public:
    explicit Database(const std::string& path);
    sqlite3* get() const { return m_connection.get(); }
    void execute(const char* sql);
    // As execute, but tried again while the database is busy, up to the busy time-out: SQLite
    // answers a connection that could deadlock waiting (as when several turn a new store to WAL at
    // once) at once, without waiting for the lock itself.
    void executeWhenFree(const char* sql);
    [[noreturn]] void fail(const char* what) const;

private:
    struct Close {
        void operator()(sqlite3* connection) const { sqlite3_close_v2(connection); }
    };
    std::unique_ptr<sqlite3, Close> m_connection;
};

class Statement {
public:
    Statement(Database& database, const char* sql);

    Statement& bind(int index, const std::string& text);
    Statement& bindBlob(int index, const std::string& bytes);
    Statement& bind(int index, std::int64_t value);
    Statement& bind(int index, const std::optional<std::string>& text);

    // True while a row is there to read.
    bool step();
    // Steps to the end; for statements that change rows.
    void run();

    std::string text(int column) const;
    std::optional<std::string> optionalText(int column) const;
    std::string blob(int column) const;
    std::int64_t integer(int column) const;

private:
    struct Finalize {
        void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
    };
    Database& m_database;
    std::unique_ptr<sqlite3_stmt, Finalize> m_statement;
};

// BEGIN IMMEDIATE: the write lock is taken at once, so two writers wait for each other instead
// of failing half-way.
class Transaction {
public:
    explicit Transaction(Database& database);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit();

private:
    Database& m_database;
    bool m_open = true;
};
