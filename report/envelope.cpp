// Envelopes: the event as JSON (nlohmann-json) and the attachments, scrubbed,
// and gzip for the body (zlib).
#include "report/envelope.h"

#include "platform/files.h"
#include "platform/machine.h"
#include "report/dsn.h"
#include "tamberlin/runtime/application.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <zlib.h>

namespace tamberlin::report {
namespace {

using nlohmann::json;

bool WordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

char Fold(char c) {
    if (c == '\\')
        return '/';
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether `word` stands at `i` alone (no word character around it); `fold`
// compares letters and separators loosely and asks for a boundary after the
// word only.
bool WordAt(std::string_view text, std::size_t i, std::string_view word, bool fold) {
    if (word.empty() || i + word.size() > text.size())
        return false;
    if (!fold && i > 0 && WordChar(text[i - 1]))
        return false;
    for (std::size_t k = 0; k < word.size(); ++k)
        if (fold ? Fold(text[i + k]) != Fold(word[k]) : text[i + k] != word[k])
            return false;
    return i + word.size() == text.size() || !WordChar(text[i + word.size()]);
}

std::string Hex(std::uint64_t value) {
    char text[19];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

// The debug id the collector files ELF symbols under: the build id's first
// 16 bytes as a GUID, whose first three fields are little-endian.
std::string DebugId(std::string_view build_id) {
    std::string hex(build_id.substr(0, 32));
    hex.resize(32, '0');
    std::string swapped;
    const auto bytes = [&](int from, int count, bool reverse) {
        for (int k = 0; k < count; ++k) {
            const int b = reverse ? from + count - 1 - k : from + k;
            swapped += hex.substr(static_cast<std::size_t>(b) * 2, 2);
        }
    };
    bytes(0, 4, true);
    bytes(4, 2, true);
    bytes(6, 2, true);
    bytes(8, 8, false);
    return swapped.substr(0, 8) + "-" + swapped.substr(8, 4) + "-" + swapped.substr(12, 4) + "-" +
           swapped.substr(16, 4) + "-" + swapped.substr(20, 12);
}

const char* MechanismName(Mechanism mechanism) {
    switch (mechanism) {
    case Mechanism::kTrap:
        return "trap";
    case Mechanism::kSignalHandler:
        return "signalhandler";
    case Mechanism::kSeh:
        return "seh";
    case Mechanism::kTerminate:
        return "terminate";
    }
    return "trap";
}

std::string Dump(const json& value) {
    // Texts that are not UTF-8 go with replacement characters, never an
    // exception.
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

// The last `most` bytes of a text, from the start of a line.
std::string_view Tail(std::string_view text, std::size_t most) {
    if (text.size() <= most)
        return text;
    std::string_view tail = text.substr(text.size() - most);
    if (const auto newline = tail.find('\n'); newline != std::string_view::npos)
        tail.remove_prefix(newline + 1);
    return tail;
}

json Event(const Report& report, const Context& context) {
    const Scrubber& scrub = context.scrub;
    json exception = {
        {"type", scrub(report.type)},
        {"value", scrub(report.description.empty() ? report.message : report.description)},
        {"mechanism", {{"type", MechanismName(report.mechanism)}, {"handled", report.handled}}}};
    if (!report.stack.empty()) {
        json frames = json::array();
        // The collector lists frames from the outermost caller to the crash.
        for (auto it = report.stack.rbegin(); it != report.stack.rend(); ++it)
            frames.push_back({{"instruction_addr", Hex(*it)}});
        exception["stacktrace"] = {{"frames", std::move(frames)}};
    }
    json event = {
        {"event_id", report.event_id},
        {"timestamp", report.time},
        {"platform", "native"},
        {"level", report.level == Level::kFatal ? "fatal" : "error"},
        {"release", scrub(context.release)},
        {"message", {{"formatted", scrub(report.message)}}},
        {"exception", {{"values", json::array({std::move(exception)})}}},
        {"tags",
         {{"operation", scrub(report.operation)}, {"error.number", std::to_string(report.number)}}},
        {"contexts",
         {{"os",
           {{"name", context.os_name},
            {"version", context.os_version},
            {"kernel_version", scrub(context.kernel_version)}}},
          {"app", {{"app_name", scrub(context.app_name)}, {"app_version", context.app_version}}},
          {"device", {{"arch", context.arch}}}}},
        {"sdk", {{"name", "tamberlin"}, {"version", context.sdk_version}}},
    };
    if (!report.source.empty())
        event["extra"] = {{"source", scrub(report.source)}};
    if (!context.install_id.empty())
        event["user"] = {{"id", context.install_id}};
    if (!report.modules.empty()) {
        json images = json::array();
        const bool pe = context.os_name == "Windows";
        for (const Module& module : report.modules) {
            json image = {{"type", pe ? "pe" : "elf"},
                          {"code_file", scrub(module.path)},
                          {"image_addr", Hex(module.address)}};
            if (module.size != 0)
                image["image_size"] = module.size;
            if (!module.build_id.empty()) {
                image["code_id"] = module.build_id;
                image["debug_id"] = DebugId(module.build_id);
            }
            images.push_back(std::move(image));
        }
        event["debug_meta"] = {{"images", std::move(images)}};
    }
    return event;
}

void AddItem(std::string& out, json header, std::string_view payload) {
    header["length"] = payload.size();
    out += Dump(header);
    out += '\n';
    out += payload;
    out += '\n';
}

} // namespace

Scrubber::Scrubber(std::string home, std::string user, std::string host)
    : home_(std::move(home)), user_(std::move(user)), host_(std::move(host)) {
    while (home_.size() > 1 && (home_.back() == '/' || home_.back() == '\\'))
        home_.pop_back();
    // A home of "/" or "C:" would take every path apart.
    if (home_.size() < 4)
        home_.clear();
}

std::string Scrubber::operator()(std::string_view text) const {
    std::string out;
    AppendTo(out, text);
    return out;
}

void Scrubber::AppendTo(std::string& out, std::string_view text) const {
    // One pass: the bytes a replaced word can start with are found by one
    // table look-up each, and the text between is copied in one piece.
    const std::string_view home = home_;
    const std::string_view host = host_.size() >= 2 ? std::string_view(host_) : std::string_view();
    const std::string_view user = user_.size() >= 2 ? std::string_view(user_) : std::string_view();
    bool starts[256] = {};
    for (int c = 0; c < 256; ++c) {
        const char ch = static_cast<char>(c);
        starts[c] = (!home.empty() && Fold(ch) == Fold(home[0])) ||
                    (!host.empty() && ch == host[0]) || (!user.empty() && ch == user[0]);
    }
    out.reserve(out.size() + text.size());
    std::size_t copied = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!starts[static_cast<unsigned char>(text[i])])
            continue;
        std::string_view word, by;
        if (WordAt(text, i, home, true))
            word = home, by = "~";
        else if (WordAt(text, i, host, false))
            word = host, by = "<host>";
        else if (WordAt(text, i, user, false))
            word = user, by = "<user>";
        else
            continue;
        out.append(text.substr(copied, i - copied));
        out += by;
        copied = i + word.size();
        i = copied - 1;
    }
    out.append(text.substr(copied));
}

Context CurrentContext() {
    namespace machine = platform::machine;
    const runtime::Application& app = runtime::App();
    Context context;
    context.app_name = app.Title();
    context.app_version = std::to_string(app.Major()) + "." + std::to_string(app.Minor()) + "." +
                          std::to_string(app.Revision());
    context.release = app.Title() + "@" + context.app_version;
    context.os_name = machine::SystemName();
    context.os_version = machine::SystemVersion();
    context.kernel_version = machine::KernelVersion();
    context.arch = machine::Architecture();
    context.install_id = InstallId();
    context.sdk_version = std::to_string(TAMBERLIN_VERSION_MAJOR) + "." +
                          std::to_string(TAMBERLIN_VERSION_MINOR) + "." +
                          std::to_string(TAMBERLIN_VERSION_REVISION);
    context.scrub = Scrubber(machine::HomeFolder(), machine::UserName(), machine::HostName());
    return context;
}

std::string BuildEnvelope(const Report& report, std::string_view dsn, const Context& context,
                          std::int64_t sent_at) {
    std::string out;
    json header = {{"event_id", report.event_id},
                   {"sent_at", UtcText(sent_at)},
                   {"sdk", {{"name", "tamberlin"}, {"version", context.sdk_version}}}};
    if (!dsn.empty())
        header["dsn"] = std::string(dsn);
    out += Dump(header);
    out += '\n';
    AddItem(out, {{"type", "event"}, {"content_type", "application/json"}},
            Dump(Event(report, context)));

    std::string file, scrubbed;
    for (const Attachment& attachment : report.attachments) {
        std::string_view bytes = attachment.content;
        if (!attachment.path.empty()) {
            if (!platform::files::ReadWholeFile(attachment.path, file))
                continue;
            bytes = file;
        }
        const bool text = attachment.kind != Attachment::Kind::kMinidump;
        if (attachment.kind == Attachment::Kind::kLog)
            bytes = Tail(bytes, context.log_tail_bytes);
        if (bytes.size() > context.most_attachment_bytes)
            continue;
        if (text) {
            scrubbed.clear();
            context.scrub.AppendTo(scrubbed, bytes);
            bytes = scrubbed;
        }
        out.reserve(out.size() + bytes.size() + 256);
        json item = {{"type", "attachment"},
                     {"filename", context.scrub(attachment.name)},
                     {"content_type", text ? "text/plain" : "application/octet-stream"}};
        if (attachment.kind == Attachment::Kind::kMinidump)
            item["attachment_type"] = "event.minidump";
        AddItem(out, std::move(item), bytes);
    }
    return out;
}

std::string DescribeEnvelope(std::string_view bytes) {
    // The header line, then items: a header line with the payload's length,
    // the payload and its line end.
    std::size_t at = bytes.find('\n');
    std::string out, files;
    while (at != std::string_view::npos && at + 1 < bytes.size()) {
        const std::size_t end = bytes.find('\n', at + 1);
        const json header = json::parse(bytes.substr(at + 1, end - at - 1), nullptr, false);
        if (end == std::string_view::npos || !header.is_object() ||
            !header.value("length", json()).is_number_unsigned())
            return out + "(the rest cannot be read)\n";
        const std::size_t length = header["length"].get<std::size_t>();
        const std::string_view payload = bytes.substr(end + 1, length);
        if (header.value("type", "") == "event") {
            const json event = json::parse(payload, nullptr, false);
            out += event.is_discarded() ? std::string(payload)
                                        : event.dump(2, ' ', false, json::error_handler_t::replace);
            out += '\n';
        } else {
            files += "  " + header.value("filename", std::string("(no name)")) + " (" +
                     std::to_string(payload.size()) + " bytes)\n";
        }
        at = end + 1 + length;
        if (at >= bytes.size() || bytes[at] != '\n')
            break;
    }
    return out + (files.empty() ? "No files attached.\n" : "Files attached:\n" + files);
}

std::string UtcText(std::int64_t seconds) {
    // Civil date from days since 1970 (proleptic Gregorian).
    std::int64_t days = seconds / 86400, rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned day = doy - (153 * mp + 2) / 5 + 1;
    const unsigned month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2);
    char text[96];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02lld:%02lld:%02lldZ",
                  static_cast<long long>(year), month, day, static_cast<long long>(rest / 3600),
                  static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60));
    return text;
}

bool Gzip(std::string_view bytes, std::string& out) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK)
        return false;
    out.resize(deflateBound(&stream, static_cast<uLong>(bytes.size())) + 32);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return result == Z_STREAM_END;
}

} // namespace tamberlin::report
