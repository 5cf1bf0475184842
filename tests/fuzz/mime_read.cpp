// The Outbox's reader over any bytes: it returns (no crash, no hang), what it
// reads is UTF-8 and at most three times the input (U+FFFD for a bad byte),
// and a message it reads, written again, reads back the same: subject,
// names and bytes at once, the body once its line breaks are CR LF.
#include "mail/outbox.h"
#include "platform/text.h"
#include "tests/fuzz/fuzz.h"

namespace outbox = modQFEmailClient::outbox;
using tamberlin::platform::ValidUtf8;

namespace {

bool SameTexts(const outbox::Message& a, const outbox::Message& b) {
    if (a.subject != b.subject || a.attachments.size() != b.attachments.size())
        return false;
    for (std::size_t i = 0; i < a.attachments.size(); ++i)
        if (a.attachments[i].name != b.attachments[i].name ||
            a.attachments[i].bytes != b.attachments[i].bytes)
            return false;
    return true;
}

} // namespace

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
    const outbox::Parsed second = outbox::Read(outbox::MimeText(m));
    const outbox::Parsed third = outbox::Read(outbox::MimeText(second.message));
    FUZZ_CHECK(second.problem.empty() && third.problem.empty());
    FUZZ_CHECK(SameTexts(m, second.message) && SameTexts(second.message, third.message) &&
               second.message.body == third.message.body);
    return 0;
}
