#include "platform/FileOps.h"

#include "platform/FileNames.h"
#include "platform/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t COMPARE_CHUNK = size_t(1) << 20;

// Reads up to n bytes, fewer only at the end of the file; -1 on an error.
ssize_t ReadFull(int fd, char* p, size_t n) {
    size_t nDone = 0;
    while (nDone < n) {
        const ssize_t r = ::read(fd, p + nDone, n - nDone);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return -1;
        if (r == 0)
            break;
        nDone += size_t(r);
    }
    return ssize_t(nDone);
}

bool SameContents(int fdA, int fdB) {
    const auto pA = std::make_unique<char[]>(COMPARE_CHUNK);
    const auto pB = std::make_unique<char[]>(COMPARE_CHUNK);
    for (;;) {
        const ssize_t nA = ReadFull(fdA, pA.get(), COMPARE_CHUNK);
        const ssize_t nB = ReadFull(fdB, pB.get(), COMPARE_CHUNK);
        if (nA < 0 || nA != nB || std::memcmp(pA.get(), pB.get(), size_t(nA)) != 0)
            return false;
        if (nA == 0)
            return true;
    }
}

// An open file that closes itself.
struct CFd {
    int fd;
    ~CFd() {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

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

bool PlatformRenameNoReplace(const QString& strFrom, const QString& strTo, int* pErrno) {
    const QByteArray from = PlatformFileNameBytes(strFrom), to = PlatformFileNameBytes(strTo);
    int rc = renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
    if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
        // A file system that cannot rename without replacing: a second name, then the first
        // one removed; link() never replaces either.
        rc = link(from.constData(), to.constData());
        if (rc == 0 && unlink(from.constData()) != 0) {
            const int nErrno = errno;
            unlink(to.constData());
            errno = nErrno;
            rc = -1;
        }
    }
    if (rc != 0 && pErrno)
        *pErrno = errno;
    return rc == 0;
}

bool PlatformIsIdenticalCopy(const QString& strSource, const QString& strCopy) {
    const CFd copy{::open(PlatformFileNameBytes(strCopy).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
    const CFd source{
        ::open(PlatformFileNameBytes(strSource).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    struct stat stCopy {};
    struct stat stSource {};
    if (copy.fd < 0 || source.fd < 0 || fstat(copy.fd, &stCopy) != 0 ||
        fstat(source.fd, &stSource) != 0)
        return false;
    if (!S_ISREG(stCopy.st_mode) || !S_ISREG(stSource.st_mode) || stCopy.st_uid != geteuid() ||
        (stCopy.st_mode & (S_IWGRP | S_IWOTH)) != 0 || stCopy.st_size != stSource.st_size)
        return false;
    return SameContents(source.fd, copy.fd);
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
