// One root's SQLite database: its file, its tables and what a new one is
// seeded with, its prepared statements and its write transactions. The
// registry functions (registry_sqlite.cpp) keep the key handles and speak to
// a store through this.
//
// Keys live in one table keyed by the whole case-folded path, so opening a key
// is one point query whatever its depth; values live in a second table keyed
// by (folded key path, folded value name). Names keep the case they were
// created with.
#pragma once

#include "tamberlin/platform/registry_types.h"

#include <cstdint>
#include <sqlite3.h>
#include <string>
#include <string_view>

namespace tamberlin::platform::registry::sqlite {

// The form names are compared in: the registry ignores case.
std::string Fold(std::string_view name);
// Adds a level, folded, to a key's folded path.
void AppendFolded(std::string& path, std::string_view level);
// An SQLite result as the Win32 code the registry functions return.
long FromSqlite(int rc);

// A prepared statement that is reset when the scope that used it ends.
// A statement that could not be prepared answers every step with the reason.
class Query {
public:
    explicit Query(sqlite3_stmt* stmt, int error = SQLITE_OK) : stmt_(stmt), error_(error) {}
    ~Query() {
        if (!stmt_)
            return;
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    // A view's text is copied; a string is bound where it is, so it must
    // outlive the query (a temporary does not compile).
    Query& Bind(int i, std::string_view text) { return BindText(i, text, SQLITE_TRANSIENT); }
    Query& Bind(int i, const std::string& text) { return BindText(i, text, SQLITE_STATIC); }
    Query& Bind(int i, std::string&& text) = delete;
    Query& BindBlob(int i, const char* data, std::uint32_t size) {
        // A zero-length blob must still be a blob, not NULL.
        if (stmt_)
            sqlite3_bind_blob(stmt_, i, size ? data : "", static_cast<int>(size), SQLITE_STATIC);
        return *this;
    }
    Query& Bind(int i, std::int64_t n) {
        if (stmt_)
            sqlite3_bind_int64(stmt_, i, n);
        return *this;
    }
    int Step() { return stmt_ ? sqlite3_step(stmt_) : error_; }
    std::string Text(int column) {
        const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
        return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(stmt_, column)))
                 : std::string();
    }
    std::int64_t Int(int column) { return sqlite3_column_int64(stmt_, column); }
    bool IsNull(int column) { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }

private:
    Query& BindText(int i, std::string_view text, sqlite3_destructor_type keep) {
        if (stmt_)
            sqlite3_bind_text(stmt_, i, text.data(), static_cast<int>(text.size()), keep);
        return *this;
    }

    sqlite3_stmt* stmt_;
    int error_;
};

// The statements a store keeps prepared (their texts and parameters:
// registry_store_sqlite.cpp).
enum Statement {
    kKeyExists,        // ?1 folded path
    kKeyInsert,        // ?1 folded path, ?2 the parent's, ?3 the level as written
    kValueGet,         // ?1 folded key path, ?2 folded value name -> type, data
    kValueOfKey,       // ?1, ?2 as kValueGet -> whether the key exists, type, data
    kKeyValues,        // ?1 folded path -> its values' fold, type, data (NULL
                       // when large); a key with values exists
    kValuePut,         // ?1, ?2 as kValueGet, ?3 the name as written, ?4 type, ?5 data
    kValueDelete,      // ?1, ?2 as kValueGet
    kSubKeyAt,         // ?1 folded path, ?2 index -> name, folded path
    kValueAt,          // ?1 folded path, ?2 index -> name, type, data, fold
    kSubKeyAfter,      // ?1 folded path, ?2 a sub-key's folded path -> as kSubKeyAt
    kValueAfter,       // ?1 folded path, ?2 a value's fold -> as kValueAt
    kTreeDeleteKeys,   // a key and everything below it
    kTreeDeleteValues, // the values of that tree
    kStatementCount
};

class Store {
public:
    // An empty `path` makes a store in memory that holds only what a new
    // store is seeded with: what reads answer when the real store cannot.
    Store(Key root, std::string path) : root_(root), path_(std::move(path)) {}
    ~Store() { Close(); }
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // Connects when not yet connected. `for_write` may create the database
    // (the user store is created on any use). A machine store that does not
    // exist yet is answered, for reading, by its seed in memory, as a new
    // store would answer; no file is made until the first write. Returns
    // kSuccess or the reason the store cannot be used.
    long Connect(bool for_write);
    void Close();
    // Whether reads are answered by the seed in memory.
    bool InMemory() const { return in_memory_; }

    // The statement, prepared on its first use.
    Query Use(Statement s) {
        if (statements_[s])
            return Query(statements_[s]);
        const int rc = PrepareStatement(s);
        return Query(statements_[s], rc);
    }

    // Runs `body` inside BEGIN IMMEDIATE, so that concurrent writers queue on
    // the busy timeout instead of failing; commits when it returns kSuccess.
    // Inside a batch the first write opens the one transaction that EndBatch
    // ends, and each write is a savepoint in it.
    template <typename Body> long Write(Body&& body) {
        if (batch_)
            return WriteInBatch(body);
        int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            return FromSqlite(rc);
        long result = body();
        if (result == kSuccess) {
            rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
            result = FromSqlite(rc);
        }
        if (result != kSuccess)
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return result;
    }

    // The writes from here to EndBatch are one transaction; EndBatch commits
    // it when `keep`, and rolls it back otherwise.
    void BeginBatch() { batch_ = true; }
    long EndBatch(bool keep);

    // Whether a key exists; the root always does.
    long KeyExists(const std::string& folded, bool& exists);
    // Rows the last statement changed.
    long Changes() const { return sqlite3_changes(db_); }

private:
    template <typename Body> long WriteInBatch(Body&& body) {
        if (!batch_open_) {
            if (int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
                rc != SQLITE_OK)
                return FromSqlite(rc);
            batch_open_ = true;
        }
        if (int rc = sqlite3_exec(db_, "SAVEPOINT one_write", nullptr, nullptr, nullptr);
            rc != SQLITE_OK)
            return FromSqlite(rc);
        const long result = body();
        if (result != kSuccess)
            sqlite3_exec(db_, "ROLLBACK TO one_write", nullptr, nullptr, nullptr);
        sqlite3_exec(db_, "RELEASE one_write", nullptr, nullptr, nullptr);
        return result;
    }

    long CreateFile(bool replace);
    long ConnectMemory();
    int Prepare();
    int PrepareStatement(Statement s);

    Key root_;
    std::string path_;
    sqlite3* db_ = nullptr;
    bool in_memory_ = false;
    bool batch_ = false;      // writes join one transaction
    bool batch_open_ = false; // and it has begun
    sqlite3_stmt* statements_[kStatementCount] = {};
};

} // namespace tamberlin::platform::registry::sqlite
