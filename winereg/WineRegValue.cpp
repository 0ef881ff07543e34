#include "winereg/WineRegValue.h"

#include "utils/HexDigit.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

constexpr std::array<const char*, 12> TYPE_NAMES = {
    "REG_NONE",
    "REG_SZ",
    "REG_EXPAND_SZ",
    "REG_BINARY",
    "REG_DWORD",
    "REG_DWORD_BIG_ENDIAN",
    "REG_LINK",
    "REG_MULTI_SZ",
    "REG_RESOURCE_LIST",
    "REG_FULL_RESOURCE_DESCRIPTOR",
    "REG_RESOURCE_REQUIREMENTS_LIST",
    "REG_QWORD",
};

const QLatin1String ELLIPSIS("...");

uint32_t LoadLE32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return uint32_t(u[0]) | uint32_t(u[1]) << 8 | uint32_t(u[2]) << 16 | uint32_t(u[3]) << 24;
}

// UTF-16LE code units of data; an odd last byte is not a character and is left out.
QString Utf16Units(QByteArrayView data) {
    QString str(data.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < str.size(); ++i)
        str[i] = QChar(char16_t(uint8_t(data[2 * i]) | uint8_t(data[2 * i + 1]) << 8));
    return str;
}

QString HexBytes(QByteArrayView data, qsizetype nMaxChars) {
    static const char HEX[] = "0123456789ABCDEF";
    qsizetype nBytes = data.size();
    const bool bCut = nMaxChars > 0 && nBytes * 3 - 1 > nMaxChars;
    if (bCut)
        nBytes = std::max<qsizetype>(0, (nMaxChars - ELLIPSIS.size()) / 3);
    QString str;
    str.reserve(nBytes * 3 + ELLIPSIS.size());
    for (qsizetype i = 0; i < nBytes; ++i) {
        if (i > 0)
            str += QLatin1Char(' ');
        const uint8_t b = uint8_t(data[i]);
        str += QLatin1Char(HEX[b >> 4]);
        str += QLatin1Char(HEX[b & 15]);
    }
    if (bCut)
        str += (nBytes > 0 ? QLatin1String(" ...") : ELLIPSIS);
    return str;
}

QString Cut(QString str, qsizetype nMaxChars) {
    if (nMaxChars > 0 && str.size() > nMaxChars) {
        str.truncate(std::max<qsizetype>(0, nMaxChars - ELLIPSIS.size()));
        str += ELLIPSIS;
    }
    return str;
}

} // namespace

QString SWineRegValue::Text() const {
    return RegValueText(m_nType, m_data);
}

QString RegTypeName(uint32_t nType) {
    if (nType < TYPE_NAMES.size())
        return QLatin1String(TYPE_NAMES[nType]);
    return QStringLiteral("REG_0x%1").arg(nType, 0, 16);
}

bool RegTypeFromName(QStringView name, uint32_t& nType) {
    for (size_t i = 0; i < TYPE_NAMES.size(); ++i)
        if (name == QLatin1String(TYPE_NAMES[i])) {
            nType = uint32_t(i);
            return true;
        }
    if (!name.startsWith(QLatin1String("REG_0x")) || name.size() > 14 || name.size() < 7)
        return false;
    bool bOk = false;
    const uint32_t n = name.mid(6).toUInt(&bOk, 16);
    if (!bOk || n < TYPE_NAMES.size())
        return false;
    nType = n;
    return true;
}

std::string RegDwordText(uint32_t nValue) {
    char sz[32];
    std::snprintf(sz, sizeof(sz), "0x%08x (%u)", nValue, nValue);
    return sz;
}

std::string RegQwordText(uint64_t nValue) {
    char sz[48];
    std::snprintf(sz, sizeof(sz), "0x%016llx (%llu)", static_cast<unsigned long long>(nValue),
                  static_cast<unsigned long long>(nValue));
    return sz;
}

QString RegDataText(uint32_t nType, QByteArrayView data, qsizetype nMaxChars) {
    switch (nType) {
    case REG_SZ:
    case REG_EXPAND_SZ:
    case REG_LINK:
        return Cut(RegStringFromData(data), nMaxChars);
    case REG_MULTI_SZ:
        return Cut(RegMultiStringFromData(data).join(QLatin1String(", ")), nMaxChars);
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
        if (data.size() == 4) {
            uint32_t n = LoadLE32(data.data());
            if (nType == REG_DWORD_BIG_ENDIAN)
                n = (n >> 24) | ((n >> 8) & 0xFF00) | ((n << 8) & 0xFF0000) | (n << 24);
            return QString::fromStdString(RegDwordText(n));
        }
        break;
    case REG_QWORD:
        if (data.size() == 8)
            return QString::fromStdString(RegQwordText(uint64_t(LoadLE32(data.data())) |
                                                       uint64_t(LoadLE32(data.data() + 4)) << 32));
        break;
    default:
        break;
    }
    return HexBytes(data, nMaxChars);
}

