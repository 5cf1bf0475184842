// A report: one error or crash as it leaves the program, built once (from a
// trapped error or from a crash record) and handed to a transport.
//
// Building a report reads nothing but its inputs; nothing here throws past
// its caller except std::bad_alloc.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tamberlin::report {

enum class Level { kError, kFatal };

// How the error reached us: the trap helper caught it, a signal or a
// structured exception ended the process, or an exception reached
// std::terminate.
enum class Mechanism { kTrap, kSignalHandler, kSeh, kTerminate };

struct Attachment {
    enum class Kind { kLog, kCrashRecord, kMinidump, kOther };
    std::string name;
    // The bytes, or the file to read them from when `path` is set.
    std::string content;
    std::string path;
    Kind kind = Kind::kOther;
};

// One module loaded in a crashed process.
struct Module {
    std::uint64_t address = 0;
    std::uint64_t size = 0; // 0 when the record does not say
    std::string build_id;   // hex, empty when the file has none
    std::string path;
};

struct Report {
    std::string event_id;  // 32 lowercase hex digits (a UUID version 4)
    std::int64_t time = 0; // seconds since 1970, UTC
    Level level = Level::kError;
    Mechanism mechanism = Mechanism::kTrap;
    bool handled = true;
    std::string message; // the composed message the user saw
    std::string operation;
    std::int32_t number = 0;
    std::string description;
    std::string source;
    // The exception's type as the collector groups it ("RuntimeError 5",
    // "SIGSEGV", "EXCEPTION_ACCESS_VIOLATION").
    std::string type;
    // Crashes: return addresses innermost first, and the loaded modules.
    std::vector<std::uint64_t> stack;
    std::vector<Module> modules;
    std::vector<Attachment> attachments;
};

// A new event id from the system's random source (version 4, variant 1);
// empty when the system has no such source.
std::string NewEventId();

// The event id of these bytes: the same bytes always give the same id, so a
// report made again from the same file is known to the queue as already
// queued or sent.
std::string EventIdOf(std::string_view bytes);

// The report of a trapped error, stamped with a new event id and the time
// now.
Report ReportFromError(std::string_view message, std::string_view operation, std::int32_t number,
                       std::string_view description, std::string_view source);

// The report of a crash record (the text platform/crash.h describes): a
// fatal, unhandled report with the stack and modules; the record itself is
// attached, and so is the minidump when `dump_path` is not empty. Its event
// id is the record's (EventIdOf). A record that cannot be read gives what
// could be read: nothing here fails.
Report ReportFromCrashRecord(std::string_view record, std::string_view dump_path = {});

} // namespace tamberlin::report
