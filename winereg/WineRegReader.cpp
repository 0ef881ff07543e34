#include "winereg/WineRegReader.h"

#include "utils/HexDigit.h"

#include <QFile>

#include <cstring>
#include <string_view>
#include <utility>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Byte-wise cursor over one line.
struct SCursor {
    const char* m_p;
    const char* m_pEnd;

    bool AtEnd() const { return m_p == m_pEnd; }
    char Peek() const { return m_p < m_pEnd ? *m_p : '\0'; }
    void SkipBlanks() {
        while (m_p < m_pEnd && IsBlank(*m_p))
            ++m_p;
    }
    bool Eat(std::string_view s) {
        if (size_t(m_pEnd - m_p) < s.size() || std::string_view(m_p, s.size()) != s)
            return false;
        m_p += s.size();
        return true;
    }
    bool RestIsBlank() {
        SkipBlanks();
        return AtEnd();
    }
    // Up to nMax hexadecimal digits; false when there is none.
    bool Hex(int nMax, uint64_t& n) {
        n = 0;
        int i = 0;
        for (; i < nMax && m_p < m_pEnd && HexDigit(*m_p) >= 0; ++i, ++m_p)
            n = n * 16 + uint64_t(HexDigit(*m_p));
        return i > 0;
    }
};

class CParser {
public:
    CParser(QByteArrayView data, CWineRegKey& top, SWineRegFileInfo& info,
            IRegImportTarget* pTarget = nullptr)
        : m_data(data), m_top(top), m_info(info), m_pTarget(pTarget) {}

    bool Run(QString& strError);

private:
    bool NextLine(SCursor& line);
    bool Fail(const QString& strWhat);
    bool Header(SCursor line);
    bool Line(SCursor line);
    bool KeyLine(SCursor line);
    bool DeleteKeyLine(SCursor line);
    bool OptionLine(SCursor line);
    bool ValueLine(SCursor line);
    bool StringData(SCursor& line, uint32_t nType, SWineRegValue& value);
    bool HexData(SCursor& line, SWineRegValue& value);
    // Reads an escaped string up to the unescaped endChar, which it consumes.
    bool String(SCursor& line, char endChar, QString& str);

    bool IsWine() const { return m_info.m_eFormat == EWineRegFormat::WINE2; }

    QByteArrayView m_data;
    qsizetype m_nPos = 0;
    int m_nLine = 0;
    CWineRegKey& m_top;
    SWineRegFileInfo& m_info;
    IRegImportTarget* m_pTarget; // an import: deletions are carried out
    CWineRegKey* m_pKey = nullptr;
    bool m_bAfterDeletedKey = false; // values up to the next key line are ignored
    QString m_strError;
};

bool CParser::NextLine(SCursor& line) {
    if (m_nPos >= m_data.size())
        return false;
    const char* p = m_data.data() + m_nPos;
    const char* pEnd = m_data.data() + m_data.size();
    const char* pEol = static_cast<const char*>(std::memchr(p, '\n', size_t(pEnd - p)));
    const char* pLineEnd = pEol ? pEol : pEnd;
    m_nPos = (pEol ? pEol + 1 : pEnd) - m_data.data();
    if (pLineEnd > p && pLineEnd[-1] == '\r')
        --pLineEnd;
    line = {p, pLineEnd};
    ++m_nLine;
    return true;
}

bool CParser::Fail(const QString& strWhat) {
    m_strError = QStringLiteral("line %1: %2").arg(std::max(m_nLine, 1)).arg(strWhat);
    return false;
}

bool CParser::Run(QString& strError) {
    SCursor line{};
    const bool bOk = [&] {
        if (!NextLine(line))
            return Fail(QStringLiteral("the file is empty"));
        if (!Header(line))
            return false;
        while (NextLine(line))
            if (!Line(line))
                return false;
        return true;
    }();
    if (!bOk)
        strError = m_strError;
    return bOk;
}

bool CParser::Header(SCursor line) {
    line.Eat("\xEF\xBB\xBF");
    if (line.Eat("WINE REGISTRY Version ")) {
        if (!line.Eat("2") || !line.RestIsBlank())
            return Fail(QStringLiteral("this Wine registry version is not supported (only 2)"));
        m_info.m_eFormat = EWineRegFormat::WINE2;
    } else if (line.Eat("Windows Registry Editor Version 5.00") && line.RestIsBlank()) {
        m_info.m_eFormat = EWineRegFormat::REGEDIT5;
    } else if (line.Eat("REGEDIT4") && line.RestIsBlank()) {
        m_info.m_eFormat = EWineRegFormat::REGEDIT4;
    } else {
        return Fail(QStringLiteral("not a registry file: it does not start with "
                                   "\"WINE REGISTRY Version 2\""));
    }
    if (m_pTarget && IsWine())
        return Fail(QStringLiteral("a Wine registry file cannot be imported; only .reg files "
                                   "(\"Windows Registry Editor Version 5.00\" or \"REGEDIT4\")"));
    return true;
}