QString RegValueText(uint32_t nType, QByteArrayView data, qsizetype nMaxChars) {
    return RegTypeName(nType) + QLatin1String(": ") + RegDataText(nType, data, nMaxChars);
}

namespace {

// "0x0000002a (42)" with nDigits hexadecimal digits, both numbers the same.
bool ParseNumberText(QStringView text, int nDigits, uint64_t& nValue) {
    if (text.size() < nDigits + 6 || !text.startsWith(u"0x") || text[nDigits + 2] != u' ' ||
        text[nDigits + 3] != u'(' || !text.endsWith(u')'))
        return false;
    nValue = 0;
    for (int i = 0; i < nDigits; ++i) {
        const QChar c = text[2 + i];
        const int nDigit = c.unicode() < 0x80 ? HexDigit(char(c.unicode())) : -1;
        if (nDigit < 0)
            return false;
        nValue = nValue << 4 | uint64_t(nDigit);
    }
    bool bOk = false;
    const uint64_t nDecimal = text.mid(nDigits + 4, text.size() - nDigits - 5).toULongLong(&bOk);
    return bOk && nDecimal == nValue;
}

// "0F 30 A1": upper- or lower-case pairs, one space between them.
bool ParseHexText(QStringView text, QByteArray& data) {
    data.clear();
    for (qsizetype i = 0; i < text.size(); i += 3) {
        if (i + 2 > text.size() || (i + 2 < text.size() && text[i + 2] != u' '))
            return false;
        const char16_t a = text[i].unicode(), b = text[i + 1].unicode();
        const int nHigh = a < 0x80 ? HexDigit(char(a)) : -1;
        const int nLow = b < 0x80 ? HexDigit(char(b)) : -1;
        if (nHigh < 0 || nLow < 0)
            return false;
        data.append(char(nHigh * 16 + nLow));
    }
    return text.isEmpty() || !text.endsWith(u' ');
}

} // namespace

namespace {

const QLatin1String BYTES_START(" [bytes: ");

ERegTextData ReadShownData(QStringView text, uint32_t& nType, QByteArray& data);

bool IsControl(QChar c) {
    return c.unicode() < 0x20 || c.unicode() == 0x7F;
}

// A record field holds no control characters: each becomes a space.
QString AsInAField(QString str) {
    for (QChar& c : str)
        if (IsControl(c))
            c = QLatin1Char(' ');
    return str;
}

// The text before the bytes is what RegValueText shows of them, whole or cut, as a record
// field holds it.
bool ShowsData(QStringView shown, uint32_t nType, QByteArrayView data) {
    const QString strFull = AsInAField(RegValueText(nType, data));
    if (shown == strFull)
        return true;
    if (!shown.endsWith(ELLIPSIS))
        return false;
    QStringView base = shown.chopped(ELLIPSIS.size());
    if (base.endsWith(u' '))
        base.chop(1);
    return base.size() < strFull.size() && QStringView(strFull).startsWith(base);
}

bool ReadBytesSuffix(QStringView text, uint32_t& nType, QByteArray& data) {
    const qsizetype nStart = text.lastIndexOf(BYTES_START);
    if (nStart < 0 || !text.endsWith(u']'))
        return false;
    const QStringView hex = text.mid(nStart + BYTES_START.size()).chopped(1);
    if (hex.size() % 2 != 0)
        return false;
    QByteArray bytes;
    for (qsizetype i = 0; i < hex.size(); i += 2) {
        const char16_t a = hex[i].unicode(), b = hex[i + 1].unicode();
        const int nHigh = a < 0x80 ? HexDigit(char(a)) : -1;
        const int nLow = b < 0x80 ? HexDigit(char(b)) : -1;
        if (nHigh < 0 || nLow < 0)
            return false;
        bytes.append(char(nHigh * 16 + nLow));
    }
    const QStringView shown = text.left(nStart);
    const qsizetype nColon = shown.indexOf(u": ");
    uint32_t nShownType = 0;
    if (nColon < 0 || !RegTypeFromName(shown.left(nColon), nShownType) ||
        !ShowsData(shown, nShownType, bytes))
        return false;
    nType = nShownType;
    data = bytes;
    return true;
}

} // namespace

ERegTextData RegValueFromText(QStringView text, uint32_t& nType, QByteArray& data) {
    if (ReadBytesSuffix(text, nType, data))
        return ERegTextData::EXACT;
    return ReadShownData(text, nType, data);
}

