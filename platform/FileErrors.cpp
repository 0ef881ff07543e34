#include "platform/FileErrors.h"

#include <cerrno>
#include <cstring>

int PlatformFileErrorCause(int nErrno, bool bCreating) {
    switch (nErrno) {
    case ENOENT:
        return bCreating ? FILE_CAUSE_BAD_PATH : FILE_CAUSE_NOT_FOUND;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return FILE_CAUSE_BAD_PATH;
    case EMFILE:
    case ENFILE:
        return FILE_CAUSE_TOO_MANY_OPEN;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return FILE_CAUSE_ACCESS_DENIED;
    case ETXTBSY:
    case EBUSY:
    case EAGAIN:
        return FILE_CAUSE_SHARING_VIOLATION;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return FILE_CAUSE_DISK_FULL;
    default:
        return FILE_CAUSE_GENERIC;
    }
}

QString PlatformFileErrorWords(int nErrno, bool bCreating) {
    switch (nErrno) {
    case 0:
        return QStringLiteral("the data could not be written completely");
    case ENOENT:
        return bCreating ? QStringLiteral("the folder does not exist")
                         : QStringLiteral("the file does not exist");
    case ENOTDIR:
        return QStringLiteral("a part of the path is not a folder");
    case ENAMETOOLONG:
        return QStringLiteral("the name is too long");
    case ELOOP:
        return QStringLiteral("the path goes through too many symbolic links");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("too many files are open");
    case EACCES:
    case EPERM:
        return QStringLiteral("permission denied");
    case EROFS:
        return QStringLiteral("the disk is read-only");
    case EISDIR:
        return QStringLiteral("it is a folder");
    case ETXTBSY:
    case EBUSY:
    case EAGAIN:
        return QStringLiteral("the file is in use");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("the disk is full");
    case EFBIG:
        return QStringLiteral("the file would exceed the size this system allows");
    case EIO:
        return QStringLiteral("the device reported an input/output error");
    default:
        return QString::fromLocal8Bit(std::strerror(nErrno));
    }
}
