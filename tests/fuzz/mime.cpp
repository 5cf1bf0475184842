// The message files of the Outbox. Whatever the texts hold, every line ends
// with CR LF (no CR or LF alone) and keeps within 998 octets, and the
// Outbox's reader gets back the subject, the body (as UTF-8, line breaks as
// CR LF) and each attachment's name and bytes.
//
// Input: recipients, subject, body, then attachment names and contents in
// turn, separated by NUL bytes (the seeds of the mailto: target fit).
#include "mail/outbox.h"
#include "platform/text.h"
#include "tests/fuzz/fuzz.h"

#include <string>
#include <vector>

namespace outbox = modQFEmailClient::outbox;
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
    m.sequence = size;
    for (std::size_t i = 3; i < fields.size(); i += 2)
        m.attachments.push_back({fields[i], i + 1 < fields.size() ? fields[i + 1] : ""});
    const std::string text = outbox::MimeText(m);

    for (std::size_t i = 0; i < text.size(); ++i)
        FUZZ_CHECK((text[i] != '\r' || text[i + 1] == '\n') &&
                   (text[i] != '\n' || text[i - 1] == '\r'));
    FUZZ_CHECK(text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0);
    for (const std::string& line : Split(text, "\r\n"))
        FUZZ_CHECK(line.size() <= 998);

    const outbox::Parsed read = outbox::Read(text);
    FUZZ_CHECK(read.problem.empty());
    const outbox::Message& back = read.message;
    FUZZ_CHECK(back.sequence == m.sequence && back.id == m.id);
    FUZZ_CHECK(back.subject == ValidUtf8(m.subject) && back.body == CrLf(ValidUtf8(m.body)));
    FUZZ_CHECK(back.attachments.size() == m.attachments.size());
    for (std::size_t i = 0; i < m.attachments.size(); ++i)
        FUZZ_CHECK(back.attachments[i].name == ValidUtf8(m.attachments[i].name) &&
                   back.attachments[i].bytes == m.attachments[i].bytes);
    return 0;
}
