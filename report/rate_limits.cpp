// Retry-After and X-Sentry-Rate-Limits.
#include "report/rate_limits.h"

#include <algorithm>

namespace tamberlin::report {
namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// Decimal seconds, a fraction allowed and rounded up; -1 when not a number.
std::int64_t Seconds(std::string_view text) {
    text = Trim(text);
    if (text.empty())
        return -1;
    std::int64_t value = 0;
    std::size_t i = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min<std::int64_t>(value * 10 + (text[i] - '0'), kMostRetrySeconds);
    if (i == 0)
        return -1;
    if (i < text.size()) {
        if (text[i] != '.' || i + 1 == text.size())
            return -1;
        bool fraction = false;
        for (++i; i < text.size(); ++i) {
            if (text[i] < '0' || text[i] > '9')
                return -1;
            fraction = fraction || text[i] != '0';
        }
        if (fraction)
            value = std::min(value + 1, kMostRetrySeconds);
    }
    return value;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

int Digits(std::string_view text) {
    if (text.empty() || text.size() > 4)
        return -1;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// "Sun, 06 Nov 1994 08:49:37 GMT" as seconds since 1970; -1 otherwise.
std::int64_t HttpDate(std::string_view text) {
    text = Trim(text);
    if (text.size() != 29 || text[3] != ',' || text[4] != ' ' || text[7] != ' ' ||
        text[11] != ' ' || text[16] != ' ' || text[19] != ':' || text[22] != ':' ||
        text.substr(25) != " GMT")
        return -1;
    static constexpr std::string_view months = "JanFebMarAprMayJunJulAugSepOctNovDec";
    const auto month_at = months.find(text.substr(8, 3));
    const int day = Digits(text.substr(5, 2)), year = Digits(text.substr(12, 4));
    const int hour = Digits(text.substr(17, 2)), minute = Digits(text.substr(20, 2));
    const int second = Digits(text.substr(23, 2));
    if (month_at == std::string_view::npos || month_at % 3 != 0 || day < 1 || day > 31 ||
        year < 1970 || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 ||
        second > 60)
        return -1;
    return DaysFromCivil(year, static_cast<unsigned>(month_at / 3 + 1),
                         static_cast<unsigned>(day)) *
               86400 +
           hour * 3600 + minute * 60 + second;
}

bool CategoryApplies(std::string_view categories) {
    categories = Trim(categories);
    if (categories.empty())
        return true;
    while (!categories.empty()) {
        const auto semicolon = categories.find(';');
        const std::string_view category = Trim(categories.substr(0, semicolon));
        if (category == "error" || category == "default" || category == "attachment")
            return true;
        categories = semicolon == std::string_view::npos ? std::string_view{}
                                                         : categories.substr(semicolon + 1);
    }
    return false;
}

} // namespace

std::int64_t ParseRetryAfter(std::string_view header, std::int64_t now) {
    if (const std::int64_t seconds = Seconds(header); seconds >= 0)
        return seconds;
    const std::int64_t at = HttpDate(header);
    if (at < 0)
        return -1;
    return std::clamp<std::int64_t>(at - now, 0, kMostRetrySeconds);
}

std::int64_t ParseRateLimits(std::string_view header) {
    std::int64_t longest = -1;
    while (!header.empty()) {
        const auto comma = header.find(',');
        const std::string_view group = header.substr(0, comma);
        header = comma == std::string_view::npos ? std::string_view{} : header.substr(comma + 1);
        const auto colon = group.find(':');
        const std::int64_t seconds = Seconds(group.substr(0, colon));
        if (seconds < 0)
            continue;
        const std::string_view rest =
            colon == std::string_view::npos ? std::string_view{} : group.substr(colon + 1);
        const std::string_view categories = rest.substr(0, rest.find(':'));
        longest = std::max<std::int64_t>(longest, CategoryApplies(categories) ? seconds : 0);
    }
    return longest;
}

} // namespace tamberlin::report
