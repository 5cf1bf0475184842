// InitAppData, beside its floors: one fontconfig match (two are made for the
// fonts, one more for the smoothing) and the store's first connection.
#include "bench/bench_env.h"
#include "platform/system.h"
#include "tamberlin/app/all_data.h"
#include "tamberlin/sysutil/folders.h"

#include <benchmark/benchmark.h>

namespace {

void InitAppData(benchmark::State& state) {
    tamberlin::bench::BenchFolder folder;
    for (auto _ : state)
        modQFAllData::InitAppData();
}
BENCHMARK(InitAppData);

void OneFontMatch(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(tamberlin::platform::system::StandardFontName("Tahoma"));
}
BENCHMARK(OneFontMatch);

void FirstStoreConnectionAndRead(benchmark::State& state) {
    tamberlin::bench::BenchFolder folder;
    modQFSystemUtilities::GetAppDataPath(); // creates and seeds the store
    for (auto _ : state) {
        tamberlin::platform::registry::CloseStores();
        benchmark::DoNotOptimize(modQFSystemUtilities::GetAppDataPath());
    }
}
BENCHMARK(FirstStoreConnectionAndRead);

} // namespace

BENCHMARK_MAIN();
