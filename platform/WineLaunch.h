// Starting Windows programs under Wine while the driver watches a Wine prefix.
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// What to run instead of a program, when it is a Windows program (.exe, .msi, .bat, .cmd,
// any case) and HIVEWATCH_DRIVER_SOURCE names a Wine prefix: wine PROGRAM ARGS, for .msi
// msiexec /i, for .bat and .cmd cmd /c, all in that prefix. The launched process is then the
// program itself, so its process ID is the one to watch.
struct SWineLaunch {
    QString m_strProgram;
    QStringList m_arArgs;
    QProcessEnvironment m_env;
};
// False (and nothing changed) when the program is not to run under Wine.
bool WineLaunchFor(const QString& strProgram, const QStringList& arArgs, SWineLaunch& launch);
