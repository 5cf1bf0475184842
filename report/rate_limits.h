// The collector's answers that say "not now": Retry-After and
// X-Sentry-Rate-Limits, read into the time before which nothing is sent.
//
// The headers come from the network: the parsers accept any bytes, never
// throw, and bound what they return (at most a day).
#pragma once

#include <cstdint>
#include <string_view>

namespace tamberlin::report {

inline constexpr std::int64_t kDefaultRetrySeconds = 60;
inline constexpr std::int64_t kMostRetrySeconds = 24 * 60 * 60;

// Retry-After: delay-seconds or an HTTP date (IMF-fixdate, "Sun, 06 Nov
// 1994 08:49:37 GMT"), as seconds from `now` (seconds since 1970). -1 when
// the text is neither.
std::int64_t ParseRetryAfter(std::string_view header, std::int64_t now);

// X-Sentry-Rate-Limits: "seconds:categories:scope[:reason[:namespaces]]"
// groups, comma-separated, categories ';'-separated and empty for all. The
// longest wait in seconds that applies to what a report carries (errors,
// default, attachments, or all categories); 0 when none does, -1 when the
// header holds no valid group.
std::int64_t ParseRateLimits(std::string_view header);

} // namespace tamberlin::report
