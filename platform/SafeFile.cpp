#include "platform/SafeFile.h"

#include "platform/FileErrors.h"
#include "platform/FileLock.h"
#include "platform/FileNames.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<CSafeFile::SyncFn> g_pfnSync{nullptr};

int SyncFile(int fd) {
    const CSafeFile::SyncFn pfn = g_pfnSync.load(std::memory_order_relaxed);
    return pfn ? pfn(fd) : fsync(fd);
}

// Temporary files of a target are named "." + its name + "." + the writer's process ID + "." +
// six hex digits + ".tmp". The target's name is cut to MAX_STEM_BYTES so that the whole name
// stays within the system's limit of 255 bytes.
constexpr qsizetype MAX_STEM_BYTES = 200;
constexpr size_t RANDOM_DIGITS = 6;
constexpr char TEMP_SUFFIX[] = ".tmp";

QByteArray TempStem(const QByteArray& fileName) {
    return '.' + fileName.left(MAX_STEM_BYTES) + '.';
}

// The writer's process ID when name is a temporary file of the target with this stem, else 0.
pid_t TempWriter(std::string_view name, std::string_view stem) {
    const std::string_view suffix = TEMP_SUFFIX;
    if (name.size() <= stem.size() + suffix.size() || !name.starts_with(stem) ||
        !name.ends_with(suffix))
        return 0;
    const std::string_view rest =
        name.substr(stem.size(), name.size() - stem.size() - suffix.size());
    const size_t nDot = rest.find('.');
    if (nDot == std::string_view::npos || rest.size() - nDot - 1 != RANDOM_DIGITS)
        return 0;
    for (const char c : rest.substr(nDot + 1)) {
        if (!std::isxdigit(static_cast<unsigned char>(c)) ||
            std::isupper(static_cast<unsigned char>(c)))
            return 0;
    }
    pid_t pid = 0;
    const auto [pEnd, ec] = std::from_chars(rest.data(), rest.data() + nDot, pid);
    return ec == std::errc() && pEnd == rest.data() + nDot && pid > 0 ? pid : 0;
}

// Whether the process that wrote a temporary file has ended. A process that still exists, or
// may (another user's), counts as running, and so does this one.
bool WriterHasEnded(pid_t pid) {
    return pid != getpid() && kill(pid, 0) != 0 && errno == ESRCH;
}

// Removes the temporary files of a target that their writers left when they were killed. A
// file is removed only when its writer's process has ended and nobody holds its lock: a
// writer whose process ID means another process here (it runs in another PID namespace on
// a shared folder) still holds it.
void RemoveStaleTemps(const QByteArray& dir, const QByteArray& stem) {
    DIR* pDir = opendir(dir.constData());
    if (!pDir)
        return;
    const int dirFd = dirfd(pDir);
    while (const dirent* pEntry = readdir(pDir)) {
        const pid_t pid =
            TempWriter(pEntry->d_name, std::string_view(stem.constData(), size_t(stem.size())));
        if (pid == 0 || !WriterHasEnded(pid))
            continue;
        const int fd =
            openat(dirFd, pEntry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat opened {};
        struct stat named {};
        if (fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && PlatformTryLockExclusive(fd) &&
            fstatat(dirFd, pEntry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_dev == opened.st_dev && named.st_ino == opened.st_ino)
            unlinkat(dirFd, pEntry->d_name, 0);
        ::close(fd);
    }
    closedir(pDir);
}

// The replacement takes the replaced file's owner and group where this process may set them
// (root any, others a group they belong to), then its permissions, which a change of owner
// may have cut.
void KeepOwnerAndMode(int fd, const struct stat& st) {
    if (st.st_uid != geteuid() || st.st_gid != getegid()) {
        if (fchown(fd, st.st_uid, st.st_gid) != 0 && fchown(fd, uid_t(-1), st.st_gid) != 0) {
            // Neither may be set: the file is this user's, as any file the user creates.
        }
    }
    fchmod(fd, st.st_mode & 07777);
}

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
    struct stat st {};
    const bool bExisting = stat(Native(m_strPath).constData(), &st) == 0;
    if (bExisting) {
        char szReal[PATH_MAX];
        if (realpath(Native(m_strPath).constData(), szReal))
            m_strTarget = PlatformFileNameFromBytes(szReal); // replace the file a link names
    }
    if (!CreateTemp())
        return false;
    if (bExisting)
        KeepOwnerAndMode(m_fd, st);
    return QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

bool CSafeFile::CreateTemp() {
    const QFileInfo target(m_strTarget);
    const QByteArray dir = Native(target.absolutePath());
    const QByteArray stem = TempStem(Native(target.fileName()));
    RemoveStaleTemps(dir, stem);
    const QByteArray prefix = dir + '/' + stem + QByteArray::number(qint64(getpid())) + '.';
    for (int nTry = 0; nTry < 100; ++nTry) {
        char szDigits[RANDOM_DIGITS + 1];
        std::snprintf(szDigits, sizeof(szDigits), "%06x",
                      unsigned(QRandomGenerator::global()->generate() & 0xFFFFFF));
        const QByteArray temp = prefix + szDigits + TEMP_SUFFIX;
        m_fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd >= 0) {
            m_temp = temp;
            // Held until the file is closed: it tells a later save that this writer runs.
            PlatformTryLockExclusive(m_fd);
            return true;
        }
        if (errno != EEXIST)
            return Fail(errno, true);
    }
    return Fail(EEXIST, true);
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

bool CSafeFile::PatchAt(qint64 nOffset, const void* pData, qint64 nBytes) {
    if (m_bFailed || m_fd < 0 || m_bFinished)
        return false;
    const char* p = static_cast<const char*>(pData);
    qint64 nDone = 0;
    while (nDone < nBytes) {
        const ssize_t n = ::pwrite(m_fd, p + nDone, size_t(nBytes - nDone), off_t(nOffset + nDone));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Fail(n < 0 ? errno : ENOSPC, false);
        nDone += n;
    }
    return true;
}

void CSafeFile::StartWriteback() {
    if (m_fd >= 0 && !m_bFailed)
        ::sync_file_range(m_fd, 0, 0, SYNC_FILE_RANGE_WRITE);
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
        rc = SyncFile(m_fd);
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
    if (std::rename(m_temp.constData(), Native(m_strTarget).constData()) != 0) {
        Fail(errno, true);
        Discard();
        return false;
    }
    m_temp.clear();
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
    if (!m_temp.isEmpty())
        ::unlink(m_temp.constData());
    m_temp.clear();
    if (isOpen())
        QIODevice::close();
}

void CSafeFile::SetSyncFunction(SyncFn pfn) {
    g_pfnSync.store(pfn, std::memory_order_relaxed);
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
