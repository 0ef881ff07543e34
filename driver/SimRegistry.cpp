#include "driver/SimRegistry.h"

#include "driver/AsciiText.h"
#include "driver/DriverEvent.h"
#include "driver/WineValueText.h"

#include "store/RegOperations.h"
#include "utils/HexDigit.h"
#include "winereg/RegKeyContents.h"

#include <algorithm>
#include <cstdlib>

namespace {

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// A path that names a known root and nothing else: the roots cannot be deleted.
bool IsRootPath(std::string_view path) {
    while (!path.empty() && path.back() == '\\')
        path.remove_suffix(1);
    return path.find('\\') == std::string_view::npos;
}

bool StartsWithKnownRoot(std::string_view path) {
    const std::string_view root = path.substr(0, path.find('\\'));
    return std::ranges::any_of(
        g_RootKeyNames, [&](const SRootKeyName& r) { return EqualRegNames(Q(root), Q(r.abbrev)); });
}

QString ValueNameOf(std::string_view name) {
    return name == DEFAULT_VALUE_NAME ? QString() : Q(name);
}

// The data as records show it: the readable text, with the bytes after it where the text
// alone does not give them back.
SSimValue ToSim(const SWineRegValue& value) {
    const QString strType = RegTypeName(value.m_nType);
    const QString strText =
        RegRecordValueText(value.m_nType, value.m_data, MAX_VALUE_TEXT, MAX_VALUE_BYTES);
    return {value.m_strName.toStdString(), strType.toStdString(),
            strText.mid(strType.size() + 2).toStdString()};
}

// "24 00 3E" (or with commas) to bytes, up to the first pair that is not hexadecimal.
QByteArray HexPairs(std::string_view text) {
    QByteArray data;
    size_t i = 0;
    for (;;) {
        while (i < text.size() && (text[i] == ' ' || text[i] == ','))
            ++i;
        if (i + 1 >= text.size())
            break;
        const int nHigh = HexDigit(text[i]), nLow = HexDigit(text[i + 1]);
        if (nHigh < 0 || nLow < 0)
            break;
        data.append(char(nHigh * 16 + nLow));
        i += 2;
    }
    return data;
}

// Raw data for the text form of a value; false for a type name that is not known.
bool FromSim(const SSimValue& value, SWineRegValue& out) {
    if (!RegTypeFromName(Q(value.m_strType), out.m_nType))
        return false;
    out.m_strName = ValueNameOf(value.m_strName);
    const std::string& str = value.m_strData;
    switch (out.m_nType) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        out.m_data = RegStringData(Q(str));
        break;
    case REG_MULTI_SZ:
        out.m_data = RegMultiStringData({Q(str)});
        break;
    case REG_DWORD:
        out.m_data = RegDwordData(uint32_t(std::strtoul(str.c_str(), nullptr, 0)));
        break;
    case REG_QWORD:
        out.m_data = RegQwordData(std::strtoull(str.c_str(), nullptr, 0));
        break;
    default:
        out.m_data = HexPairs(str);
    }
    return true;
}

} // namespace

CSimRegistry::CSimRegistry() {
    Clear();
}

void CSimRegistry::Clear() {
    m_registry.Clear();
    m_registry.SetUserSid(QString::fromUtf16(DEFAULT_USER_SID));
    // The roots with the spelling a Windows machine has.
    for (const char16_t* pPath : {u"HKLM\\SOFTWARE\\Classes",
                                  u"HKLM\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current",
                                  u"HKCU", u"HKU\\.DEFAULT"})
        m_registry.CreateKey(QString::fromUtf16(pPath));
    ++m_nChanges;
}

CWineRegKey* CSimRegistry::Find(std::string_view path) const {
    return StartsWithKnownRoot(path) ? m_registry.FindKey(Q(path)) : nullptr;
}

void CSimRegistry::Touch(CWineRegKey* pKey) {
    if (pKey)
        pKey->m_nModified = CurrentFileTime();
    ++m_nChanges;
}

bool CSimRegistry::KeyExists(std::string_view path) const {
    return Find(path) != nullptr;
}

bool CSimRegistry::CreateKey(std::string_view path, bool& bCreated) {
    bCreated = false;
    if (!StartsWithKnownRoot(path))
        return false;
    CWineRegKey* pKey = m_registry.CreateKey(Q(path), &bCreated);
    if (bCreated)
        Touch(pKey);
    return pKey != nullptr;
}

bool CSimRegistry::DeleteKey(std::string_view path) {
    const CWineRegKey* pKey = Find(path);
    if (!pKey || IsRootPath(path) || pKey->SubKeyCount() > 0)
        return false;
    CWineRegKey* pParent = pKey->Parent();
    if (!m_registry.DeleteKey(Q(path)))
        return false;
    Touch(pParent);
    return true;
}

std::string CSimRegistry::ContentsText(std::string_view path, size_t nMaxBytes) const {
    const CWineRegKey* pKey = Find(path);
    return pKey ? RegKeyContentsText(*pKey, qsizetype(nMaxBytes)).toStdString() : std::string();
}

size_t CSimRegistry::SubKeyCount(std::string_view path) const {
    const CWineRegKey* pKey = Find(path);
    return pKey ? size_t(pKey->SubKeyCount()) : 0;
}

