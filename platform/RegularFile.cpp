#include "platform/RegularFile.h"

#include "platform/FileErrors.h"
#include "platform/FileNames.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString KindOfNonRegular(mode_t mode) {
    if (S_ISDIR(mode))
        return QStringLiteral("it is a folder, not a file");
    if (S_ISFIFO(mode))
        return QStringLiteral("it is a FIFO, not a regular file");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("it is a device, not a regular file");
    if (S_ISSOCK(mode))
        return QStringLiteral("it is a socket, not a regular file");
    return QStringLiteral("it is not a regular file");
}

int Refuse(QString* pStrWhy, const QString& strWhy) {
    if (pStrWhy)
        *pStrWhy = strWhy;
    return -1;
}

} // namespace

int PlatformOpenRegularFile(const QString& strPath, QString* pStrWhy) {
    if (strPath.isEmpty())
        return Refuse(pStrWhy, QStringLiteral("no file name was given"));
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    const int fd = ::open(PlatformFileNameBytes(strPath).constData(),
                          O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return Refuse(pStrWhy, PlatformFileErrorWords(errno));
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        const int nErrno = errno;
        ::close(fd);
        return Refuse(pStrWhy, PlatformFileErrorWords(nErrno));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return Refuse(pStrWhy, KindOfNonRegular(st.st_mode));
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool PlatformCanReadRegularFile(const QString& strPath, QString* pStrWhy) {
    const int fd = PlatformOpenRegularFile(strPath, pStrWhy);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}
