#include "report/crash_record.h"

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cstdio>

namespace tamberlin::report::crash_record {
namespace {

// Each field's limit: what the writers put there at most, and a little more.
constexpr std::size_t kMaxLine = 4096 + 256;
constexpr std::size_t kMaxText = 1024;
constexpr std::size_t kMaxThread = 64;
constexpr std::size_t kMaxFrames = 512;
constexpr std::size_t kMaxModules = 4096;
constexpr std::size_t kMaxMappings = 16384;
constexpr std::size_t kMaxHeader = 16 * 1024;

std::string Cut(std::string_view text, std::size_t limit) {
    return std::string(text.substr(0, limit));
}

// "0x" and up to 16 hex digits; anything else is no number.
std::optional<std::uint64_t> Hex(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (ec != std::errc() || end == text.data())
        return std::nullopt;
    return value;
}

template <typename Number> std::optional<Number> Decimal(std::string_view text) {
    Number value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end == text.data())
        return std::nullopt;
    return value;
}

std::string_view Word(std::string_view& rest) {
    const std::size_t start = std::min(rest.find_first_not_of(' '), rest.size());
    rest.remove_prefix(start);
    const std::size_t end = std::min(rest.find(' '), rest.size());
    const std::string_view word = rest.substr(0, end);
    rest.remove_prefix(end);
    return word;
}

// One line of /proc/self/maps: "start-end perms offset dev inode path".
void AddMapping(Record& r, std::string_view line) {
    if (r.maps.size() >= kMaxMappings)
        return;
    std::string_view rest = line;
    const std::string_view range = Word(rest);
    const std::size_t dash = range.find('-');
    if (dash == std::string_view::npos)
        return;
    const auto start = Hex(range.substr(0, dash)), end = Hex(range.substr(dash + 1));
    for (int i = 0; i < 4; ++i)
        Word(rest);
    const std::size_t path = rest.find_first_not_of(' ');
    if (!start || !end || *end <= *start || path == std::string_view::npos || rest[path] != '/')
        return;
    r.maps.push_back({*start, *end, Cut(rest.substr(path), kMaxLine)});
}

void AddField(Record& r, std::string_view key, std::string_view value) {
    if (key == "exception") {
        if (const auto code = Hex(value); code && *code <= 0xFFFFFFFFu)
            r.code = static_cast<std::uint32_t>(*code);
    } else if (key == "time") {
        r.seconds = Decimal<std::int64_t>(value.substr(0, value.find(' ')));
    } else if (key == "signal") {
        r.signal = Decimal<int>(value.substr(0, value.find(' ')));
    } else if (key == "thread") {
        r.thread = Cut(value, kMaxThread);
    } else if (key == "operation") {
        r.operation = Cut(value, kMaxText);
    } else if (key == "uncaught") {
        const std::size_t space = value.find(' ');
        r.uncaught = Decimal<std::int32_t>(value.substr(0, space)).value_or(0);
        r.uncaught_what =
            space == std::string_view::npos ? "" : Cut(value.substr(space + 1), kMaxText);
    }
}

std::string HexText(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%016" PRIx64, value);
    return text;
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

Record Parse(std::string_view text) {
    Record r;
    const std::string first = std::string(kFirstLine) + "\n";
    if (text.size() < first.size()) {
        r.shape = first.compare(0, text.size(), text) == 0 ? Record::Shape::kCut
                                                           : Record::Shape::kForeign;
        return r;
    }
    if (text.substr(0, first.size()) != first)
        return r;
    bool in_maps = false;
    while (!text.empty()) {
        const std::size_t newline = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, newline);
        text.remove_prefix(std::min(newline + 1, text.size()));
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        line = line.substr(0, kMaxLine);
        if (in_maps) {
            AddMapping(r, line);
            continue;
        }
        if (line == "maps:") {
            in_maps = true;
            continue;
        }
        const std::size_t colon = line.find(": ");
        const std::string_view key = line.substr(0, colon);
        const std::string_view value =
            colon == std::string_view::npos ? std::string_view() : line.substr(colon + 2);
        if (key == "stack") {
            if (const auto address = Hex(value); address && r.stack.size() < kMaxFrames)
                r.stack.push_back(*address);
        } else if (key == "module") {
            std::string_view rest = value;
            const auto base = Hex(Word(rest));
            const std::string_view id = Word(rest);
            if (base && !rest.empty() && r.modules.size() < kMaxModules)
                r.modules.push_back({*base, Cut(id, 128), Cut(rest.substr(1), kMaxLine)});
        } else if (r.stack.empty() && r.modules.empty()) {
            if (r.header.size() + line.size() < kMaxHeader)
                r.header.append(line).append("\n");
            if (colon != std::string_view::npos)
                AddField(r, key, value);
        }
    }
    r.shape = r.code ? Record::Shape::kWhole : Record::Shape::kCut;
    return r;
}

std::optional<std::int64_t> SecondsOfName(std::string_view file_name) {
    if (file_name.substr(0, 6) != "crash-")
        return std::nullopt;
    file_name.remove_prefix(6);
    return Decimal<std::int64_t>(file_name.substr(0, file_name.find('-')));
}

bool SaneTime(std::int64_t seconds, std::int64_t now) {
    constexpr std::int64_t k2000 = 946684800;
    return seconds >= k2000 && seconds <= now + 86400;
}

std::string Frames(const Record& r) {
    std::string out = "Frames (module+offset [build ID]):\n";
    for (std::size_t i = 0; i < r.stack.size(); ++i) {
        const std::uint64_t address = r.stack[i];
        // A return address points after its call: the call is the frame.
        const std::uint64_t lookup = i == 0 || address == 0 ? address : address - 1;
        const Module* module = nullptr;
        const auto mapping = std::find_if(r.maps.begin(), r.maps.end(), [&](const Mapping& m) {
            return m.start <= lookup && lookup < m.end;
        });
        // The loader and the maps may name one file by two paths (/lib and
        // /usr/lib): the file's name and the nearest base below decide.
        for (const Module& m : r.modules) {
            const bool file = mapping != r.maps.end() ? BaseName(m.path) == BaseName(mapping->path)
                                                      : r.maps.empty();
            if (file && m.base <= lookup && (!module || m.base > module->base))
                module = &m;
        }
        out += "  #" + std::to_string(i) + ' ' + HexText(address);
        if (module) {
            char offset[24];
            std::snprintf(offset, sizeof offset, "+0x%" PRIx64, address - module->base);
            out += ' ' + BaseName(module->path) + offset + " [" + module->build_id + ']';
        } else if (mapping != r.maps.end()) {
            out += ' ' + BaseName(mapping->path);
        }
        out += '\n';
    }
    out += "Modules:\n";
    for (const Module& m : r.modules)
        out += "  " + HexText(m.base) + ' ' + m.build_id + ' ' + m.path + '\n';
    return out;
}

} // namespace tamberlin::report::crash_record
