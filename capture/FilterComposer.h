// Composes the driver's include and exclude texts from the settings and the pending target.
#pragma once

#include "settings/SetObj.h"

#include <QByteArray>
#include <QString>

// The program's own executable, kept out of an all-process capture.
inline constexpr const char* OWN_EXECUTABLE_NAME = "Hivewatch.exe";

struct SComposedFilter {
    QString strInclude; // upper case, before the cut to the text area
    QString strExclude;
    int nTargetPid = -1; // the attached process, root of the process tree watched; -1 for none
};

// An all-process capture also excludes strOwnProcessName, the running program's own process
// name, when the driver would not already match it with OWN_EXECUTABLE_NAME (it compares
// names ignoring case and a trailing ".exe"), so no Hivewatch program reports itself.
SComposedFilter ComposeFilterTexts(const CSetObj& setObj, const QString& strOwnProcessName);
// The same for this process.
SComposedFilter ComposeFilterTexts(const CSetObj& setObj);

// The block sent to the driver: the settings' switch bytes, the two texts in the narrow
// code page, each cut so that it and its terminating zero fit the 1024-byte area.
FILTER_BLOCK BuildFilterBlock(const CSetObj& setObj, const SComposedFilter& composed);

// A text as it goes into one area: at most 1022 characters, then cut further at a
// character boundary until its narrow form leaves room for the zero.
QByteArray FitFilterText(const QString& strText);
