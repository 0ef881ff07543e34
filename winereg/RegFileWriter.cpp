#include "winereg/RegFileWriter.h"

#include "platform/SafeFile.h"

namespace {

QString Escaped(const QString& str) {
    QString out;
    out.reserve(str.size() + 8);
    for (const QChar c : str) {
        if (c == u'\\' || c == u'"')
            out += QLatin1Char('\\');
        if (c == u'\r')
            out += QLatin1String("\\r");
        else if (c == u'\n')
            out += QLatin1String("\\n");
        else
            out += c;
    }
    return out;
}

// One terminating zero, no other zero and no line break: the form a quoted string gives back.
bool IsQuotable(const QByteArray& data) {
    if (data.size() < 2 || data.size() % 2 != 0)
        return false;
    for (qsizetype i = 0; i + 1 < data.size(); i += 2) {
        const char16_t c = char16_t(uint8_t(data[i]) | uint8_t(data[i + 1]) << 8);
        const bool bLast = i + 2 == data.size();
        if ((c == 0) != bLast || c == u'\r' || c == u'\n')
            return false;
    }
    return true;
}

} // namespace

CRegFileWriter::CRegFileWriter()
    : m_strText(QStringLiteral("Windows Registry Editor Version 5.00")) {
    m_strText += CRLF;
    m_strText += CRLF;
}

void CRegFileWriter::Comment(const QString& strText) {
    for (const QString& strLine : strText.split(QLatin1Char('\n')))
        m_strText += QLatin1String("; ") + QString(strLine).remove(QLatin1Char('\r')) + CRLF;
}

void CRegFileWriter::Key(const QString& strPath) {
    m_strText += QLatin1Char('[') + strPath + QLatin1Char(']') + CRLF;
}

void CRegFileWriter::DeleteKey(const QString& strPath) {
    m_strText += QLatin1String("[-") + strPath + QLatin1Char(']') + CRLF;
}

void CRegFileWriter::Name(const QString& strName) {
    if (strName.isEmpty())
        m_strText += QLatin1Char('@');
    else
        m_strText += QLatin1Char('"') + Escaped(strName) + QLatin1Char('"');
}

void CRegFileWriter::DeleteValue(const QString& strName) {
    Name(strName);
    m_strText += QLatin1String("=-") + CRLF;
}

void CRegFileWriter::Value(const SWineRegValue& value) {
    const qsizetype nLineStart = m_strText.size();
    Name(value.m_strName);
    m_strText += QLatin1Char('=');
    if (value.m_nType == REG_SZ && IsQuotable(value.m_data)) {
        m_strText +=
            QLatin1Char('"') + Escaped(RegStringFromData(value.m_data)) + QLatin1Char('"') + CRLF;
    } else if (value.m_nType == REG_DWORD && value.m_data.size() == 4) {
        const auto* p = reinterpret_cast<const uint8_t*>(value.m_data.constData());
        const uint32_t n =
            uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        m_strText += QStringLiteral("dword:%1").arg(n, 8, 16, QLatin1Char('0')) + CRLF;
    } else {
        const QString strPrefix = value.m_nType == REG_BINARY
                                      ? QStringLiteral("hex:")
                                      : QStringLiteral("hex(%1):").arg(value.m_nType, 0, 16);
        const QString strLead = m_strText.mid(nLineStart);
        m_strText.truncate(nLineStart);
        HexData(strLead + strPrefix, value.m_data);
    }
}

// Byte pairs after the prefix, comma separated; a line that would pass the wrap column ends
// with a backslash and the next one starts with two spaces.
void CRegFileWriter::HexData(const QString& strPrefix, const QByteArray& data) {
    static const char HEX[] = "0123456789abcdef";
    QString strLine = strPrefix;
    for (qsizetype i = 0; i < data.size(); ++i) {
        const uint8_t b = uint8_t(data[i]);
        strLine += QLatin1Char(HEX[b >> 4]);
        strLine += QLatin1Char(HEX[b & 15]);
        if (i + 1 == data.size())
            break;
        strLine += QLatin1Char(',');
        if (strLine.size() >= WRAP_COLUMN) {
            m_strText += strLine + QLatin1Char('\\') + CRLF;
            strLine = QStringLiteral("  ");
        }
    }
    m_strText += strLine + CRLF;
}

QByteArray CRegFileWriter::Bytes() const {
    QByteArray bytes;
    bytes.reserve(2 + m_strText.size() * 2);
    bytes.append(char(0xFF)).append(char(0xFE));
    for (const QChar c : m_strText)
        bytes.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    return bytes;
}

bool CRegFileWriter::Save(const QString& strPath, QString& strError) const {
    CSafeFile file(strPath);
    if (!file.Open()) {
        strError = file.ErrorText();
        return false;
    }
    const QByteArray bytes = Bytes();
    if (file.write(bytes) != bytes.size() || !file.Commit()) {
        strError = file.ErrorText();
        return false;
    }
    return true;
}
