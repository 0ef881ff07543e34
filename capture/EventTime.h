// Time text of an event: the local time of day of a driver file time, "hh:mm:ss.mmm".
#pragma once

#include <QString>

#include <cstdint>

QString FormatEventTime(uint64_t nFileTime);

// The same text, remembering the last second's local time so a flood of events from one
// second converts the calendar fields once, and the last text, so that events of the same
// millisecond share one string. One instance per thread.
class CEventTimeFormatter {
public:
    QString Format(uint64_t nFileTime);

private:
    int64_t m_nCachedSecond = INT64_MIN;
    int m_nHour = 0, m_nMinute = 0, m_nSecond = 0;
    int m_nLastMs = -1;
    QString m_strLast;
};
