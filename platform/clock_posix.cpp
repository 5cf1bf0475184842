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

} // namespace tamberlin::platform::clock
