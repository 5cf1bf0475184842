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
using tamberlin::fuzz::CrLf;
using tamberlin::fuzz::Split;
using tamberlin::platform::ValidUtf8;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> fields =
        Split(tamberlin::fuzz::Bytes(data, size), std::string_view("\0", 1));
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

    const std::vector<std::string> lines = Split(text, "\r\n");
    FUZZ_CHECK(lines.size() > 1 && lines.back().empty()); // it ends with CR LF
    for (const std::string& line : lines)
        FUZZ_CHECK(line.size() <= 998 && line.find_first_of("\r\n") == std::string::npos);

    const outbox::Parsed read = outbox::Read(text);
    const outbox::Message& back = read.message;
    FUZZ_CHECK(read.problem.empty() && back.sequence == m.sequence && back.id == m.id &&
               back.attachments.size() == m.attachments.size());
    FUZZ_CHECK(back.subject == ValidUtf8(m.subject) && back.body == CrLf(ValidUtf8(m.body)));
    for (std::size_t i = 0; i < m.attachments.size(); ++i)
        FUZZ_CHECK(back.attachments[i].name == ValidUtf8(m.attachments[i].name) &&
                   back.attachments[i].bytes == m.attachments[i].bytes);
    return 0;
}
