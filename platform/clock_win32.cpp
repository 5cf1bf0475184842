#include <windows.h>

#include "platform/clock.h"
#include "platform/seams.h"

namespace tamberlin::platform::clock {

LocalTime SystemNow() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

LocalTime SystemUtcNow() {
    SYSTEMTIME t;
    GetSystemTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

LocalTime UtcFromLocal(const LocalTime& local) {
    SYSTEMTIME in{}, out{};
    in.wYear = static_cast<WORD>(local.year);
    in.wMonth = static_cast<WORD>(local.month);
    in.wDay = static_cast<WORD>(local.day);
    in.wHour = static_cast<WORD>(local.hour);
    in.wMinute = static_cast<WORD>(local.minute);
    in.wSecond = static_cast<WORD>(local.second);
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &in, &out))
        return local;
    return {out.wYear, out.wMonth, out.wDay, out.wHour, out.wMinute, out.wSecond};
}

} // namespace tamberlin::platform::clock
