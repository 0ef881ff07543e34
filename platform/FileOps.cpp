#include "platform/FileOps.h"

#include "platform/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
    if (stat(QFile::encodeName(strA).constData(), &a) == 0 &&
        stat(QFile::encodeName(strB).constData(), &b) == 0)
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    // A name not created yet: the same file name in the same folder.
    const QFileInfo infoA(strA), infoB(strB);
    const QString strDirA = QFileInfo(infoA.absolutePath()).canonicalFilePath();
    const QString strDirB = QFileInfo(infoB.absolutePath()).canonicalFilePath();
    const QString strFullA =
        (strDirA.isEmpty() ? infoA.absolutePath() : strDirA) + QLatin1Char('/') + infoA.fileName();
    const QString strFullB =
        (strDirB.isEmpty() ? infoB.absolutePath() : strDirB) + QLatin1Char('/') + infoB.fileName();
    return QDir::cleanPath(strFullA) == QDir::cleanPath(strFullB);
}
