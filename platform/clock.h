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

// Pins Now() to a fixed time (null: the real clock again). For tests: the
// time of day cannot be set for real, and log lines must be compared whole.
void PinForTesting(const LocalTime* time);

} // namespace tamberlin::platform::clock
