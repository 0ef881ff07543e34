// Reads registry text files into a key tree: Wine's registry files and Windows .reg exports.
#pragma once

#include "winereg/WineRegKey.h"

#include <QByteArrayView>
#include <QString>

enum class EWineRegFormat {
    WINE2,    // "WINE REGISTRY Version 2": system.reg, user.reg, userdef.reg of a Wine prefix
    REGEDIT5, // "Windows Registry Editor Version 5.00" (UTF-16LE with a BOM, or UTF-8)
    REGEDIT4, // "REGEDIT4"
};

// What a file says about itself besides its keys.
struct SWineRegFileInfo {
    EWineRegFormat m_eFormat = EWineRegFormat::WINE2;
    // The key the file's paths are relative to, from its ";; All keys relative to" line,
    // unescaped ("REGISTRY\Machine"); empty when the file has none.
    QString m_strRelativeTo;
    // The "#arch=" option ("win32", "win64"), empty when absent.
    QString m_strArch;
};

// Where an import puts the keys of a .reg file, and what it deletes. Paths are as the file
// writes them ("HKEY_CURRENT_USER\Software\X").
class IRegImportTarget {
public:
    virtual ~IRegImportTarget() = default;
    // The key, created when missing; nullptr when the path cannot be placed (the import
    // fails with strWhy).
    virtual CWineRegKey* CreateKey(QStringView path, QString& strWhy) = 0;
    // Removes the key and everything below it; a missing key is no failure.
    virtual bool DeleteKey(QStringView path, QString& strWhy) = 0;
};

// Wine files: "[Key\\Path] seconds" lines with #time=, #class= and #link options, values
// "name"= or @= with "string" (C escapes, \xNNNN for other characters), str(N):"...",
// dword:xxxxxxxx, hex: and hex(N): bytes (continued over lines ending in a backslash);
// ;-comments; LF or CRLF line ends; UTF-8 for any raw non-ASCII bytes.
// Windows .reg files: absolute "[HKEY_...\Path]" key lines without escapes, the same values;
// key and value deletions ("[-...]", "=-") are refused by Parse, since a tree cannot hold
// them, and carried out by Import.
// Damaged input stops the reading with "line N: what is wrong"; nothing is read without bound.
class CWineRegReader {
public:
    // Larger files are refused before they are read.
    static constexpr qint64 MAX_FILE_SIZE = qint64(256) << 20;

    // Adds the keys of a whole file below top: a Wine file's paths relative to top, a .reg
    // file's under its root names as written ("HKEY_CURRENT_USER" below top). On failure top
    // keeps what was read before the damaged line.
    static bool Parse(QByteArrayView data, CWineRegKey& top, SWineRegFileInfo& info,
                      QString& strError);
    // Carries out a .reg file, in its order, on target: key lines create keys, values are set,
    // "[-...]" deletes a key (the values that follow it, up to the next key line, are
    // ignored, as the registry editor ignores them) and "=-" a value. A Wine file is refused.
    // On failure what came before the damaged line has been done.
    static bool Import(QByteArrayView data, IRegImportTarget& target, SWineRegFileInfo& info,
                       QString& strError);
    // The same from a file; errors start with the file's path.
    static bool ReadFile(const QString& strPath, CWineRegKey& top, SWineRegFileInfo& info,
                         QString& strError);
    // A whole file's bytes, at most MAX_FILE_SIZE; false with the reason, naming the file.
    static bool ReadBytes(const QString& strPath, QByteArray& data, QString& strError);
};

// File time of Unix time 0, for the seconds of a key line.
inline constexpr uint64_t FILETIME_OF_UNIX_EPOCH = 116444736000000000ull;
