#include "mail/outbox.h"

#include "platform/files.h"
#include "platform/mailto.h"
#include "tamberlin/platform/path_style.h"

#include <algorithm>
#include <cstdio>

namespace modQFEmailClient::outbox {
namespace {

namespace files = tamberlin::platform::files;

// Mail programs take this as a draft to send rather than a message received.
constexpr const char* kSenderAddress = "sender@example.com";
// Neither base64 nor quoted-printable text can hold "=_", so no part can
// contain the boundary.
constexpr const char* kBoundary = "=_tamberlin_report";

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
        std::size_t take = std::min<std::size_t>(text.size(), 45);
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

// An address for a header: line breaks and anything unprintable left out.
std::string Address(std::string_view text) {
    std::string out;
    for (char c : text)
        if (c > 0x20 && c <= 0x7e)
            out += c;
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

// The attachment's file name parameter: quoted when plain, else RFC 2231.
std::string FileNameParameter(const std::string& name) {
    const bool plain =
        !name.empty() && name.size() <= 60 && std::all_of(name.begin(), name.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   c == '.' || c == '_' || c == '-' || c == ' ';
        });
    if (plain)
        return "filename=\"" + name + "\"";
    return "filename*=UTF-8''" + tamberlin::platform::mailto::PercentEncoded(name);
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
    std::string text;
    text += "From: " + Phrase(message.from_name) + " <" + kSenderAddress + ">\r\n";
    text += "To: " + Address(message.to) + "\r\n";
    text += "Subject: " + HeaderText(message.subject) + "\r\n";
    text += "Date: " + DateText(message.date) + "\r\n";
    text += "MIME-Version: 1.0\r\n";
    text += "X-Unsent: 1\r\n";
    text += std::string("Content-Type: multipart/mixed; boundary=\"") + kBoundary + "\"\r\n";
    text += "\r\n";
    text += std::string("--") + kBoundary + "\r\n";
    text += "Content-Type: text/plain; charset=UTF-8\r\n";
    text += "Content-Transfer-Encoding: quoted-printable\r\n\r\n";
    text += QuotedPrintable(message.body) + "\r\n";
    for (const Attachment& a : message.attachments) {
        text += std::string("--") + kBoundary + "\r\n";
        text += "Content-Type: application/octet-stream\r\n";
        text += "Content-Transfer-Encoding: base64\r\n";
        text += "Content-Disposition: attachment; " + FileNameParameter(a.name) + "\r\n\r\n";
        text += Base64(a.bytes, 76) + "\r\n";
    }
    text += std::string("--") + kBoundary + "--\r\n";
    return text;
}

std::string Save(const std::string& folder, const Message& message) noexcept {
    try {
        files::CreateFolder(folder); // fails harmlessly when it exists
        std::string base = folder;
        const char separator = tamberlin::platform::NativePathStyle().separator;
        if (base.empty() || base.back() != separator)
            base += separator;
        const auto& t = message.date;
        char stamp[48];
        std::snprintf(stamp, sizeof stamp, "report-%04d%02d%02d-%02d%02d%02d-", t.year, t.month,
                      t.day, t.hour, t.minute, t.second);
        const std::string text = MimeText(message);
        for (int n = 1; n < 100; ++n) {
            char number[8];
            std::snprintf(number, sizeof number, "%02d", n);
            const std::string name = stamp + std::string(number) + ".eml";
            if (!files::CreateNewFile(base + name, text))
                continue;
            // The names sort by time: the oldest others go beyond the limit.
            std::vector<std::string> others = files::FileNames(folder, "report-*.eml");
            others.erase(std::remove(others.begin(), others.end(), name), others.end());
            std::sort(others.begin(), others.end());
            for (std::size_t i = 0; i + kLimit <= others.size(); ++i)
                files::RemoveFile(base + others[i]);
            return base + name;
        }
    } catch (...) {
        // No file: the caller says nothing about one.
    }
    return {};
}

} // namespace modQFEmailClient::outbox
