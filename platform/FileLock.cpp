#include "platform/FileLock.h"

#include <cerrno>
#include <sys/file.h>

bool PlatformTryLockExclusive(int fd) {
    if (fd < 0)
        return false;
    int rc;
    do {
        rc = flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}
