// tamberlin-report: builds a report and sends it to the configured collector
// (TAMBERLIN_DSN or the settings), shows what would be sent, or sends what
// waits in a queue folder.
//
//   tamberlin-report send  --queue DIR [report options] [--wait MS]
//   tamberlin-report show  [report options]
//   tamberlin-report drain --queue DIR [--wait MS]
//
// --timeout MS bounds each request (15 s by default).
// Report options: --message TEXT --operation TEXT --number N --description
// TEXT --source TEXT --log FILE (its last lines are attached) --crash RECORD
// (a crash record instead of an error) --dump FILE (with --crash).
//
// Each send's outcome is printed as one line ("sent ID", "kept ID reason",
// "dropped ID reason"), then "queued N". Exit status: 0 when nothing waits
// in the queue, 3 when something does, 2 when the route is off or the
// arguments are wrong.
#include "platform/files.h"
#include "platform/system.h"
#include "report/collector.h"

#include <chrono>
#include <iostream>
#include <map>

namespace {

using namespace tamberlin;

int Usage(const std::string& why) {
    std::cerr << "tamberlin-report: " << why << "\n"
              << "usage: tamberlin-report send|show|drain [--queue DIR] [--message TEXT] "
                 "[--operation TEXT] [--number N] [--description TEXT] [--source TEXT] "
                 "[--log FILE] [--crash RECORD [--dump FILE]] [--wait MS] [--timeout MS]\n";
    return 2;
}

bool BuildReport(const std::map<std::string, std::string>& options, report::Report& out,
                 std::string& error) {
    const auto get = [&](const char* name) {
        const auto found = options.find(name);
        return found == options.end() ? std::string() : found->second;
    };
    if (const std::string crash = get("crash"); !crash.empty()) {
        std::string record;
        if (!platform::files::ReadWholeFile(crash, record)) {
            error = "cannot read the crash record " + crash;
            return false;
        }
        out = report::ReportFromCrashRecord(record, get("dump"));
    } else {
        const std::string number = get("number");
        std::int32_t value = 0;
        for (char c : number) {
            if (c < '0' || c > '9' || value > 100000000) {
                error = "--number takes a number";
                return false;
            }
            value = value * 10 + (c - '0');
        }
        out = report::ReportFromError(get("message"), get("operation"), value, get("description"),
                                      get("source"));
    }
    if (const std::string log = get("log"); !log.empty())
        out.attachments.push_back({"error-log.txt", {}, log, report::Attachment::Kind::kLog});
    if (out.event_id.empty()) {
        error = "the system gave no random bytes for an event id";
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    namespace sys = tamberlin::platform::system;
    sys::UseUtf8Console();
    const std::vector<std::string> args = sys::CommandLineArguments(argc, argv);
    if (args.empty())
        return Usage("no command");
    const std::string& command = args[0];
    std::map<std::string, std::string> options;
    for (std::size_t i = 1; i < args.size(); i += 2) {
        if (args[i].rfind("--", 0) != 0 || i + 1 >= args.size())
            return Usage("options come as --name value");
        options[args[i].substr(2)] = args[i + 1];
    }
    const long wait_ms = options.count("wait") ? std::atol(options["wait"].c_str()) : 10000;

    if (command == "show") {
        report::Report built;
        std::string error;
        if (!BuildReport(options, built, error))
            return Usage(error);
        std::cout << report::BuildEnvelope(built, report::ConfiguredDsn(), report::CurrentContext(),
                                           built.time);
        return 0;
    }
    if (command != "send" && command != "drain")
        return Usage("unknown command " + command);
    if (options["queue"].empty())
        return Usage("--queue names the queue folder");

    report::Report built;
    if (command == "send") {
        std::string error;
        if (!BuildReport(options, built, error))
            return Usage(error);
    }
    auto collector = report::StartCollector(
        options["queue"], [](const std::string& line) { std::cerr << line << "\n"; },
        options.count("timeout") ? std::atol(options["timeout"].c_str()) : 15000);
    if (!collector) {
        std::cerr << "tamberlin-report: no collector is configured (TAMBERLIN_DSN)\n";
        return 2;
    }
    if (command == "send")
        collector->Submit(std::move(built));
    collector->Flush(std::chrono::milliseconds(wait_ms));
    collector->Shutdown(std::chrono::milliseconds(2000));
    for (const std::string& line : collector->Outcomes())
        std::cout << line << "\n";
    const std::size_t queued = report::Queue(options["queue"]).Entries().size();
    std::cout << "queued " << queued << "\n";
    return queued == 0 ? 0 : 3;
}
