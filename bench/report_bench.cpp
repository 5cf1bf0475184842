// The report route's costs, each beside its floor: building and compressing
// an envelope that carries a 1 MB log beside zlib's compress2 on the same
// log, and the time a report's hand-over adds to the caller's thread beside a
// bare push to a locked queue.
#include "bench/bench_env.h"
#include "report/collector.h"

#include <benchmark/benchmark.h>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <zlib.h>

namespace {

namespace report = tamberlin::report;

std::string OneMegabyteLog() {
    std::string log;
    for (int i = 0; log.size() < (1u << 20); ++i)
        log += "Dec 7 2026 18:43:" + std::to_string(i % 60) +
               ", opening /home/someone/documents/file" + std::to_string(i) +
               ".txt, 53, File not found, frmMain, 2\r\n";
    log.resize(1u << 20);
    return log;
}

report::Report Prototype() {
    report::Report built = report::ReportFromError("Could not open the file.", "opening a document",
                                                   53, "File not found", "frmMain.cmdOpen_Click");
    built.attachments.push_back(
        {"error-log.txt", OneMegabyteLog(), {}, report::Attachment::Kind::kLog});
    return built;
}

void BuildAndCompressEnvelope(benchmark::State& state) {
    const report::Report built = Prototype();
    report::Context context;
    context.log_tail_bytes = 2u << 20;
    context.scrub = report::Scrubber("/home/someone", "someone", "somehost");
    std::string body;
    for (auto _ : state) {
        const std::string envelope = report::BuildEnvelope(built, "", context, built.time);
        report::Gzip(envelope, body);
        benchmark::DoNotOptimize(body.data());
    }
}
BENCHMARK(BuildAndCompressEnvelope)->Unit(benchmark::kMillisecond);

void BareCompress2(benchmark::State& state) {
    const std::string log = OneMegabyteLog();
    std::string out(compressBound(static_cast<uLong>(log.size())), '\0');
    for (auto _ : state) {
        uLongf size = static_cast<uLongf>(out.size());
        compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                  reinterpret_cast<const Bytef*>(log.data()), static_cast<uLong>(log.size()),
                  Z_DEFAULT_COMPRESSION);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BareCompress2)->Unit(benchmark::kMillisecond);

// A small report, as the error dialog hands one over.
report::Report Small() {
    return report::ReportFromError("Could not open the file.", "opening a document", 53,
                                   "File not found", "frmMain.cmdOpen_Click");
}

void SubmitReport(benchmark::State& state) {
    tamberlin::bench::BenchFolder folder;
    report::CollectorSettings settings;
    settings.queue_folder = (folder.path() / "Collector").string();
    settings.most_reports = 20;
    // A collector nobody listens on: the worker's sends fail at once, the
    // caller's side is what is measured.
    report::Dsn dsn;
    std::string error;
    report::ParseDsn("http://key@127.0.0.1:9/1", dsn, error);
    report::Collector collector(std::move(settings), report::MakeHttpTransport(dsn, {}));
    const report::Report prototype = Small();
    for (auto _ : state) {
        report::Report copy = prototype;
        collector.Submit(std::move(copy));
    }
    collector.Shutdown(std::chrono::milliseconds(0));
}
BENCHMARK(SubmitReport);

void BarePushToQueue(benchmark::State& state) {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<report::Report> queue;
    const report::Report prototype = Small();
    for (auto _ : state) {
        report::Report copy = prototype;
        {
            const std::lock_guard lock(mutex);
            queue.push_back(std::move(copy));
        }
        wake.notify_one();
        if (queue.size() > 1000)
            queue.clear();
    }
}
BENCHMARK(BarePushToQueue);

} // namespace

BENCHMARK_MAIN();