QString RegRecordValueText(uint32_t nType, QByteArrayView data, qsizetype nMaxChars,
                           qsizetype nMaxBytes) {
    QString str = RegValueText(nType, data, nMaxChars);
    uint32_t nBack = 0;
    QByteArray back;
    // Read back as a reader would, bytes included: a string that happens to end like bytes
    // gets its real ones after it.
    // A control character becomes a space in a record field: the text alone no longer tells.
    if (std::none_of(str.begin(), str.end(), IsControl) &&
        RegValueFromText(str, nBack, back) == ERegTextData::EXACT && nBack == nType && back == data)
        return str;
    QString strExact = str + BYTES_START;
    strExact.reserve(strExact.size() + data.size() * 2 + 1);
    static const char HEX[] = "0123456789abcdef";
    for (const char c : data) {
        strExact += QLatin1Char(HEX[uint8_t(c) >> 4]);
        strExact += QLatin1Char(HEX[uint8_t(c) & 15]);
    }
    strExact += QLatin1Char(']');
    if (strExact.toUtf8().size() <= nMaxBytes)
        return strExact;
    if (!str.endsWith(ELLIPSIS))
        str += ELLIPSIS;
    return str;
}

namespace {

ERegTextData ReadShownData(QStringView text, uint32_t& nType, QByteArray& data) {
    const qsizetype nColon = text.indexOf(u": ");
    if (nColon < 0 || !RegTypeFromName(text.left(nColon), nType))
        return ERegTextData::UNREADABLE;
    const QStringView dataText = text.mid(nColon + 2);
    if (dataText.endsWith(ELLIPSIS))
        return ERegTextData::CUT;
    bool bRead = false;
    uint64_t nValue = 0;
    switch (nType) {
    case REG_SZ:
    case REG_EXPAND_SZ:
    case REG_LINK:
        data = RegStringData(dataText);
        bRead = true;
        break;
    case REG_MULTI_SZ:
        data = dataText.isEmpty()
                   ? RegMultiStringData({})
                   : RegMultiStringData(dataText.toString().split(QStringLiteral(", ")));
        bRead = true;
        break;
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
        if (ParseNumberText(dataText, 8, nValue)) {
            data = RegDwordData(uint32_t(nValue));
            if (nType == REG_DWORD_BIG_ENDIAN)
                std::reverse(data.begin(), data.end());
            bRead = true;
        }
        break;
    case REG_QWORD:
        if (ParseNumberText(dataText, 16, nValue)) {
            data = RegQwordData(nValue);
            bRead = true;
        }
        break;
    default:
        break;
    }
    if (!bRead && !ParseHexText(dataText, data))
        return ERegTextData::UNREADABLE;
    return RegDataText(nType, data) == dataText ? ERegTextData::EXACT : ERegTextData::UNREADABLE;
}

} // namespace

QByteArray RegStringData(QStringView str) {
    QByteArray data(str.size() * 2 + 2, '\0');
    for (qsizetype i = 0; i < str.size(); ++i) {
        data[2 * i] = char(str[i].unicode() & 0xFF);
        data[2 * i + 1] = char(str[i].unicode() >> 8);
    }
    return data;
}

QByteArray RegMultiStringData(const QStringList& arStrings) {
    QByteArray data;
    for (const QString& str : arStrings)
        data += RegStringData(str);
    data.append(2, '\0');
    return data;
}

QByteArray RegDwordData(uint32_t nValue) {
    QByteArray data(4, '\0');
    for (int i = 0; i < 4; ++i)
        data[i] = char((nValue >> (8 * i)) & 0xFF);
    return data;
}

QByteArray RegQwordData(uint64_t nValue) {
    QByteArray data(8, '\0');
    for (int i = 0; i < 8; ++i)
        data[i] = char((nValue >> (8 * i)) & 0xFF);
    return data;
}

QString RegStringFromData(QByteArrayView data) {
    QString str = Utf16Units(data);
    const qsizetype nZero = str.indexOf(QChar(0));
    if (nZero >= 0)
        str.truncate(nZero);
    return str;
}

QStringList RegMultiStringFromData(QByteArrayView data) {
    const QString str = Utf16Units(data);
    QStringList ar;
    qsizetype nStart = 0;
    while (nStart < str.size()) {
        qsizetype nZero = str.indexOf(QChar(0), nStart);
        if (nZero < 0)
            nZero = str.size();
        if (nZero == nStart)
            break; // the empty string that ends the list
        ar.append(str.mid(nStart, nZero - nStart));
        nStart = nZero + 1;
    }
    return ar;
}
