// Reading one value from a store of 10,000 keys, beside the floor: a bare
// SQLite point query on a table of the same size through a kept connection.
#include "bench/bench_env.h"
#include "tamberlin/sysutil/registry.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <string>

namespace {

constexpr int kKeys = 10000;

std::string KeyPath(int i) {
    return "Software\\Bench\\Group" + std::to_string(i % 100) + "\\Key" + std::to_string(i);
}

void GetUserRegStringFrom10000Keys(benchmark::State& state) {
    tamberlin::bench::BenchFolder folder;
    for (int i = 0; i < kKeys; ++i)
        modQFSystemUtilities::SaveUserRegString(KeyPath(i), "Value", "text " + std::to_string(i),
                                                true);
    int i = 0;
    std::string value;
    for (auto _ : state) {
        modQFSystemUtilities::GetUserRegString(KeyPath(i), "Value", value);
        benchmark::DoNotOptimize(value);
        i = (i + 7919) % kKeys;
    }
}
BENCHMARK(GetUserRegStringFrom10000Keys);

void BareSqlitePointQuery(benchmark::State& state) {
    tamberlin::bench::BenchFolder folder;
    sqlite3* db = nullptr;
    sqlite3_open((folder.path() / "floor.db").c_str(), &db);
    sqlite3_exec(
        db,
        "PRAGMA journal_mode=WAL; CREATE TABLE t(k TEXT PRIMARY KEY, v BLOB) WITHOUT ROWID;"
        "BEGIN",
        nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO t VALUES (?1, ?2)", -1, &insert, nullptr);
    for (int i = 0; i < kKeys; ++i) {
        const std::string key = KeyPath(i), value = "text " + std::to_string(i);
        sqlite3_bind_text(insert, 1, key.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_blob(insert, 2, value.data(), static_cast<int>(value.size()),
                          SQLITE_TRANSIENT);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(db, "SELECT v FROM t WHERE k = ?1", -1, &select, nullptr);
    int i = 0;
    for (auto _ : state) {
        const std::string key = KeyPath(i);
        sqlite3_bind_text(select, 1, key.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(select) == SQLITE_ROW)
            benchmark::DoNotOptimize(sqlite3_column_blob(select, 0));
        sqlite3_reset(select);
        i = (i + 7919) % kKeys;
    }
    sqlite3_finalize(select);
    sqlite3_close(db);
}
BENCHMARK(BareSqlitePointQuery);

} // namespace

BENCHMARK_MAIN();
