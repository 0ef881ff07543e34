// Time text of an event: the local time of day of a driver file time, "hh:mm:ss.mmm".
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr size_t TIME_TEXT_LENGTH = 12;

// Remembers the last second's local time, so a flood of events from one second converts the
// calendar fields once. One instance per thread.
class CTimeTextFormatter {
public:
    // Writes the TIME_TEXT_LENGTH characters (no terminating zero).
    void Format(uint64_t nFileTime, char* pOut);

private:
    int64_t m_nCachedSecond = INT64_MIN;
    char m_szClock[8] = {}; // "hh:mm:ss" of that second
};

// Writes "hh:mm:ss.mmm" from its parts, two and three digits each.
void FormatClockText(int nHour, int nMinute, int nSecond, int nMs, char* pOut);
