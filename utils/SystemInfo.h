// Where the program lives: its own folder and the folder that stands in for the system directory.
#pragma once

#include <QString>

class CSystemInfo {
public:
    // The running executable's folder, ending in a separator; empty when it cannot be found.
    QString GetExePath() const;
    // A per-user folder standing in for the system directory (drivers are copied below it),
    // ending in a separator: $XDG_DATA_HOME/Hivewatch/system/, created private to the user
    // (mode 0700) and checked to be owned by the user and not writable by others, since the
    // driver is loaded from it. Empty when there is no such folder; pStrError then says why.
    QString GetSysPath() const;
    QString GetSysPath(QString* pStrError) const;
};

extern CSystemInfo g_ExtSysInfo;
