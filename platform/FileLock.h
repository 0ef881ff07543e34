// Exclusive advisory lock on an open file, honoured by every process that asks for it too.
#pragma once

// Returns false when another process holds the lock; never waits.
bool PlatformTryLockExclusive(int fd);
