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

namespace {

// The reader's fields: names as written, values unfolded.
using Fields = std::vector<std::pair<std::string, std::string>>;

// The next line of `rest`, without its LF and a CR before it; false at the end.
bool NextLine(std::string_view& rest, std::string_view& line) {
    if (rest.empty())
        return false;
    const std::size_t end = rest.find('\n');
    line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return true;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameLetters(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// A header block up to and with its blank line, continuation lines joined to
// their field; false when a line is not a field or the blank line is missing.
bool ReadFields(std::string_view& rest, Fields& fields) {
    std::string_view line;
    while (NextLine(rest, line)) {
        if (line.empty())
            return true;
        if (line[0] == ' ' || line[0] == '\t') {
            if (fields.empty())
                return false;
            fields.back().second += line;
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == 0 || colon == std::string_view::npos)
            return false;
        fields.emplace_back(std::string(line.substr(0, colon)),
                            std::string(Trimmed(line.substr(colon + 1))));
    }
    return false;
}

// The field's value (the first of that name); null when there is none.
const std::string* Field(const Fields& fields, std::string_view name) {
    for (const auto& [key, value] : fields)
        if (SameLetters(key, name))
            return &value;
    return nullptr;
}

// A structured value "type; name=value; name="quoted"": the first word and
// the parameters, names in lower case.
struct Structured {
    std::string type;
    Fields parameters;
};

Structured Parameters(std::string_view value) {
    Structured out;
    std::size_t i = value.find(';');
    for (char c : Trimmed(value.substr(0, i)))
        out.type += Lower(c);
    while (i < value.size()) {
        while (i < value.size() && (value[i] == ';' || value[i] == ' ' || value[i] == '\t'))
            ++i;
        const std::size_t equals = value.find('=', i);
        if (i >= value.size() || equals == std::string_view::npos)
            break;
        if (const std::size_t next = value.find(';', i); next < equals) {
            i = next; // a word without a value: not one of ours, passed over
            continue;
        }
        std::string name;
        for (char c : Trimmed(value.substr(i, equals - i)))
            name += Lower(c);
        std::string text;
        i = equals + 1;
        if (i < value.size() && value[i] == '"') {
            for (++i; i < value.size() && value[i] != '"'; ++i) {
                if (value[i] == '\\' && i + 1 < value.size())
                    ++i;
                text += value[i];
            }
            ++i;
        } else {
            const std::size_t end = std::min(value.find(';', i), value.size());
            text = Trimmed(value.substr(i, end - i));
            i = end;
        }
        out.parameters.emplace_back(std::move(name), std::move(text));
    }
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (Lower(c) >= 'a' && Lower(c) <= 'f')
        return Lower(c) - 'a' + 10;
    return -1;
}

// "%XX" escapes decoded; false for a '%' without two hex digits.
bool PercentDecoded(std::string_view text, std::string& out) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size() || HexValue(text[i + 1]) < 0 || HexValue(text[i + 2]) < 0)
            return false;
        out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
        i += 2;
    }
    return true;
}

// Base64 with its line breaks; false for anything else in it, or data after
// the padding.
bool Base64Decoded(std::string_view text, std::string& out) {
    static constexpr std::string_view kDigits =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    unsigned bits = 0, count = 0;
    bool padded = false;
    for (char c : text) {
        if (c == '\r' || c == '\n' || c == ' ' || c == '\t')
            continue;
        if (c == '=') {
            padded = true;
            continue;
        }
        const std::size_t value = kDigits.find(c);
        if (padded || value == std::string_view::npos)
            return false;
        bits = (bits << 6 | static_cast<unsigned>(value)) & 0xFFFFFF;
        if ((count += 6) >= 8) {
            count -= 8;
            out += static_cast<char>(bits >> count & 0xFF);
        }
    }
    return true;
}

