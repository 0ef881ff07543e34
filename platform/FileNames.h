// File names as the system keeps them: bytes, which need not be UTF-8.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// A name's bytes as text that turns back into the same bytes. Valid UTF-8 is decoded; each
// byte that is not part of valid UTF-8 becomes the lone surrogate U+DC00 + byte, which no
// valid UTF-8 text can produce. Qt's own file classes cannot reach such a name (they encode
// every name as UTF-8): the program's file operations go through PlatformFileNameBytes.
QString PlatformFileNameFromBytes(const QByteArray& name);
QByteArray PlatformFileNameBytes(const QString& strName);
// True when the name holds bytes that are not UTF-8.
bool PlatformFileNameHasRawBytes(const QString& strName);

// The same text with every byte that is not UTF-8 written as \xHH, for messages, captions
// and menus. Works on any text that holds such names.
QString PlatformReadableFileName(const QString& strText);

// The command line as the user typed it, bytes kept.
QStringList PlatformArguments(int argc, char** argv);

// The absolute, cleaned form of a path ("." and ".." resolved by name, as QFileInfo does),
// with the bytes of the current folder kept; Qt's own form loses them.
QString PlatformAbsoluteFileName(const QString& strPath);

// A name Qt's file dialog returned, read back to the file it showed: Qt shows each byte
// that is not UTF-8 as U+FFFD and returns the name so. Where the path does not exist as
// given, each part that holds U+FFFD is matched against its folder's entries; a part that
// matches exactly one entry is replaced by that entry's own bytes. A name the user typed
// (no such entry) comes back as it was.
QString PlatformResolveShownFileName(const QString& strPath);
