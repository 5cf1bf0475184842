#include "mail/outbox.h"

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/mailto.h"
#include "platform/text.h"
#include "tamberlin/platform/path_style.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <utility>

namespace modQFEmailClient::outbox {
namespace {

namespace files = tamberlin::platform::files;

// Mail programs take this as a draft to send rather than a message received.
constexpr const char* kSenderAddress = "sender@example.com";
// Neither base64 nor quoted-printable text can hold "=_", so no part can
// contain the boundary.
constexpr const char* kBoundary = "=_tamberlin_report";
// The first line of every report we write, followed by its sequence number.
constexpr std::string_view kOurHeader = "X-Tamberlin-Report: ";

std::string Base64(std::string_view bytes, std::size_t line_length) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t column = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const auto at = [&](std::size_t k) {
            return k < bytes.size() ? static_cast<unsigned char>(bytes[k]) : 0u;
        };
        const unsigned group = at(i) << 16 | at(i + 1) << 8 | at(i + 2);
        out += kDigits[group >> 18 & 63];
        out += kDigits[group >> 12 & 63];
        out += i + 1 < bytes.size() ? kDigits[group >> 6 & 63] : '=';
        out += i + 2 < bytes.size() ? kDigits[group & 63] : '=';
        column += 4;
        if (line_length && column >= line_length && i + 3 < bytes.size()) {
            out += "\r\n";
            column = 0;
        }
    }
    return out;
}

bool Printable(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7e; });
}

// RFC 2047 encoded words, folded onto lines of their own; a UTF-8 sequence is
// never split between two words.
std::string EncodedWords(std::string_view text) {
    std::string out;
    while (!text.empty()) {
        std::size_t take = std::min<std::size_t>(text.size(), 39);
        while (take < text.size() && take > 1 &&
               (static_cast<unsigned char>(text[take]) & 0xC0) == 0x80)
            --take;
        if (!out.empty())
            out += "\r\n ";
        out += "=?UTF-8?B?" + Base64(text.substr(0, take), 0) + "?=";
        text.remove_prefix(take);
    }
    return out;
}

// An unstructured header value: as it is when it is short printable ASCII
// that cannot be mistaken for an encoded word, else encoded.
std::string HeaderText(std::string_view text) {
    if (Printable(text) && text.size() <= 70 && text.find("=?") == std::string_view::npos &&
        (text.empty() || (text.front() != ' ' && text.back() != ' ')))
        return std::string(text);
    return EncodedWords(text);
}

// A display name: plain words as they are, anything else encoded.
std::string Phrase(std::string_view text) {
    const bool plain =
        !text.empty() && text.size() <= 60 && std::all_of(text.begin(), text.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   c == ' ';
        });
    return plain ? std::string(text) : EncodedWords(text);
}

// The addresses for the To: header, one per line: separated at blanks,
// commas and semicolons, anything unprintable left out, each cut to the
// longest address SMTP carries (254 octets), so no line can grow past the
// 998 octets a message line may have.
std::string Addresses(std::string_view text) {
    std::vector<std::string> addresses(1);
    for (char c : text) {
        if (c == ',' || c == ';' || c == ' ' || c == '\t') {
            if (!addresses.back().empty())
                addresses.emplace_back();
        } else if (c > 0x20 && c <= 0x7e && addresses.back().size() < 254) {
            addresses.back() += c;
        }
    }
    if (addresses.size() > 1 && addresses.back().empty())
        addresses.pop_back();
    std::string out;
    for (const std::string& a : addresses)
        out += (out.empty() ? "" : ",\r\n ") + a;
    return out;
}

// Quoted-printable (RFC 2045) with CR LF line breaks; CR and LF alone count as
// line breaks too.
std::string QuotedPrintable(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out, line;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\r' || text[i] == '\n') {
            out += line;
            line.clear();
            if (i == text.size())
                break;
            out += "\r\n";
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            continue;
        }
        const auto c = static_cast<unsigned char>(text[i]);
        const bool line_end = i + 1 == text.size() || text[i + 1] == '\r' || text[i + 1] == '\n';
        std::string token;
        if ((c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !line_end))
            token = static_cast<char>(c);
        else
            token = {'=', kHex[c >> 4], kHex[c & 15]};
        if (line.size() + token.size() > 75) {
            out += line + "=\r\n";
            line.clear();
        }
        line += token;
    }
    return out;
}