// Quoted-printable: a line ending in '=' goes on without a break, other lines
// end with CR LF, "=XX" is that octet; a '=' without hex digits stays as it is.
std::string QuotedPrintableDecoded(std::string_view text) {
    std::string out;
    // Every line, the empty one after a final line break too.
    for (bool more = true, soft = true; more;) {
        const std::size_t end = text.find('\n');
        more = end != std::string_view::npos;
        std::string_view line = text.substr(0, end);
        text.remove_prefix(more ? end + 1 : text.size());
        if (!soft)
            out += "\r\n";
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1); // transport padding; ours is encoded
        soft = !line.empty() && line.back() == '=';
        if (soft)
            line.remove_suffix(1);
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '=' && i + 2 < line.size() && HexValue(line[i + 1]) >= 0 &&
                HexValue(line[i + 2]) >= 0) {
                out += static_cast<char>(HexValue(line[i + 1]) * 16 + HexValue(line[i + 2]));
                i += 2;
            } else {
                out += line[i];
            }
        }
    }
    return out;
}

// An unstructured header: RFC 2047 encoded words in UTF-8 and base64, or,
// when it does not start with one, the text itself.
bool HeaderTextDecoded(std::string_view value, std::string& out) {
    if (value.rfind("=?", 0) != 0) {
        out = value;
        return true;
    }
    while (!(value = Trimmed(value)).empty()) {
        const std::size_t end = value.find_first_of(" \t");
        const std::string_view word = value.substr(0, end);
        value.remove_prefix(word.size());
        constexpr std::string_view kStart = "=?utf-8?b?";
        if (word.size() < kStart.size() + 2 ||
            !SameLetters(word.substr(0, kStart.size()), kStart) ||
            word.substr(word.size() - 2) != "?=" ||
            !Base64Decoded(word.substr(kStart.size(), word.size() - kStart.size() - 2), out))
            return false;
    }
    return true;
}

// The file name parameter: quoted, or RFC 2231 in one piece or in numbered
// sections (the first in our charset, each escaped when its name ends in
// "*"); false when there is none or it cannot be decoded.
bool FileName(const Fields& parameters, std::string& name) {
    if (const std::string* plain = Field(parameters, "filename")) {
        name = *plain;
        return true;
    }
    // The sections in order of their numbers, each with whether it is escaped.
    std::vector<std::pair<const std::string*, bool>> sections;
    const std::string* whole = Field(parameters, "filename*");
    if (whole)
        sections.emplace_back(whole, true);
    for (const auto& [key, value] : parameters) {
        constexpr std::string_view kName = "filename*";
        if (!whole && key.rfind(kName, 0) == 0 && key.size() > kName.size()) {
            const std::string_view rest = std::string_view(key).substr(kName.size());
            const bool escaped = rest.back() == '*';
            const std::string_view digits = rest.substr(0, rest.size() - (escaped ? 1 : 0));
            if (digits.empty() || digits.size() > 9 ||
                digits.find_first_not_of("0123456789") != std::string_view::npos)
                continue;
            std::size_t at = 0;
            for (char c : digits)
                at = at * 10 + static_cast<std::size_t>(c - '0');
            // Numbered from 0 without a gap, so none beyond the count.
            if (at >= parameters.size())
                return false;
            if (sections.size() <= at)
                sections.resize(at + 1);
            sections[at] = {&value, escaped};
        }
    }
    if (sections.empty() || !sections[0].first || !sections[0].second)
        return false;
    // The first section starts charset'language', the charset ours.
    const std::string& first = *sections[0].first;
    const std::size_t quote = first.find('\'');
    const std::size_t second = quote == std::string::npos ? quote : first.find('\'', quote + 1);
    if (second == std::string::npos || !SameLetters(first.substr(0, quote), "utf-8"))
        return false;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const auto [text, escaped] = sections[i];
        if (text == nullptr)
            return false; // a section missing
        const std::string_view piece = std::string_view(*text).substr(i == 0 ? second + 1 : 0);
        if (!escaped)
            name += piece;
        else if (!PercentDecoded(piece, name))
            return false;
    }
    return true;
}

// The text a part of the multipart body holds, split at our boundary's
// delimiter lines; false when the closing one is missing.
bool Parts(std::string_view body, std::vector<std::string_view>& parts) {
    const std::string delimiter = std::string("--") + kBoundary;
    const char* start = nullptr;
    std::string_view line;
    while (!body.empty()) {
        const char* line_start = body.data();
        NextLine(body, line);
        line = Trimmed(line);
        const bool last = line == delimiter + "--";
        if (!last && line != delimiter)
            continue;
        if (start != nullptr) {
            std::string_view part(start, static_cast<std::size_t>(line_start - start));
            // The line break before a delimiter belongs to it.
            if (!part.empty() && part.back() == '\n')
                part.remove_suffix(1);
            if (!part.empty() && part.back() == '\r')
                part.remove_suffix(1);
            parts.push_back(part);
        }
        if (last)
            return true;
        start = body.data();
    }
    return false;
}

} // namespace

