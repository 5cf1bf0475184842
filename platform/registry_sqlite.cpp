// The registry on Linux: the registry functions over one SQLite store per
// root (registry_store_sqlite.h). Each process keeps one connection per root
// with its prepared statements; key handles are entries of a per-process
// table.
#include "platform/registry_sqlite.h"

#include "platform/registry_store_sqlite.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

namespace tamberlin::platform::registry {
namespace {

using namespace sqlite;

// --- names -------------------------------------------------------------------

// A name ends at its first NUL, as the C strings of the Windows calls do.
std::string_view CString(std::string_view name) {
    return name.substr(0, name.find('\0'));
}

// --- handles -------------------------------------------------------------------

// The most values a key opened to read brings with it.
constexpr std::size_t kFetchedValues = 16;

// Where a handle's last enumeration stopped: asking for the next index
// continues from there, so that listing n entries costs n lookups, not n^2/2.
struct Cursor {
    std::uint32_t next = 0;
    std::string after; // the folded name of entry next - 1
};

struct OpenedKey {
    Key root;
    std::string folded;
    std::uint32_t access;
    Cursor sub_keys{};
    Cursor values{};
};

// Values of one handle's key as one statement fetched them, kept for one read
// that follows: the ANSI pattern opens a key, asks a value's size, then reads
// it into a buffer of that size, and that costs one query. A key opened only
// to read comes with its (few, small) values; a size probe keeps the value
// it fetched. The read with a buffer uses them up, and any other call
// forgets them.
struct FetchedValues {
    struct Value {
        std::string fold;
        std::uint32_t type = 0;
        std::string data;
    };
    Key handle = 0;
    std::vector<Value> values;
    bool all = false; // `values` are every value of the key

    const Value* Find(const std::string& fold) const {
        for (const Value& v : values)
            if (v.fold == fold)
                return &v;
        return nullptr;
    }
};

struct Registry {
    std::mutex mutex;
    std::optional<FetchedValues> fetched;
    std::unique_ptr<Store> stores[2];
    std::unique_ptr<Store> seeds[2]; // what a new store holds, in memory
    std::unordered_map<Key, OpenedKey> handles;
    Key next_handle = 0x1000;
    bool changes = false; // between BeginChanges and EndChanges

    static int Slot(Key root) { return root == kCurrentUser ? 0 : 1; }

    Store& StoreFor(Key root) {
        auto& store = stores[Slot(root)];
        if (!store)
            store = std::make_unique<Store>(root, StorePath(root));
        return *store;
    }

    Store& SeedFor(Key root) {
        auto& seed = seeds[Slot(root)];
        if (!seed)
            seed = std::make_unique<Store>(root, std::string());
        return *seed;
    }

