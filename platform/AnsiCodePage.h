// Conversion between UTF-16 and the narrow "ANSI" text of driver records, filters and CSV files.
#pragma once

#include <QByteArray>
#include <QString>

// On this platform the narrow code page is the locale's encoding (UTF-8 on a usual system).
QString AnsiToUtf16(const char* pText, qsizetype nBytes);
QString AnsiToUtf16(const QByteArray& text);
QByteArray Utf16ToAnsi(const QString& text);
