// The outbox: an error report that could not be handed to a mail client is
// kept as a complete e-mail message file (RFC 5322, MIME, UTF-8), which the
// user can open or attach in any mail program or webmail.
#pragma once

#include "platform/clock.h"

#include <cstddef>
#include <string>
#include <vector>

namespace modQFEmailClient::outbox {

struct Attachment {
    std::string name;  // the file name the recipient sees
    std::string bytes; // its content
};

struct Message {
    std::string from_name; // display name of the (unknown) sender
    std::string to;
    std::string subject;
    std::string body;
    std::vector<Attachment> attachments;
    tamberlin::platform::clock::LocalTime date; // local time, offset unknown
};

// At most this many messages stay in an outbox folder; the oldest go first.
inline constexpr std::size_t kLimit = 20;

// The message as text with CR LF lines: headers (non-ASCII ones as RFC 2047
// encoded words), a multipart/mixed body with the text quoted-printable and
// each attachment in base64. Marked unsent, so mail programs that know the
// mark open it as a draft.
std::string MimeText(const Message& message);

// Writes the message to a new file "report-yyyymmdd-hhmmss-nn.eml" in
// `folder` (created when missing; its parent must exist) and drops the
// oldest report files beyond kLimit. The new file's path, or empty when it
// could not be written. Never throws.
std::string Save(const std::string& folder, const Message& message) noexcept;

} // namespace modQFEmailClient::outbox
