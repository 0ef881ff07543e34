// Time services: local time of day, a millisecond tick count and sleeping.
#pragma once

#include <cstdint>

struct STimeOfDay {
    int nHour, nMinute, nSecond;
};

// The local wall-clock time of day of a moment given in seconds since 1970 (UTC).
STimeOfDay PlatformLocalTimeOfDay(int64_t nUnixSeconds);
// The current moment as a file time (100 ns units since 1601, UTC).
uint64_t PlatformNowFileTime();
// Milliseconds from an arbitrary start; wraps like a 32-bit tick count.
uint32_t PlatformTickCount();
void PlatformSleepMs(unsigned nMilliseconds);
