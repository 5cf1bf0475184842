// A crash record as the next start reads it. The file was written by a
// dying process and sits in a folder others may write to, so nothing in it
// is trusted: the text is bounded, each field is cut to its limit, and what
// is missing or out of range stays unknown rather than read as zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tamberlin::report::crash_record {

// What is read of a record at most; a record that is longer is cut.
inline constexpr std::size_t kMaxBytes = 1 << 20;
inline constexpr const char* kFirstLine = "tamberlin crash record";

struct Module {
    std::uint64_t base = 0;
    std::string build_id; // hex, "-" or empty when the module had none
    std::string path;
};

struct Mapping {
    std::uint64_t start = 0, end = 0;
    std::string path;
};

struct Record {
    enum class Shape {
        kWhole,   // the first line and the exception code are there
        kCut,     // a start of a record (even an empty file): its writer died early
        kForeign, // not a crash record at all
    };
    Shape shape = Shape::kForeign;
    std::optional<std::uint32_t> code;
    std::optional<std::int64_t> seconds; // since 1970, when recorded
    std::optional<int> signal;           // Linux: the signal's number
    std::string thread;
    std::string operation;
    std::int32_t uncaught = 0;
    std::string uncaught_what;
    std::string header; // the lines before the stack, cut as above
    std::vector<std::uint64_t> stack;
    std::vector<Module> modules;
    std::vector<Mapping> maps;
};

Record Parse(std::string_view text);

// The seconds of "crash-<seconds>-<nanoseconds>-<pid>.rec", when the name
// has that form.
std::optional<std::int64_t> SecondsOfName(std::string_view file_name);

// Whether a record's time can be shown: from 2000 to a day after `now`.
bool SaneTime(std::int64_t seconds, std::int64_t now);

// The stack as module + offset with the module's build ID, one frame a line,
// then the modules with their build IDs: what points at the code whatever
// was installed since.
std::string Frames(const Record& record);

} // namespace tamberlin::report::crash_record
