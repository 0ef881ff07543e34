#include "winereg/RegKeyContents.h"

#include "utils/HexDigit.h"

namespace {

const QLatin1String EMPTY_LISTING(" (empty)");
const QLatin1String TOO_BIG_START(" (too big to list: ");
constexpr char HEX_DIGITS[] = "0123456789abcdef";

void AppendHexUnit(QString& out, char16_t c, int nDigits) {
    for (int nShift = (nDigits - 1) * 4; nShift >= 0; nShift -= 4)
        out += QLatin1Char(HEX_DIGITS[(c >> nShift) & 15]);
}

bool MustEscape(char16_t c, bool bKeyName) {
    return c < 0x20 || c == 0x7F || c == u'%' || c == u'"' || c == u'[' || c == u']' ||
           (bKeyName && c == u'\\');
}

void AppendEscaped(QString& out, QStringView str, bool bKeyName) {
    for (qsizetype i = 0; i < str.size(); ++i) {
        const QChar c = str[i];
        if (c.isHighSurrogate() && i + 1 < str.size() && str[i + 1].isLowSurrogate()) {
            out += c;
            out += str[++i];
        } else if (c.isSurrogate()) {
            out += QLatin1String("%u");
            AppendHexUnit(out, c.unicode(), 4);
        } else if (MustEscape(c.unicode(), bKeyName)) {
            out += QLatin1Char('%');
            AppendHexUnit(out, c.unicode(), 2);
        } else {
            out += c;
        }
    }
}

// Exactly one terminating zero and no other: such a string shows as text.
bool IsPlainString(const SWineRegValue& value) {
    if (value.m_nType != REG_SZ && value.m_nType != REG_EXPAND_SZ)
        return false;
    const QByteArray& d = value.m_data;
    if (d.size() < 2 || d.size() % 2 != 0)
        return false;
    for (qsizetype i = 0; i + 2 < d.size(); i += 2)
        if (d[i] == 0 && d[i + 1] == 0)
            return false;
    return d[d.size() - 2] == 0 && d[d.size() - 1] == 0;
}

void AppendValue(QString& out, const CWineRegKey& key, const SWineRegValue& value,
                 const RegValueCutFn& fnCut) {
    out += QLatin1Char(' ');
    if (value.m_strName.isEmpty()) {
        out += QLatin1Char('@');
    } else {
        out += QLatin1Char('"');
        AppendEscaped(out, value.m_strName, false);
        out += QLatin1Char('"');
    }
    out += QLatin1Char('=') + RegTypeName(value.m_nType) + QLatin1Char(':');
    if (fnCut && fnCut(key, value)) {
        out += QLatin1String("...");
    } else if (IsPlainString(value)) {
        out += QLatin1Char('"');
        AppendEscaped(out, RegStringFromData(value.m_data), false);
        out += QLatin1Char('"');
    } else {
        for (const char b : value.m_data) {
            out += QLatin1Char(HEX_DIGITS[uint8_t(b) >> 4]);
            out += QLatin1Char(HEX_DIGITS[uint8_t(b) & 15]);
        }
    }
}

void AppendKey(QString& out, const CWineRegKey& key, const CWineRegKey& top,
               const RegValueCutFn& fnCut, qsizetype& nValues, qsizetype& nKeys) {
    ++nKeys;
    if (&key != &top) {
        out += QLatin1String(" [");
        bool bFirst = true;
        std::vector<const CWineRegKey*> arChain;
        for (const CWineRegKey* p = &key; p != &top; p = p->Parent())
            arChain.push_back(p);
        for (auto it = arChain.rbegin(); it != arChain.rend(); ++it) {
            if (!bFirst)
                out += QLatin1Char('\\');
            bFirst = false;
            AppendEscaped(out, (*it)->Name(), true);
        }
        out += QLatin1Char(']');
    }
    for (qsizetype i = 0; i < key.ValueCount(); ++i) {
        AppendValue(out, key, key.Value(i), fnCut);
        ++nValues;
    }
    for (qsizetype i = 0; i < key.SubKeyCount(); ++i)
        AppendKey(out, *key.SubKey(i), top, fnCut, nValues, nKeys);
}

// Reads the listing after "KEY:".
class CContentsParser {
public:
    CContentsParser(QStringView text, SRegKeyContents& out) : m_text(text), m_out(out) {}
    bool Run();

private:
    bool Fail(const QString& strWhat) {
        m_out.m_strWhy = QStringLiteral("at character %1: %2").arg(m_nPos + 1).arg(strWhat);
        return false;
    }
    bool AtEnd() const { return m_nPos >= m_text.size(); }
    char16_t Peek() const { return AtEnd() ? 0 : m_text[m_nPos].unicode(); }
    bool Unescape(char16_t endChar, bool bKeyName, QString& str);
    bool KeyPath();
    bool Value();
    bool Data(SWineRegValue& value, bool& bCut);

