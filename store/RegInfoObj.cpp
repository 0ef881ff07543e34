#include "store/RegInfoObj.h"

#include "store/RegOperations.h"
#include "store/TextMatch.h"
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

QString DescriptionArg(EDescriptionArg nArg, const CRegInfoObj& r) {
    switch (nArg) {
    case DESC_RESULT_OR_NO_RESULT:
        return r.m_strResult.isEmpty() ? QLatin1String(DESC_NO_RESULT) : r.m_strResult;
    case DESC_OLD:
        return r.m_strOldValue;
    case DESC_NEW:
        return r.m_strNewValue;
    case DESC_OLD_OR_NO_DATA:
        return r.m_strOldValue.isEmpty() ? QLatin1String(DESC_NO_DATA) : r.m_strOldValue;
    case DESC_NEW_OR_NO_DATA:
        return r.m_strNewValue.isEmpty() ? QLatin1String(DESC_NO_DATA) : r.m_strNewValue;
    case DESC_NONE:
        break;
    }
    return {};
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

int IsWriteFunType(int nFunType) {
    switch (nFunType) {
    case OP_CREATE_NEW:
    case OP_SET_VALUE:
    case OP_DELETE_KEY:
    case OP_DELETE_VALUE:
        return 1;
    default:
        return 0;
    }
}

int ModifiesRegistry(int nFunType, bool bSuccess, bool bValuesDiffer) {
    if (!bSuccess)
        return 0;
    switch (nFunType) {
    case OP_CREATE_NEW:
    case OP_DELETE_KEY:
    case OP_DELETE_VALUE:
    case OP_LOAD_KEY:
    case OP_UNLOAD_KEY:
        return 1;
    case OP_SET_VALUE:
        return bValuesDiffer ? 1 : 0;
    default:
        return 0;
    }
}

int CRegInfoObj::IsWriteOpt() const {
    return IsWriteFunType(GetFunType());
}

int CRegInfoObj::Modified() const {
    return ModifiesRegistry(GetFunType(), IsSuccess(), m_strNewValue != m_strOldValue);
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

SDescriptionRecipe DescriptionRecipe(int nFunType, bool bSuccess, bool bOldEmpty, bool bNewEmpty,
                                     bool bSameValues) {
    if (!bSuccess)
        return {"Failed: ", DESC_RESULT_OR_NO_RESULT, "", DESC_NONE};
    switch (nFunType) {
    case OP_OPEN_KEY:
        return {"Opened key", DESC_NONE, "", DESC_NONE};
    case OP_CLOSE_KEY:
        return {"Closed key", DESC_NONE, "", DESC_NONE};
    case OP_QUERY_KEY:
        return {"Queried key", DESC_NONE, "", DESC_NONE};
    case OP_QUERY_VALUE:
        return {"Read ", DESC_OLD_OR_NO_DATA, "", DESC_NONE};
    case OP_ENUM_KEY:
        return bNewEmpty ? SDescriptionRecipe{"Enumerated subkeys", DESC_NONE, "", DESC_NONE}
                         : SDescriptionRecipe{"Enumerated subkey ", DESC_NEW, "", DESC_NONE};
    case OP_ENUM_VALUE:
        return bNewEmpty ? SDescriptionRecipe{"Enumerated values", DESC_NONE, "", DESC_NONE}
                         : SDescriptionRecipe{"Enumerated ", DESC_NEW, "", DESC_NONE};
    case OP_CREATE_OPEN:
        return {"Opened existing key", DESC_NONE, "", DESC_NONE};
    case OP_FLUSH_KEY:
        return {"Flushed key", DESC_NONE, "", DESC_NONE};
    case OP_LOAD_KEY:
        return {"Loaded hive", DESC_NONE, "", DESC_NONE};
    case OP_UNLOAD_KEY:
        return {"Unloaded hive", DESC_NONE, "", DESC_NONE};
    case OP_CREATE_NEW:
        return {"Created new key", DESC_NONE, "", DESC_NONE};
    case OP_SET_VALUE:
        if (bOldEmpty)
            return {"Created value: ", DESC_NEW_OR_NO_DATA, "", DESC_NONE};
        if (bSameValues)
            return {"Set to same data: ", DESC_NEW, "", DESC_NONE};
        return {"Changed ", DESC_OLD, " to ", DESC_NEW_OR_NO_DATA};
    case OP_DELETE_KEY:
        return {"Deleted key", DESC_NONE, "", DESC_NONE};
    case OP_DELETE_VALUE:
        return {"Deleted value: ", DESC_OLD_OR_NO_DATA, "", DESC_NONE};
    }
    return {"", DESC_NONE, "", DESC_NONE};
}

bool DescriptionUsesOld(const SDescriptionRecipe& recipe) {
    const auto uses = [](EDescriptionArg n) { return n == DESC_OLD || n == DESC_OLD_OR_NO_DATA; };
    return uses(recipe.nArg1) || uses(recipe.nArg2);
}

bool DescriptionUsesNew(const SDescriptionRecipe& recipe) {
    const auto uses = [](EDescriptionArg n) { return n == DESC_NEW || n == DESC_NEW_OR_NO_DATA; };
    return uses(recipe.nArg1) || uses(recipe.nArg2);
}

QString CRegInfoObj::GetDescription() const {
    const SDescriptionRecipe recipe =
        DescriptionRecipe(GetFunType(), IsSuccess(), m_strOldValue.isEmpty(),
                          m_strNewValue.isEmpty(), m_strOldValue == m_strNewValue);
    return QLatin1String(recipe.pBefore) + DescriptionArg(recipe.nArg1, *this) +
           QLatin1String(recipe.pBetween) + DescriptionArg(recipe.nArg2, *this);
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
