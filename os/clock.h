// Clocks of the platform: a millisecond tick count, UTC and local wall-clock time.
// All functions are thread-safe.
#pragma once

#include <cstdint>

namespace os {

// Milliseconds since an arbitrary start; wraps at 2^32 like GetTickCount.
std::uint32_t TickCountMs();

struct UtcTime {
    int hour;
    int minute;
    int second;
    int millisecond;
};

// The current UTC time of day with milliseconds.
UtcTime UtcNow();

struct LocalTime {
    int year;   // full year, e.g. 2026
    int month;  // 1 to 12
    int day;    // 1 to 31
    int hour;
    int minute;
    int second;
};

// The current local calendar time.
LocalTime LocalNow();

void SleepMs(std::uint32_t milliseconds);

}  // namespace os
