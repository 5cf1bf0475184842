// The registry store on Linux: one SQLite database per root, under the XDG
// folders. The user store runs in WAL mode so readers never wait for writers.
#include "platform/registry_store_sqlite.h"

#include "platform/registry_sqlite.h"
#include "platform/text.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tamberlin::platform::registry {
namespace {

// --- where the stores live ---------------------------------------------------

std::string Home() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/";
}

// An XDG base folder: the variable when it is an absolute path (relative
// values are invalid and ignored), otherwise the default.
std::string XdgFolder(const char* variable, const std::string& fallback) {
    const char* value = std::getenv(variable);
    return value && value[0] == '/' ? value : fallback;
}

std::string FirstConfigDir() {
    const char* value = std::getenv("XDG_CONFIG_DIRS");
    std::string_view list = value ? value : "";
    while (!list.empty()) {
        const size_t colon = list.find(':');
        const std::string_view entry = list.substr(0, colon);
        if (!entry.empty() && entry.front() == '/')
            return std::string(entry);
        if (colon == std::string_view::npos)
            break;
        list.remove_prefix(colon + 1);
    }
    return "/etc/xdg";
}

// mkdir -p; folders that have to be made get `mode`.
bool MakeFolders(const std::string& path, mode_t mode) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    const size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolders(path.substr(0, slash), mode))
        return false;
    return mkdir(path.c_str(), mode) == 0 || errno == EEXIST;
}

} // namespace

std::string StorePath(Key root) {
    const std::string folder =
        root == kCurrentUser ? XdgFolder("XDG_CONFIG_HOME", Home() + "/.config") : FirstConfigDir();
    return folder + "/Quillfern/registry.db";
}

namespace sqlite {
namespace {

constexpr int kBusyTimeoutMs = 10000;

// --- tables and seed ----------------------------------------------------------

constexpr const char* kStatementText[kStatementCount] = {
    "SELECT 1 FROM reg_keys WHERE path = ?1",
    "INSERT OR IGNORE INTO reg_keys(path, parent, name) VALUES (?1, ?2, ?3)",
    "SELECT type, data FROM reg_values WHERE key = ?1 AND fold = ?2",
    // One row: the key's existence (the root always exists), and the value
    // or NULLs.
    "SELECT ?1 = '' OR EXISTS (SELECT 1 FROM reg_keys WHERE path = ?1), v.type, v.data "
    "FROM (SELECT 1) LEFT JOIN reg_values v ON v.key = ?1 AND v.fold = ?2",
    "SELECT fold, type, CASE WHEN length(data) <= 4096 THEN data END "
    "FROM reg_values WHERE key = ?1 LIMIT 17",
    "INSERT INTO reg_values(key, fold, name, type, data) VALUES (?1, ?2, ?3, ?4, ?5) "
    "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data",
    "DELETE FROM reg_values WHERE key = ?1 AND fold = ?2",
    "SELECT name, path FROM reg_keys WHERE parent = ?1 ORDER BY path LIMIT 1 OFFSET ?2",
    "SELECT name, type, data, fold FROM reg_values WHERE key = ?1 ORDER BY fold LIMIT 1 OFFSET ?2",
    "SELECT name, path FROM reg_keys WHERE parent = ?1 AND path > ?2 ORDER BY path LIMIT 1",
    "SELECT name, type, data, fold FROM reg_values WHERE key = ?1 AND fold > ?2 ORDER BY fold "
    "LIMIT 1",
    // ?1 is the folded path of the tree's top, ?2 that path followed by "\"
    // and ?3 followed by "]" (the character after "\"): the range of every
    // descendant's path. ?4 = 1 keeps the top key itself (its values go).
    "DELETE FROM reg_keys WHERE (path = ?1 AND ?4 = 0) OR (path >= ?2 AND path < ?3) "
    "OR (?1 = '' AND path <> '')",
    "DELETE FROM reg_values WHERE key = ?1 OR (key >= ?2 AND key < ?3) OR ?1 = ''",
};

constexpr const char* kSchema =
    "CREATE TABLE reg_keys("
    "  path TEXT PRIMARY KEY," // whole path, case-folded
    "  parent TEXT NOT NULL,"  // the parent's folded path, for enumeration
    "  name TEXT NOT NULL"     // the last level as it was written
    ") WITHOUT ROWID;"
    "CREATE INDEX reg_keys_parent ON reg_keys(parent, path);"
    "CREATE TABLE reg_values("
    "  key TEXT NOT NULL,"  // folded path of the key; '' for the root
    "  fold TEXT NOT NULL," // folded value name; '' for the default value
    "  name TEXT NOT NULL,"
    "  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL,"
    "  PRIMARY KEY(key, fold)"
    ") WITHOUT ROWID;";

// Runs one statement with text arguments.
int Exec(sqlite3* db, const char* sql, const std::vector<std::string>& args) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
    for (size_t i = 0; rc == SQLITE_OK && i < args.size(); ++i)
        rc = sqlite3_bind_text(stmt, static_cast<int>(i + 1), args[i].data(),
                               static_cast<int>(args[i].size()), SQLITE_STATIC);
    if (rc == SQLITE_OK)
        rc = sqlite3_step(stmt) == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(db);
    sqlite3_finalize(stmt);
    return rc;
}

// What the program reads from Windows' own entries, pointed at their Linux
// counterparts.
int Seed(sqlite3* db, Key root) {
    struct Entry {
        const char* key;
        const char* name;
        std::string data;
    };
    std::vector<Entry> entries;
    if (root == kCurrentUser) {
        // The folder the entry names is the user's data home; like Windows'
        // own AppData folder it must exist (XDG: made with mode 0700).
        MakeFolders(XdgFolder("XDG_DATA_HOME", Home() + "/.local/share"), 0700);
        entries.push_back({"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                           "AppData", XdgFolder("XDG_DATA_HOME", Home() + "/.local/share")});
    } else {
        entries.push_back(
            {"Software\\Microsoft\\Windows\\CurrentVersion", "CommonFilesDir", "/usr/share"});
    }
    for (const Entry& e : entries) {
        std::string folded;
        std::string_view rest = e.key;
        while (!rest.empty()) {
            const size_t p = rest.find('\\');
            const std::string_view level = rest.substr(0, p);
            const std::string parent = folded;
            AppendFolded(folded, level);
            if (int rc = Exec(
                    db, "INSERT OR IGNORE INTO reg_keys(path, parent, name) VALUES (?1, ?2, ?3)",
                    {folded, parent, std::string(level)});
                rc != SQLITE_OK)
                return rc;
            rest = p == std::string_view::npos ? std::string_view() : rest.substr(p + 1);
        }
        std::string data = e.data;
        data += '\0';
        if (int rc = Exec(db,
                          "INSERT OR REPLACE INTO reg_values(key, fold, name, type, data) "
                          "VALUES (?1, ?2, ?3, 1, CAST(?4 AS BLOB))",
                          {folded, Fold(e.name), e.name, data});
            rc != SQLITE_OK)
            return rc;
    }
    return SQLITE_OK;
}

// Whether the tables are there: a plain read, which never waits for a writer.
int HasSchema(sqlite3* db, bool& present) {
    sqlite3_stmt* probe = nullptr;
    int rc = sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_master WHERE name = 'reg_keys'", -1,
                                &probe, nullptr);
    present = false;
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(probe);
        present = rc == SQLITE_ROW;
        rc = rc == SQLITE_ROW || rc == SQLITE_DONE ? SQLITE_OK : rc;
    }
    sqlite3_finalize(probe);
    return rc;
}

// Inside a transaction: makes the tables and seeds them when they are missing.
int CreateSchema(sqlite3* db, Key root) {
    bool present = false;
    int rc = HasSchema(db, present);
    if (rc != SQLITE_OK || present)
        return rc;
    rc = sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
    return rc == SQLITE_OK ? Seed(db, root) : rc;
}

} // namespace

