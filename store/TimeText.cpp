#include "store/TimeText.h"

#include "driver/RegDrvContract.h"
#include "platform/Clock.h"

#include <cstring>

namespace {

constexpr int64_t TICKS_PER_SECOND = 10'000'000;
constexpr int64_t TICKS_PER_MS = 10'000;

void TwoDigits(char* p, int v) {
    p[0] = char('0' + v / 10 % 10);
    p[1] = char('0' + v % 10);
}

// Seconds since 1970 and the millisecond within that second, rounding toward the past so
// times before 1970 still get a millisecond from 0 to 999.
void SplitFileTime(uint64_t nFileTime, int64_t& nSeconds, int& nMs) {
    const int64_t nTicks = int64_t(nFileTime - FILETIME_UNIX_EPOCH);
    nSeconds = nTicks / TICKS_PER_SECOND;
    int64_t nRest = nTicks % TICKS_PER_SECOND;
    if (nRest < 0) {
        nRest += TICKS_PER_SECOND;
        --nSeconds;
    }
    nMs = int(nRest / TICKS_PER_MS);
}

} // namespace

void FormatClockText(int nHour, int nMinute, int nSecond, int nMs, char* pOut) {
    TwoDigits(pOut, nHour);
    pOut[2] = ':';
    TwoDigits(pOut + 3, nMinute);
    pOut[5] = ':';
    TwoDigits(pOut + 6, nSecond);
    pOut[8] = '.';
    pOut[9] = char('0' + nMs / 100 % 10);
    TwoDigits(pOut + 10, nMs % 100);
}

void CTimeTextFormatter::Format(uint64_t nFileTime, char* pOut) {
    int64_t nSeconds;
    int nMs;
    SplitFileTime(nFileTime, nSeconds, nMs);
    if (nSeconds != m_nCachedSecond) {
        const STimeOfDay tod = PlatformLocalTimeOfDay(nSeconds);
        char sz[TIME_TEXT_LENGTH];
        FormatClockText(tod.nHour, tod.nMinute, tod.nSecond, 0, sz);
        std::memcpy(m_szClock, sz, 8);
        m_nCachedSecond = nSeconds;
    }
    std::memcpy(pOut, m_szClock, 8);
    pOut[8] = '.';
    pOut[9] = char('0' + nMs / 100);
    TwoDigits(pOut + 10, nMs % 100);
}