    // The key a handle stands for; the roots stand for themselves.
    OpenedKey* Find(Key key) {
        static OpenedKey user{kCurrentUser, {}, kAllAccess};
        static OpenedKey machine{kLocalMachine, {}, kAllAccess};
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

bool Allowed(const OpenedKey& key, std::uint32_t right) {
    return (key.access & right) == right;
}

// How a call uses its store. kReadOrSeed is a read that, when the store
// cannot be read (busy past its timeout, damaged, unreadable), is answered as
// a new store would answer it, so that the entries the store is seeded with
// (the user's data folder above all) never come back empty.
enum class Use { kRead, kReadOrSeed, kWrite };

bool CannotGetThrough(long rc) {
    return rc == kBusy || rc == kBadDb || rc == kIoFailed || rc == kAccessDenied ||
           rc == kFilenameTooLong;
}

// Connects `store` and runs `body(store)`; for kReadOrSeed, falls back on the
// seed when the store cannot be read and the seed has the answer.
template <typename Body> long WithStore(Registry& r, Key root, Use use, Body&& body) {
    Store& store = r.StoreFor(root);
    long rc = store.Connect(use == Use::kWrite);
    if (rc == kSuccess)
        rc = body(store);
    if (use == Use::kReadOrSeed && CannotGetThrough(rc)) {
        Store& seed = r.SeedFor(root);
        if (seed.Connect(false) == kSuccess) {
            const long answer = body(seed);
            if (answer == kSuccess || answer == kMoreData)
                return answer;
        }
    }
    return rc;
}

// Runs `body` on the key behind a handle and its connected store, when the
// handle grants `right`.
template <typename Body> long WithKey(Key key, std::uint32_t right, Use use, Body&& body) {
    Registry& r = State();
    std::lock_guard lock(r.mutex);
    r.fetched.reset();
    OpenedKey* opened = r.Find(key);
    if (!opened)
        return kInvalidHandle;
    if (!Allowed(*opened, right))
        return kAccessDenied;
    return WithStore(r, opened->root, use, [&](Store& store) { return body(*opened, store); });
}

// kSuccess while the key exists, kKeyDeleted once another handle (or
// process) has deleted it.
long KeyStillExists(Store& store, const std::string& folded) {
    bool exists = true;
    if (long rc = store.KeyExists(folded, exists); rc != kSuccess)
        return rc;
    return exists ? kSuccess : kKeyDeleted;
}

// A key named by an open key and a path below it.
struct NamedKey {
    const OpenedKey& base;
    std::vector<std::string_view> levels; // the sub-key's levels, as written
    std::string path;                     // the key's folded path
};

// What the calls that name a key by (parent handle, sub-key) do first: under
// the lock, resolve the name and connect the store it lies in; then
// `body(registry, key, store)`.
template <typename Body>
long WithNamedKey(Key parent, std::string_view sub_key, Use use, Body&& body) {
    Registry& r = State();
    std::lock_guard lock(r.mutex);
    r.fetched.reset();
    const OpenedKey* base = r.Find(parent);
    if (!base)
        return kInvalidHandle;
    NamedKey key{*base, {}, base->folded};
    const std::size_t depth =
        base->folded.empty() ? 0 : 1 + std::count(base->folded.begin(), base->folded.end(), '\\');
    key.levels.reserve(16);
    if (long rc = SplitKeyPath(CString(sub_key), depth, key.levels); rc != kSuccess)
        return rc;
    key.path.reserve(key.path.size() + sub_key.size() + 1);
    for (std::string_view level : key.levels)
        AppendFolded(key.path, level);
    return WithStore(r, base->root, use, [&](Store& store) { return body(r, key, store); });
}

// A deletion in a machine store that does not exist yet makes the store only
// when there is something to delete, since the file has to record it.
long ConnectToDelete(Store& store, bool found) {
    if (!store.InMemory())
        return kSuccess;
    return found ? store.Connect(true) : kFileNotFound;
}

} // namespace

// --- the interface ---------------------------------------------------------------

void CloseStores() {
    Registry& r = State();
    std::lock_guard lock(r.mutex);
    for (int slot : {0, 1}) {
        r.stores[slot].reset();
        r.seeds[slot].reset();
    }
    r.handles.clear();
    r.fetched.reset();
    r.changes = false;
}

long BeginChanges() {
    Registry& r = State();
    std::lock_guard lock(r.mutex);
    if (r.changes)
        return kInvalidParameter;
    r.changes = true;
    for (Key root : {kCurrentUser, kLocalMachine})
        r.StoreFor(root).BeginBatch();
    return kSuccess;
}

long EndChanges(bool keep) {
    Registry& r = State();
    std::lock_guard lock(r.mutex);
    r.changes = false;
    long result = kSuccess;
    for (auto& store : r.stores) {
        if (!store)
            continue;
        const long rc = store->EndBatch(keep && result == kSuccess);
        if (result == kSuccess)
            result = rc;
    }
    return result;
}

namespace {

// Opens a named key that exists. A key opened only to read brings its values.
long OpenNamedKey(Registry& r, const NamedKey& key, Store& store, std::uint32_t sam, Key& result) {
    const bool read_only = (sam & ~(kRead | kWow64_64Key | kWow64_32Key)) == 0;
    FetchedValues fetched;
    bool exists = false;
    if (read_only && !key.path.empty()) {
        // A key with values exists: its values answer both, from one index.
        // Only a key without values is looked up by itself (and then its
        // values are not known to be none: they may have come in between).
        Query q = store.Use(kKeyValues);
        q.Bind(1, key.path);
        int step;
        fetched.all = true;
        while ((step = q.Step()) == SQLITE_ROW) {
            exists = true;
            if (q.IsNull(2) || fetched.values.size() == kFetchedValues) {
                fetched.all = false; // too many, or too big to keep
                break;
            }
            fetched.values.push_back({q.Text(0), static_cast<std::uint32_t>(q.Int(1)), q.Text(2)});
        }
        if (step != SQLITE_ROW && step != SQLITE_DONE)
            return FromSqlite(step);
        fetched.all = fetched.all && exists;
    }
    if (!exists) {
        if (long rc = store.KeyExists(key.path, exists); rc != kSuccess)
            return rc;
        if (!exists) {
            bool parent_exists = true;
            store.KeyExists(key.base.folded, parent_exists);
            return parent_exists ? kFileNotFound : kKeyDeleted;
        }
    }
    result = r.Add({key.base.root, key.path, sam});
    if (read_only && !key.path.empty()) {
        fetched.handle = result;
        r.fetched = std::move(fetched);
    }
    return kSuccess;
}

} // namespace

long OpenKey(Key parent, std::string_view sub_key, std::uint32_t sam, Key& result) {
    // A root without a sub-key is the root itself, whether its store exists or not.
    if ((parent == kCurrentUser || parent == kLocalMachine) && CString(sub_key).empty()) {
        result = parent;
        return kSuccess;
    }
    return WithNamedKey(parent, sub_key, Use::kReadOrSeed,
                        [&](Registry& r, const NamedKey& key, Store& store) {
                            return OpenNamedKey(r, key, store, sam, result);
                        });
}

long CreateKey(Key parent, std::string_view sub_key, std::uint32_t /*options*/, std::uint32_t sam,
               Key& result) {
    return WithNamedKey(
        parent, sub_key, Use::kWrite, [&](Registry& r, const NamedKey& key, Store& store) -> long {
            const long rc = store.Write([&]() -> long {
                if (long e = KeyStillExists(store, key.base.folded); e != kSuccess)
                    return e;
                std::string folded = key.base.folded;
                for (std::string_view level : key.levels) {
                    const std::string parent_path = folded;
                    AppendFolded(folded, level);
                    Query q = store.Use(kKeyInsert);
                    const int step = q.Bind(1, folded).Bind(2, parent_path).Bind(3, level).Step();
                    if (step != SQLITE_DONE)
                        return FromSqlite(step);
                }
                return kSuccess;
            });
            if (rc != kSuccess)
                return rc;
            result = r.Add({key.base.root, key.path, sam});
            return kSuccess;
        });
}

long QueryValue(Key key, std::string_view value_name, std::uint32_t* type, char* data,
                std::uint32_t* size) {
    if (data && !size)
        return kInvalidParameter;
    const std::string fold = Fold(CString(value_name));
    Registry& r = State();
    std::lock_guard lock(r.mutex);
    std::optional<FetchedValues> fetched;
    fetched.swap(r.fetched);
    const OpenedKey* opened = r.Find(key);
    if (!opened)
        return kInvalidHandle;
    if (!Allowed(*opened, kQueryValue))
        return kAccessDenied;
    if (fetched && fetched->handle != key)
        fetched.reset();
    const FetchedValues::Value* value = fetched ? fetched->Find(fold) : nullptr;
    if (!value && fetched && fetched->all)
        return kFileNotFound;
    if (!value) {
        fetched.emplace();
        fetched->handle = key;
        FetchedValues::Value& v = fetched->values.emplace_back();
        const long rc = WithStore(r, opened->root, Use::kReadOrSeed, [&](Store& store) -> long {
            // Whether the key still exists comes with the value.
            Query q = store.Use(kValueOfKey);
            const int step = q.Bind(1, opened->folded).Bind(2, fold).Step();
            if (step != SQLITE_ROW)
                return FromSqlite(step);
            if (!q.Int(0))
                return kKeyDeleted;
            if (q.IsNull(1))
                return kFileNotFound;
            v.fold = fold;
            v.type = static_cast<std::uint32_t>(q.Int(1));
            v.data = q.Text(2);
            return kSuccess;
        });
        if (rc != kSuccess)
            return rc;
        value = &v;
    }
    if (type)
        *type = value->type;
    const auto needed = static_cast<std::uint32_t>(value->data.size());
    long rc = kSuccess;
    if (data) {
        if (*size < needed)
            rc = kMoreData;
        else
            std::memcpy(data, value->data.data(), value->data.size());
    }
    if (size)
        *size = needed;
    if (!data)
        r.fetched.swap(fetched); // for the read that follows the probe
    return rc;
}

long SetValue(Key key, std::string_view value_name, std::uint32_t type, const char* data,
              std::uint32_t size) {
    if (!data && size)
        return kInvalidParameter;
    if (long rc = CheckValueName(value_name); rc != kSuccess)
        return rc;
    return WithKey(key, kSetValue, Use::kWrite, [&](const OpenedKey& opened, Store& store) {
        return store.Write([&]() -> long {
            if (long rc = KeyStillExists(store, opened.folded); rc != kSuccess)
                return rc;
            const std::string_view name = CString(value_name);
            const std::string fold = Fold(name);
            Query q = store.Use(kValuePut);
            q.Bind(1, opened.folded).Bind(2, fold).Bind(3, name);
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
    r.fetched.reset();
    return r.handles.erase(key) ? kSuccess : kInvalidHandle;
}

// Steps to entry `index` of a listing: from the cursor when it is the next
// one, by position otherwise. The folded name is the statement's last column.
int StepTo(Query& q, const std::string& folded, Cursor& cursor, std::uint32_t index, int columns) {
    if (index != 0 && index == cursor.next)
        q.Bind(1, folded).Bind(2, cursor.after);
    else
        q.Bind(1, folded).Bind(2, std::int64_t{index});
    const int step = q.Step();
    if (step == SQLITE_ROW) {
        cursor.next = index + 1;
        cursor.after = q.Text(columns - 1);
    }
    return step;
}

long EnumKey(Key key, std::uint32_t index, std::string& name) {
    return WithKey(key, kEnumerateSubKeys, Use::kRead, [&](OpenedKey& opened, Store& store) {
        const bool next = index != 0 && index == opened.sub_keys.next;
        Query q = store.Use(next ? kSubKeyAfter : kSubKeyAt);
        const int step = StepTo(q, opened.folded, opened.sub_keys, index, 2);
        if (step != SQLITE_ROW)
            return step == SQLITE_DONE ? kNoMoreItems : FromSqlite(step);
        name = q.Text(0);
        return kSuccess;
    });
}

long EnumValue(Key key, std::uint32_t index, std::string& name, std::uint32_t& type,
               std::string& data) {
    return WithKey(key, kQueryValue, Use::kRead, [&](OpenedKey& opened, Store& store) {
        const bool next = index != 0 && index == opened.values.next;
        Query q = store.Use(next ? kValueAfter : kValueAt);
        const int step = StepTo(q, opened.folded, opened.values, index, 4);
        if (step != SQLITE_ROW)
            return step == SQLITE_DONE ? kNoMoreItems : FromSqlite(step);
        name = q.Text(0);
        type = static_cast<std::uint32_t>(q.Int(1));
        data = q.Text(2);
        return kSuccess;
    });
}

long DeleteValue(Key key, std::string_view value_name) {
    const std::string fold = Fold(CString(value_name));
    return WithKey(key, kSetValue, Use::kRead, [&](const OpenedKey& opened, Store& store) -> long {
        if (store.InMemory()) {
            bool found = false;
            {
                Query q = store.Use(kValueGet);
                found = q.Bind(1, opened.folded).Bind(2, fold).Step() == SQLITE_ROW;
            }
            if (long rc = ConnectToDelete(store, found); rc != kSuccess)
                return rc;
        }
        return store.Write([&]() -> long {
            Query q = store.Use(kValueDelete);
            const int step = q.Bind(1, opened.folded).Bind(2, fold).Step();
            if (step != SQLITE_DONE)
                return FromSqlite(step);
            return store.Changes() ? kSuccess : kFileNotFound;
        });
    });
}

long DeleteTree(Key parent, std::string_view sub_key) {
    return WithNamedKey(parent, sub_key, Use::kRead,
                        [&](Registry&, const NamedKey& key, Store& store) -> long {
                            if (store.InMemory()) {
                                bool exists = false;
                                if (long e = store.KeyExists(key.path, exists); e != kSuccess)
                                    return e;
                                if (long rc = ConnectToDelete(store, exists); rc != kSuccess)
                                    return rc;
                            }
                            return store.Write([&]() -> long {
                                bool exists = false;
                                if (long e = store.KeyExists(key.path, exists); e != kSuccess)
                                    return e;
                                if (!exists)
                                    return kFileNotFound;
                                // Without a sub-key the key itself stays and only its contents go.
                                const std::int64_t keep_top = key.levels.empty() ? 1 : 0;
                                const std::string below = key.path + '\\', after = key.path + ']';
                                for (Statement s : {kTreeDeleteValues, kTreeDeleteKeys}) {
                                    Query q = store.Use(s);
                                    q.Bind(1, key.path).Bind(2, below).Bind(3, after);
                                    if (s == kTreeDeleteKeys)
                                        q.Bind(4, keep_top);
                                    if (const int step = q.Step(); step != SQLITE_DONE)
                                        return FromSqlite(step);
                                }
                                return kSuccess;
                            });
                        });
}

bool HasSeparate64BitView() {
    return false;
}

} // namespace tamberlin::platform::registry
