// The store's file checked from outside the component, as after a crash: SQLite's own integrity
// and foreign key checks, and the store's rules: every open request holds its key, and the
// certificate a request was closed with holds that key.
#pragma once

#include <sqlite3.h>

#include <initializer_list>
#include <memory>
#include <string>

// The first column of the first row of each query on the store's file, each followed by "; ".
inline std::string firstAnswers(const std::string& path,
                                std::initializer_list<const char*> queries) {
    sqlite3* opened = nullptr;
    const int status = sqlite3_open_v2(path.c_str(), &opened, SQLITE_OPEN_READWRITE, nullptr);
    const std::unique_ptr<sqlite3, decltype(&sqlite3_close)> database(opened, &sqlite3_close);
    if (status != SQLITE_OK) return "cannot open " + path;
    std::string answers;
    for (const char* query : queries) {
        sqlite3_stmt* prepared = nullptr;
        sqlite3_prepare_v2(database.get(), query, -1, &prepared, nullptr);
        const std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> statement(
            prepared, &sqlite3_finalize);
        const bool answered = statement && sqlite3_step(statement.get()) == SQLITE_ROW;
        answers += answered ? reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0))
                            : std::string(sqlite3_errmsg(database.get()));
        answers += "; ";
    }
    return answers;
}

// kSoundStore when the store is sound.
inline std::string storeCheck(const std::string& path) {
    return firstAnswers(
        path, {
                  "PRAGMA integrity_check",
                  "SELECT COUNT(*) || ' foreign key faults' FROM pragma_foreign_key_check",
                  "SELECT COUNT(*) || ' open requests without a key' FROM requests "
                  "WHERE closed = 0 AND (private_key = '' OR length(public_key) = 0)",
                  "SELECT COUNT(*) || ' certificates of a request without its key' FROM requests r "
                  "JOIN certificates c ON c.id = r.certificate_id WHERE c.private_key IS NULL",
              });
}

inline constexpr char kSoundStore[] =
    "ok; 0 foreign key faults; 0 open requests without a key; 0 certificates of a request "
    "without its key; ";
