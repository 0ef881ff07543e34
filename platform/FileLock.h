// Advisory locks on an open file, honoured by every process that asks for them too.
#pragma once

// Returns false when another process holds the lock; never waits.
bool PlatformTryLockExclusive(int fd);

// Takes a shared (readers) or exclusive (writer) lock, retrying for up to nTimeoutMs while
// another process holds a conflicting one. False when the time ran out.
bool PlatformLockFile(int fd, bool bExclusive, int nTimeoutMs);
void PlatformUnlockFile(int fd);
