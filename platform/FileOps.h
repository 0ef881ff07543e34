// File operations the program needs beyond Qt's: replacing a file that may be in use, and
// telling whether two names reach the same file.
#pragma once

#include <QString>

// Copies strSource to strTarget through a temporary file beside the target that is then
// renamed over it, so a process that has the old file open or mapped keeps its copy intact.
// A failed copy leaves the target as it was; pStrError says why.
bool PlatformCopyFileReplacing(const QString& strSource, const QString& strTarget,
                               QString* pStrError = nullptr);

// True when both names reach the same file: the same file on disk (links and other
// spellings of a path included), or, for names not yet created, the same place.
bool PlatformSameFile(const QString& strA, const QString& strB);
