#include "capture/EventTime.h"

#include "driver/RegDrvContract.h"
#include "platform/Clock.h"

namespace {

constexpr int64_t kTicksPerSecond = 10'000'000;
constexpr int64_t kTicksPerMs = 10'000;

// Seconds since 1970 and the millisecond within that second, rounding toward the past so
// times before 1970 still get a millisecond from 0 to 999.
void SplitFileTime(uint64_t nFileTime, int64_t& nSeconds, int& nMs) {
    const int64_t nTicks = int64_t(nFileTime - FILETIME_UNIX_EPOCH);
    nSeconds = nTicks / kTicksPerSecond;
    int64_t nRest = nTicks % kTicksPerSecond;
    if (nRest < 0) {
        nRest += kTicksPerSecond;
        --nSeconds;
    }
    nMs = int(nRest / kTicksPerMs);
}

QString TimeText(int h, int m, int s, int ms) {
    char sz[16];
    const auto two = [](char* p, int v) {
        p[0] = char('0' + v / 10 % 10);
        p[1] = char('0' + v % 10);
    };
    two(sz, h);
    sz[2] = ':';
    two(sz + 3, m);
    sz[5] = ':';
    two(sz + 6, s);
    sz[8] = '.';
    sz[9] = char('0' + ms / 100);
    two(sz + 10, ms % 100);
    return QString::fromLatin1(sz, 12);
}

} // namespace

QString FormatEventTime(uint64_t nFileTime) {
    CEventTimeFormatter formatter;
    return formatter.Format(nFileTime);
}

QString CEventTimeFormatter::Format(uint64_t nFileTime) {
    int64_t nSeconds;
    int nMs;
    SplitFileTime(nFileTime, nSeconds, nMs);
    if (nSeconds == m_nCachedSecond && nMs == m_nLastMs)
        return m_strLast;
    if (nSeconds != m_nCachedSecond) {
        const STimeOfDay tod = PlatformLocalTimeOfDay(nSeconds);
        m_nHour = tod.nHour;
        m_nMinute = tod.nMinute;
        m_nSecond = tod.nSecond;
        m_nCachedSecond = nSeconds;
    }
    m_nLastMs = nMs;
    m_strLast = TimeText(m_nHour, m_nMinute, m_nSecond, nMs);
    return m_strLast;
}
