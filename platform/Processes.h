// Processes: the name of a running one, and starting a program.
#pragma once

#include <QString>

// The executable name of a running process ("firefox-esr"), or empty when there is none.
QString PlatformProcessName(int nPid);

// Starts a program with a parameter text split as a shell would; the program runs on its
// own (never waited for). Returns its process ID, or -1 with pStrError filled.
int PlatformStartProcess(const QString& strProgram, const QString& strParams,
                         QString* pStrError = nullptr);
