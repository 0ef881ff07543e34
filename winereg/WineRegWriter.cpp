#include "winereg/WineRegWriter.h"

#include "platform/SafeFile.h"
#include "winereg/WineRegReader.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace {

bool IsAsciiHexDigit(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// Appends str with Wine's escapes: C escapes for control characters, octal for the others,
// \x for characters above ASCII (four digits when a hex digit follows), a backslash before
// backslashes and the two delimiters. Returns the number of characters written.
qsizetype AppendEscaped(QByteArray& out, QStringView str, char delim1, char delim2) {
    static const char ESCAPES[33] = ".......abtnvfr.............e....";
    const qsizetype nStart = out.size();
    char sz[16];
    for (qsizetype i = 0; i < str.size(); ++i) {
        const char16_t c = str[i].unicode();
        const bool bLast = i + 1 == str.size();
        const char16_t next = bLast ? 0 : str[i + 1].unicode();
        if (c > 127) {
            std::snprintf(sz, sizeof(sz),
                          !bLast && next < 128 && IsAsciiHexDigit(next) ? "\\x%04x" : "\\x%x",
                          unsigned(c));
            out += sz;
        } else if (c < 32) {
            if (ESCAPES[c] != '.')
                std::snprintf(sz, sizeof(sz), "\\%c", ESCAPES[c]);
            else
                std::snprintf(sz, sizeof(sz),
                              !bLast && next >= u'0' && next <= u'7' ? "\\%03o" : "\\%o",
                              unsigned(c));
            out += sz;
        } else {
            if (c == u'\\' || c == char16_t(delim1) || c == char16_t(delim2))
                out += '\\';
            out += char(c);
        }
    }
    return out.size() - nStart;
}

bool IsWholeString(const SWineRegValue& value) {
    const QByteArray& d = value.m_data;
    return d.size() >= 2 && d.size() % 2 == 0 && d[d.size() - 1] == '\0' && d[d.size() - 2] == '\0';
}

class CWriter {
public:
    CWriter(const CWineRegKey& base, const CWineRegWriter::SOptions& options)
        : m_base(base), m_options(options) {}

    QByteArray Run();

private:
    bool Skipped(const CWineRegKey& key) const {
        return m_options.m_skip && &key != &m_base && m_options.m_skip(key);
    }
    void Key(const CWineRegKey& key);
    void Path(const CWineRegKey& key);
    void Value(const SWineRegValue& value);

    const CWineRegKey& m_base;
    const CWineRegWriter::SOptions& m_options;
    QByteArray m_out;
};

QByteArray CWriter::Run() {
    m_out += "WINE REGISTRY Version 2\n";
    if (!m_options.m_strRelativeTo.isEmpty()) {
        m_out += ";; All keys relative to ";
        AppendEscaped(m_out, m_options.m_strRelativeTo, '[', ']');
        m_out += '\n';
    }
    if (!m_options.m_strArch.isEmpty())
        m_out += "\n#arch=" + m_options.m_strArch.toUtf8() + '\n';
    Key(m_base);
    return m_out;
}

void CWriter::Path(const CWineRegKey& key) {
    if (&key == &m_base || !key.Parent())
        return;
    if (key.Parent() != &m_base) {
        Path(*key.Parent());
        m_out += "\\\\";
    }
    AppendEscaped(m_out, key.Name(), '[', ']');
}

void CWriter::Key(const CWineRegKey& key) {
    bool bSubKeys = false;
    for (qsizetype i = 0; i < key.SubKeyCount() && !bSubKeys; ++i)
        bSubKeys = !Skipped(*key.SubKey(i));
    if (key.ValueCount() > 0 || !bSubKeys || key.m_class || key.m_bLink) {
        const uint64_t nTime = key.m_nModified;
        const uint64_t nSeconds =
            nTime > FILETIME_OF_UNIX_EPOCH ? (nTime - FILETIME_OF_UNIX_EPOCH) / 10000000ull : 0;
        char sz[64];
        m_out += "\n[";
        Path(key);
        std::snprintf(sz, sizeof(sz), "] %u\n#time=%x%08x\n", unsigned(nSeconds),
                      unsigned(nTime >> 32), unsigned(nTime & 0xFFFFFFFFu));
        m_out += sz;
        if (key.m_class) {
            m_out += "#class=\"";
            AppendEscaped(m_out, *key.m_class, '"', '"');
            m_out += "\"\n";
        }
        if (key.m_bLink)
            m_out += "#link\n";
        for (qsizetype i = 0; i < key.ValueCount(); ++i)
            Value(key.Value(i));
    }
    for (qsizetype i = 0; i < key.SubKeyCount(); ++i)
        if (!Skipped(*key.SubKey(i)))
            Key(*key.SubKey(i));
}

void CWriter::Value(const SWineRegValue& value) {
    qsizetype nCount = 0;
    if (!value.m_strName.isEmpty()) {
        m_out += '"';
        nCount = 1 + AppendEscaped(m_out, value.m_strName, '"', '"') + 2;
        m_out += "\"=";
    } else {
        m_out += "@=";
        nCount = 2;
    }
    char sz[32];
    const QByteArray& data = value.m_data;
    const uint32_t nType = value.m_nType;
    if ((nType == REG_SZ || nType == REG_EXPAND_SZ || nType == REG_MULTI_SZ) &&
        IsWholeString(value)) {
        if (nType != REG_SZ) {
            std::snprintf(sz, sizeof(sz), "str(%x):", nType);
            m_out += sz;
        }
        m_out += '"';
        // Every character but the terminating zero, which the reader adds back.
        const qsizetype nUnits = data.size() / 2 - 1;
        QString str(nUnits, Qt::Uninitialized);
        for (qsizetype i = 0; i < nUnits; ++i)
            str[i] = QChar(char16_t(uint8_t(data[2 * i]) | uint8_t(data[2 * i + 1]) << 8));
        AppendEscaped(m_out, str, '"', '"');
        m_out += "\"\n";
        return;
    }
    if (nType == REG_DWORD && data.size() == 4) {
        uint32_t n = 0;
        for (int i = 3; i >= 0; --i)
            n = n << 8 | uint8_t(data[i]);
        std::snprintf(sz, sizeof(sz), "dword:%08x\n", n);
        m_out += sz;
        return;
    }
    if (nType == REG_BINARY)
        std::snprintf(sz, sizeof(sz), "hex:");
    else
        std::snprintf(sz, sizeof(sz), "hex(%x):", nType);
    m_out += sz;
    nCount += qsizetype(std::strlen(sz));
    for (qsizetype i = 0; i < data.size(); ++i) {
        std::snprintf(sz, sizeof(sz), "%02x", unsigned(uint8_t(data[i])));
        m_out += sz;
        nCount += 2;
        if (i + 1 < data.size()) {
            m_out += ',';
            if (++nCount > 76) {
                m_out += "\\\n  ";
                nCount = 2;
            }
        }
    }
    m_out += '\n';
}

} // namespace

QByteArray CWineRegWriter::Write(const CWineRegKey& base, const SOptions& options) {
    return CWriter(base, options).Run();
}

bool CWineRegWriter::SaveFile(const QString& strPath, const CWineRegKey& base,
                              const SOptions& options, QString& strError) {
    const QString strDir = QFileInfo(strPath).absolutePath();
    if (!QDir().mkpath(strDir)) {
        strError = QStringLiteral("%1: the folder cannot be created").arg(strDir);
        return false;
    }
    const QByteArray data = Write(base, options);
    // The checked writer: the old file stays whole unless the new one reached the disk whole.
    CSafeFile file(strPath);
    if (!file.Open() || file.write(data) != data.size() || !file.Commit()) {
        strError = file.ErrorText();
        return false;
    }
    return true;
}
