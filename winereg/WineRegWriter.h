// Writes a key tree as a Wine registry file ("WINE REGISTRY Version 2"), atomically on disk.
#pragma once

#include "winereg/WineRegKey.h"

#include <QByteArray>
#include <QString>

#include <functional>

// The output is what Wine itself writes for the same keys: keys in name order, each written
// when it has values, options or no subkeys (the others exist through their subkeys), strings
// with Wine's escapes, hex data wrapped after about 76 columns. Reading it back gives the same
// tree.
class CWineRegWriter {
public:
    struct SOptions {
        // Written as the ";; All keys relative to" line when not empty ("REGISTRY\Machine").
        QString m_strRelativeTo;
        // Written as "#arch=" when not empty.
        QString m_strArch;
        // Keys it returns true for are left out, with everything below them.
        std::function<bool(const CWineRegKey&)> m_skip;
    };

    // The file text for the keys below base (base's own values go under "[]").
    static QByteArray Write(const CWineRegKey& base, const SOptions& options);
    // Writes the file through a temporary file in the same folder that is then renamed over
    // strPath, so a reader sees the old file or the new one, never a part. Creates the folder.
    static bool SaveFile(const QString& strPath, const CWineRegKey& base, const SOptions& options,
                         QString& strError);
};
