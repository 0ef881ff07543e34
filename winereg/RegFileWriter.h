// Writes registry edit files ("Windows Registry Editor Version 5.00") the way the Windows
// registry editor exports them, so that its importers and ours read them.
#pragma once

#include "winereg/WineRegValue.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The file is UTF-16LE with a byte order mark and CRLF line ends. Key lines name absolute
// paths with the full root names ("HKEY_CURRENT_USER\Software\X"). Strings of REG_SZ with one
// terminating zero and no line break are written in quotes (backslash and quote escaped);
// four-byte REG_DWORD as dword:; other data as hex: (REG_BINARY) or hex(N): with comma
// separated byte pairs, wrapped with a backslash before 80 columns. Value names escape
// backslash and quote, and a line break as \r or \n.
class CRegFileWriter {
public:
    CRegFileWriter();

    // "; " before each line of the text.
    void Comment(const QString& strText);
    void BlankLine() { m_strText += CRLF; }
    // "[path]": the values that follow are set in that key, which is created when missing.
    void Key(const QString& strPath);
    // "[-path]": the key goes with everything below it.
    void DeleteKey(const QString& strPath);
    void Value(const SWineRegValue& value);
    // "name"=- (or @=-).
    void DeleteValue(const QString& strName);

    const QString& Text() const { return m_strText; }
    // The file's bytes: the byte order mark and the text as UTF-16LE.
    QByteArray Bytes() const;
    // Writes the file through the checked writer: a temporary file beside it replaces it only
    // when every write, the flush to disk and the close succeeded. False with a message that
    // names the file and says what failed.
    bool Save(const QString& strPath, QString& strError) const;

    static constexpr int WRAP_COLUMN = 76;
    static inline const QString CRLF = QStringLiteral("\r\n");

private:
    void Name(const QString& strName);
    void HexData(const QString& strPrefix, const QByteArray& data);

    QString m_strText;
};
