#include "store/RegInfoObj.h"

#include "store/RegOperations.h"
#include "utils/Archive.h"

namespace {

struct SAlias {
    const char* pName;
    int nCode;
};

// Other spellings of our operations, as other tools and older records name them.
constexpr SAlias kAliases[] = {
    {"RegEnumKey", OP_ENUM_KEY},     {"RegEnumValue", OP_ENUM_VALUE},
    {"RegSetValue", OP_SET_VALUE},   {"RegCreateKey", OP_CREATE_OPEN},
    {"RegUnLoadKey", OP_UNLOAD_KEY},
};

bool IsWordChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

bool ContainsText(const QString& strHay, const QString& strNeedle, Qt::CaseSensitivity cs,
                  bool bWholeWord) {
    if (!bWholeWord)
        return strHay.contains(strNeedle, cs);
    for (qsizetype nAt = strHay.indexOf(strNeedle, 0, cs); nAt >= 0;
         nAt = strHay.indexOf(strNeedle, nAt + 1, cs)) {
        const qsizetype nEnd = nAt + strNeedle.size();
        const bool bLeftOk = nAt == 0 || !IsWordChar(strHay[nAt - 1]);
        const bool bRightOk = nEnd >= strHay.size() || !IsWordChar(strHay[nEnd]);
        if (bLeftOk && bRightOk)
            return true;
    }
    return false;
}

QString DataOrNothing(const QString& str) {
    return str.isEmpty() ? QStringLiteral("(no data)") : str;
}

} // namespace

int RequestToFunType(const QString& strRequest) {
    for (int i = 0; i < REG_OPERATION_COUNT; ++i) {
        const auto& name = g_RegOperationNames[size_t(i)];
        if (strRequest.compare(QLatin1String(name.data(), qsizetype(name.size())),
                               Qt::CaseInsensitive) == 0)
            return i;
    }
    for (const SAlias& alias : kAliases) {
        if (strRequest.compare(QLatin1String(alias.pName), Qt::CaseInsensitive) == 0)
            return alias.nCode;
    }
    return OP_QUERY_KEY;
}

QString ExpandRootKey(const QString& strPath) {
    for (const SRootKeyName& root : g_RootKeyNames) {
        const QLatin1String abbrev(root.abbrev.data(), qsizetype(root.abbrev.size()));
        if (!strPath.startsWith(abbrev, Qt::CaseInsensitive))
            continue;
        const qsizetype n = abbrev.size();
        if (strPath.size() == n || strPath[n] == QLatin1Char('\\'))
            return QLatin1String(root.full.data(), qsizetype(root.full.size())) + strPath.mid(n);
    }
    return strPath;
}

QString CsvField(const QString& str) {
    const bool bQuote = str.contains(QLatin1Char(',')) || str.contains(QLatin1Char('"')) ||
                        str.contains(QLatin1Char('\r')) || str.contains(QLatin1Char('\n'));
    if (!bQuote)
        return str;
    QString strOut = str;
    strOut.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + strOut + QLatin1Char('"');
}

CRegInfoObj::CRegInfoObj(const CRegInfoObj& other) : CBaseObj(other) {
    *this = other;
}

CRegInfoObj& CRegInfoObj::operator=(const CRegInfoObj& other) {
    m_nSeq = other.m_nSeq;
    m_strTime = other.m_strTime;
    m_strProcessName = other.m_strProcessName;
    m_nPid = other.m_nPid;
    m_strRequest = other.m_strRequest;
    m_strPath = other.m_strPath;
    m_strResult = other.m_strResult;
    m_strOldValue = other.m_strOldValue;
    m_strNewValue = other.m_strNewValue;
    m_nFunTypeCache.store(-1, std::memory_order_relaxed);
    return *this;
}

void CRegInfoObj::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar.WriteInt32(m_nSeq);
        ar.WriteString(m_strTime);
        ar.WriteString(m_strProcessName);
        ar.WriteInt32(m_nPid);
        ar.WriteString(m_strRequest);
        ar.WriteString(m_strPath);
        ar.WriteString(m_strResult);
        ar.WriteString(m_strOldValue);
        ar.WriteString(m_strNewValue);
        return;
    }
    m_nSeq = ar.ReadInt32();
    m_strTime = ar.ReadString();
    m_strProcessName = ar.ReadString();
    m_nPid = ar.ReadInt32();
    m_strRequest = ar.ReadString();
    m_strPath = ar.ReadString();
    m_strResult = ar.ReadString();
    m_strOldValue = ar.ReadString();
    m_strNewValue = ar.ReadString();
    m_nFunTypeCache.store(-1, std::memory_order_relaxed);
}

int CRegInfoObj::GetFunType() const {
    int n = m_nFunTypeCache.load(std::memory_order_relaxed);
    if (n < 0) {
        n = RequestToFunType(m_strRequest);
        m_nFunTypeCache.store(int8_t(n), std::memory_order_relaxed);
    }
    return n;
}