// The attachment's file name parameter: quoted when plain, else RFC 2231,
// cut into numbered sections on lines of their own when long (never inside
// an escape).
std::string FileNameParameter(const std::string& name) {
    const bool plain =
        !name.empty() && name.size() <= 50 && std::all_of(name.begin(), name.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   c == '.' || c == '_' || c == '-' || c == ' ';
        });
    if (plain)
        return "filename=\"" + name + "\"";
    const std::string encoded = tamberlin::platform::mailto::PercentEncoded(name);
    if (encoded.size() <= 50)
        return "filename*=UTF-8''" + encoded;
    std::string out;
    std::size_t at = 0;
    for (int section = 0; at < encoded.size(); ++section) {
        std::size_t take = std::min<std::size_t>(encoded.size() - at, 54);
        if (at + take < encoded.size() && encoded[at + take - 1] == '%')
            take -= 1;
        else if (at + take < encoded.size() && encoded[at + take - 2] == '%')
            take -= 2;
        out += (section ? ";\r\n " : "\r\n ") + std::string("filename*") + std::to_string(section) +
               "*=" + (section ? "" : "UTF-8''") + encoded.substr(at, take);
        at += take;
    }
    return out;
}

// The id's letters, digits, "-" and "." (what a Message-ID's left part may
// hold without quoting), at most 64 of them.
std::string IdText(std::string_view id) {
    std::string out;
    for (char c : id)
        if (((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
             c == '-' || c == '.') &&
            out.size() < 64)
            out += c;
    return out;
}

std::string DateText(const tamberlin::platform::clock::LocalTime& t) {
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[64];
    // "-0000": local time whose offset from UTC is not known (RFC 5322 3.3).
    std::snprintf(text, sizeof text, "%d %s %04d %02d:%02d:%02d -0000", t.day,
                  kMonths[std::clamp(t.month, 1, 12) - 1], t.year, t.hour, t.minute, t.second);
    return text;
}

} // namespace

std::string MimeText(const Message& message) {
    using tamberlin::platform::ValidUtf8;
    std::string text;
    text += std::string(kOurHeader) + std::to_string(message.sequence) + "\r\n";
    text += "From: " + Phrase(ValidUtf8(message.from_name)) + " <" + kSenderAddress + ">\r\n";
    text += "To: " + Addresses(message.to) + "\r\n";
    text += "Subject: " + HeaderText(ValidUtf8(message.subject)) + "\r\n";
    text += "Date: " + DateText(message.date) + "\r\n";
    if (!message.id.empty())
        text += "Message-ID: <" + IdText(message.id) + "@tamberlin.invalid>\r\n";
    text += "MIME-Version: 1.0\r\n";
    text += "X-Unsent: 1\r\n";
    text += std::string("Content-Type: multipart/mixed; boundary=\"") + kBoundary + "\"\r\n";
    text += "\r\n";
    text += std::string("--") + kBoundary + "\r\n";
    text += "Content-Type: text/plain; charset=UTF-8\r\n";
    text += "Content-Transfer-Encoding: quoted-printable\r\n\r\n";
    text += QuotedPrintable(ValidUtf8(message.body)) + "\r\n";
    for (const Attachment& a : message.attachments) {
        text += std::string("--") + kBoundary + "\r\n";
        text += "Content-Type: application/octet-stream\r\n";
        text += "Content-Transfer-Encoding: base64\r\n";
        text +=
            "Content-Disposition: attachment; " + FileNameParameter(ValidUtf8(a.name)) + "\r\n\r\n";
        text += Base64(a.bytes, 76) + "\r\n";
    }
    text += std::string("--") + kBoundary + "--\r\n";
    return text;
}

