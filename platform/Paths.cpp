#include "platform/Paths.h"

#include "platform/FileNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString WithSeparator(QString strDir) {
    if (!strDir.isEmpty() && !strDir.endsWith(QLatin1Char('/')))
        strDir += QLatin1Char('/');
    return strDir;
}

void SetError(QString* pStrError, const QString& str) {
    if (pStrError)
        *pStrError = str;
}

// The XDG base folder from its variable, or the home-relative fallback the XDG rules name.
QString XdgDir(const char* pVar, const char* pHomeRelative, QString* pStrError = nullptr) {
    QString strBase = qEnvironmentVariable(pVar);
    if (strBase.isEmpty() || !QDir::isAbsolutePath(strBase)) {
        const QString strHome = qEnvironmentVariable("HOME");
        if (strHome.isEmpty() || !QDir::isAbsolutePath(strHome)) {
            SetError(pStrError,
                     QStringLiteral("neither %1 nor HOME names a folder").arg(QLatin1String(pVar)));
            return {};
        }
        strBase = strHome + QLatin1Char('/') + QLatin1String(pHomeRelative);
    }
    const QString strDir = WithSeparator(strBase) + QStringLiteral("Hivewatch/");
    if (!QDir().mkpath(strDir)) {
        SetError(pStrError, QStringLiteral("cannot create the folder %1").arg(strDir));
        return {};
    }
    return strDir;
}

} // namespace

QString PlatformExecutableDir() {
    char szPath[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", szPath, sizeof(szPath) - 1);
    if (n <= 0)
        return {}; // never the current folder: files found there are not the program's
    szPath[n] = '\0';
    return WithSeparator(QFileInfo(QString::fromLocal8Bit(szPath)).absolutePath());
}

QString PlatformUserDataDir() {
    return XdgDir("XDG_DATA_HOME", ".local/share");
}

QString PlatformUserDataDir(QString* pStrError) {
    return XdgDir("XDG_DATA_HOME", ".local/share", pStrError);
}

QString PlatformUserConfigDir() {
    return XdgDir("XDG_CONFIG_HOME", ".config");
}

bool PlatformIsDirWritable(const QString& strDir) {
    return !strDir.isEmpty() && access(QFile::encodeName(strDir).constData(), W_OK) == 0;
}

bool PlatformMakePrivateDir(const QString& strDir, QString* pStrError) {
    // Without its trailing '/': lstat would follow a link named with one.
    QByteArray path = PlatformFileNameBytes(strDir);
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    if (strDir.isEmpty() || !QDir::isAbsolutePath(strDir)) {
        SetError(pStrError, QStringLiteral("\"%1\" is not an absolute folder path").arg(strDir));
        return false;
    }
    if (mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        SetError(pStrError, QStringLiteral("cannot create the folder %1: %2")
                                .arg(strDir, QString::fromLocal8Bit(std::strerror(errno))));
        return false;
    }
    struct stat st {};
    if (lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        SetError(pStrError, QStringLiteral("%1 is not a folder").arg(strDir));
        return false;
    }
    if (st.st_uid != geteuid()) {
        SetError(pStrError, QStringLiteral("the folder %1 belongs to another user").arg(strDir));
        return false;
    }
    if (st.st_mode & (S_IWGRP | S_IWOTH)) {
        SetError(pStrError,
                 QStringLiteral("the folder %1 can be written by other users").arg(strDir));
        return false;
    }
    return true;
}