bool CParser::Line(SCursor line) {
    line.SkipBlanks();
    switch (line.Peek()) {
    case '\0':
        return line.AtEnd() ? true : Fail(QStringLiteral("unexpected zero byte"));
    case ';':
        if (IsWine() && line.Eat(";; All keys relative to ")) {
            QString str;
            if (!String(line, '\0', str))
                return false;
            m_info.m_strRelativeTo = str;
        }
        return true;
    case '[':
        return KeyLine(line);
    case '#':
        return OptionLine(line);
    case '@':
    case '"':
        return ValueLine(line);
    default:
        return Fail(QStringLiteral("unrecognised line"));
    }
}

bool CParser::KeyLine(SCursor line) {
    ++line.m_p; // '['
    QString strPath;
    if (IsWine()) {
        if (!String(line, ']', strPath))
            return false;
        line.SkipBlanks();
    } else {
        if (line.Peek() == '-') {
            if (!m_pTarget)
                return Fail(QStringLiteral("deleting keys ([-...]) is not supported"));
            return DeleteKeyLine(line);
        }
        const char* pClose = line.m_pEnd;
        while (pClose > line.m_p && pClose[-1] != ']')
            --pClose;
        if (pClose == line.m_p)
            return Fail(QStringLiteral("the key line has no closing bracket"));
        strPath = QString::fromUtf8(line.m_p, pClose - 1 - line.m_p);
        line.m_p = pClose;
        if (strPath.isEmpty())
            return Fail(QStringLiteral("the key line names no key"));
    }
    if (strPath.count(QLatin1Char('\\')) >= CWineRegKey::MAX_DEPTH)
        return Fail(
            QStringLiteral("the key path is deeper than %1 levels").arg(CWineRegKey::MAX_DEPTH));
    m_bAfterDeletedKey = false;
    if (m_pTarget) {
        QString strWhy;
        m_pKey = m_pTarget->CreateKey(strPath, strWhy);
        if (!m_pKey)
            return Fail(strWhy);
    } else {
        m_pKey = m_top.CreateKey(strPath);
    }
    if (!m_pKey)
        return Fail(
            QStringLiteral("the key path is deeper than %1 levels").arg(CWineRegKey::MAX_DEPTH));
    uint64_t nSeconds = 0;
    bool bDigits = false;
    for (; !line.AtEnd() && line.Peek() >= '0' && line.Peek() <= '9' && nSeconds < (1ull << 40);
         ++line.m_p) {
        nSeconds = nSeconds * 10 + uint64_t(line.Peek() - '0');
        bDigits = true;
    }
    if (bDigits)
        m_pKey->m_nModified = FILETIME_OF_UNIX_EPOCH + nSeconds * 10000000ull;
    return true;
}

bool CParser::DeleteKeyLine(SCursor line) {
    ++line.m_p; // '-'
    const char* pClose = line.m_pEnd;
    while (pClose > line.m_p && pClose[-1] != ']')
        --pClose;
    if (pClose == line.m_p)
        return Fail(QStringLiteral("the key line has no closing bracket"));
    const QString strPath = QString::fromUtf8(line.m_p, pClose - 1 - line.m_p);
    if (strPath.isEmpty())
        return Fail(QStringLiteral("the key line names no key"));
    QString strWhy;
    if (!m_pTarget->DeleteKey(strPath, strWhy))
        return Fail(strWhy);
    m_pKey = nullptr;
    m_bAfterDeletedKey = true;
    return true;
}

bool CParser::OptionLine(SCursor line) {
    if (!m_pKey) {
        if (line.Eat("#arch="))
            m_info.m_strArch = QString::fromLatin1(line.m_p, line.m_pEnd - line.m_p).trimmed();
        return true; // other global options carry nothing a tree holds
    }
    if (line.Eat("#time=")) {
        uint64_t n = 0;
        if (!line.Hex(16, n) || !line.RestIsBlank())
            return Fail(QStringLiteral("#time= needs up to 16 hexadecimal digits"));
        m_pKey->m_nModified = n;
    } else if (line.Eat("#class=\"")) {
        QString str;
        if (!String(line, '"', str))
            return false;
        m_pKey->m_class = str;
    } else if (line.Eat("#link") && line.RestIsBlank()) {
        m_pKey->m_bLink = true;
    }
    return true; // options of later Wine versions are left alone
}

