// Processes: the name and parent of a running one, and starting a program.
#pragma once

#include <QString>
#include <QStringList>

// The executable name of a running process ("firefox-esr"), or empty when there is none.
QString PlatformProcessName(int nPid);
// The executable name of this process ("hivewatch-capture").
QString PlatformOwnProcessName();
// The process that started nPid (its parent), or -1 when nPid is not running (or unreadable).
int PlatformParentPid(int nPid);

// The file a program name stands for: a path as given, or a bare name looked up in PATH; false
// with the reason when it is missing, a folder or not executable.
bool PlatformResolveProgram(const QString& strProgram, QString& strPath, QString* pStrError);

// Starts a program with a parameter text split into arguments at white space, double quotes
// grouping words (three double quotes stand for one), without a shell; the program runs on
// its own (never waited for). Returns its process ID, or -1 with pStrError filled.
int PlatformStartProcess(const QString& strProgram, const QString& strParams,
                         QString* pStrError = nullptr);
// The same with the arguments exactly as given (spaces, quotes, tabs and empty arguments
// reach the program unchanged). pStrError says why a start failed: the program was not
// found, is a folder, or is not executable.
int PlatformStartProcessArgs(const QString& strProgram, const QStringList& arArgs,
                             QString* pStrError = nullptr);
