// Reports built from a trapped error or from a crash record.
#include "report/report.h"

#include "platform/machine.h"

#include <chrono>
#include <map>

namespace tamberlin::report {
namespace {

std::int64_t SecondsNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// A number in the record's hex ("0x7f..") or decimal form; 0 when it is
// neither, and `ok` says so.
std::uint64_t Number(std::string_view text, bool& ok, int base = 0) {
    ok = false;
    if (base == 0) {
        base = 10;
        if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
            text.remove_prefix(2);
            base = 16;
        }
    }
    std::uint64_t value = 0;
    for (char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0 || value > (~std::uint64_t{0} - static_cast<unsigned>(digit)) / base)
            return 0;
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
    }
    ok = !text.empty();
    return value;
}

std::string_view FirstWord(std::string_view text, std::string_view* rest = nullptr) {
    const auto space = text.find(' ');
    if (rest)
        *rest = space == std::string_view::npos ? std::string_view{} : text.substr(space + 1);
    return text.substr(0, space);
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
    Report report;
    report.event_id = NewEventId();
    report.level = Level::kFatal;
    report.handled = false;
    report.mechanism = Mechanism::kSeh;
    report.time = SecondsNow();

    std::string signal_name, exception_name, uncaught;
    std::map<std::string, std::uint64_t, std::less<>> module_end;
    bool in_maps = false;
    std::string_view rest = record;
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        bool ok = false;
        if (in_maps) {
            // "start-end perms offset dev inode path": a module's size is
            // where its last mapping ends.
            std::string_view fields = line, range = FirstWord(fields, &fields);
            for (int i = 0; i < 4; ++i)
                FirstWord(fields, &fields);
            while (!fields.empty() && fields.front() == ' ')
                fields.remove_prefix(1);
            const auto dash = range.find('-');
            if (dash == std::string_view::npos || fields.empty())
                continue;
            const std::uint64_t stop = Number(range.substr(dash + 1), ok, 16);
            if (ok) {
                auto found = module_end.find(fields);
                if (found == module_end.end())
                    module_end.emplace(std::string(fields), stop);
                else if (stop > found->second)
                    found->second = stop;
            }
            continue;
        }
        const auto colon = line.find(": ");
        const std::string_view key =
            line.substr(0, colon == std::string_view::npos ? line.size() : colon);
        const std::string_view value =
            colon == std::string_view::npos ? std::string_view{} : line.substr(colon + 2);
        if (key == "maps:" || line == "maps:") {
            in_maps = true;
        } else if (key == "exception") {
            const std::uint64_t code = Number(value, ok);
            if (ok)
                exception_name = ExceptionName(code);
        } else if (key == "signal") {
            const std::uint64_t number = Number(FirstWord(value), ok);
            if (ok)
                signal_name = SignalName(number);
        } else if (key == "time") {
            const std::uint64_t seconds = Number(FirstWord(value), ok);
            if (ok && seconds < (std::uint64_t{1} << 40))
                report.time = static_cast<std::int64_t>(seconds);
        } else if (key == "operation") {
            report.operation = value;
        } else if (key == "uncaught") {
            std::string_view what;
            const std::uint64_t number = Number(FirstWord(value, &what), ok);
            if (ok)
                report.number = static_cast<std::int32_t>(number);
            uncaught = what;
        } else if (key == "stack") {
            const std::uint64_t address = Number(value, ok);
            if (ok && address != 0 && report.stack.size() < 256)
                report.stack.push_back(address);
        } else if (key == "module") {
            std::string_view tail;
            Module module;
            module.address = Number(FirstWord(value, &tail), ok);
            const std::string_view id = FirstWord(tail, &tail);
            if (!ok || tail.empty() || report.modules.size() >= 512)
                continue;
            if (id != "-")
                module.build_id = id;
            module.path = tail;
            report.modules.push_back(std::move(module));
        }
    }
    for (Module& module : report.modules)
        if (auto found = module_end.find(module.path);
            found != module_end.end() && found->second > module.address)
            module.size = found->second - module.address;

    if (!uncaught.empty() || report.number != 0) {
        report.mechanism = Mechanism::kTerminate;
        report.type = "Error " + std::to_string(report.number);
        report.description = uncaught;
    } else if (!signal_name.empty()) {
        report.mechanism = Mechanism::kSignalHandler;
        report.type = signal_name;
    } else {
        report.type = exception_name.empty() ? "crash" : exception_name;
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
