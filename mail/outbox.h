// The outbox: an error report that could not be handed to a mail client is
// kept as a complete e-mail message file (RFC 5322, MIME, UTF-8), which the
// user can open or attach in any mail program or webmail.
#pragma once

#include "platform/clock.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
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
    std::string id;             // the unique part of the Message-ID; none when empty
    std::uint64_t sequence = 0; // its place in the order the outbox was written
};

// At most this many messages stay in an outbox folder; the oldest go first.
inline constexpr std::size_t kLimit = 20;

// The message as text with CR LF lines, none longer than 78 octets but for
// an address over 70: headers (non-ASCII ones as RFC 2047 encoded words, a
// long file name as RFC 2231 continuations), a multipart/mixed body with the
// text quoted-printable and each attachment in base64. Texts that are not
// UTF-8 have U+FFFD for each bad sequence. Marked unsent, so mail programs that
// know the mark open it as a draft; its first header, X-Tamberlin-Report,
// carries the sequence and marks the file as ours.
std::string MimeText(const Message& message);

struct Saved {
    std::string path;        // the new file; empty when none was written
    std::string problem;     // why not, for the error log (empty when written)
    std::size_t removed = 0; // older reports this call removed to keep kLimit
};

// Writes the message, whole or not at all, to a new file
// "report-<UTC yyyymmddThhmmssZ>-<8 random hex digits>.eml" in `folder` (made
// when missing, private; its parent must exist), then removes the oldest of
// our reports beyond kLimit in the order they were written. Only files with
// our header count: nothing else there is read further or removed. A folder
// that is a link or another user's is refused and left untouched. Never
// throws.
Saved Save(const std::string& folder, const Message& message) noexcept;

// The most bytes a message file of ours is read with: an error log and a
// crash report in base64, with room to spare.
inline constexpr std::size_t kMostFileBytes = 16 * 1024 * 1024;

struct Parsed {
    Message message;
    std::string problem; // why the bytes are not a message of ours; empty when they are
};

// A message file as MimeText writes it, read back: the sequence, the sender's
// name, the addresses, the subject, the Message-ID's unique part, the body
// and each attachment's name and bytes (the date is not read). The file was
// written by another run and may have been edited since, so nothing in it is
// trusted: anything but our format (LF line ends aside) is refused with the
// reason, bytes beyond kMostFileBytes too. Texts come out as UTF-8, so at
// most three times the bytes (U+FFFD for each bad one). Never throws.
Parsed Read(std::string_view bytes) noexcept;

// Our reports waiting in `folder`, full paths, oldest first. Never throws.
std::vector<std::string> Waiting(const std::string& folder) noexcept;

} // namespace modQFEmailClient::outbox
