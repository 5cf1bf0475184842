// The Outbox's reader over any bytes: it returns (no crash, no hang), what it
// reads is UTF-8 and at most three times the input (U+FFFD for a bad byte),
// and a message it reads, written again, reads back the same.
#include "mail/outbox.h"
#include "platform/text.h"
#include "tests/fuzz/fuzz.h"

namespace outbox = modQFEmailClient::outbox;
using tamberlin::fuzz::CrLf;
using tamberlin::platform::ValidUtf8;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const outbox::Parsed first = outbox::Read(tamberlin::fuzz::Bytes(data, size));
    const outbox::Message& m = first.message;
    FUZZ_CHECK(first.problem.empty() || (m.subject.empty() && m.attachments.empty()));
    std::size_t total = m.subject.size() + m.body.size() + m.from_name.size() + m.to.size();
    for (const outbox::Attachment& a : m.attachments) {
        total += a.name.size() + a.bytes.size();
        FUZZ_CHECK(ValidUtf8(a.name) == a.name);
    }
    FUZZ_CHECK(total <= 3 * size);
    FUZZ_CHECK(ValidUtf8(m.subject) == m.subject && ValidUtf8(m.body) == m.body);
    if (!first.problem.empty())
        return 0;
    // Written again, it reads back the same, its body with CR LF breaks; the
    // writer tidies only the names and addresses of the header and the id.
    const outbox::Parsed second = outbox::Read(outbox::MimeText(m));
    outbox::Message again = m;
    again.body = CrLf(m.body);
    again.from_name = second.message.from_name;
    again.to = second.message.to;
    again.id = second.message.id;
    FUZZ_CHECK(second.problem.empty() && second.message.body == again.body &&
               outbox::MimeText(again) == outbox::MimeText(second.message));
    return 0;
}
