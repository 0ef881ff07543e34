#include "platform/AnsiCodePage.h"

QString AnsiToUtf16(const char* pText, qsizetype nBytes) {
    return QString::fromLocal8Bit(pText, nBytes);
}

QString AnsiToUtf16(const QByteArray& text) {
    return QString::fromLocal8Bit(text);
}

QByteArray Utf16ToAnsi(const QString& text) {
    return text.toLocal8Bit();
}