std::string Fold(std::string_view name) {
    return UpperCase(name);
}

void AppendFolded(std::string& path, std::string_view level) {
    if (!path.empty())
        path += '\\';
    AppendUpperCase(path, level);
}

long FromSqlite(int rc) {
    switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW:
        return kSuccess;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return kBusy;
    case SQLITE_NOMEM:
        return kNotEnoughMemory;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
    case SQLITE_AUTH:
        return kAccessDenied;
    case SQLITE_FULL:
        return kDiskFull;
    case SQLITE_IOERR:
        return kIoFailed;
    default: // SQLITE_CORRUPT, SQLITE_NOTADB, a schema that is not ours, ...
        return kBadDb;
    }
}

// --- one store -----------------------------------------------------------------

long Store::Connect(bool for_write) {
    if (db_ && !in_memory_)
        return kSuccess;
    if (path_.empty())
        return db_ ? kSuccess : ConnectMemory();
    // SQLite refuses longer paths (the store is built under a name a few
    // characters longer), and would report them as a file it cannot open.
    if (const sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
        vfs && path_.size() + 24 > static_cast<std::size_t>(vfs->mxPathname))
        return kFilenameTooLong;
    struct stat st;
    if (db_ && in_memory_) {
        // A write, or a store that another process has made since, needs the file.
        if (!for_write && stat(path_.c_str(), &st) != 0)
            return kSuccess;
        Close();
    }
    if (db_)
        return kSuccess;
    const bool create = for_write || root_ == kCurrentUser;
    const bool exists = stat(path_.c_str(), &st) == 0;
    // An empty file (made by other hands, or left by a full disk) would
    // become a store without WAL: it is built again as a new one.
    const bool empty = exists && S_ISREG(st.st_mode) && st.st_size == 0;
    if (!exists || empty) {
        if (!create)
            return ConnectMemory();
        if (long rc = CreateFile(empty); rc != kSuccess)
            return rc;
    }
    int rc = sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close(db_);
        db_ = nullptr;
        rc = sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr);
    }
    if (rc == SQLITE_OK)
        rc = Prepare();
    if (rc != SQLITE_OK) {
        const long result = FromSqlite(rc);
        Close();
        return result;
    }
    return kSuccess;
}

