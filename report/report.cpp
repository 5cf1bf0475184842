// Reports built from a trapped error or from a crash record.
#include "report/report.h"

#include "platform/machine.h"
#include "report/crash_record.h"

#include <algorithm>
#include <chrono>

namespace tamberlin::report {
namespace {

std::int64_t SecondsNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string SignalName(std::uint64_t signal) {
    // Linux's numbers: the record's "signal:" line is written there only.
    switch (signal) {
    case 4:
        return "SIGILL";
    case 5:
        return "SIGTRAP";
    case 6:
        return "SIGABRT";
    case 7:
        return "SIGBUS";
    case 8:
        return "SIGFPE";
    case 11:
        return "SIGSEGV";
    default:
        return "signal " + std::to_string(signal);
    }
}

std::string ExceptionName(std::uint64_t code) {
    switch (code) {
    case 0xC0000005:
        return "EXCEPTION_ACCESS_VIOLATION";
    case 0xC0000094:
        return "EXCEPTION_INT_DIVIDE_BY_ZERO";
    case 0xC00000FD:
        return "EXCEPTION_STACK_OVERFLOW";
    case 0xC000001D:
        return "EXCEPTION_ILLEGAL_INSTRUCTION";
    case 0x80000003:
        return "EXCEPTION_BREAKPOINT";
    case 0xC0000409:
        return "STATUS_STACK_BUFFER_OVERRUN";
    case 0xC000008E:
        return "EXCEPTION_FLT_DIVIDE_BY_ZERO";
    case 0x40000015:
        return "STATUS_FATAL_APP_EXIT";
    default: {
        static const char digits[] = "0123456789ABCDEF";
        std::string text = "exception 0x";
        for (int shift = 28; shift >= 0; shift -= 4)
            text += digits[(code >> shift) & 0xf];
        return text;
    }
    }
}

} // namespace

std::string NewEventId() {
    unsigned char bytes[16];
    if (!platform::machine::RandomBytes(bytes, sizeof bytes))
        return {};
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0f) | 0x40);
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3f) | 0x80);
    static const char digits[] = "0123456789abcdef";
    std::string id;
    for (unsigned char b : bytes) {
        id += digits[b >> 4];
        id += digits[b & 0xf];
    }
    return id;
}

std::string EventIdOf(std::string_view bytes) {
    // Two FNV-1a hashes with different starts: not a secret, only a name.
    std::uint64_t halves[2] = {0xcbf29ce484222325ull, 0x84222325cbf29ce4ull};
    for (std::uint64_t& h : halves)
        for (char c : bytes)
            h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
    static const char digits[] = "0123456789abcdef";
    std::string id;
    for (std::uint64_t h : halves)
        for (int shift = 60; shift >= 0; shift -= 4)
            id += digits[(h >> shift) & 0xf];
    id[12] = '4'; // version 4, variant 1, as NewEventId's
    const int nibble = id[16] <= '9' ? id[16] - '0' : id[16] - 'a' + 10;
    id[16] = digits[8 + (nibble & 3)];
    return id;
}

Report ReportFromError(std::string_view message, std::string_view operation, std::int32_t number,
                       std::string_view description, std::string_view source) {
    Report report;
    report.event_id = NewEventId();
    report.time = SecondsNow();
    report.message = message;
    report.operation = operation;
    report.number = number;
    report.description = description;
    report.source = source;
    report.type = "Error " + std::to_string(number);
    return report;
}

Report ReportFromCrashRecord(std::string_view record, std::string_view dump_path) {
    const crash_record::Record r = crash_record::Parse(record);
    Report report;
    report.event_id = record.empty() ? NewEventId() : EventIdOf(record);
    report.level = Level::kFatal;
    report.handled = false;
    report.mechanism = Mechanism::kSeh;
    report.time = r.seconds && *r.seconds >= 0 && *r.seconds < (std::int64_t{1} << 40)
                      ? *r.seconds
                      : SecondsNow();
    report.operation = r.operation;
    report.number = r.uncaught;
    report.stack.assign(r.stack.begin(), r.stack.end());
    std::erase(report.stack, std::uint64_t{0});
    for (const crash_record::Module& m : r.modules) {
        Module module;
        module.address = m.base;
        if (m.build_id != "-")
            module.build_id = m.build_id;
        module.path = m.path;
        // A module's size is where its last mapping ends.
        for (const crash_record::Mapping& map : r.maps)
            if (map.path == m.path && map.end > m.base)
                module.size = std::max(module.size, map.end - m.base);
        report.modules.push_back(std::move(module));
    }

    if (!r.uncaught_what.empty() || r.uncaught != 0) {
        report.mechanism = Mechanism::kTerminate;
        report.type = "Error " + std::to_string(report.number);
        report.description = r.uncaught_what;
    } else if (r.signal) {
        report.mechanism = Mechanism::kSignalHandler;
        report.type = SignalName(static_cast<std::uint64_t>(*r.signal));
    } else {
        report.type = r.code ? ExceptionName(*r.code) : "crash";
    }
    if (report.description.empty())
        report.description = report.type;
    report.message = "The program ended unexpectedly (" + report.type + ")" +
                     (report.operation.empty() ? "" : " while " + report.operation) + ".";

    report.attachments.push_back(
        {"crash-record.txt", std::string(record), {}, Attachment::Kind::kCrashRecord});
    if (!dump_path.empty())
        report.attachments.push_back(
            {"minidump.dmp", {}, std::string(dump_path), Attachment::Kind::kMinidump});
    return report;
}

} // namespace tamberlin::report
