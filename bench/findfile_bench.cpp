// FindFile through a search path of 200 folders (the file is in the last),
// beside the floor: 200 bare stat calls.
#include "bench/bench_env.h"
#include "tamberlin/app/all_data.h"
#include "tamberlin/sysutil/folders.h"

#include <benchmark/benchmark.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr int kFolders = 200;

std::vector<std::string> MakeFolders(const std::filesystem::path& root) {
    std::vector<std::string> folders;
    for (int i = 0; i < kFolders; ++i) {
        const auto folder = root / ("dir" + std::to_string(i));
        std::filesystem::create_directories(folder);
        folders.push_back(folder.string());
    }
    std::ofstream(folders.back() + "/wanted.txt") << "x";
    return folders;
}

void FindFileOver200Folders(benchmark::State& state) {
    tamberlin::bench::BenchFolder folder;
    const std::vector<std::string> folders = MakeFolders(folder.path());
    std::string path;
    for (const std::string& f : folders)
        path += f + ":";
    setenv("PATH", path.c_str(), 1);
    modQFAllData::strAppPath = folders.front() + "/";
    for (auto _ : state) {
        std::string where;
        benchmark::DoNotOptimize(modQFSystemUtilities::FindFile("wanted.txt", where));
    }
}
BENCHMARK(FindFileOver200Folders);

void Bare200Stats(benchmark::State& state) {
    tamberlin::bench::BenchFolder folder;
    std::vector<std::string> candidates;
    for (const std::string& f : MakeFolders(folder.path()))
        candidates.push_back(f + "/wanted.txt");
    for (auto _ : state) {
        struct stat st;
        for (const std::string& c : candidates)
            benchmark::DoNotOptimize(stat(c.c_str(), &st));
    }
}
BENCHMARK(Bare200Stats);

} // namespace

BENCHMARK_MAIN();