    QStringView m_text;
    qsizetype m_nPos = 0;
    SRegKeyContents& m_out;
    CWineRegKey* m_pKey = nullptr;
};

// Up to the unescaped endChar (or a backslash in a key path), which is left in place.
bool CContentsParser::Unescape(char16_t endChar, bool bKeyName, QString& str) {
    str.clear();
    while (!AtEnd() && Peek() != endChar && !(bKeyName && Peek() == u'\\')) {
        const char16_t c = Peek();
        if (c != u'%') {
            str += QChar(c);
            ++m_nPos;
            continue;
        }
        const bool bUnit = m_nPos + 1 < m_text.size() && m_text[m_nPos + 1] == u'u';
        const qsizetype nStart = m_nPos + (bUnit ? 2 : 1);
        const int nDigits = bUnit ? 4 : 2;
        if (nStart + nDigits > m_text.size())
            return Fail(QStringLiteral("an escape is cut short"));
        char16_t nUnit = 0;
        for (int i = 0; i < nDigits; ++i) {
            const char16_t d = m_text[nStart + i].unicode();
            const int n = d < 0x80 ? HexDigit(char(d)) : -1;
            if (n < 0)
                return Fail(QStringLiteral("an escape needs hexadecimal digits"));
            nUnit = char16_t(nUnit << 4 | n);
        }
        str += QChar(nUnit);
        m_nPos = nStart + nDigits;
    }
    return true;
}

bool CContentsParser::KeyPath() {
    ++m_nPos; // '['
    CWineRegKey* pKey = m_out.m_pKey.get();
    for (;;) {
        QString strName;
        if (!Unescape(u']', true, strName))
            return false;
        if (AtEnd())
            return Fail(QStringLiteral("a key path has no closing bracket"));
        if (strName.isEmpty())
            return Fail(QStringLiteral("a key path has an empty name"));
        pKey = pKey->CreateSubKey(strName);
        if (!pKey)
            return Fail(QStringLiteral("a key path cannot be placed"));
        if (Peek() == u']')
            break;
        ++m_nPos; // '\'
    }
    ++m_nPos;
    m_pKey = pKey;
    return true;
}

bool CContentsParser::Data(SWineRegValue& value, bool& bCut) {
    bCut = false;
    if (Peek() == u'"') {
        ++m_nPos;
        QString str;
        if (!Unescape(u'"', false, str))
            return false;
        if (AtEnd())
            return Fail(QStringLiteral("a string has no closing quote"));
        ++m_nPos;
        value.m_data = RegStringData(str);
        return true;
    }
    if (m_text.mid(m_nPos).startsWith(u"...")) {
        m_nPos += 3;
        bCut = true;
        return true;
    }
    while (!AtEnd() && Peek() != u' ') {
        const char16_t a = Peek();
        const char16_t b = m_nPos + 1 < m_text.size() ? m_text[m_nPos + 1].unicode() : 0;
        const int nHigh = a < 0x80 ? HexDigit(char(a)) : -1;
        const int nLow = b && b < 0x80 ? HexDigit(char(b)) : -1;
        if (nHigh < 0 || nLow < 0)
            return Fail(QStringLiteral("data needs pairs of hexadecimal digits"));
        value.m_data.append(char(nHigh * 16 + nLow));
        m_nPos += 2;
    }
    return true;
}

bool CContentsParser::Value() {
    SWineRegValue value;
    if (Peek() == u'@') {
        ++m_nPos;
    } else {
        ++m_nPos; // '"'
        if (!Unescape(u'"', false, value.m_strName))
            return false;
        if (AtEnd())
            return Fail(QStringLiteral("a value name has no closing quote"));
        ++m_nPos;
        if (value.m_strName.isEmpty())
            return Fail(QStringLiteral("the unnamed value is written @"));
    }
    if (Peek() != u'=')
        return Fail(QStringLiteral("'=' expected after a value name"));
    ++m_nPos;
    const qsizetype nColon = m_text.indexOf(u':', m_nPos);
    if (nColon < 0 || !RegTypeFromName(m_text.mid(m_nPos, nColon - m_nPos), value.m_nType))
        return Fail(QStringLiteral("a type name and ':' expected"));
    m_nPos = nColon + 1;
    bool bCut = false;
    if (!Data(value, bCut))
        return false;
    if (!AtEnd() && Peek() != u' ')
        return Fail(QStringLiteral("a space expected after a value"));
    const QString strName = value.m_strName;
    m_pKey->SetValue(std::move(value));
    if (bCut)
        m_out.m_arCut.emplace_back(m_pKey, strName);
    return true;
}

bool CContentsParser::Run() {
    m_pKey = m_out.m_pKey.get();
    if (m_text == EMPTY_LISTING)
        return true;
    while (!AtEnd()) {
        if (Peek() != u' ')
            return Fail(QStringLiteral("a space expected between entries"));
        ++m_nPos;
        const char16_t c = Peek();
        if (c == u'[' ? !KeyPath() : (c == u'@' || c == u'"') ? !Value() : true) {
            if (m_out.m_strWhy.isEmpty())
                Fail(QStringLiteral("a value or a key path in brackets expected"));
            return false;
        }
    }
    return true;
}

bool ParseCount(QStringView& text, QStringView after, qsizetype& n) {
    const qsizetype nEnd = text.indexOf(after);
    bool bOk = false;
    n = nEnd > 0 ? text.left(nEnd).toLongLong(&bOk) : 0;
    text = nEnd > 0 ? text.mid(nEnd + after.size()) : QStringView();
    return bOk && n >= 0;
}

} // namespace