long Store::ConnectMemory() {
    int rc = sqlite3_open_v2(":memory:", &db_, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK)
        rc = CreateSchema(db_, root_);
    if (rc != SQLITE_OK) {
        Close();
        return FromSqlite(rc);
    }
    in_memory_ = true;
    return kSuccess;
}

void Store::Close() {
    for (sqlite3_stmt*& stmt : statements_) {
        sqlite3_finalize(stmt);
        stmt = nullptr;
    }
    sqlite3_close(db_); // rolls back a batch still open
    db_ = nullptr;
    in_memory_ = false;
    batch_open_ = false;
}

long Store::EndBatch(bool keep) {
    batch_ = false;
    if (!batch_open_)
        return kSuccess;
    batch_open_ = false;
    long result = kSuccess;
    if (keep) {
        result = FromSqlite(sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr));
        if (result == kSuccess)
            return kSuccess;
    }
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return result;
}

long Store::KeyExists(const std::string& folded, bool& exists) {
    exists = true;
    if (folded.empty())
        return kSuccess;
    Query q = Use(kKeyExists);
    const int rc = q.Bind(1, folded).Step();
    exists = rc == SQLITE_ROW;
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? kSuccess : FromSqlite(rc);
}

// Builds the whole store (mode, journal, tables, seed) under a name of
// this process's own and links it into place: processes that start at
// the same moment never see a half-made store, and the first link wins.
// SQLite gives the -wal and -shm files the mode of the database. `replace`
// puts it in the place of an empty file.
//
// The tables are written with a rollback journal, so that COMMIT has put
// them in the file itself; only then is the user's store switched to WAL.
// A close that fails, or that leaves a journal or a log with content (a
// full disk while the log was copied in), means the file may be partly
// written: it is never linked in.
long Store::CreateFile(bool replace) {
    const bool user = root_ == kCurrentUser;
    if (!MakeFolders(path_.substr(0, path_.find_last_of('/')), user ? 0700 : 0755))
        return kAccessDenied;
    const std::string staging = path_ + ".new-" + std::to_string(getpid());
    const auto clear = [&staging] {
        for (const char* suffix : {"", "-journal", "-wal", "-shm"})
            unlink((staging + suffix).c_str());
    };
    clear();
    const int fd =
        open(staging.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, user ? 0600 : 0644);
    if (fd < 0)
        return kAccessDenied;
    close(fd);
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(staging.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = CreateSchema(db, root_);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    // WAL for the user's store is kept in the file's header. The machine
    // store keeps a rollback journal so users who may not write it can
    // still read it.
    if (rc == SQLITE_OK && user)
        rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    if (const int closed = sqlite3_close(db); rc == SQLITE_OK)
        rc = closed;
    struct stat st;
    for (const char* suffix : {"-journal", "-wal"})
        if (rc == SQLITE_OK && stat((staging + suffix).c_str(), &st) == 0 && st.st_size > 0)
            rc = SQLITE_IOERR;
    bool placed = false;
    if (rc == SQLITE_OK && replace) {
        // Another process may have put its new store there since: that one
        // stays, with whatever has been written to it.
        placed = (stat(path_.c_str(), &st) == 0 && st.st_size > 0) ||
                 rename(staging.c_str(), path_.c_str()) == 0;
    } else if (rc == SQLITE_OK) {
        placed = link(staging.c_str(), path_.c_str()) == 0 || errno == EEXIST;
        // File systems without hard links.
        if (!placed && errno != EACCES)
            placed = renameat2(AT_FDCWD, staging.c_str(), AT_FDCWD, path_.c_str(),
                               RENAME_NOREPLACE) == 0 ||
                     errno == EEXIST;
    }
    clear();
    return rc != SQLITE_OK ? FromSqlite(rc) : placed ? kSuccess : kAccessDenied;
}

int Store::Prepare() {
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db_, 1);
    bool present = false;
    int rc = HasSchema(db_, present);
    if (rc != SQLITE_OK || present || sqlite3_db_readonly(db_, "main"))
        return rc;
    // A store file made by other hands may lack the tables: only then is the
    // write lock taken.
    rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = CreateSchema(db_, root_);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return rc;
}

int Store::PrepareStatement(Statement s) {
    if (!db_)
        return SQLITE_MISUSE;
    return sqlite3_prepare_v3(db_, kStatementText[s], -1, SQLITE_PREPARE_PERSISTENT,
                              &statements_[s], nullptr);
}

} // namespace sqlite

} // namespace tamberlin::platform::registry
