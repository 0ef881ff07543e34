#include "capture/EventTime.h"

QString FormatEventTime(uint64_t nFileTime) {
    CEventTimeFormatter formatter;
    return formatter.Format(nFileTime);
}

QString CEventTimeFormatter::Format(uint64_t nFileTime) {
    char sz[TIME_TEXT_LENGTH];
    m_formatter.Format(nFileTime, sz);
    return QString::fromLatin1(sz, qsizetype(TIME_TEXT_LENGTH));
}
