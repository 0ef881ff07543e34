// Folders the program needs from the operating system: its own, and per-user data and settings.
#pragma once

#include <QString>

// Each returned folder ends with '/'. Empty when the folder cannot be found or created.
QString PlatformExecutableDir();
QString PlatformUserDataDir();   // $XDG_DATA_HOME/Hivewatch/, created on demand
QString PlatformUserConfigDir(); // $XDG_CONFIG_HOME/Hivewatch/, created on demand
// The same, saying why when there is none (no XDG folder and no HOME, or it cannot be made).
QString PlatformUserDataDir(QString* pStrError);

bool PlatformIsDirWritable(const QString& strDir);

// Makes sure strDir is a folder private to the user who runs the program: creates it with
// mode 0700 when missing, then checks that it is a real folder (not a link), owned by this
// user and not writable by the group or others. False with the reason otherwise.
bool PlatformMakePrivateDir(const QString& strDir, QString* pStrError = nullptr);