Parsed Read(std::string_view bytes) noexcept {
    Parsed parsed;
    Message& m = parsed.message;
    try {
        using tamberlin::platform::ValidUtf8;
        if (bytes.size() > kMostFileBytes)
            return {{}, "it is larger than " + std::to_string(kMostFileBytes) + " bytes"};
        std::string_view rest = bytes, line;
        NextLine(rest, line);
        const std::string_view number =
            line.rfind(kOurHeader, 0) == 0 ? line.substr(kOurHeader.size()) : std::string_view();
        for (char c : number)
            if (c >= '0' && c <= '9')
                m.sequence = m.sequence * 10 + static_cast<std::uint64_t>(c - '0');
        if (number.empty() || number.size() > 19 ||
            number.find_first_not_of("0123456789") != std::string_view::npos)
            return {{}, "it does not start with the X-Tamberlin-Report header and its number"};
        Fields fields;
        const std::string* subject = nullptr;
        if (!ReadFields(rest, fields) || (subject = Field(fields, "Subject")) == nullptr ||
            !HeaderTextDecoded(*subject, m.subject))
            return {{}, "its header has a line that is not a field, or no readable Subject"};
        if (const std::string* from = Field(fields, "From")) {
            // The name before the address, which may be empty.
            std::string_view name = std::string_view(*from).substr(0, from->rfind('<'));
            while (!name.empty() && name.back() == ' ')
                name.remove_suffix(1);
            if (!HeaderTextDecoded(name, m.from_name))
                m.from_name.clear();
        }
        if (const std::string* to = Field(fields, "To"))
            m.to = *to;
        if (const std::string* id = Field(fields, "Message-ID");
            id && id->size() > 2 && id->front() == '<')
            m.id = id->substr(1, id->find('@') - 1);
        const std::string* type = Field(fields, "Content-Type");
        const Structured mixed = Parameters(type ? std::string_view(*type) : std::string_view());
        const std::string* boundary = Field(mixed.parameters, "boundary");
        if (mixed.type != "multipart/mixed" || !boundary || *boundary != kBoundary)
            return {{}, "it is not a multipart/mixed message with our boundary"};
        std::vector<std::string_view> parts;
        if (!Parts(rest, parts) || parts.empty())
            return {{}, "it ends before its last part"};
        for (std::size_t p = 0; p < parts.size(); ++p) {
            std::string_view part = parts[p];
            Fields headers;
            if (!ReadFields(part, headers))
                return {{}, "part " + std::to_string(p + 1) + " has no header"};
            const std::string* encoding = Field(headers, "Content-Transfer-Encoding");
            const std::string* part_type = Field(headers, "Content-Type");
            const Structured content =
                Parameters(part_type ? std::string_view(*part_type) : std::string_view());
            if (p == 0) {
                const std::string* charset = Field(content.parameters, "charset");
                if (content.type != "text/plain" || !encoding ||
                    !SameLetters(*encoding, "quoted-printable") ||
                    (charset && !SameLetters(*charset, "utf-8")))
                    return {{}, "its first part is not quoted-printable UTF-8 text"};
                m.body = ValidUtf8(QuotedPrintableDecoded(part));
                continue;
            }
            const std::string* disposition = Field(headers, "Content-Disposition");
            const Structured attached =
                Parameters(disposition ? std::string_view(*disposition) : std::string_view());
            Attachment a;
            if (!encoding || !SameLetters(*encoding, "base64") || attached.type != "attachment" ||
                !FileName(attached.parameters, a.name) || !Base64Decoded(part, a.bytes))
                return {{},
                        "part " + std::to_string(p + 1) +
                            " is not a base64 attachment with a name"};
            a.name = ValidUtf8(a.name);
            m.attachments.push_back(std::move(a));
        }
        m.subject = ValidUtf8(m.subject);
        m.from_name = ValidUtf8(m.from_name);
        m.to = ValidUtf8(m.to);
        m.id = ValidUtf8(m.id);
    } catch (...) {
        return {{}, "there was not enough memory to read it"};
    }
    return parsed;
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
