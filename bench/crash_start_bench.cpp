// A start of the demo (`raise` in terminal mode, its dialog closed by the end
// of input) with two crashes of earlier runs pending, beside the same start
// with none: showing and logging them must not wait for their stacks' names.
// Each sample is a process start; the records are real ones, left by the demo
// crashing.
//
// Then the same start with a collector configured (a DSN on a closed loopback
// port, so nothing leaves) and 20 reports queued by earlier runs, beside the
// start with none queued: the queue is sent on the route's own thread, so the
// start must not wait for it.
#include "bench/bench_env.h"
#include "platform/registry_sqlite.h"
#include "tamberlin/sysutil/registry.h"

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

void StartWithQueue(benchmark::State& state, int queued) {
    tamberlin::bench::BenchFolder folder;
    setenv("TAMBERLIN_UI", "terminal", 1);
    setenv("TAMBERLIN_DSN", "http://key@127.0.0.1:9/1", 1);
    tamberlin::platform::registry::CloseStores(); // this folder's store, closed again
    modQFSystemUtilities::SaveUserRegString("Software\\Tamberlin\\Reports", "Consent", "always",
                                            true);
    tamberlin::platform::registry::CloseStores();
    const fs::path outbox = folder.path() / "data/Quillfern/Tamberlin/Outbox";
    RunDemo(kRaise); // one real report, queued
    std::string bytes;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(outbox, ec))
        if (entry.path().extension() == ".envelope") {
            std::ostringstream text;
            text << std::ifstream(entry.path(), std::ios::binary).rdbuf();
            bytes = text.str();
            fs::remove(entry.path(), ec);
        }
    if (bytes.empty())
        state.SkipWithError("the demo queued no report: the route is not on");
    for (auto _ : state) {
        state.PauseTiming();
        for (const auto& entry : fs::directory_iterator(outbox, ec))
            if (entry.path().extension() == ".envelope")
                fs::remove(entry.path(), ec);
        // Named as the queue names them: time, event id, size.
        for (int i = 0; i < queued; ++i) {
            char name[96];
            std::snprintf(name, sizeof name, "%013d-%032d-%zu.envelope", 1796669023 + i, i,
                          bytes.size());
            std::ofstream(outbox / name, std::ios::binary) << bytes;
        }
        state.ResumeTiming();
        RunDemo(kRaise);
    }
    unsetenv("TAMBERLIN_DSN");
    unsetenv("TAMBERLIN_UI");
}

void StartWith20QueuedReports(benchmark::State& state) {
    StartWithQueue(state, 20);
}
BENCHMARK(StartWith20QueuedReports)->UseRealTime()->Unit(benchmark::kMillisecond);

void BareStartWithNoQueuedReports(benchmark::State& state) {
    StartWithQueue(state, 0);
}
BENCHMARK(BareStartWithNoQueuedReports)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
