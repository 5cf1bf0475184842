#include "platform/mailto.h"

namespace tamberlin::platform::mailto {
namespace {

bool Unreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

// LF alone and CR alone count as line breaks too.
std::string CrLfLines(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            out += "\r\n";
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

std::string PercentEncoded(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (Unreserved(c)) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string Uri(const std::vector<std::string>& to, std::string_view subject, std::string_view body,
                const std::vector<std::string>& attachments) {
    std::string uri = "mailto:";
    for (size_t i = 0; i < to.size(); ++i) {
        if (i > 0)
            uri += ',';
        const size_t at = to[i].rfind('@');
        if (at == std::string::npos) {
            uri += PercentEncoded(to[i]);
        } else {
            uri += PercentEncoded(std::string_view(to[i]).substr(0, at));
            uri += '@';
            uri += PercentEncoded(std::string_view(to[i]).substr(at + 1));
        }
    }
    char separator = '?';
    const auto add = [&](std::string_view name, std::string_view value) {
        uri += separator;
        uri += name;
        uri += '=';
        uri += PercentEncoded(value);
        separator = '&';
    };
    if (!subject.empty())
        add("subject", subject);
    if (!body.empty())
        add("body", CrLfLines(body));
    for (const std::string& path : attachments)
        add("attach", path);
    return uri;
}

} // namespace tamberlin::platform::mailto
