// File operations the program needs beyond Qt's: replacing a file that may be in use, moving a
// file to a name that must not exist yet, telling whether a private copy is still identical,
// and whether two names reach the same file.
#pragma once

#include <QString>

// Copies strSource to strTarget through a temporary file beside the target that is then
// renamed over it, so a process that has the old file open or mapped keeps its copy intact.
// A failed copy leaves the target as it was; pStrError says why.
bool PlatformCopyFileReplacing(const QString& strSource, const QString& strTarget,
                               QString* pStrError = nullptr);

// Renames strFrom to strTo in the same folder unless strTo exists (a link included). False
// with the system error in *pErrno otherwise: EEXIST when strTo exists.
bool PlatformRenameNoReplace(const QString& strFrom, const QString& strTo, int* pErrno = nullptr);

// True when strCopy is a copy of strSource that can be used as it is: a regular file (not a
// link) of this user that nobody else may write, holding exactly the bytes of strSource.
bool PlatformIsIdenticalCopy(const QString& strSource, const QString& strCopy);

// True when both names reach the same file: the same file on disk (links and other
// spellings of a path included), or, for names not yet created, the same place.
bool PlatformSameFile(const QString& strA, const QString& strB);
