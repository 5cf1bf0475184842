#include <windows.h>

#include "platform/clock.h"
#include "platform/seams.h"

namespace tamberlin::platform::clock {

LocalTime SystemNow() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

} // namespace tamberlin::platform::clock
