// Opening a file to read that must be a regular file: a FIFO or a device named instead would
// block the reader or never end.
#pragma once

#include <QString>

// A descriptor open for reading (close-on-exec), or -1 with the reason in words ("the file
// does not exist", "it is a FIFO, not a regular file"). A FIFO, device or socket is refused
// without waiting for a writer; the name's own bytes are used (see FileNames.h).
int PlatformOpenRegularFile(const QString& strPath, QString* pStrWhy = nullptr);

// Whether the name is a regular file that can be opened for reading; pStrWhy as above.
bool PlatformCanReadRegularFile(const QString& strPath, QString* pStrWhy = nullptr);
