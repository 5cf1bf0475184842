#include "platform/clock.h"
#include "platform/seams.h"

#include <ctime>

namespace tamberlin::platform::clock {

LocalTime SystemNow() {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

namespace {

LocalTime FromTm(const std::tm& t) {
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

} // namespace

LocalTime SystemUtcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    gmtime_r(&now, &t);
    return FromTm(t);
}

LocalTime UtcFromLocal(const LocalTime& local) {
    std::tm t{};
    t.tm_year = local.year - 1900;
    t.tm_mon = local.month - 1;
    t.tm_mday = local.day;
    t.tm_hour = local.hour;
    t.tm_min = local.minute;
    t.tm_sec = local.second;
    t.tm_isdst = -1;
    const std::time_t when = std::mktime(&t);
    std::tm utc{};
    gmtime_r(&when, &utc);
    return FromTm(utc);
}

} // namespace tamberlin::platform::clock
