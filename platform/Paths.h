// Folders the program needs from the operating system: its own, and per-user data and settings.
#pragma once

#include <QString>

// Each returned folder ends with '/'. Empty when the folder cannot be found or created.
QString PlatformExecutableDir();
QString PlatformUserDataDir();   // $XDG_DATA_HOME/Hivewatch/, created on demand
QString PlatformUserConfigDir(); // $XDG_CONFIG_HOME/Hivewatch/, created on demand

bool PlatformIsDirWritable(const QString& strDir);
