#include "settings/SetObj.h"

#include "platform/FileLock.h"
#include "platform/Paths.h"
#include "utils/Archive.h"
#include "utils/SystemInfo.h"

#include <QFile>

namespace {

const QString kSettingsFileName = QStringLiteral("setobj.dat");

void SetError(QString* pStrError, const QString& str) {
    if (pStrError)
        *pStrError = str;
}

// Opens the file and takes the exclusive lock; both directions insist on exclusive access.
bool OpenExclusive(QFile& file, QIODevice::OpenMode mode, QString* pStrError) {
    if (!file.open(mode)) {
        SetError(pStrError,
                 QStringLiteral("cannot open %1: %2").arg(file.fileName(), file.errorString()));
        return false;
    }
    if (!PlatformTryLockExclusive(file.handle())) {
        SetError(pStrError, QStringLiteral("%1 is in use by another process").arg(file.fileName()));
        file.close();
        return false;
    }
    return true;
}

} // namespace

bool LoadSettingsFile(const QString& strPath, CSetObj* pObj, QString* pStrError) {
    QFile file(strPath);
    if (!OpenExclusive(file, QIODevice::ReadOnly, pStrError))
        return false;
    // Read into a copy and take it only when the whole object was read: half a file
    // must never leave half the settings changed.
    CSetObj loaded(*pObj);
    try {
        CArchive ar(&file, CArchive::load, 4096);
        loaded.Load(ar);
        ar.Close();
    } catch (const CArchiveException& e) {
        SetError(pStrError, QStringLiteral("%1 is damaged (%2); the defaults stay in force")
                                .arg(strPath, QString::fromUtf8(e.what())));
        return false;
    }
    *pObj = loaded;
    return true;
}

bool SaveSettingsFile(const QString& strPath, const CSetObj* pObj, QString* pStrError) {
    if (!pObj)
        pObj = &g_SetObj;
    // Truncating only after the lock is held keeps a reader's file intact.
    QFile file(strPath);
    if (!OpenExclusive(file, QIODevice::ReadWrite, pStrError))
        return false;
    try {
        file.resize(0);
        CArchive ar(&file, CArchive::store, 4096);
        pObj->Store(ar);
        ar.Close();
    } catch (const CArchiveException& e) {
        SetError(pStrError,
                 QStringLiteral("cannot write %1: %2").arg(strPath, QString::fromUtf8(e.what())));
        return false;
    }
    if (!file.flush()) {
        SetError(pStrError, QStringLiteral("cannot write %1: %2").arg(strPath, file.errorString()));
        return false;
    }
    return true;
}

QString GetSettingsPath() {
    const QString strExeDir = g_ExtSysInfo.GetExePath();
    const QString strBeside = strExeDir + kSettingsFileName;
    if (PlatformIsDirWritable(strExeDir))
        return strBeside;
    const QString strConfig = PlatformUserConfigDir();
    if (strConfig.isEmpty())
        return strBeside;
    return strConfig + kSettingsFileName;
}
