// A start of the demo (`raise` in terminal mode, its dialog closed by the end
// of input) with two crashes of earlier runs pending, beside the same start
// with none: showing and logging them must not wait for their stacks' names.
// Each sample is a process start; the records are real ones, left by the demo
// crashing.
#include "bench/bench_env.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Runs the demo with these arguments, input and output on /dev/null.
void RunDemo(const std::vector<std::string>& args) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        std::vector<char*> argv = {const_cast<char*>(TAMBERLIN_DEMO)};
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
}

const std::vector<std::string> kRaise = {"raise", "--number", "53", "--allow-email"};

void Start(benchmark::State& state, int pending) {
    tamberlin::bench::BenchFolder folder;
    setenv("TAMBERLIN_UI", "terminal", 1);
    const fs::path data = folder.path() / "data/Quillfern/Tamberlin";
    const fs::path crashes = data / "Crashes";
    // Two real records, kept to be put back before each start.
    std::vector<std::pair<fs::path, std::string>> records;
    for (int i = 0; i < pending; ++i)
        RunDemo({"crash", i == 0 ? "segv" : "abort"});
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(crashes, ec)) {
        std::ostringstream text;
        text << std::ifstream(entry.path(), std::ios::binary).rdbuf();
        records.emplace_back(entry.path(), text.str());
    }
    RunDemo(kRaise); // the store and the log exist, as at any later start
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(crashes / "Reported");
        for (const auto& [path, text] : records)
            std::ofstream(path, std::ios::binary) << text;
        state.ResumeTiming();
        RunDemo(kRaise);
    }
    unsetenv("TAMBERLIN_UI");
}

void StartWithTwoPendingCrashes(benchmark::State& state) {
    Start(state, 2);
}
BENCHMARK(StartWithTwoPendingCrashes)->UseRealTime()->Unit(benchmark::kMillisecond);

void BareStartWithNoPendingCrashes(benchmark::State& state) {
    Start(state, 0);
}
BENCHMARK(BareStartWithNoPendingCrashes)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
