// Where the program lives: its own folder and the folder that stands in for the system directory.
#pragma once

#include <QString>

class CSystemInfo {
public:
    // The running executable's folder, ending in a separator.
    QString GetExePath() const;
    // A per-user folder standing in for the system directory (drivers are copied below it),
    // created on demand, ending in a separator.
    QString GetSysPath() const;
};

extern CSystemInfo g_ExtSysInfo;
