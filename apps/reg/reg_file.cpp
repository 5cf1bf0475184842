#include "apps/reg/reg_file.h"

#include "platform/text.h"
#include "tamberlin/platform/reg_key.h"

#include <cstdio>

namespace tamberlin::regtool {
namespace {

namespace reg = platform::registry;

std::string Quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + '"';
}

// Whether every byte of `text` is part of a UTF-8 character.
bool IsUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const size_t start = i;
        if (platform::NextCodePoint(text, i) >= 0x80 && i - start == 1)
            return false;
    }
    return true;
}

// A text value the file can hold as a quoted string: one NUL, at its end, no
// line breaks, and characters only.
bool IsPlainText(std::string_view data) {
    return !data.empty() && data.back() == '\0' &&
           data.substr(0, data.size() - 1).find_first_of(std::string_view("\0\r\n", 3)) ==
               std::string_view::npos &&
           IsUtf8(platform::Utf8FromAnsi(data));
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// "01,02,ff" into bytes.
std::optional<std::string> ParseHexBytes(std::string_view text) {
    std::string bytes;
    while (!text.empty()) {
        while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
            text.remove_prefix(1);
        if (text.size() < 2 || HexDigit(text[0]) < 0 || HexDigit(text[1]) < 0)
            return std::nullopt;
        bytes += static_cast<char>(HexDigit(text[0]) * 16 + HexDigit(text[1]));
        text.remove_prefix(2);
        while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
            text.remove_prefix(1);
        if (!text.empty()) {
            if (text.front() != ',')
                return std::nullopt;
            text.remove_prefix(1);
        }
    }
    return bytes;
}

// A quoted string at the start of `text`, escapes resolved; `text` is left
// after the closing quote.
std::optional<std::string> ParseQuoted(std::string_view& text) {
    if (text.empty() || text.front() != '"')
        return std::nullopt;
    std::string out;
    for (size_t i = 1; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            out += text[++i];
        } else if (text[i] == '"') {
            text.remove_prefix(i + 1);
            return out;
        } else {
            out += text[i];
        }
    }
    return std::nullopt;
}

// The types whose data are text: a version 5 file holds them as UTF-16LE.
bool IsTextType(std::uint32_t type) {
    return type == reg::kSz || type == reg::kExpandSz || type == reg::kMultiSz;
}

// The lone low surrogates that stand for bytes that are not UTF-8.
constexpr char32_t kEscapedByte = 0xDC00;

void AppendUtf16(std::string& out, char32_t c) {
    const auto unit = [&](unsigned u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    };
    if (c >= 0x10000) {
        c -= 0x10000;
        unit(0xD800 + static_cast<unsigned>(c >> 10));
        unit(0xDC00 + static_cast<unsigned>(c & 0x3FF));
    } else {
        unit(static_cast<unsigned>(c));
    }
}

// UTF-16LE bytes (an even count) as UTF-8. A pair of surrogates is one
// character; a lone DC80 to DCFF is the byte it stands for; any other lone
// surrogate is kept as a character.
std::string Utf8FromUtf16(std::string_view bytes) {
    std::string out;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char32_t unit =
            static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
            const char32_t low = static_cast<unsigned char>(bytes[i + 2]) |
                                 (static_cast<unsigned char>(bytes[i + 3]) << 8);
            if (low >= 0xDC00 && low < 0xE000) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (unit >= kEscapedByte + 0x80 && unit <= kEscapedByte + 0xFF)
            out += static_cast<char>(unit - kEscapedByte);
        else
            platform::AppendUtf8(out, unit);
    }
    return out;
}

// UTF-8 text as UTF-16LE; a byte that is not UTF-8 becomes the lone
// surrogate that stands for it.
std::string Utf16FromUtf8(std::string_view utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        const size_t start = i;
        const char32_t c = platform::NextCodePoint(utf8, i);
        // A byte that is not UTF-8 comes back as itself, alone.
        const bool byte = i - start == 1 && c >= 0x80;
        AppendUtf16(out, byte ? kEscapedByte + c : c);
    }
    return out;
}

