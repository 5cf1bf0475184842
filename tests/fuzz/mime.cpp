// The message files of the Outbox. Whatever the texts hold, every line ends
// with CR LF (no CR or LF alone) and keeps within 998 octets, and a small
// reader of our own gets back the subject, the body (as UTF-8, line breaks
// as CR LF) and each attachment's name and bytes.
//
// Input: recipients, subject, body, then attachment names and contents in
// turn, separated by NUL bytes (the seeds of the mailto: target fit).
#include "mail/outbox.h"
#include "platform/text.h"
#include "tests/fuzz/fuzz.h"

#include <string>
#include <vector>

namespace outbox = modQFEmailClient::outbox;
using tamberlin::fuzz::HexDigit;
using tamberlin::fuzz::PercentDecoded;
using tamberlin::platform::ValidUtf8;

namespace {

std::vector<std::string> Split(std::string_view text, std::string_view separator) {
    std::vector<std::string> parts;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(separator, start);
        parts.emplace_back(text.substr(start, end - start));
        if (end == std::string_view::npos)
            return parts;
        start = end + separator.size();
    }
}

std::string Base64Decoded(std::string_view text) {
    static constexpr std::string_view kDigits =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned bits = 0, count = 0;
    for (char c : text) {
        if (c == '=')
            break;
        const std::size_t value = kDigits.find(c);
        FUZZ_CHECK(value != std::string_view::npos);
        bits = bits << 6 | static_cast<unsigned>(value);
        if ((count += 6) >= 8) {
            count -= 8;
            out += static_cast<char>(bits >> count & 0xFF);
        }
    }
    return out;
}

std::string QuotedPrintableDecoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '=') {
            out += text[i];
        } else if (text.substr(i + 1, 2) == "\r\n") {
            i += 2; // a soft line break
        } else {
            FUZZ_CHECK(i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
                       HexDigit(text[i + 2]) >= 0);
            out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        }
    }
    return out;
}

// Header fields unfolded, by name; continuation lines join without their
// line break.
std::vector<std::pair<std::string, std::string>> Headers(std::string_view block) {
    std::vector<std::pair<std::string, std::string>> fields;
    for (const std::string& line : Split(block, "\r\n")) {
        if (!line.empty() && line[0] == ' ') {
            FUZZ_CHECK(!fields.empty());
            fields.back().second += line;
            continue;
        }
        const std::size_t colon = line.find(": ");
        FUZZ_CHECK(colon != std::string::npos);
        fields.emplace_back(line.substr(0, colon), line.substr(colon + 2));
    }
    return fields;
}

std::string Field(const std::vector<std::pair<std::string, std::string>>& fields,
                  std::string_view name) {
    for (const auto& [key, value] : fields)
        if (key == name)
            return value;
    FUZZ_CHECK(false);
    return {};
}

// An unstructured header's text: encoded words (" " between them from the
// folding) or the text itself.
std::string HeaderText(const std::string& value) {
    if (value.rfind("=?UTF-8?B?", 0) != 0)
        return value;
    std::string out;
    for (const std::string& word : Split(value, " ")) {
        FUZZ_CHECK(word.rfind("=?UTF-8?B?", 0) == 0 && word.size() >= 12 &&
                   word.compare(word.size() - 2, 2, "?=") == 0);
        out += Base64Decoded(std::string_view(word).substr(10, word.size() - 12));
    }
    return out;
}

// The file name from a Content-Disposition value: quoted, RFC 2231 in one
// piece, or RFC 2231 in numbered sections.
std::string FileName(const std::string& disposition) {
    const std::size_t quoted = disposition.find("filename=\"");
    if (quoted != std::string::npos)
        return disposition.substr(quoted + 10, disposition.size() - quoted - 11);
    const std::size_t whole = disposition.find("filename*=UTF-8''");
    if (whole != std::string::npos)
        return PercentDecoded(std::string_view(disposition).substr(whole + 17));
    std::string encoded;
    for (int section = 0;; ++section) {
        const std::string key =
            "filename*" + std::to_string(section) + "*=" + (section ? "" : "UTF-8''");
        const std::size_t at = disposition.find(key);
        if (at == std::string::npos)
            break;
        const std::size_t end = disposition.find(';', at);
        encoded += disposition.substr(at + key.size(), end - at - key.size());
    }
    return PercentDecoded(encoded);
}

std::string CrLf(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        out += text[i] == '\r' || text[i] == '\n' ? std::string("\r\n") : std::string(1, text[i]);
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> fields =
        Split(tamberlin::fuzz::Bytes(data, size), std::string(1, '\0'));
    fields.resize(std::max<std::size_t>(fields.size(), 3));
    outbox::Message m;
    m.to = fields[0];
    m.subject = fields[1];
    m.body = fields[2];
    m.id = "report-20261207T090503Z-0123abcd";
    for (std::size_t i = 3; i < fields.size(); i += 2)
        m.attachments.push_back({fields[i], i + 1 < fields.size() ? fields[i + 1] : ""});
    const std::string text = outbox::MimeText(m);

    for (std::size_t i = 0; i < text.size(); ++i)
        FUZZ_CHECK((text[i] != '\r' || text[i + 1] == '\n') &&
                   (text[i] != '\n' || text[i - 1] == '\r'));
    FUZZ_CHECK(text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0);
    for (const std::string& line : Split(text, "\r\n"))
        FUZZ_CHECK(line.size() <= 998);

    const std::size_t end = text.find("\r\n\r\n");
    FUZZ_CHECK(end != std::string::npos);
    FUZZ_CHECK(HeaderText(Field(Headers(text.substr(0, end)), "Subject")) == ValidUtf8(m.subject));
    const std::vector<std::string> parts =
        Split(std::string_view(text).substr(end + 4), "--=_tamberlin_report");
    FUZZ_CHECK(parts.size() == m.attachments.size() + 3 && parts.front().empty() &&
               parts.back() == "--\r\n");
    for (std::size_t p = 1; p + 1 < parts.size(); ++p) {
        const std::string& part = parts[p];
        const std::size_t blank = part.find("\r\n\r\n");
        FUZZ_CHECK(part.rfind("\r\n", 0) == 0 && blank != std::string::npos &&
                   part.size() >= blank + 6 && part.compare(part.size() - 2, 2, "\r\n") == 0);
        const auto headers = Headers(part.substr(2, blank - 2));
        const std::string_view content =
            std::string_view(part).substr(blank + 4, part.size() - blank - 6);
        if (p == 1) {
            FUZZ_CHECK(QuotedPrintableDecoded(content) == CrLf(ValidUtf8(m.body)));
            continue;
        }
        const outbox::Attachment& a = m.attachments[p - 2];
        FUZZ_CHECK(FileName(Field(headers, "Content-Disposition")) == ValidUtf8(a.name));
        std::string base64;
        for (const std::string& line : Split(content, "\r\n"))
            base64 += line;
        FUZZ_CHECK(Base64Decoded(base64) == a.bytes);
    }
    return 0;
}
