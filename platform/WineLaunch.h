// Starting Windows programs under Wine while the driver watches a Wine prefix.
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// What to run instead of a program while HIVEWATCH_DRIVER_SOURCE names a Wine prefix, when it
// is a Windows program (.exe, .msi, .bat, .cmd in any case, a Windows path, or a bare name
// the prefix has, such as "reg"): wine PROGRAM ARGS, for .msi msiexec /i, for .bat and .cmd
// cmd /c. Wine's loader named as the program (wine, wine64, or a path to one) runs the
// program after it the same way. Everything runs in that prefix (WINEPREFIX set to it). The
// launched process is the program itself (or the program that runs a script or package), so
// its process ID is the root of what is watched.
struct SWineLaunch {
    QString m_strProgram;
    QStringList m_arArgs;
    QProcessEnvironment m_env;
};
// False (and nothing changed) when the program is not to run under Wine.
bool WineLaunchFor(const QString& strProgram, const QStringList& arArgs, SWineLaunch& launch);

// Ends the Windows programs of a prefix as a log-off would: those with windows are asked to
// close (and may save their settings), the rest are ended (wineboot --end-session --kill).
// Waits up to nTimeoutMs; false with the reason when that failed.
bool WineEndPrograms(const QString& strPrefix, QString* pStrError, int nTimeoutMs = 20000);
