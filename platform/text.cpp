// UTF-8 text operations shared by every platform.
#include "platform/text.h"

namespace tamberlin::platform {
namespace {

// Decodes the character at `i`; `length` 0 marks a byte that is not UTF-8.
char32_t Decode(std::string_view s, std::size_t i, std::size_t& length) {
    const auto b = static_cast<unsigned char>(s[i]);
    length = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    char32_t c = length == 1 ? b : length == 2 ? b & 0x1F : length == 3 ? b & 0x0F : b & 0x07;
    for (std::size_t k = 1; length > 1 && k < length; ++k) {
        if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) {
            length = 0;
            break;
        }
        c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8
    // either: decoded, they would fold into other characters ("/" from C0 AF).
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (length > 1 && (c < kLeast[length] || (c >= 0xD800 && c < 0xE000) || c > 0x10FFFF))
        length = 0;
    return length ? c : b;
}

} // namespace

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

namespace {

char32_t Upper(char32_t c) {
    if (c >= 'a' && c <= 'z')
        return c - 0x20;
    if (c < 0x80)
        return c;
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) ||
        (c >= 0x430 && c <= 0x44F))
        return c - 0x20;
    if (c == 0xFF)
        return 0x178;
    if (c == 0x3C2) // final sigma
        return 0x3A3;
    if (c >= 0x450 && c <= 0x45F)
        return c - 0x50;
    // Latin Extended-A and Cyrillic pairs: upper case at the even (or, in
    // two runs, the odd) code point, lower case right after it.
    const bool odd = c & 1;
    if (odd &&
        ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177) ||
         (c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF)))
        return c - 1;
    if (!odd && ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)))
        return c - 1;
    return c;
}

} // namespace

std::string UpperCase(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    AppendUpperCase(out, utf8);
    return out;
}

void AppendUpperCase(std::string& out, std::string_view utf8) {
    for (std::size_t i = 0; i < utf8.size();) {
        // Key and value names are mostly ASCII: those bytes need no decoding.
        if (const char b = utf8[i]; static_cast<unsigned char>(b) < 0x80) {
            out += b >= 'a' && b <= 'z' ? static_cast<char>(b - 0x20) : b;
            ++i;
            continue;
        }
        std::size_t length = 0;
        const char32_t c = Decode(utf8, i, length);
        if (length == 0) {
            out += utf8[i++];
            continue;
        }
        AppendUtf8(out, Upper(c));
        i += length;
    }
}

std::size_t Utf16Length(std::string_view utf8) {
    std::size_t units = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        std::size_t length = 0;
        Decode(utf8, i, length);
        units += length == 4 ? 2 : 1;
        i += length ? length : 1;
    }
    return units;
}

std::string ValidUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    for (std::size_t i = 0; i < bytes.size();) {
        const unsigned char lead = at(i);
        if (lead < 0x80) {
            out += bytes[i++];
            continue;
        }
        // The sequence's length and the range of its second byte (Unicode
        // table 3-7); a lead byte outside the table is a part of its own.
        std::size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF)
            length = 2;
        else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        }
        std::size_t good = length ? 1 : 0;
        while (good && good < length && i + good < bytes.size()) {
            const unsigned char c = at(i + good);
            if (c < (good == 1 ? low : 0x80) || c > (good == 1 ? high : 0xBF))
                break;
            ++good;
        }
        if (length && good == length) {
            out.append(bytes.substr(i, length));
            i += length;
        } else {
            out += "\xEF\xBF\xBD";
            i += good ? good : 1;
        }
    }
    return out;
}

char32_t NextCodePoint(std::string_view utf8, std::size_t& i) {
    std::size_t length = 0;
    const char32_t c = Decode(utf8, i, length);
    i += length ? length : 1;
    return c;
}

} // namespace tamberlin::platform