size_t CSimRegistry::ValueCount(std::string_view path) const {
    const CWineRegKey* pKey = Find(path);
    return pKey ? size_t(pKey->ValueCount()) : 0;
}

std::optional<std::string> CSimRegistry::EnumKey(std::string_view path, size_t nIndex) const {
    const CWineRegKey* pKey = Find(path);
    if (!pKey || nIndex >= size_t(pKey->SubKeyCount()))
        return std::nullopt;
    return pKey->SubKey(qsizetype(nIndex))->Name().toStdString();
}

std::optional<SSimValue> CSimRegistry::EnumValue(std::string_view path, size_t nIndex) const {
    const CWineRegKey* pKey = Find(path);
    if (!pKey || nIndex >= size_t(pKey->ValueCount()))
        return std::nullopt;
    return ToSim(pKey->Value(qsizetype(nIndex)));
}

std::optional<SSimValue> CSimRegistry::QueryValue(std::string_view path,
                                                  std::string_view name) const {
    const CWineRegKey* pKey = Find(path);
    const SWineRegValue* pValue = pKey ? pKey->FindValue(ValueNameOf(name)) : nullptr;
    if (!pValue)
        return std::nullopt;
    return ToSim(*pValue);
}

std::optional<SSimValue> CSimRegistry::SetValue(std::string_view path, const SSimValue& value) {
    CWineRegKey* pKey = Find(path);
    SWineRegValue raw;
    if (!pKey || !FromSim(value, raw))
        return std::nullopt;
    std::optional<SWineRegValue> old = pKey->SetValue(std::move(raw));
    Touch(pKey);
    if (!old)
        return std::nullopt;
    return ToSim(*old);
}

std::optional<SSimValue> CSimRegistry::DeleteValue(std::string_view path, std::string_view name) {
    CWineRegKey* pKey = Find(path);
    std::optional<SWineRegValue> old = pKey ? pKey->DeleteValue(ValueNameOf(name)) : std::nullopt;
    if (!old)
        return std::nullopt;
    Touch(pKey);
    return ToSim(*old);
}

std::vector<std::string> CSimRegistry::AllKeyPaths() const {
    // Keys that are the top of another root are listed under that root only.
    std::vector<const CWineRegKey*> arOtherRoots;
    for (const char* pRoot : {"HKCR", "HKCU", "HKCC"})
        if (const CWineRegKey* p = Find(pRoot))
            arOtherRoots.push_back(p);
    std::vector<std::string> arPaths;
    struct SFrame {
        const CWineRegKey* m_pKey;
        std::string m_strPath;
    };
    std::vector<SFrame> arStack;
    for (auto it = g_RootKeyNames.rbegin(); it != g_RootKeyNames.rend(); ++it)
        if (const CWineRegKey* p = Find(it->abbrev))
            arStack.push_back({p, std::string(it->abbrev)});
    while (!arStack.empty()) {
        SFrame frame = std::move(arStack.back());
        arStack.pop_back();
        if (frame.m_strPath.find('\\') != std::string::npos)
            arPaths.push_back(frame.m_strPath);
        for (qsizetype i = frame.m_pKey->SubKeyCount() - 1; i >= 0; --i) {
            const CWineRegKey* pSub = frame.m_pKey->SubKey(i);
            if (std::ranges::find(arOtherRoots, pSub) == arOtherRoots.end())
                arStack.push_back({pSub, frame.m_strPath + "\\" + pSub->Name().toStdString()});
        }
    }
    return arPaths;
}

bool CSimRegistry::SaveFolder(const std::string& strDir, std::string& strError) const {
    QStringList arErrors;
    if (m_registry.SaveFolder(Q(strDir), arErrors))
        return true;
    strError = arErrors.join(QLatin1String("; ")).toStdString();
    return false;
}

bool CSimRegistry::LoadFolder(const std::string& strDir, std::string& strError) {
    m_registry.Clear();
    QStringList arErrors;
    const bool bOk = m_registry.LoadFolder(Q(strDir), arErrors);
    if (!bOk) {
        strError = arErrors.join(QLatin1String("; ")).toStdString();
        Clear();
    }
    ++m_nChanges;
    return bOk;
}

void CSimRegistry::LoadText(std::string_view text) {
    std::string strKey;
    while (!text.empty()) {
        const size_t nEol = text.find('\n');
        std::string_view line = text.substr(0, nEol);
        text = nEol == std::string_view::npos ? std::string_view() : text.substr(nEol + 1);
        while (!line.empty() && (line.front() == ' ' || line.back() == '\r'))
            line = line.front() == ' ' ? line.substr(1) : line.substr(0, line.size() - 1);
        bool bCreated = false;
        if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
            strKey = std::string(line.substr(1, line.size() - 2));
            CreateKey(strKey, bCreated);
            continue;
        }
        const size_t nEq = line.find('=');
        const size_t nColon = line.find(':', nEq == std::string_view::npos ? 0 : nEq);
        if (strKey.empty() || nEq == std::string_view::npos || nColon == std::string_view::npos)
            continue;
        const std::string_view name = line.substr(0, nEq);
        SetValue(strKey, {std::string(name == "@" ? std::string_view() : name),
                          std::string(line.substr(nEq + 1, nColon - nEq - 1)),
                          std::string(line.substr(nColon + 1))});
    }
}
