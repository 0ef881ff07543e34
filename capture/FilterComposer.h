// Composes the driver's include and exclude texts from the settings and the pending target.
#pragma once

#include "settings/SetObj.h"

#include <QByteArray>
#include <QString>

// The program's own executable, kept out of an all-process capture.
inline constexpr const char* OWN_EXECUTABLE_NAME = "Hivewatch.exe";

// What a text area holds at most: its 1024 bytes less the terminating zero.
inline constexpr qsizetype FILTER_TEXT_CAPACITY = qsizetype(FILTER_TEXT_SIZE) - 1;

struct SComposedFilter {
    QString strInclude; // upper case, before the cut to the text area
    QString strExclude;
    // The entries of each text that are sent whatever else must be left out: the program's
    // own exclusion in the exclude text.
    QString strIncludeKept;
    QString strExcludeKept;
    int nTargetPid = -1; // the attached process, root of the process tree watched; -1 for none
};

// An all-process capture also excludes strOwnProcessName, the running program's own process
// name, when the driver would not already match it with OWN_EXECUTABLE_NAME (it compares
// names ignoring case and a trailing ".exe"), so no Hivewatch program reports itself.
SComposedFilter ComposeFilterTexts(const CSetObj& setObj, const QString& strOwnProcessName);
// The same for this process.
SComposedFilter ComposeFilterTexts(const CSetObj& setObj);

// The block sent to the driver: the settings' switch bytes and the two texts in the narrow
// code page, each fitted to its 1024-byte area with FitFilterText.
FILTER_BLOCK BuildFilterBlock(const CSetObj& setObj, const SComposedFilter& composed);

// A text as it goes into one area, in the narrow code page without its zero. A text that fits
// goes as it is. One that does not is never cut inside an entry, which would make another
// entry of it ("HKLM\SOFTWARE" cut to "HKLM"): the entries of strKept always go, the others
// in order wherever there is room for them beside those; an entry without room is left out.
QByteArray FitFilterText(const QString& strText, const QString& strKept = {});

// Why the composed texts do not fit their areas, for the user: how many bytes the entries
// of each text that does not fit take and how many are left for them beside the entries that
// are always sent. Empty when both fit.
QString FilterOverflowText(const SComposedFilter& composed);
