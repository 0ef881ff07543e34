// A system error on a file as the user sees it: the framework's file-error cause number that
// the program's messages show, and the cause in words.
#pragma once

#include <QString>

// The cause numbers of the Windows framework's file exceptions.
enum EFileErrorCause {
    FILE_CAUSE_GENERIC = 1,
    FILE_CAUSE_NOT_FOUND = 2,
    FILE_CAUSE_BAD_PATH = 3,
    FILE_CAUSE_TOO_MANY_OPEN = 4,
    FILE_CAUSE_ACCESS_DENIED = 5,
    FILE_CAUSE_SHARING_VIOLATION = 11,
    FILE_CAUSE_DISK_FULL = 13,
};

// bCreating: the error came from creating a file, where a missing name means a missing
// folder (a bad path) rather than a missing file.
int PlatformFileErrorCause(int nErrno, bool bCreating = false);
// "the disk is full", "permission denied", "the folder does not exist", ...
QString PlatformFileErrorWords(int nErrno, bool bCreating = false);
