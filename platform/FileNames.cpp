#include "platform/FileNames.h"

#include <QDir>

#include <cerrno>
#include <climits>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char16_t RAW_BYTE_BASE = 0xDC00;

bool IsRawByteUnit(char16_t c) {
    return c >= RAW_BYTE_BASE + 0x80 && c <= RAW_BYTE_BASE + 0xFF;
}
bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c < 0xDC00;
}
bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c < 0xE000;
}

// Length of the valid UTF-8 sequence at p (at most n bytes), or 0 when it is not one:
// overlong forms, surrogates and values past U+10FFFF are not UTF-8.
int ValidSequenceLength(const unsigned char* p, qsizetype n, char32_t& c) {
    const unsigned char b = p[0];
    int nLen;
    char32_t nMin;
    if (b >= 0xC2 && b <= 0xDF) {
        nLen = 2, nMin = 0x80, c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        nLen = 3, nMin = 0x800, c = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        nLen = 4, nMin = 0x10000, c = b & 0x07;
    } else {
        return 0;
    }
    if (n < nLen)
        return 0;
    for (int k = 1; k < nLen; ++k) {
        if ((p[k] & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (p[k] & 0x3F);
    }
    if (c < nMin || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000))
        return 0;
    return nLen;
}

void AppendUtf8(QByteArray& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

bool Exists(const QString& strPath) {
    struct stat st {};
    return lstat(PlatformFileNameBytes(strPath).constData(), &st) == 0;
}

// The one entry of the folder that Qt shows as strShown, or empty.
QString MatchShownEntry(const QString& strFolder, const QString& strShown) {
    DIR* pDir = opendir(
        PlatformFileNameBytes(strFolder.isEmpty() ? QStringLiteral("/") : strFolder).constData());
    if (!pDir)
        return {};
    QString strMatch;
    int nMatches = 0;
    while (const dirent* pEntry = readdir(pDir)) {
        const QByteArray name(pEntry->d_name);
        if (QString::fromUtf8(name) == strShown && ++nMatches == 1)
            strMatch = PlatformFileNameFromBytes(name);
    }
    closedir(pDir);
    return nMatches == 1 ? strMatch : QString();
}

} // namespace

QString PlatformFileNameFromBytes(const QByteArray& name) {
    const auto* p = reinterpret_cast<const unsigned char*>(name.constData());
    const qsizetype n = name.size();
    QString str;
    str.reserve(n);
    for (qsizetype i = 0; i < n;) {
        if (p[i] < 0x80) {
            str += QChar(p[i++]);
            continue;
        }
        char32_t c = 0;
        const int nLen = ValidSequenceLength(p + i, n - i, c);
        if (nLen == 0) {
            str += QChar(char16_t(RAW_BYTE_BASE + p[i++]));
            continue;
        }
        str += QString::fromUcs4(&c, 1);
        i += nLen;
    }
    return str;
}

QByteArray PlatformFileNameBytes(const QString& strName) {
    const auto* p = reinterpret_cast<const char16_t*>(strName.utf16());
    const qsizetype n = strName.size();
    QByteArray out;
    out.reserve(n);
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = p[i];
        if (IsHighSurrogate(c) && i + 1 < n && IsLowSurrogate(p[i + 1])) {
            AppendUtf8(out, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (p[i + 1] - 0xDC00));
            ++i;
        } else if (IsRawByteUnit(c)) {
            out += char(c - RAW_BYTE_BASE);
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            AppendUtf8(out, 0xFFFD); // no byte stands for it
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

bool PlatformFileNameHasRawBytes(const QString& strName) {
    const auto* p = reinterpret_cast<const char16_t*>(strName.utf16());
    for (qsizetype i = 0; i < strName.size(); ++i) {
        if (IsHighSurrogate(p[i]) && i + 1 < strName.size() && IsLowSurrogate(p[i + 1]))
            ++i;
        else if (IsRawByteUnit(p[i]))
            return true;
    }
    return false;
}

QString PlatformReadableFileName(const QString& strText) {
    if (!PlatformFileNameHasRawBytes(strText))
        return strText;
    const auto* p = reinterpret_cast<const char16_t*>(strText.utf16());
    QString str;
    str.reserve(strText.size() + 16);
    for (qsizetype i = 0; i < strText.size(); ++i) {
        if (IsHighSurrogate(p[i]) && i + 1 < strText.size() && IsLowSurrogate(p[i + 1])) {
            str += QChar(p[i]);
            str += QChar(p[++i]);
        } else if (IsRawByteUnit(p[i])) {
            str += QStringLiteral("\\x") +
                   QString::number(unsigned(p[i] - RAW_BYTE_BASE), 16).toUpper();
        } else {
            str += QChar(p[i]);
        }
    }
    return str;
}

QStringList PlatformArguments(int argc, char** argv) {
    QStringList ar;
    for (int i = 0; i < argc; ++i)
        ar << PlatformFileNameFromBytes(QByteArray(argv[i]));
    return ar;
}

QString PlatformAbsoluteFileName(const QString& strPath) {
    if (strPath.isEmpty())
        return {};
    if (QDir::isAbsolutePath(strPath))
        return QDir::cleanPath(strPath);
    char szCwd[PATH_MAX];
    if (!getcwd(szCwd, sizeof(szCwd)))
        return QDir::cleanPath(strPath); // no current folder: the name as it stands
    return QDir::cleanPath(PlatformFileNameFromBytes(QByteArray(szCwd)) + QLatin1Char('/') +
                           strPath);
}

QString PlatformResolveShownFileName(const QString& strPath) {
    if (!strPath.contains(QChar(0xFFFD)) || !QDir::isAbsolutePath(strPath) || Exists(strPath))
        return strPath;
    const QStringList arParts = QDir::cleanPath(strPath).split(QLatin1Char('/'));
    QString strResolved;
    for (qsizetype i = 1; i < arParts.size(); ++i) {
        QString strPart = arParts[i];
        if (strPart.contains(QChar(0xFFFD))) {
            const QString strEntry = MatchShownEntry(strResolved, strPart);
            if (!strEntry.isEmpty())
                strPart = strEntry;
        }
        strResolved += QLatin1Char('/') + strPart;
    }
    return strResolved;
}
