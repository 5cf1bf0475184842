// The registry on Linux: one SQLite database per root.
//
// Keys live in one table keyed by the whole case-folded path, so opening a key
// is one point query whatever its depth; values live in a second table keyed
// by (folded key path, folded value name). Names keep the case they were
// created with. Each process keeps one connection per root with its prepared
// statements; key handles are entries of a per-process table.
//
// Writes that read first (does the key exist?) run in BEGIN IMMEDIATE so that
// concurrent writers queue on the busy timeout instead of failing; the user
// store runs in WAL mode so readers never wait for them.
#include "platform/registry_sqlite.h"

#include "platform/text.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace tamberlin::platform::registry {
namespace {

constexpr long kBusy = 170;     // ERROR_BUSY
constexpr long kDiskFull = 112; // ERROR_DISK_FULL
constexpr int kBusyTimeoutMs = 10000;

// --- names -------------------------------------------------------------------

// The form names are compared in: the registry ignores case.
std::string Fold(std::string_view name) {
    return UpperCase(name);
}

// A name ends at its first NUL, as the C strings of the Windows calls do.
std::string_view CString(std::string_view name) {
    return name.substr(0, name.find('\0'));
}

// Splits a sub-key path into levels as the registry does: empty levels (a
// trailing "\" or two in a row) are skipped; a leading "\" is refused.
long ParseSubKey(std::string_view sub_key, std::vector<std::string_view>& levels) {
    if (!sub_key.empty() && sub_key.front() == '\\')
        return kBadPathname;
    size_t start = 0;
    while (start <= sub_key.size()) {
        const size_t end = std::min(sub_key.find('\\', start), sub_key.size());
        if (end > start)
            levels.push_back(sub_key.substr(start, end - start));
        start = end + 1;
    }
    return kSuccess;
}

std::string Join(std::string_view parent, std::string_view level) {
    std::string path(parent);
    if (!path.empty())
        path += '\\';
    path += level;
    return path;
}

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

// A prepared statement that is reset when the scope that used it ends.
class Query {
public:
    explicit Query(sqlite3_stmt* stmt) : stmt_(stmt) {}
    ~Query() {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    // Bound texts are copied: callers pass temporaries.
    Query& Bind(int i, std::string_view text) {
        sqlite3_bind_text(stmt_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Query& BindBlob(int i, const char* data, std::uint32_t size) {
        // A zero-length blob must still be a blob, not NULL.
        sqlite3_bind_blob(stmt_, i, size ? data : "", static_cast<int>(size), SQLITE_STATIC);
        return *this;
    }
    Query& Bind(int i, std::int64_t n) {
        sqlite3_bind_int64(stmt_, i, n);
        return *this;
    }
    int Step() { return sqlite3_step(stmt_); }
    std::string Text(int column) {
        const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
        return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(stmt_, column)))
                 : std::string();
    }
    std::int64_t Int(int column) { return sqlite3_column_int64(stmt_, column); }

private:
    sqlite3_stmt* stmt_;
};

enum Statement {
    kKeyExists,
    kKeyInsert,
    kValueGet,
    kValuePut,
    kValueDelete,
    kSubKeyAt,
    kValueAt,
    kTreeDeleteKeys,
    kTreeDeleteValues,
    kStatementCount
};

constexpr const char* kStatementText[kStatementCount] = {
    "SELECT 1 FROM reg_keys WHERE path = ?1",
    "INSERT OR IGNORE INTO reg_keys(path, parent, name) VALUES (?1, ?2, ?3)",
    "SELECT type, data FROM reg_values WHERE key = ?1 AND fold = ?2",
    "INSERT INTO reg_values(key, fold, name, type, data) VALUES (?1, ?2, ?3, ?4, ?5) "
    "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data",
    "DELETE FROM reg_values WHERE key = ?1 AND fold = ?2",
    "SELECT name FROM reg_keys WHERE parent = ?1 ORDER BY path LIMIT 1 OFFSET ?2",
    "SELECT name, type, data FROM reg_values WHERE key = ?1 ORDER BY fold LIMIT 1 OFFSET ?2",
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
            folded = Join(folded, Fold(level));
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

// Inside a transaction: makes the tables and seeds them when they are missing.
int CreateSchema(sqlite3* db, Key root) {
    sqlite3_stmt* probe = nullptr;
    int rc = sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_master WHERE name = 'reg_keys'", -1,
                                &probe, nullptr);
    bool present = false;
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(probe);
        present = rc == SQLITE_ROW;
        rc = rc == SQLITE_ROW || rc == SQLITE_DONE ? SQLITE_OK : rc;
    }
    sqlite3_finalize(probe);
    if (rc != SQLITE_OK || present)
        return rc;
    rc = sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
    return rc == SQLITE_OK ? Seed(db, root) : rc;
}

class Store {
public:
    Store(Key root, std::string path) : root_(root), path_(std::move(path)) {}
    ~Store() { Close(); }
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // Connects when not yet connected. `for_write` may create the database
    // (the user store is created on any use). Returns kSuccess, or
    // kFileNotFound for a machine store that does not exist yet (an empty
    // tree to a reader), or the reason the store cannot be used.
    long Connect(bool for_write) {
        if (db_)
            return kSuccess;
        const bool create = for_write || root_ == kCurrentUser;
        struct stat st;
        const bool exists = stat(path_.c_str(), &st) == 0;
        if (!exists) {
            if (!create)
                return kFileNotFound;
            if (long rc = CreateFile(); rc != kSuccess)
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

    void Close() {
        for (sqlite3_stmt*& stmt : statements_) {
            sqlite3_finalize(stmt);
            stmt = nullptr;
        }
        sqlite3_close(db_);
        db_ = nullptr;
    }

    Query Use(Statement s) { return Query(statements_[s]); }

    // Runs `body` inside BEGIN IMMEDIATE; commits when it returns kSuccess.
    template <typename Body> long Write(Body&& body) {
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

    // Whether a key exists; the root always does.
    long KeyExists(const std::string& folded, bool& exists) {
        exists = true;
        if (folded.empty())
            return kSuccess;
        Query q = Use(kKeyExists);
        const int rc = q.Bind(1, folded).Step();
        exists = rc == SQLITE_ROW;
        return rc == SQLITE_ROW || rc == SQLITE_DONE ? kSuccess : FromSqlite(rc);
    }

    long Changes() const { return sqlite3_changes(db_); }

private:
    // Builds the whole store (mode, journal, tables, seed) under a name of
    // this process's own and links it into place: processes that start at
    // the same moment never see a half-made store, and the first link wins.
    // SQLite gives the -wal and -shm files the mode of the database.
    long CreateFile() {
        const bool user = root_ == kCurrentUser;
        if (!MakeFolders(path_.substr(0, path_.find_last_of('/')), user ? 0700 : 0755))
            return kAccessDenied;
        const std::string staging = path_ + ".new-" + std::to_string(getpid());
        unlink(staging.c_str());
        const int fd =
            open(staging.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, user ? 0600 : 0644);
        if (fd < 0)
            return kAccessDenied;
        close(fd);
        sqlite3* db = nullptr;
        int rc = sqlite3_open_v2(staging.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        // WAL for the user's store is kept in the file's header. The machine
        // store keeps a rollback journal so users who may not write it can
        // still read it.
        if (rc == SQLITE_OK && user)
            rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK)
            rc = sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK)
            rc = CreateSchema(db, root_);
        if (rc == SQLITE_OK)
            rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        bool placed = false;
        if (rc == SQLITE_OK) {
            placed = link(staging.c_str(), path_.c_str()) == 0 || errno == EEXIST;
            // File systems without hard links.
            if (!placed && errno != EACCES)
                placed = renameat2(AT_FDCWD, staging.c_str(), AT_FDCWD, path_.c_str(),
                                   RENAME_NOREPLACE) == 0 ||
                         errno == EEXIST;
        }
        unlink(staging.c_str());
        return rc != SQLITE_OK ? FromSqlite(rc) : placed ? kSuccess : kAccessDenied;
    }

    int Prepare() {
        sqlite3_busy_timeout(db_, kBusyTimeoutMs);
        sqlite3_extended_result_codes(db_, 1);
        if (!sqlite3_db_readonly(db_, "main")) {
            // A store file made by other hands may lack the tables.
            int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
            if (rc == SQLITE_OK)
                rc = CreateSchema(db_, root_);
            sqlite3_exec(db_, rc == SQLITE_OK ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
            if (rc != SQLITE_OK)
                return rc;
        }
        for (int s = 0; s < kStatementCount; ++s) {
            if (int rc = sqlite3_prepare_v3(db_, kStatementText[s], -1, SQLITE_PREPARE_PERSISTENT,
                                            &statements_[s], nullptr);
                rc != SQLITE_OK)
                return rc;
        }
        return SQLITE_OK;
    }

    Key root_;
    std::string path_;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* statements_[kStatementCount] = {};
};

// --- handles -------------------------------------------------------------------

struct OpenedKey {
    Key root;
    std::string folded;
    std::uint32_t access;
};

struct Registry {
    std::mutex mutex;
    std::unique_ptr<Store> stores[2];
    std::unordered_map<Key, OpenedKey> handles;
    Key next_handle = 0x1000;

    static int Slot(Key root) { return root == kCurrentUser ? 0 : 1; }

    Store& StoreFor(Key root) {
        auto& store = stores[Slot(root)];
        if (!store)
            store = std::make_unique<Store>(root, StorePath(root));
        return *store;
    }

    // The key a handle stands for; the roots stand for themselves.
    const OpenedKey* Find(Key key) {
        static const OpenedKey user{kCurrentUser, {}, kAllAccess};
        static const OpenedKey machine{kLocalMachine, {}, kAllAccess};
        if (key == kCurrentUser)
            return &user;
        if (key == kLocalMachine)
            return &machine;
        const auto it = handles.find(key);
        return it == handles.end() ? nullptr : &it->second;
    }

    Key Add(OpenedKey opened) {
        while (next_handle == 0 || handles.count(next_handle) || next_handle >= kCurrentUser)
            next_handle = next_handle >= kCurrentUser ? 0x1000 : next_handle + 4;
        const Key handle = next_handle;
        next_handle += 4;
        handles.emplace(handle, std::move(opened));
        return handle;
    }
};

Registry& State() {
    // Never destroyed, so that code running at exit may still use it; the
    // connections are closed at exit (which also folds the WAL back into the
    // database).
    static Registry* registry = [] {
        std::atexit([] { CloseStores(); });
        return new Registry;
    }();
    return *registry;
}

// Resolves (parent handle, sub-key) into the key it names.
long Resolve(Registry& r, Key parent, std::string_view sub_key, const OpenedKey*& base,
             std::string& folded, std::vector<std::string_view>& levels) {
    base = r.Find(parent);
    if (!base)
        return kInvalidHandle;
    if (long rc = ParseSubKey(CString(sub_key), levels); rc != kSuccess)
        return rc;
    folded = base->folded;
    for (std::string_view level : levels)
        folded = Join(folded, Fold(level));
    return kSuccess;
}

bool Allowed(const OpenedKey& key, std::uint32_t right) {
    return (key.access & right) == right;
}

// Runs `body` on the key behind a handle and its connected store, when the
// handle grants `right`. A machine store that does not exist yet answers
// `if_no_store`.
template <typename Body>
long WithKey(Key key, std::uint32_t right, bool write, long if_no_store, Body&& body) {
    Registry& r = State();
    std::lock_guard lock(r.mutex);
    const OpenedKey* opened = r.Find(key);
    if (!opened)
        return kInvalidHandle;
    if (!Allowed(*opened, right))
        return kAccessDenied;
    Store& store = r.StoreFor(opened->root);
    if (long rc = store.Connect(write); rc != kSuccess)
        return rc == kFileNotFound ? if_no_store : rc;
    return body(*opened, store);
}

// kSuccess while the key exists, kKeyDeleted once another handle (or
// process) has deleted it.
long KeyStillExists(Store& store, const std::string& folded) {
    bool exists = true;
    if (long rc = store.KeyExists(folded, exists); rc != kSuccess)
        return rc;
    return exists ? kSuccess : kKeyDeleted;
}

} // namespace

// --- the interface ---------------------------------------------------------------

std::string StorePath(Key root) {
    const std::string folder =
        root == kCurrentUser ? XdgFolder("XDG_CONFIG_HOME", Home() + "/.config") : FirstConfigDir();
    return folder + "/Quillfern/registry.db";
}

void CloseStores() {
    Registry& r = State();
    std::lock_guard lock(r.mutex);
    r.stores[0].reset();
    r.stores[1].reset();
    r.handles.clear();
}

long OpenKey(Key parent, std::string_view sub_key, std::uint32_t sam, Key& result) {
    Registry& r = State();
    std::lock_guard lock(r.mutex);
    const OpenedKey* base = nullptr;
    std::string path;
    std::vector<std::string_view> levels;
    if (long rc = Resolve(r, parent, sub_key, base, path, levels); rc != kSuccess)
        return rc;
    if (levels.empty() && (parent == kCurrentUser || parent == kLocalMachine)) {
        result = parent;
        return kSuccess;
    }
    Store& store = r.StoreFor(base->root);
    if (long rc = store.Connect(false); rc != kSuccess)
        return rc;
    bool exists = false;
    if (long rc = store.KeyExists(path, exists); rc != kSuccess)
        return rc;
    if (!exists) {
        bool parent_exists = true;
        store.KeyExists(base->folded, parent_exists);
        return parent_exists ? kFileNotFound : kKeyDeleted;
    }
    result = r.Add({base->root, path, sam});
    return kSuccess;
}

long CreateKey(Key parent, std::string_view sub_key, std::uint32_t /*options*/, std::uint32_t sam,
               Key& result) {
    Registry& r = State();
    std::lock_guard lock(r.mutex);
    const OpenedKey* base = nullptr;
    std::string path;
    std::vector<std::string_view> levels;
    if (long rc = Resolve(r, parent, sub_key, base, path, levels); rc != kSuccess)
        return rc;
    Store& store = r.StoreFor(base->root);
    if (long rc = store.Connect(true); rc != kSuccess)
        return rc == kFileNotFound ? kAccessDenied : rc;
    const long rc = store.Write([&]() -> long {
        if (long e = KeyStillExists(store, base->folded); e != kSuccess)
            return e;
        std::string folded = base->folded;
        for (std::string_view level : levels) {
            const std::string parent_path = folded;
            folded = Join(folded, Fold(level));
            Query q = store.Use(kKeyInsert);
            const int step = q.Bind(1, folded).Bind(2, parent_path).Bind(3, level).Step();
            if (step != SQLITE_DONE)
                return FromSqlite(step);
        }
        return kSuccess;
    });
    if (rc != kSuccess)
        return rc;
    result = r.Add({base->root, path, sam});
    return kSuccess;
}

long QueryValue(Key key, std::string_view value_name, std::uint32_t* type, char* data,
                std::uint32_t* size) {
    if (data && !size)
        return kInvalidParameter;
    return WithKey(
        key, kQueryValue, false, kFileNotFound, [&](const OpenedKey& opened, Store& store) {
            Query q = store.Use(kValueGet);
            const int step = q.Bind(1, opened.folded).Bind(2, Fold(CString(value_name))).Step();
            if (step == SQLITE_DONE) {
                const long exists = KeyStillExists(store, opened.folded);
                return exists == kSuccess ? kFileNotFound : exists;
            }
            if (step != SQLITE_ROW)
                return FromSqlite(step);
            const std::string stored = q.Text(1);
            if (type)
                *type = static_cast<std::uint32_t>(q.Int(0));
            const auto needed = static_cast<std::uint32_t>(stored.size());
            long rc = kSuccess;
            if (data) {
                if (*size < needed)
                    rc = kMoreData;
                else
                    std::memcpy(data, stored.data(), stored.size());
            }
            if (size)
                *size = needed;
            return rc;
        });
}

long SetValue(Key key, std::string_view value_name, std::uint32_t type, const char* data,
              std::uint32_t size) {
    if (!data && size)
        return kInvalidParameter;
    return WithKey(key, kSetValue, true, kAccessDenied, [&](const OpenedKey& opened, Store& store) {
        return store.Write([&]() -> long {
            if (long rc = KeyStillExists(store, opened.folded); rc != kSuccess)
                return rc;
            Query q = store.Use(kValuePut);
            const std::string_view name = CString(value_name);
            q.Bind(1, opened.folded).Bind(2, Fold(name)).Bind(3, name);
            q.Bind(4, static_cast<std::int64_t>(type)).BindBlob(5, data, size);
            const int step = q.Step();
            return step == SQLITE_DONE ? kSuccess : FromSqlite(step);
        });
    });
}

long CloseKey(Key key) {
    if (key == kCurrentUser || key == kLocalMachine)
        return kSuccess;
    Registry& r = State();
    std::lock_guard lock(r.mutex);
    return r.handles.erase(key) ? kSuccess : kInvalidHandle;
}

long EnumKey(Key key, std::uint32_t index, std::string& name) {
    return WithKey(
        key, kEnumerateSubKeys, false, kNoMoreItems, [&](const OpenedKey& opened, Store& store) {
            Query q = store.Use(kSubKeyAt);
            const int step = q.Bind(1, opened.folded).Bind(2, std::int64_t{index}).Step();
            if (step != SQLITE_ROW)
                return step == SQLITE_DONE ? kNoMoreItems : FromSqlite(step);
            name = q.Text(0);
            return kSuccess;
        });
}

long EnumValue(Key key, std::uint32_t index, std::string& name, std::uint32_t& type,
               std::string& data) {
    return WithKey(
        key, kQueryValue, false, kNoMoreItems, [&](const OpenedKey& opened, Store& store) {
            Query q = store.Use(kValueAt);
            const int step = q.Bind(1, opened.folded).Bind(2, std::int64_t{index}).Step();
            if (step != SQLITE_ROW)
                return step == SQLITE_DONE ? kNoMoreItems : FromSqlite(step);
            name = q.Text(0);
            type = static_cast<std::uint32_t>(q.Int(1));
            data = q.Text(2);
            return kSuccess;
        });
}

long DeleteValue(Key key, std::string_view value_name) {
    return WithKey(key, kSetValue, true, kAccessDenied, [&](const OpenedKey& opened, Store& store) {
        return store.Write([&]() -> long {
            Query q = store.Use(kValueDelete);
            const int step = q.Bind(1, opened.folded).Bind(2, Fold(CString(value_name))).Step();
            if (step != SQLITE_DONE)
                return FromSqlite(step);
            return store.Changes() ? kSuccess : kFileNotFound;
        });
    });
}

long DeleteTree(Key parent, std::string_view sub_key) {
    Registry& r = State();
    std::lock_guard lock(r.mutex);
    const OpenedKey* base = nullptr;
    std::string path;
    std::vector<std::string_view> levels;
    if (long rc = Resolve(r, parent, sub_key, base, path, levels); rc != kSuccess)
        return rc;
    Store& store = r.StoreFor(base->root);
    if (long rc = store.Connect(true); rc != kSuccess)
        return rc == kFileNotFound && !levels.empty() ? kFileNotFound : rc;
    return store.Write([&]() -> long {
        bool exists = false;
        if (long e = store.KeyExists(path, exists); e != kSuccess)
            return e;
        if (!exists)
            return kFileNotFound;
        // Without a sub-key the key itself stays and only its contents go.
        const std::int64_t keep_top = levels.empty() ? 1 : 0;
        for (Statement s : {kTreeDeleteValues, kTreeDeleteKeys}) {
            Query q = store.Use(s);
            q.Bind(1, path).Bind(2, path + '\\').Bind(3, path + ']');
            if (s == kTreeDeleteKeys)
                q.Bind(4, keep_top);
            if (const int step = q.Step(); step != SQLITE_DONE)
                return FromSqlite(step);
        }
        return kSuccess;
    });
}

bool HasSeparate64BitView() {
    return false;
}

} // namespace tamberlin::platform::registry