namespace {

// A report of ours in a folder: its sequence number and name.
using Report = std::pair<std::uint64_t, std::string>;

// Our reports in `base` (a folder with its separator), oldest first: in the
// order of their sequence numbers, which no clock can disturb; reports
// written at the same moment by two processes share one and go by name.
std::vector<Report> OurReports(const std::string& base) {
    std::vector<Report> reports;
    std::string start;
    for (std::string& name : files::FileNames(base, "report-*.eml")) {
        if (!files::ReadFileStart(base + name, 64, start) || start.rfind(kOurHeader, 0) != 0)
            continue;
        std::uint64_t sequence = 0;
        std::size_t i = kOurHeader.size();
        for (; i < start.size() && i < kOurHeader.size() + 19 && start[i] >= '0' && start[i] <= '9';
             ++i)
            sequence = sequence * 10 + static_cast<std::uint64_t>(start[i] - '0');
        if (start.compare(i, 2, "\r\n") == 0)
            reports.emplace_back(sequence, std::move(name));
    }
    std::sort(reports.begin(), reports.end());
    return reports;
}

std::string WithSeparator(std::string folder) {
    const char separator = tamberlin::platform::NativePathStyle().separator;
    if (folder.empty() || folder.back() != separator)
        folder += separator;
    return folder;
}

// Eight hex digits no other writer is likely to draw, even in the same second
// and in another process: the random part of the name.
std::string RandomHex() {
    static std::atomic<std::uint32_t> counter{0};
    std::uint32_t value = 0;
    try {
        value = std::random_device{}();
    } catch (...) {
        // No random source: the time, the address of a local and a counter.
        int local = 0;
        value =
            static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count() ^
                                       reinterpret_cast<std::uintptr_t>(&local));
    }
    value ^= counter.fetch_add(0x9E3779B9u);
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(value));
    return text;
}

} // namespace

Saved Save(const std::string& folder, const Message& message) noexcept {
    Saved saved;
    try {
        switch (files::PreparePrivateFolder(folder)) {
        case files::PrivateFolder::kReady:
            break;
        case files::PrivateFolder::kLink:
            saved.problem = "The outbox folder [" + folder +
                            "] is a link; the report was not saved and nothing there was changed.";
            return saved;
        case files::PrivateFolder::kNotOurs:
            saved.problem = "The outbox folder [" + folder +
                            "] belongs to another user; the report was not saved and nothing "
                            "there was changed.";
            return saved;
        case files::PrivateFolder::kUnusable:
            saved.problem = "The outbox folder [" + folder + "] could not be made.";
            return saved;
        }
        const std::string base = WithSeparator(folder);
        std::vector<Report> reports = OurReports(base);
        Message m = message;
        m.sequence = reports.empty() ? 1 : reports.back().first + 1;
        const auto t = tamberlin::platform::clock::UtcNow();
        char stamp[40];
        std::snprintf(stamp, sizeof stamp, "report-%04d%02d%02dT%02d%02d%02dZ-", t.year, t.month,
                      t.day, t.hour, t.minute, t.second);
        // A clash of names is the one reason to draw another; with 32 random
        // bits a few draws are plenty.
        for (int attempt = 0; attempt < 8 && saved.path.empty(); ++attempt) {
            const std::string name = stamp + RandomHex();
            m.id = name;
            const files::Publish done = files::PublishNewFile(base + name + ".eml", MimeText(m));
            if (done == files::Publish::kFailed) {
                saved.problem =
                    "The report could not be written to the outbox folder [" + folder + "].";
                return saved;
            }
            if (done == files::Publish::kDone)
                saved.path = base + name + ".eml";
        }
        if (saved.path.empty()) {
            saved.problem = "No free name for the report in the outbox folder [" + folder + "].";
            return saved;
        }
        // Beyond the limit the oldest go, never the one just written (which
        // then stays one more until the next save). Writers at the same
        // moment pick from the same order, so together they never remove
        // more than one would; a file removed by another is not counted.
        reports = OurReports(base);
        const std::string own = saved.path.substr(base.size());
        for (std::size_t i = 0; i + kLimit < reports.size(); ++i)
            if (reports[i].second != own && files::RemoveFile(base + reports[i].second))
                ++saved.removed;
    } catch (...) {
        if (saved.path.empty() && saved.problem.empty())
            saved.problem = "The report could not be saved in the outbox folder.";
    }
    return saved;
}

std::vector<std::string> Waiting(const std::string& folder) noexcept {
    std::vector<std::string> paths;
    try {
        const std::string base = WithSeparator(folder);
        for (const Report& r : OurReports(base))
            paths.push_back(base + r.second);
    } catch (...) {
    }
    return paths;
}

} // namespace modQFEmailClient::outbox