bool CParser::ValueLine(SCursor line) {
    if (m_bAfterDeletedKey)
        return true;
    if (!m_pKey)
        return Fail(QStringLiteral("a value comes before the first key"));
    SWineRegValue value;
    if (line.Peek() == '@') {
        ++line.m_p;
    } else {
        ++line.m_p;
        if (!String(line, '"', value.m_strName))
            return false;
    }
    line.SkipBlanks();
    if (!line.Eat("="))
        return Fail(QStringLiteral("'=' expected after the value name"));
    line.SkipBlanks();
    uint64_t nType = 0;
    if (line.Peek() == '"') {
        ++line.m_p;
        if (!StringData(line, REG_SZ, value))
            return false;
    } else if (IsWine() && line.Eat("str:\"")) {
        if (!StringData(line, REG_SZ, value))
            return false;
    } else if (IsWine() && line.Eat("str(")) {
        if (!line.Hex(8, nType) || !line.Eat("):\""))
            return Fail(QStringLiteral("str(N):\"...\" expected"));
        if (!StringData(line, uint32_t(nType), value))
            return false;
    } else if (line.Eat("dword:")) {
        uint64_t n = 0;
        if (!line.Hex(8, n) || !line.RestIsBlank())
            return Fail(QStringLiteral("dword: needs 1 to 8 hexadecimal digits"));
        value.m_nType = REG_DWORD;
        value.m_data = RegDwordData(uint32_t(n));
    } else if (line.Eat("hex:")) {
        value.m_nType = REG_BINARY;
        if (!HexData(line, value))
            return false;
    } else if (line.Eat("hex(")) {
        if (!line.Hex(8, nType) || !line.Eat("):"))
            return Fail(QStringLiteral("hex(N): expected"));
        value.m_nType = uint32_t(nType);
        if (!HexData(line, value))
            return false;
    } else if (!IsWine() && line.Eat("-")) {
        if (!m_pTarget)
            return Fail(QStringLiteral("deleting values (=-) is not supported"));
        if (!line.RestIsBlank())
            return Fail(QStringLiteral("unexpected text after =-"));
        m_pKey->DeleteValue(value.m_strName);
        return true;
    } else {
        return Fail(QStringLiteral("unrecognised value data"));
    }
    m_pKey->SetValue(std::move(value));
    return true;
}

bool CParser::StringData(SCursor& line, uint32_t nType, SWineRegValue& value) {
    QString str;
    if (!String(line, '"', str))
        return false;
    if (!line.RestIsBlank())
        return Fail(QStringLiteral("unexpected text after the closing quote"));
    value.m_nType = nType;
    value.m_data = RegStringData(str);
    return true;
}

bool CParser::HexData(SCursor& line, SWineRegValue& value) {
    bool bWantByte = true, bAfterComma = false;
    for (;;) {
        line.SkipBlanks();
        if (line.AtEnd()) {
            if (bAfterComma)
                return Fail(QStringLiteral("the hex data ends with a comma"));
            break;
        }
        if (line.Peek() == '\\') {
            ++line.m_p;
            if (!line.RestIsBlank())
                return Fail(QStringLiteral("unexpected text after a line continuation"));
            if (!NextLine(line))
                return Fail(QStringLiteral("the file ends inside a continued value"));
            continue;
        }
        if (bWantByte) {
            const int nHigh = HexDigit(line.Peek());
            const int nLow = line.m_pEnd - line.m_p > 1 ? HexDigit(line.m_p[1]) : -1;
            if (nHigh < 0 || nLow < 0)
                return Fail(QStringLiteral("two hexadecimal digits expected in hex data"));
            value.m_data.append(char(nHigh * 16 + nLow));
            line.m_p += 2;
            bWantByte = bAfterComma = false;
        } else if (line.Peek() == ',') {
            ++line.m_p;
            bWantByte = bAfterComma = true;
        } else {
            return Fail(QStringLiteral("',' expected between hex bytes"));
        }
    }
    // Old .reg files hold string types as bytes of the ANSI code page, one per character.
    if (m_info.m_eFormat == EWineRegFormat::REGEDIT4 &&
        (value.m_nType == REG_SZ || value.m_nType == REG_EXPAND_SZ ||
         value.m_nType == REG_MULTI_SZ)) {
        QByteArray wide;
        for (char c : std::as_const(value.m_data))
            wide.append(c).append('\0');
        value.m_data = wide;
    }
    return true;
}

