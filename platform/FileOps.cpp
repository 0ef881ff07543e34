#include "platform/FileOps.h"

#include "platform/FileNames.h"
#include "platform/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <climits>
#include <cstdlib>
#include <sys/stat.h>

bool PlatformCopyFileReplacing(const QString& strSource, const QString& strTarget,
                               QString* pStrError) {
    auto fail = [&](const QString& str) {
        if (pStrError)
            *pStrError = str;
        return false;
    };
    QFile source(strSource);
    if (!source.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read %1: %2").arg(strSource, source.errorString()));
    CSafeFile target(strTarget);
    if (!target.Open())
        return fail(target.ErrorText());
    QByteArray chunk;
    for (;;) {
        chunk = source.read(1 << 20);
        if (chunk.isEmpty())
            break;
        if (target.write(chunk) != chunk.size())
            return fail(target.ErrorText());
    }
    if (source.error() != QFileDevice::NoError)
        return fail(QStringLiteral("cannot read %1: %2").arg(strSource, source.errorString()));
    if (!target.Commit())
        return fail(target.ErrorText());
    return true;
}

bool PlatformSameFile(const QString& strA, const QString& strB) {
    struct stat a {
    }, b{};
    if (stat(PlatformFileNameBytes(strA).constData(), &a) == 0 &&
        stat(PlatformFileNameBytes(strB).constData(), &b) == 0)
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    // A name not created yet: the same file name in the same folder.
    auto fullName = [](const QString& str) {
        const QFileInfo info(PlatformAbsoluteFileName(str));
        char szReal[PATH_MAX];
        const QString strDir =
            realpath(PlatformFileNameBytes(info.absolutePath()).constData(), szReal)
                ? PlatformFileNameFromBytes(szReal)
                : info.absolutePath();
        return QDir::cleanPath(strDir + QLatin1Char('/') + info.fileName());
    };
    return fullName(strA) == fullName(strB);
}
