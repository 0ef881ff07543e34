// The height of one row in the program's lists, the event list and the process picker alike.
#pragma once

#include <QFontMetrics>
#include <QtGlobal>

// The font's line and a little room, never below 16 pixels: compact, as report lists are.
inline int ListRowHeight(const QFontMetrics& fm) {
    return qMax(16, fm.height() + 4);
}
