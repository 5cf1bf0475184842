// Reading one value from stores of 1,000, 10,000 and 100,000 keys, each
// beside its floor: a bare SQLite point query on a table of the same size
// through a kept connection. Also the first read of a process (connect,
// schema probe, statements), beside a bare open, query and close, and that
// read again while another connection holds the write lock.
#include "bench/bench_env.h"
#include "platform/registry.h"
#include "platform/registry_sqlite.h"
#include "tamberlin/sysutil/registry.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <string>

namespace {

namespace reg = tamberlin::platform::registry;

std::string KeyPath(int i) {
    return "Software\\Bench\\Group" + std::to_string(i % 100) + "\\Key" + std::to_string(i);
}

const std::filesystem::path& Folder() {
    static tamberlin::bench::BenchFolder folder;
    return folder.path();
}

// Points the user store at the one of `keys` keys, built in one transaction
// the first time it is asked for.
void UseStoreOf(int keys) {
    const std::filesystem::path config = Folder() / ("config-" + std::to_string(keys));
    const bool built = std::filesystem::exists(config);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    reg::CloseStores();
    if (built)
        return;
    reg::BeginChanges();
    for (int i = 0; i < keys; ++i)
        modQFSystemUtilities::SaveUserRegString(KeyPath(i), "Value", "text " + std::to_string(i),
                                                true);
    reg::EndChanges(true);
}

// The floor's table of `keys` rows, built the first time it is asked for.
std::string FloorOf(int keys) {
    const std::string path = (Folder() / ("floor-" + std::to_string(keys) + ".db")).string();
    if (std::filesystem::exists(path))
        return path;
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db,
                 "PRAGMA journal_mode=WAL; CREATE TABLE t(k TEXT PRIMARY KEY, v BLOB) WITHOUT "
                 "ROWID; BEGIN",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO t VALUES (?1, ?2)", -1, &insert, nullptr);
    for (int i = 0; i < keys; ++i) {
        const std::string key = KeyPath(i), value = "text " + std::to_string(i);
        sqlite3_bind_text(insert, 1, key.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_blob(insert, 2, value.data(), static_cast<int>(value.size()),
                          SQLITE_TRANSIENT);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return path;
}

void GetUserRegString(benchmark::State& state) {
    const int keys = static_cast<int>(state.range(0));
    UseStoreOf(keys);
    int i = 0;
    std::string value;
    for (auto _ : state) {
        modQFSystemUtilities::GetUserRegString(KeyPath(i), "Value", value);
        benchmark::DoNotOptimize(value);
        i = (i + 7919) % keys;
    }
}
BENCHMARK(GetUserRegString)->Arg(1000)->Arg(10000)->Arg(100000);

void BareSqlitePointQuery(benchmark::State& state) {
    const int keys = static_cast<int>(state.range(0));
    sqlite3* db = nullptr;
    sqlite3_open(FloorOf(keys).c_str(), &db);
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(db, "SELECT v FROM t WHERE k = ?1", -1, &select, nullptr);
    int i = 0;
    for (auto _ : state) {
        const std::string key = KeyPath(i);
        sqlite3_bind_text(select, 1, key.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(select) == SQLITE_ROW)
            benchmark::DoNotOptimize(sqlite3_column_blob(select, 0));
        sqlite3_reset(select);
        i = (i + 7919) % keys;
    }
    sqlite3_finalize(select);
    sqlite3_close(db);
}
BENCHMARK(BareSqlitePointQuery)->Arg(1000)->Arg(10000)->Arg(100000);

// A process's first read: the connection is made within it. Answers the
// value read.
std::string TimeFirstReads(benchmark::State& state) {
    std::string value;
    for (auto _ : state) {
        state.PauseTiming();
        reg::CloseStores();
        state.ResumeTiming();
        modQFSystemUtilities::GetUserRegString(KeyPath(1), "Value", value);
        benchmark::DoNotOptimize(value);
    }
    return value;
}

void FirstGetUserRegString(benchmark::State& state) {
    UseStoreOf(1000);
    TimeFirstReads(state);
}
BENCHMARK(FirstGetUserRegString);

// The same first read while another connection holds the store's write lock
// in an open transaction: a reader must not wait for it.
void FirstGetUserRegStringWhileAWriterHoldsTheStore(benchmark::State& state) {
    UseStoreOf(1000);
    sqlite3* writer = nullptr;
    sqlite3_open(reg::StorePath(reg::kCurrentUser).c_str(), &writer);
    sqlite3_exec(writer, "BEGIN IMMEDIATE; DELETE FROM reg_values WHERE 0", nullptr, nullptr,
                 nullptr);
    if (TimeFirstReads(state) != "text 1")
        state.SkipWithError("the reader did not get the value");
    sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(writer);
}
BENCHMARK(FirstGetUserRegStringWhileAWriterHoldsTheStore);

void BareSqliteFirstQuery(benchmark::State& state) {
    const std::string path = FloorOf(1000);
    const std::string key = KeyPath(1);
    for (auto _ : state) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_stmt* select = nullptr;
        sqlite3_prepare_v2(db, "SELECT v FROM t WHERE k = ?1", -1, &select, nullptr);
        sqlite3_bind_text(select, 1, key.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(select) == SQLITE_ROW)
            benchmark::DoNotOptimize(sqlite3_column_blob(select, 0));
        sqlite3_finalize(select);
        sqlite3_close(db);
    }
}
BENCHMARK(BareSqliteFirstQuery);

} // namespace

BENCHMARK_MAIN();
