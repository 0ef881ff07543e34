#include "platform/FileLock.h"

#include "platform/Clock.h"

#include <cerrno>
#include <sys/file.h>

namespace {

constexpr unsigned RETRY_PAUSE_MS = 2;

bool TryLock(int fd, int nOperation) {
    int rc;
    do {
        rc = flock(fd, nOperation | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

} // namespace

bool PlatformTryLockExclusive(int fd) {
    return fd >= 0 && TryLock(fd, LOCK_EX);
}

bool PlatformLockFile(int fd, bool bExclusive, int nTimeoutMs) {
    if (fd < 0)
        return false;
    const int nOperation = bExclusive ? LOCK_EX : LOCK_SH;
    const uint32_t nStart = PlatformTickCount();
    for (;;) {
        if (TryLock(fd, nOperation))
            return true;
        if (errno != EWOULDBLOCK || int(PlatformTickCount() - nStart) >= nTimeoutMs)
            return false;
        PlatformSleepMs(RETRY_PAUSE_MS);
    }
}

void PlatformUnlockFile(int fd) {
    if (fd >= 0)
        flock(fd, LOCK_UN);
}