QString RegKeyContentsText(const CWineRegKey& key, qsizetype nMaxBytes,
                           const RegValueCutFn& fnCut) {
    QString str = QString::fromUtf16(KEY_CONTENTS_PREFIX);
    qsizetype nValues = 0, nKeys = 0;
    AppendKey(str, key, key, fnCut, nValues, nKeys);
    if (nValues == 0 && nKeys == 1)
        return str + EMPTY_LISTING;
    if (str.toUtf8().size() <= nMaxBytes)
        return str;
    return QString::fromUtf16(KEY_CONTENTS_PREFIX) + TOO_BIG_START +
           QStringLiteral("%1 values in %2 keys)").arg(nValues).arg(nKeys);
}

bool SRegKeyContents::IsCut(const CWineRegKey& key, QStringView name) const {
    for (const auto& [pKey, strName] : m_arCut)
        if (pKey == &key && EqualRegNames(strName, name))
            return true;
    return false;
}

SRegKeyContents ParseRegKeyContents(QStringView text) {
    SRegKeyContents out;
    if (!text.startsWith(KEY_CONTENTS_PREFIX))
        return out;
    text = text.mid(std::char_traits<char16_t>::length(KEY_CONTENTS_PREFIX));
    if (text.startsWith(TOO_BIG_START)) {
        QStringView rest = text.mid(TOO_BIG_START.size());
        if (ParseCount(rest, u" values in ", out.m_nValues) &&
            ParseCount(rest, u" keys)", out.m_nKeys) && rest.isEmpty()) {
            out.m_eState = SRegKeyContents::TOO_BIG;
        } else {
            out.m_eState = SRegKeyContents::DAMAGED;
            out.m_strWhy = QStringLiteral("the sizes of a key too big to list cannot be read");
        }
        return out;
    }
    out.m_pKey = std::make_unique<CWineRegKey>();
    if (CContentsParser(text, out).Run()) {
        out.m_eState = SRegKeyContents::LISTED;
    } else {
        out.m_eState = SRegKeyContents::DAMAGED;
        out.m_pKey.reset();
        out.m_arCut.clear();
    }
    return out;
}
