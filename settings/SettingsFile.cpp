#include "settings/SetObj.h"

#include "platform/FileLock.h"
#include "platform/Paths.h"
#include "platform/SafeFile.h"
#include "utils/Archive.h"
#include "utils/SystemInfo.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QString kSettingsFileName = QStringLiteral("setobj.dat");
// How long a reader waits for a program that is saving, and a writer for readers.
constexpr int LOCK_WAIT_MS = 2000;

void SetError(QString* pStrError, const QString& str) {
    if (pStrError)
        *pStrError = str;
}

// The lock of a settings file. It lives in a file of its own beside the settings, because a
// save renames a new file over the settings file: a lock on the settings file itself would
// stay behind on the replaced one while the next reader locks the new one.
class CSettingsLock {
public:
    explicit CSettingsLock(const QString& strPath) : m_strPath(strPath) {}
    ~CSettingsLock() {
        if (m_fd >= 0) {
            PlatformUnlockFile(m_fd);
            ::close(m_fd);
        }
    }
    CSettingsLock(const CSettingsLock&) = delete;
    CSettingsLock& operator=(const CSettingsLock&) = delete;

    bool Take(bool bExclusive, QString* pStrError) {
        const QByteArray lockPath = QFile::encodeName(SettingsLockPath(m_strPath));
        m_fd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (m_fd < 0 && !bExclusive) {
            // A folder this program cannot write: an existing lock file is still shared,
            // and without one nobody can be saving there.
            m_fd = ::open(lockPath.constData(), O_RDONLY | O_CLOEXEC);
            if (m_fd < 0)
                return true;
        }
        if (m_fd < 0) {
            SetError(pStrError, QStringLiteral("cannot write %1: %2")
                                    .arg(m_strPath, QString::fromLocal8Bit(std::strerror(errno))));
            return false;
        }
        if (!PlatformLockFile(m_fd, bExclusive, LOCK_WAIT_MS)) {
            SetError(pStrError,
                     QStringLiteral("%1 is in use by another program that did not finish "
                                    "with it within %2 seconds")
                         .arg(m_strPath)
                         .arg(LOCK_WAIT_MS / 1000));
            return false;
        }
        return true;
    }

private:
    QString m_strPath;
    int m_fd = -1;
};

} // namespace

QString SettingsLockPath(const QString& strPath) {
    return strPath + QStringLiteral(".lock");
}

bool LoadSettingsFile(const QString& strPath, CSetObj* pObj, QString* pStrError) {
    return LoadSettingsFile(strPath, pObj, pStrError, nullptr);
}

bool LoadSettingsFile(const QString& strPath, CSetObj* pObj, QString* pStrError,
                      QStringList* pNotes) {
    QFile file(strPath);
    if (!QFileInfo::exists(strPath)) {
        SetError(pStrError, QStringLiteral("cannot open %1: it does not exist").arg(strPath));
        return false;
    }
    CSettingsLock lock(strPath);
    if (!lock.Take(false, pStrError))
        return false;
    if (!file.open(QIODevice::ReadOnly)) {
        SetError(pStrError, QStringLiteral("cannot open %1: %2").arg(strPath, file.errorString()));
        return false;
    }
    // Read into a copy and take it only when the whole object was read: half a file
    // must never leave half the settings changed.
    CSetObj loaded(*pObj);
    QStringList notes;
    try {
        CArchive ar(&file, CArchive::load, 4096);
        loaded.Load(ar, &notes);
        ar.Close();
    } catch (const CArchiveException& e) {
        SetError(pStrError,
                 QStringLiteral("%1 is damaged (%2)").arg(strPath, QString::fromUtf8(e.what())));
        return false;
    }
    notes += loaded.CorrectRanges();
    if (pNotes) {
        for (const QString& strNote : notes)
            pNotes->append(QStringLiteral("%1: %2").arg(strPath, strNote));
    }
    *pObj = loaded;
    return true;
}

// The new file is written and put on disk first; the writer's lock is held only for the
// rename, so readers starting meanwhile wait for microseconds, not for a disk.
bool SaveSettingsFile(const QString& strPath, const CSetObj* pObj, QString* pStrError) {
    if (!pObj)
        pObj = &g_SetObj;
    CSafeFile file(strPath);
    if (!file.Open()) {
        SetError(pStrError, file.ErrorText());
        return false;
    }
    try {
        CArchive ar(&file, CArchive::store, 4096);
        pObj->Store(ar);
        ar.Close();
    } catch (const CArchiveException&) {
        SetError(pStrError, file.ErrorText());
        return false;
    }
    if (!file.Finish()) {
        SetError(pStrError, file.ErrorText());
        return false;
    }
    CSettingsLock lock(strPath);
    if (!lock.Take(true, pStrError))
        return false;
    if (!file.Commit()) {
        SetError(pStrError, file.ErrorText());
        return false;
    }
    return true;
}

QString GetSettingsPath() {
    const QString strExeDir = g_ExtSysInfo.GetExePath();
    if (!strExeDir.isEmpty() && PlatformIsDirWritable(strExeDir))
        return strExeDir + kSettingsFileName;
    const QString strConfig = PlatformUserConfigDir();
    if (!strConfig.isEmpty())
        return strConfig + kSettingsFileName;
    return strExeDir.isEmpty() ? QString() : strExeDir + kSettingsFileName;
}
