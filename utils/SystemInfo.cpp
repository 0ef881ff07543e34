#include "utils/SystemInfo.h"

#include "platform/Paths.h"

CSystemInfo g_ExtSysInfo;

QString CSystemInfo::GetExePath() const {
    return PlatformExecutableDir();
}

QString CSystemInfo::GetSysPath() const {
    return GetSysPath(nullptr);
}

QString CSystemInfo::GetSysPath(QString* pStrError) const {
    const QString strData = PlatformUserDataDir(pStrError);
    if (strData.isEmpty())
        return {};
    const QString strSys = strData + QStringLiteral("system/");
    return PlatformMakePrivateDir(strSys, pStrError) ? strSys : QString();
}
