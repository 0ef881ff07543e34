#include "utils/SystemInfo.h"

#include "platform/Paths.h"

#include <QDir>

CSystemInfo g_ExtSysInfo;

QString CSystemInfo::GetExePath() const {
    return PlatformExecutableDir();
}

QString CSystemInfo::GetSysPath() const {
    const QString strData = PlatformUserDataDir();
    if (strData.isEmpty())
        return {};
    const QString strSys = strData + QStringLiteral("system/");
    return QDir().mkpath(strSys) ? strSys : QString();
}
