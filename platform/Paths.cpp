#include "platform/Paths.h"

#include <QDir>
#include <QFileInfo>

#include <climits>
#include <unistd.h>

namespace {

QString WithSeparator(QString strDir) {
    if (!strDir.isEmpty() && !strDir.endsWith(QLatin1Char('/')))
        strDir += QLatin1Char('/');
    return strDir;
}

// The XDG base folder from its variable, or the home-relative fallback the XDG rules name.
QString XdgDir(const char* pVar, const char* pHomeRelative) {
    QString strBase = qEnvironmentVariable(pVar);
    if (strBase.isEmpty() || !QDir::isAbsolutePath(strBase)) {
        const QString strHome = qEnvironmentVariable("HOME");
        if (strHome.isEmpty())
            return {};
        strBase = strHome + QLatin1Char('/') + QLatin1String(pHomeRelative);
    }
    const QString strDir = WithSeparator(strBase) + QStringLiteral("Hivewatch/");
    if (!QDir().mkpath(strDir))
        return {};
    return strDir;
}

} // namespace

QString PlatformExecutableDir() {
    char szPath[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", szPath, sizeof(szPath) - 1);
    if (n <= 0)
        return WithSeparator(QDir::currentPath());
    szPath[n] = '\0';
    return WithSeparator(QFileInfo(QString::fromLocal8Bit(szPath)).absolutePath());
}

QString PlatformUserDataDir() {
    return XdgDir("XDG_DATA_HOME", ".local/share");
}

QString PlatformUserConfigDir() {
    return XdgDir("XDG_CONFIG_HOME", ".config");
}

bool PlatformIsDirWritable(const QString& strDir) {
    return !strDir.isEmpty() && access(QFile::encodeName(strDir).constData(), W_OK) == 0;
}
