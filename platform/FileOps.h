// File operations the program needs beyond Qt's: replacing a file that may be in use.
#pragma once

#include <QString>

// Copies strSource to strTarget through a temporary file beside the target that is then
// renamed over it, so a process that has the old file open or mapped keeps its copy intact.
bool PlatformCopyFileReplacing(const QString& strSource, const QString& strTarget,
                               QString* pStrError = nullptr);