bool CRegInfoObj::IsSuccess() const {
    return m_strResult == QLatin1String(RESULT_SUCCESS.data(), qsizetype(RESULT_SUCCESS.size()));
}

int CRegInfoObj::IsWriteOpt() const {
    switch (GetFunType()) {
    case OP_CREATE_NEW:
    case OP_SET_VALUE:
    case OP_DELETE_KEY:
    case OP_DELETE_VALUE:
        return 1;
    default:
        return 0;
    }
}

int CRegInfoObj::Modified() const {
    if (!IsSuccess())
        return 0;
    switch (GetFunType()) {
    case OP_CREATE_NEW:
    case OP_DELETE_KEY:
    case OP_DELETE_VALUE:
    case OP_LOAD_KEY:
    case OP_UNLOAD_KEY:
        return 1;
    case OP_SET_VALUE:
        return m_strNewValue != m_strOldValue ? 1 : 0;
    default:
        return 0;
    }
}

QString CRegInfoObj::GetKeyString(QString& strValueName) const {
    strValueName.clear();
    QString strKey = m_strPath;
    if (IsValueOperation(GetFunType())) {
        const qsizetype nSep = strKey.lastIndexOf(QLatin1Char('\\'));
        if (nSep >= 0) {
            strValueName = strKey.mid(nSep + 1);
            strKey.truncate(nSep);
        }
    }
    return ExpandRootKey(strKey);
}

QString CRegInfoObj::GetDescription() const {
    if (!IsSuccess()) {
        const QString strResult = m_strResult.isEmpty() ? QStringLiteral("no result") : m_strResult;
        return QStringLiteral("Failed: %1").arg(strResult);
    }
    switch (GetFunType()) {
    case OP_OPEN_KEY:
        return QStringLiteral("Opened key");
    case OP_CLOSE_KEY:
        return QStringLiteral("Closed key");
    case OP_QUERY_KEY:
        return QStringLiteral("Queried key");
    case OP_QUERY_VALUE:
        return QStringLiteral("Read %1").arg(DataOrNothing(m_strOldValue));
    case OP_ENUM_KEY:
        return m_strNewValue.isEmpty() ? QStringLiteral("Enumerated subkeys")
                                       : QStringLiteral("Enumerated subkey %1").arg(m_strNewValue);
    case OP_ENUM_VALUE:
        return m_strNewValue.isEmpty() ? QStringLiteral("Enumerated values")
                                       : QStringLiteral("Enumerated %1").arg(m_strNewValue);
    case OP_CREATE_OPEN:
        return QStringLiteral("Opened existing key");
    case OP_FLUSH_KEY:
        return QStringLiteral("Flushed key");
    case OP_LOAD_KEY:
        return QStringLiteral("Loaded hive");
    case OP_UNLOAD_KEY:
        return QStringLiteral("Unloaded hive");
    case OP_CREATE_NEW:
        return QStringLiteral("Created new key");
    case OP_SET_VALUE:
        if (m_strOldValue.isEmpty())
            return QStringLiteral("Created value: %1").arg(DataOrNothing(m_strNewValue));
        if (m_strOldValue == m_strNewValue)
            return QStringLiteral("Set to same data: %1").arg(m_strNewValue);
        return QStringLiteral("Changed %1 to %2").arg(m_strOldValue, DataOrNothing(m_strNewValue));
    case OP_DELETE_KEY:
        return QStringLiteral("Deleted key");
    case OP_DELETE_VALUE:
        return QStringLiteral("Deleted value: %1").arg(DataOrNothing(m_strOldValue));
    }
    return {};
}

QString CRegInfoObj::GetCVSLine() const {
    const QChar comma = QLatin1Char(',');
    QString strLine;
    strLine.reserve(m_strPath.size() + m_strOldValue.size() + m_strNewValue.size() + 64);
    strLine += QString::number(m_nSeq) + comma + CsvField(m_strTime) + comma +
               CsvField(m_strProcessName) + comma + QString::number(m_nPid) + comma +
               CsvField(m_strRequest) + comma + CsvField(m_strPath) + comma +
               CsvField(m_strOldValue) + comma + CsvField(m_strNewValue) + QLatin1String("\r\n");
    return strLine;
}

int CRegInfoObj::FindString(QString strText, int bMatchCase, int bWholeWord) const {
    if (strText.isEmpty())
        return 0;
    const Qt::CaseSensitivity cs = bMatchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const QString texts[] = {QString::number(m_nSeq),
                             m_strTime,
                             m_strProcessName,
                             QString::number(m_nPid),
                             m_strRequest,
                             m_strPath,
                             m_strResult,
                             m_strOldValue,
                             m_strNewValue,
                             GetDescription()};
    for (const QString& str : texts) {
        if (ContainsText(str, strText, cs, bWholeWord != 0))
            return 1;
    }
    return 0;
}
