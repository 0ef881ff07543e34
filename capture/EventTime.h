// Time text of an event: the local time of day of a driver file time, "hh:mm:ss.mmm".
#pragma once

#include "store/TimeText.h"

#include <QString>

#include <cstdint>

QString FormatEventTime(uint64_t nFileTime);

// The same text, remembering the last second's local time so a flood of events from one
// second converts the calendar fields once. One instance per thread.
class CEventTimeFormatter {
public:
    QString Format(uint64_t nFileTime);

private:
    CTimeTextFormatter m_formatter;
};
