#include "platform/FileOps.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <unistd.h>

bool PlatformCopyFileReplacing(const QString& strSource, const QString& strTarget,
                               QString* pStrError) {
    auto fail = [&](const QString& str) {
        if (pStrError)
            *pStrError = str;
        return false;
    };
    if (!QDir().mkpath(QFileInfo(strTarget).absolutePath()))
        return fail(QStringLiteral("cannot create the folder of %1").arg(strTarget));
    const QString strTemp = strTarget + QStringLiteral(".%1.tmp").arg(getpid());
    QFile::remove(strTemp);
    QFile source(strSource);
    if (!source.copy(strTemp))
        return fail(QStringLiteral("cannot copy %1 to %2: %3")
                        .arg(strSource, strTemp, source.errorString()));
    if (std::rename(QFile::encodeName(strTemp).constData(),
                    QFile::encodeName(strTarget).constData()) != 0) {
        QFile::remove(strTemp);
        return fail(QStringLiteral("cannot replace %1").arg(strTarget));
    }
    return true;
}
