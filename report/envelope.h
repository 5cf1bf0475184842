// The envelope a collector receives: one JSON header line, then the event
// item and the attachment items, each a header line and its bytes.
//
// Every text that leaves the machine goes through the Scrubber first: the
// home folder becomes "~", and the user name and host name are taken out.
// Building never throws past its caller except std::bad_alloc: a text that
// is not UTF-8 is sent with replacement characters, a file that cannot be
// read is left out.
#pragma once

#include "report/report.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tamberlin::report {

class Scrubber {
public:
    Scrubber() = default;
    Scrubber(std::string home, std::string user, std::string host);
    // The text with the home folder (either separator, any letter case)
    // replaced by "~", and the host and user names, as whole words, by
    // "<host>" and "<user>".
    std::string operator()(std::string_view text) const;
    // The same, appended to `out`.
    void AppendTo(std::string& out, std::string_view text) const;

private:
    std::string home_, user_, host_;
};

// What the report says about the program and the machine, besides the error.
struct Context {
    std::string release; // "TITLE@VERSION"
    std::string app_name;
    std::string app_version;
    std::string os_name;
    std::string os_version;
    std::string kernel_version;
    std::string arch;
    std::string install_id;
    std::string sdk_version;
    Scrubber scrub;
    // The error log's last bytes at most (from a line's start).
    std::size_t log_tail_bytes = 64 * 1024;
    // Files larger than this are not attached.
    std::size_t most_attachment_bytes = 8 * 1024 * 1024;
};

// The context of this program on this machine (asks the settings for the
// install id, making one the first time).
Context CurrentContext();

// The envelope's bytes. `dsn` is the DSN text the header names (may be
// empty); `sent_at` is seconds since 1970.
std::string BuildEnvelope(const Report& report, std::string_view dsn, const Context& context,
                          std::int64_t sent_at);

// An envelope as people read it before it is sent: the event's JSON
// pretty-printed, then each attachment's name and size. What cannot be read
// as an envelope is said so; never throws but std::bad_alloc.
std::string DescribeEnvelope(std::string_view bytes);

// RFC 3339 UTC text of seconds since 1970: "2026-12-07T18:30:17Z".
std::string UtcText(std::int64_t seconds);

// `bytes` gzip-compressed into `out`; false when zlib fails.
bool Gzip(std::string_view bytes, std::string& out);

} // namespace tamberlin::report
