// One trip down the error path (classify, compose, log one line, show the
// dialog and take its answer) beside the floor: the bare calls logging needs
// (the folder check, the read-only check, open-append-close of the same line).
#include "bench/bench_env.h"
#include "bench/presses_ok.h"
#include "tamberlin/app/all_data.h"
#include "tamberlin/errors/critical_error_handler.h"
#include "tamberlin/errors/error_log.h"
#include "tamberlin/ui/host.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const tamberlin::runtime::CurrentError kError{53, "File not found", "Tamberlin", 2};

void HandleCriticalErrorOnce(benchmark::State& state) {
    tamberlin::bench::BenchFolder folder;
    tamberlin::bench::PressesOk host;
    tamberlin::ui::SetHost(&host);
    modQFAllData::strAppTitle = "Tamberlin";
    modQFAllData::strAppEXEName = "bench";
    modQFCriticalErrorHandler::strErrorLogFolder = folder.path().string() + "/";
    for (auto _ : state)
        benchmark::DoNotOptimize(
            modQFCriticalErrorHandler::HandleCriticalError(kError, "opening the project file"));
    tamberlin::ui::SetHost(nullptr);
}
BENCHMARK(HandleCriticalErrorOnce);

void BareFolderCheckReadOnlyCheckAndAppend(benchmark::State& state) {
    tamberlin::bench::BenchFolder folder;
    modQFAllData::strAppEXEName = "bench";
    modQFCriticalErrorHandler::strErrorLogFolder = folder.path().string() + "/";
    const std::string path = modQFCriticalErrorHandler::GetErrorLogPath();
    const std::string line =
        modQFCriticalErrorHandler::FormatErrorLogLine("opening the project file", kError);
    for (auto _ : state) {
        struct stat st;
        benchmark::DoNotOptimize(stat(modQFCriticalErrorHandler::strErrorLogFolder.c_str(), &st));
        benchmark::DoNotOptimize(stat(path.c_str(), &st));
        const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
        benchmark::DoNotOptimize(write(fd, line.data(), line.size()));
        close(fd);
    }
}
BENCHMARK(BareFolderCheckReadOnlyCheckAndAppend);

} // namespace

BENCHMARK_MAIN();
