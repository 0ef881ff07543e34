#include "settings/SetObj.h"

#include "platform/FileErrors.h"
#include "platform/FileLock.h"
#include "platform/FileNames.h"
#include "platform/FileOps.h"
#include "platform/Paths.h"
#include "platform/SafeFile.h"
#include "utils/Archive.h"
#include "utils/SystemInfo.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kSettingsFileName = QStringLiteral("setobj.dat");
// How long a reader waits for a program that is saving, and a writer for readers.
constexpr int LOCK_WAIT_MS = 2000;
// Damaged settings files kept beside the settings at most; more are left where they are.
constexpr int MAX_DAMAGED_COPIES = 100;

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
        const QByteArray lockPath = PlatformFileNameBytes(SettingsLockPath(m_strPath));
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

namespace {

SSettingsRead Failed(ESettingsRead nResult, const QString& strError) {
    SSettingsRead read;
    read.nResult = nResult;
    read.strError = strError;
    return read;
}

SSettingsRead NotARegularFile(const QString& strPath) {
    QString strWhy;
    CSafeFile::CheckTarget(strPath, nullptr, &strWhy);
    return Failed(SETTINGS_NOT_A_FILE,
                  QStringLiteral("cannot use %1 as the settings file: %2").arg(strPath, strWhy));
}

SSettingsRead CannotOpen(const QString& strPath, int nErrno) {
    return Failed(
        SETTINGS_UNREADABLE,
        QStringLiteral("cannot open %1: %2").arg(strPath, PlatformFileErrorWords(nErrno)));
}

// Moves the damaged file that was read aside, to the first free name. The name of the copy,
// or empty with pStrWhy; bChanged when another file took the settings file's place since it
// was read (a program saved meanwhile), which is then left alone.
QString KeepDamagedSettings(const QString& strPath, const SSettingsRead& read, QString* pStrWhy,
                            bool& bChanged) {
    CSettingsLock lock(strPath);
    if (!lock.Take(true, pStrWhy))
        return {};
    struct stat st {};
    if (stat(PlatformFileNameBytes(strPath).constData(), &st) != 0 || st.st_dev != read.nDevice ||
        st.st_ino != read.nInode) {
        bChanged = true;
        return {};
    }
    for (int n = 1; n <= MAX_DAMAGED_COPIES; ++n) {
        const QString strCopy = strPath + QStringLiteral(".damaged") +
                                (n > 1 ? QStringLiteral("-%1").arg(n) : QString());
        int nErrno = 0;
        if (PlatformRenameNoReplace(strPath, strCopy, &nErrno))
            return strCopy;
        if (nErrno != EEXIST) {
            SetError(pStrWhy, PlatformFileErrorWords(nErrno));
            return {};
        }
    }
    SetError(
        pStrWhy,
        QStringLiteral("%1 damaged copies are already kept beside it").arg(MAX_DAMAGED_COPIES));
    return {};
}

const QString kDefaultsLeaveTheFile =
    QStringLiteral("the default settings are used, and the file is left as it is");

} // namespace

SSettingsRead ReadSettingsFile(const QString& strPath, CSetObj* pObj) {
    const QByteArray path = PlatformFileNameBytes(strPath);
    struct stat st {};
    if (stat(path.constData(), &st) != 0) {
        if (errno == ENOENT)
            return Failed(SETTINGS_MISSING,
                          QStringLiteral("cannot open %1: it does not exist").arg(strPath));
        return CannotOpen(strPath, errno);
    }
    if (!S_ISREG(st.st_mode))
        return NotARegularFile(strPath);
    SSettingsRead read;
    CSettingsLock lock(strPath);
    if (!lock.Take(false, &read.strError))
        return Failed(SETTINGS_UNREADABLE, read.strError);
    // Opened without waiting, and checked again once open: a FIFO put in its place since
    // would otherwise block here.
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return CannotOpen(strPath, errno);
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return NotARegularFile(strPath);
    }
    QFile file;
    if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0 ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        const int nErrno = errno;
        ::close(fd);
        return CannotOpen(strPath, nErrno);
    }
    read.nDevice = st.st_dev;
    read.nInode = st.st_ino;
    // Read into a copy and take it only when the whole object was read: half a file
    // must never leave half the settings changed.
    CSetObj loaded(*pObj);
    QStringList notes;
    try {
        CArchive ar(&file, CArchive::load, 4096);
        loaded.Load(ar, &notes);
        ar.Close();
    } catch (const CArchiveException& e) {
        const bool bReadError = e.m_cause == CArchiveException::readError;
        read.nResult = bReadError ? SETTINGS_UNREADABLE : SETTINGS_DAMAGED;
        read.strError = (bReadError ? QStringLiteral("cannot read %1: %2")
                                    : QStringLiteral("%1 is damaged (%2)"))
                            .arg(strPath, QString::fromUtf8(e.what()));
        return read;
    }
    notes += loaded.CorrectRanges();
    for (const QString& strNote : notes)
        read.arNotes.append(QStringLiteral("%1: %2").arg(strPath, strNote));
    *pObj = loaded;
    read.nResult = SETTINGS_READ;
    return read;
}

bool LoadSettingsFile(const QString& strPath, CSetObj* pObj, QString* pStrError) {
    return LoadSettingsFile(strPath, pObj, pStrError, nullptr);
}

bool LoadSettingsFile(const QString& strPath, CSetObj* pObj, QString* pStrError,
                      QStringList* pNotes) {
    const SSettingsRead read = ReadSettingsFile(strPath, pObj);
    if (pNotes)
        pNotes->append(read.arNotes);
    if (read.nResult != SETTINGS_READ)
        SetError(pStrError, read.strError);
    return read.nResult == SETTINGS_READ;
}

SSettingsStart StartWithSettingsFile(const QString& strPath, CSetObj* pObj) {
    SSettingsStart start;
    // A second read only when a program saved good settings over the damaged ones meanwhile.
    for (int nTry = 0; nTry < 2; ++nTry) {
        const SSettingsRead read = ReadSettingsFile(strPath, pObj);
        start.arNotes = read.arNotes;
        switch (read.nResult) {
        case SETTINGS_READ:
        case SETTINGS_MISSING:
            return start;
        case SETTINGS_NOT_A_FILE:
            start.bRefused = true;
            start.bMayReplace = false;
            start.strMessage = read.strError;
            return start;
        case SETTINGS_UNREADABLE:
            start.bMayReplace = false;
            start.strMessage = read.strError + QStringLiteral("; ") + kDefaultsLeaveTheFile;
            return start;
        case SETTINGS_DAMAGED:
            break;
        }
        QString strWhy;
        bool bChanged = false;
        start.strKeptAs = KeepDamagedSettings(strPath, read, &strWhy, bChanged);
        if (bChanged)
            continue;
        if (start.strKeptAs.isEmpty()) {
            start.bMayReplace = false;
            start.strMessage = QStringLiteral("%1, and it could not be kept aside (%2); %3")
                                   .arg(read.strError, strWhy, kDefaultsLeaveTheFile);
        } else {
            start.strMessage =
                QStringLiteral("%1; it was kept as %2, and the default settings are used")
                    .arg(read.strError, start.strKeptAs);
        }
        return start;
    }
    start.bMayReplace = false;
    start.strMessage =
        QStringLiteral("%1 changed while it was read; %2").arg(strPath, kDefaultsLeaveTheFile);
    return start;
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