bool CParser::String(SCursor& line, char endChar, QString& str) {
    str.clear();
    while (!line.AtEnd()) {
        const char c = *line.m_p;
        if (c == endChar && endChar != '\0') {
            ++line.m_p;
            return true;
        }
        if (static_cast<unsigned char>(c) >= 0x80) {
            const char* pStart = line.m_p;
            while (!line.AtEnd() && static_cast<unsigned char>(*line.m_p) >= 0x80)
                ++line.m_p;
            str += QString::fromUtf8(pStart, line.m_p - pStart);
            continue;
        }
        ++line.m_p;
        if (c != '\\') {
            str += QLatin1Char(c);
            continue;
        }
        if (line.AtEnd())
            return Fail(QStringLiteral("the line ends inside an escape"));
        const char e = *line.m_p++;
        uint64_t n = 0;
        switch (e) {
        case 'a':
            str += QChar(7);
            break;
        case 'b':
            str += QChar(8);
            break;
        case 'e':
            str += QChar(27);
            break;
        case 'f':
            str += QChar(12);
            break;
        case 'n':
            str += QChar(10);
            break;
        case 'r':
            str += QChar(13);
            break;
        case 't':
            str += QChar(9);
            break;
        case 'v':
            str += QChar(11);
            break;
        case 'x':
            if (line.Hex(4, n))
                str += QChar(char16_t(n));
            else
                str += QLatin1Char('x');
            break;
        default:
            if (e >= '0' && e <= '7') {
                n = uint64_t(e - '0');
                for (int i = 0; i < 2 && !line.AtEnd() && *line.m_p >= '0' && *line.m_p <= '7'; ++i)
                    n = n * 8 + uint64_t(*line.m_p++ - '0');
                str += QChar(char16_t(n));
            } else if (static_cast<unsigned char>(e) < 0x80) {
                str += QLatin1Char(e);
            } else {
                --line.m_p; // an escaped raw byte: read it as text
            }
        }
    }
    if (endChar == '\0')
        return true;
    return Fail(endChar == ']' ? QStringLiteral("the key line has no closing bracket")
                               : QStringLiteral("the string has no closing quote"));
}

} // namespace

namespace {

// UTF-16LE with a byte order mark, as Windows writes .reg files, becomes UTF-8.
QByteArrayView AsUtf8(QByteArrayView data, QByteArray& converted) {
    if (data.size() < 2 || uint8_t(data[0]) != 0xFF || uint8_t(data[1]) != 0xFE)
        return data;
    const qsizetype nUnits = (data.size() - 2) / 2;
    QString str(nUnits, Qt::Uninitialized);
    for (qsizetype i = 0; i < nUnits; ++i)
        str[i] = QChar(char16_t(uint8_t(data[2 + 2 * i]) | uint8_t(data[3 + 2 * i]) << 8));
    converted = str.toUtf8();
    return converted;
}

} // namespace

bool CWineRegReader::Parse(QByteArrayView data, CWineRegKey& top, SWineRegFileInfo& info,
                           QString& strError) {
    info = {};
    QByteArray converted;
    return CParser(AsUtf8(data, converted), top, info).Run(strError);
}

bool CWineRegReader::Import(QByteArrayView data, IRegImportTarget& target, SWineRegFileInfo& info,
                            QString& strError) {
    info = {};
    QByteArray converted;
    CWineRegKey unused;
    return CParser(AsUtf8(data, converted), unused, info, &target).Run(strError);
}

bool CWineRegReader::ReadFile(const QString& strPath, CWineRegKey& top, SWineRegFileInfo& info,
                              QString& strError) {
    QByteArray data;
    if (!ReadBytes(strPath, data, strError))
        return false;
    if (!Parse(data, top, info, strError)) {
        strError = strPath + QStringLiteral(", ") + strError;
        return false;
    }
    return true;
}

bool CWineRegReader::ReadBytes(const QString& strPath, QByteArray& data, QString& strError) {
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly)) {
        strError = QStringLiteral("%1: %2").arg(strPath, file.errorString());
        return false;
    }
    // Read in pieces, so a device that never ends (or lies about its size) cannot make
    // the reader allocate more than the limit.
    data.clear();
    for (;;) {
        const QByteArray chunk = file.read(1 << 20);
        if (chunk.isEmpty())
            break;
        data += chunk;
        if (data.size() > MAX_FILE_SIZE) {
            strError = QStringLiteral("%1: the file is larger than %2 MiB")
                           .arg(strPath)
                           .arg(MAX_FILE_SIZE >> 20);
            return false;
        }
    }
    if (file.error() != QFileDevice::NoError) {
        strError = QStringLiteral("%1: %2").arg(strPath, file.errorString());
        return false;
    }
    return true;
}
