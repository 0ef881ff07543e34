#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

QString TestDataPath(const char* pName) {
    return QStringLiteral(HW_TESTDATA_DIR "/") + QString::fromUtf8(pName);
}

QByteArray ReadWholeFile(const QString& strPath) {
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << strPath.toStdString();
        return {};
    }
    return file.readAll();
}

QString TestTempDir() {
    static QTemporaryDir s_dir;
    static int s_nCounter = 0;
    const QString strPath = s_dir.path() + QStringLiteral("/d%1/").arg(++s_nCounter);
    QDir().mkpath(strPath);
    return strPath;
}
