// The local date and time of day.
#pragma once

namespace tamberlin::platform::clock {

struct LocalTime {
    int year = 0;
    int month = 0; // 1 to 12
    int day = 0;
    int hour = 0; // 0 to 23
    int minute = 0;
    int second = 0;
};

LocalTime Now();

// The same fields in UTC: names that sort by time must not step back when the
// local time does (the end of summer time, a move to another zone). While a
// time is pinned, that time read as local time.
LocalTime UtcNow();

// Pins Now() to a fixed time (null: the real clock again). For tests: the
// time of day cannot be set for real, and log lines must be compared whole.
void PinForTesting(const LocalTime* time);

} // namespace tamberlin::platform::clock