// A text value's stored bytes as the UTF-16LE a version 5 file holds.
std::string FileTextFromStore(std::string_view data) {
    return Utf16FromUtf8(platform::Utf8FromAnsi(data));
}

// A text value's bytes from a version 5 file as the store holds them. An odd
// count is no UTF-16: those bytes are kept.
std::string StoreFromFileText(std::string_view bytes) {
    if (bytes.size() % 2)
        return std::string(bytes);
    return platform::AnsiFromUtf8(Utf8FromUtf16(bytes));
}

} // namespace

std::string FormatValueLine(std::string_view name, std::uint32_t type, std::string_view data) {
    std::string line = name.empty() ? "@" : Quote(name);
    line += '=';
    if (type == reg::kSz && IsPlainText(data))
        return line + Quote(platform::Utf8FromAnsi(data.substr(0, data.size() - 1)));
    if (const auto n = reg::DwordFromBytes(data); n && type == reg::kDword) {
        char text[16];
        std::snprintf(text, sizeof text, "dword:%08x", *n);
        return line + text;
    }
    if (type == reg::kBinary) {
        line += "hex:";
    } else {
        char prefix[24];
        std::snprintf(prefix, sizeof prefix, "hex(%x):", type);
        line += prefix;
    }
    const std::string bytes = IsTextType(type) ? FileTextFromStore(data) : std::string(data);
    for (size_t i = 0; i < bytes.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, i ? ",%02x" : "%02x",
                      static_cast<unsigned char>(bytes[i]));
        line += byte;
    }
    return line;
}

std::optional<ValueLine> ParseValueLine(std::string_view line, FileVersion version) {
    ValueLine value;
    if (!line.empty() && line.front() == '@') {
        line.remove_prefix(1);
    } else {
        std::optional<std::string> name = ParseQuoted(line);
        if (!name)
            return std::nullopt;
        value.name = *name;
    }
    if (line.empty() || line.front() != '=')
        return std::nullopt;
    line.remove_prefix(1);
    if (line == "-") {
        value.remove = true;
        return value;
    }
    if (!line.empty() && line.front() == '"') {
        std::optional<std::string> text = ParseQuoted(line);
        if (!text || !line.empty())
            return std::nullopt;
        value.type = reg::kSz;
        value.data = platform::AnsiFromUtf8(*text) + '\0';
        return value;
    }
    if (line.substr(0, 6) == "dword:") {
        const std::string digits(line.substr(6));
        if (digits.empty() || digits.size() > 8 ||
            digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return std::nullopt;
        const auto n = static_cast<std::uint32_t>(std::stoul(digits, nullptr, 16));
        value.type = reg::kDword;
        value.data = reg::DwordBytes(n);
        return value;
    }
    if (line.substr(0, 4) == "hex:") {
        value.type = reg::kBinary;
        line.remove_prefix(4);
    } else if (line.substr(0, 4) == "hex(") {
        const size_t close = line.find("):");
        const std::string digits(line.substr(4, close == std::string_view::npos ? 0 : close - 4));
        if (digits.empty() || digits.size() > 8 ||
            digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return std::nullopt;
        value.type = static_cast<std::uint32_t>(std::stoul(digits, nullptr, 16));
        line.remove_prefix(close + 2);
    } else {
        return std::nullopt;
    }
    std::optional<std::string> bytes = ParseHexBytes(line);
    if (!bytes)
        return std::nullopt;
    // A REGEDIT4 file's text is in the ANSI code page, as the store's is.
    value.data = IsTextType(value.type) && version == FileVersion::kVersion5
                     ? StoreFromFileText(*bytes)
                     : *std::move(bytes);
    return value;
}

std::string EncodeFile(std::string_view utf8) {
    return "\xFF\xFE" + Utf16FromUtf8(utf8);
}

std::optional<std::string> DecodeFile(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        return std::string(bytes.substr(3));
    if (bytes.substr(0, kRegedit4Header.size()) == kRegedit4Header)
        return platform::Utf8FromAnsi(bytes);
    if (bytes.substr(0, 2) != "\xFF\xFE")
        return std::string(bytes);
    if (bytes.size() % 2)
        return std::nullopt;
    return Utf8FromUtf16(bytes.substr(2));
}

} // namespace tamberlin::regtool
