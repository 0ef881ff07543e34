#include "platform/SafeFile.h"

#include "platform/FileErrors.h"
#include "platform/FileNames.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray Native(const QString& str) {
    return PlatformFileNameBytes(str);
}

QString KindOfNonRegular(mode_t mode) {
    if (S_ISFIFO(mode))
        return QStringLiteral("it is a FIFO, not a regular file");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("it is a device, not a regular file");
    if (S_ISSOCK(mode))
        return QStringLiteral("it is a socket, not a regular file");
    return QStringLiteral("it is not a regular file");
}

bool Refuse(int nErrno, const QString& strWhy, int* pErrno, QString* pStrWhy) {
    if (pErrno)
        *pErrno = nErrno;
    if (pStrWhy)
        *pStrWhy = strWhy;
    return false;
}

// The folder a new file would go into must exist and be a folder.
bool CheckFolderOf(const QString& strPath, int* pErrno, QString* pStrWhy) {
    struct stat st {};
    const QString strDir = QFileInfo(PlatformAbsoluteFileName(strPath)).absolutePath();
    if (stat(Native(strDir).constData(), &st) != 0)
        return Refuse(errno, PlatformFileErrorWords(errno, true), pErrno, pStrWhy);
    if (!S_ISDIR(st.st_mode))
        return Refuse(ENOTDIR, PlatformFileErrorWords(ENOTDIR, true), pErrno, pStrWhy);
    return true;
}

} // namespace

CSafeFile::CSafeFile(const QString& strPath) : m_strPath(strPath) {}

CSafeFile::~CSafeFile() {
    Discard();
}

bool CSafeFile::CheckTarget(const QString& strPath, int* pErrno, QString* pStrWhy) {
    if (strPath.isEmpty())
        return Refuse(ENOENT, QStringLiteral("no file name was given"), pErrno, pStrWhy);
    struct stat st {};
    if (stat(Native(strPath).constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return Refuse(EISDIR, PlatformFileErrorWords(EISDIR), pErrno, pStrWhy);
        if (!S_ISREG(st.st_mode))
            return Refuse(EINVAL, KindOfNonRegular(st.st_mode), pErrno, pStrWhy);
        return true;
    }
    if (errno != ENOENT)
        return Refuse(errno, PlatformFileErrorWords(errno, true), pErrno, pStrWhy);
    return CheckFolderOf(strPath, pErrno, pStrWhy);
}

bool CSafeFile::Fail(int nErrno, bool bCreating, const QString& strWords) {
    if (!m_bFailed) {
        m_bFailed = true;
        m_nErrno = nErrno;
        m_bCreating = bCreating;
        m_strWords = strWords;
        setErrorString(ErrorText());
    }
    return false;
}

bool CSafeFile::Open() {
    int nErrno = 0;
    QString strWhy;
    if (!CheckTarget(m_strPath, &nErrno, &strWhy))
        return Fail(nErrno, true, strWhy);
    m_strTarget = PlatformAbsoluteFileName(m_strPath);
    mode_t mode = 0;
    bool bExisting = false;
    struct stat st {};
    if (stat(Native(m_strPath).constData(), &st) == 0) {
        bExisting = true;
        mode = st.st_mode & 07777;
        char szReal[PATH_MAX];
        if (realpath(Native(m_strPath).constData(), szReal))
            m_strTarget = PlatformFileNameFromBytes(szReal); // replace the file a link names
    }
    const QFileInfo target(m_strTarget);
    const QString strStem = target.absolutePath() + QStringLiteral("/.") + target.fileName();
    for (int nTry = 0; m_fd < 0 && nTry < 100; ++nTry) {
        m_strTemp = strStem +
                    QStringLiteral(".%1.tmp").arg(QRandomGenerator::global()->generate() & 0xFFFFFF,
                                                  6, 16, QLatin1Char('0'));
        m_fd = ::open(Native(m_strTemp).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd < 0 && errno != EEXIST)
            return Fail(errno, true);
    }
    if (m_fd < 0)
        return Fail(EEXIST, true);
    if (bExisting)
        fchmod(m_fd, mode); // the replacement keeps the permissions of the file it replaces
    return QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 CSafeFile::writeData(const char* pData, qint64 nSize) {
    if (m_bFailed || m_fd < 0)
        return -1;
    qint64 nDone = 0;
    while (nDone < nSize) {
        const ssize_t n = ::write(m_fd, pData + nDone, size_t(nSize - nDone));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            Fail(n < 0 ? errno : ENOSPC, false);
            return -1;
        }
        nDone += n;
    }
    return nDone;
}

void CSafeFile::CloseTemp() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool CSafeFile::Finish() {
    if (m_bFinished)
        return true;
    if (m_fd < 0 || m_bFailed) {
        Discard();
        return false;
    }
    // A full disk or a failing device may report itself only here.
    int rc;
    do {
        rc = fsync(m_fd);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        Fail(errno, false);
        Discard();
        return false;
    }
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        Fail(errno, false);
        Discard();
        return false;
    }
    m_bFinished = true;
    return true;
}

bool CSafeFile::Commit() {
    if (!Finish())
        return false;
    if (std::rename(Native(m_strTemp).constData(), Native(m_strTarget).constData()) != 0) {
        Fail(errno, true);
        Discard();
        return false;
    }
    m_strTemp.clear();
    // Make the rename itself durable; the data is already safe, so a failure here is not one.
    const int dirFd =
        ::open(Native(QFileInfo(m_strTarget).absolutePath()).constData(), O_RDONLY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        ::close(dirFd);
    }
    QIODevice::close();
    return true;
}

void CSafeFile::Discard() {
    CloseTemp();
    if (!m_strTemp.isEmpty())
        ::unlink(Native(m_strTemp).constData());
    m_strTemp.clear();
    if (isOpen())
        QIODevice::close();
}

int CSafeFile::ErrorCause() const {
    return m_bFailed ? PlatformFileErrorCause(m_nErrno, m_bCreating) : 0;
}

QString CSafeFile::ErrorText() const {
    if (!m_bFailed)
        return {};
    const QString strWords =
        m_strWords.isEmpty() ? PlatformFileErrorWords(m_nErrno, m_bCreating) : m_strWords;
    return (m_bCreating ? QStringLiteral("cannot create %1: %2")
                        : QStringLiteral("cannot write %1: %2"))
        .arg(m_strPath, strWords);
}
