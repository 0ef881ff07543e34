#include "driver/SimActivity.h"

#include <array>

namespace {

constexpr std::array<std::string_view, 8> MISSING_VALUE_NAMES = {"DisableUserModeCallbackFilter",
                                                                 "RaiseExceptionOnPossibleDeadlock",
                                                                 "UseFilter",
                                                                 "PreferExternalManifest",
                                                                 "EnableAutoTray",
                                                                 "DisableMetaFiles",
                                                                 "TransparentEnabled",
                                                                 "LegacyDefaultPrinterMode"};
constexpr std::array<std::string_view, 6> MISSING_SUBKEYS = {
    "Policies",       "{3F2504E0-4F89-11D3-9A0C-0305E82C3301}", "Wow6432Node", "Debug", "Overrides",
    "Compatibility32"};
constexpr std::array<std::string_view, 6> SETTING_NAMES = {
    "LastRun", "WindowPlacement", "MRU0", "Version", "Enabled", "InstallPath"};

bool IsProtected(std::string_view path) {
    return path.starts_with("HKLM\\SAM") || path.starts_with("HKLM\\SECURITY");
}

std::string AppKeyOf(const SProcessInfo& proc) {
    std::string strName = proc.m_strName;
    if (strName.ends_with(".exe"))
        strName.resize(strName.size() - 4);
    return "HKCU\\Software\\" + (strName.empty() ? std::string("App") : strName);
}

} // namespace

CSimActivity::CSimActivity(CSimRegistry& registry, uint64_t nSeed)
    : m_registry(registry), m_rng(nSeed) {}

void CSimActivity::RunSession(const SProcessInfo& proc, std::vector<SDriverEvent>& arOut) {
    m_pProcess = &proc;
    const unsigned nRoll = unsigned(m_rng() % 1000);
    if (nRoll < 900)
        ReadSession(arOut);
    else if (nRoll < 960)
        WriteSession(arOut);
    else if (nRoll < 990)
        CleanupSession(arOut);
    else
        HiveSession(arOut);
    m_pProcess = nullptr;
}

void CSimActivity::Emit(std::vector<SDriverEvent>& arOut, int nOp, std::string strPath,
                        std::string_view result, std::string strOld, std::string strNew) {
    SDriverEvent ev;
    ev.m_nPid = m_pProcess->m_nPid;
    ev.m_strProcess = m_pProcess->m_strName;
    ev.m_nOperation = nOp;
    ev.m_strPath = std::move(strPath);
    ev.m_strResult = std::string(result);
    ev.m_strOldValue = std::move(strOld);
    ev.m_strNewValue = std::move(strNew);
    arOut.push_back(std::move(ev));
}

const std::string& CSimActivity::RandomKey() {
    if (m_bKeysChanged) {
        m_arKeyPaths = m_registry.AllKeyPaths();
        m_bKeysChanged = false;
    }
    static const std::string s_strFallback = "HKLM\\SOFTWARE";
    return m_arKeyPaths.empty() ? s_strFallback : m_arKeyPaths[Pick(m_arKeyPaths.size())];
}

SSimValue CSimActivity::RandomData(std::string_view name) {
    const unsigned nKind = unsigned(m_rng() % 3);
    if (nKind == 0)
        return {std::string(name), "REG_DWORD", RegDwordText(uint32_t(m_rng() % 2000))};
    if (nKind == 1)
        return {std::string(name), "REG_SZ",
                "C:\\Users\\User\\AppData\\Local\\Data" + std::to_string(m_rng() % 100)};
    char sz[48];
    const uint64_t n = m_rng();
    std::snprintf(sz, sizeof(sz), "%02X %02X %02X %02X %02X %02X %02X %02X", unsigned(n & 255),
                  unsigned((n >> 8) & 255), unsigned((n >> 16) & 255), unsigned((n >> 24) & 255),
                  unsigned((n >> 32) & 255), unsigned((n >> 40) & 255), unsigned((n >> 48) & 255),
                  unsigned(n >> 56));
    return {std::string(name), "REG_BINARY", sz};
}

void CSimActivity::ReadSession(std::vector<SDriverEvent>& arOut) {
    std::string strKey = RandomKey();
    if (Chance(8))
        strKey += "\\" + std::string(MISSING_SUBKEYS[Pick(MISSING_SUBKEYS.size())]);
    if (!m_registry.KeyExists(strKey)) {
        Emit(arOut, OP_OPEN_KEY, strKey, RESULT_NAME_NOT_FOUND);
        return;
    }
    if (IsProtected(strKey)) {
        Emit(arOut, OP_OPEN_KEY, strKey, RESULT_ACCESS_DENIED);
        return;
    }
    Emit(arOut, OP_OPEN_KEY, strKey);
    if (Chance(40))
        Emit(arOut, OP_QUERY_KEY, strKey);
    QueryValues(strKey, arOut);
    if (Chance(15))
        EnumerateKeys(strKey, arOut);
    if (Chance(15))
        EnumerateValues(strKey, arOut);
    Emit(arOut, OP_CLOSE_KEY, strKey);
}

void CSimActivity::QueryValues(const std::string& strKey, std::vector<SDriverEvent>& arOut) {
    const size_t nQueries = 1 + Pick(4);
    const size_t nValues = m_registry.ValueCount(strKey);
    for (size_t i = 0; i < nQueries; ++i) {
        std::string strName;
        if (nValues > 0 && !Chance(25))
            strName = m_registry.EnumValue(strKey, Pick(nValues))->m_strName;
        else
            strName = MISSING_VALUE_NAMES[Pick(MISSING_VALUE_NAMES.size())];
        const std::optional<SSimValue> value = m_registry.QueryValue(strKey, strName);
        const std::string strPath =
            strKey + "\\" + (strName.empty() ? std::string(DEFAULT_VALUE_NAME) : strName);
        if (value)
            Emit(arOut, OP_QUERY_VALUE, strPath, RESULT_SUCCESS, value->Text());
        else
            Emit(arOut, OP_QUERY_VALUE, strPath, RESULT_NAME_NOT_FOUND);
    }
}

void CSimActivity::EnumerateKeys(const std::string& strKey, std::vector<SDriverEvent>& arOut) {
    for (size_t i = 0;; ++i) {
        if (!m_registry.EnumKey(strKey, i)) {
            Emit(arOut, OP_ENUM_KEY, strKey, RESULT_NO_MORE_ENTRIES);
            return;
        }
        Emit(arOut, OP_ENUM_KEY, strKey);
    }
}

void CSimActivity::EnumerateValues(const std::string& strKey, std::vector<SDriverEvent>& arOut) {
    for (size_t i = 0;; ++i) {
        const std::optional<SSimValue> value = m_registry.EnumValue(strKey, i);
        if (!value) {
            Emit(arOut, OP_ENUM_VALUE, strKey, RESULT_NO_MORE_ENTRIES);
            return;
        }
        const std::string strName =
            value->m_strName.empty() ? std::string(DEFAULT_VALUE_NAME) : value->m_strName;
        Emit(arOut, OP_ENUM_VALUE, strKey + "\\" + strName, RESULT_SUCCESS, {}, value->Text());
    }
}

void CSimActivity::WriteSession(std::vector<SDriverEvent>& arOut) {
    std::string strKey = AppKeyOf(*m_pProcess);
    if (Chance(40))
        strKey += "\\Session" + std::to_string(m_rng() % 16);
    else if (Chance(30))
        strKey = RandomKey();
    bool bCreated = false;
    if (IsProtected(strKey)) {
        Emit(arOut, OP_CREATE_OPEN, strKey, RESULT_ACCESS_DENIED);
        return;
    }
    // A key is made only below one that is there: the missing keys above it are made first,
    // one by one, each with its own record, as the system's create does.
    std::vector<std::string> arMissing;
    for (size_t n = strKey.rfind('\\'); n != std::string::npos && n > 0;
         n = strKey.rfind('\\', n - 1)) {
        const std::string strParent = strKey.substr(0, n);
        if (m_registry.KeyExists(strParent) || strParent.find('\\') == std::string::npos)
            break;
        arMissing.push_back(strParent);
    }
    for (auto it = arMissing.rbegin(); it != arMissing.rend(); ++it) {
        if (!m_registry.CreateKey(*it, bCreated))
            break;
        m_bKeysChanged = true;
        m_arCreatedKeys.push_back(*it);
        Emit(arOut, OP_CREATE_NEW, *it);
    }
    if (!m_registry.CreateKey(strKey, bCreated)) {
        Emit(arOut, OP_CREATE_OPEN, strKey, RESULT_ACCESS_DENIED);
        return;
    }
    if (bCreated) {
        m_bKeysChanged = true;
        m_arCreatedKeys.push_back(strKey);
    }
    Emit(arOut, bCreated ? OP_CREATE_NEW : OP_CREATE_OPEN, strKey);
    const size_t nSets = 1 + Pick(3);
    for (size_t i = 0; i < nSets; ++i) {
        const SSimValue value = RandomData(SETTING_NAMES[Pick(SETTING_NAMES.size())]);
        const std::optional<SSimValue> old = m_registry.SetValue(strKey, value);
        Emit(arOut, OP_SET_VALUE, strKey + "\\" + value.m_strName, RESULT_SUCCESS,
             old ? old->Text() : std::string(), value.Text());
    }
    Emit(arOut, OP_CLOSE_KEY, strKey);
}

void CSimActivity::CleanupSession(std::vector<SDriverEvent>& arOut) {
    if (m_arCreatedKeys.empty())
        return ReadSession(arOut);
    const size_t nIndex = Pick(m_arCreatedKeys.size());
    const std::string strKey = m_arCreatedKeys[nIndex];
    if (!m_registry.KeyExists(strKey)) {
        Emit(arOut, OP_OPEN_KEY, strKey, RESULT_NAME_NOT_FOUND);
        m_arCreatedKeys.erase(m_arCreatedKeys.begin() + std::ptrdiff_t(nIndex));
        return;
    }
    Emit(arOut, OP_OPEN_KEY, strKey);
    const std::string strName(SETTING_NAMES[Pick(SETTING_NAMES.size())]);
    const std::optional<SSimValue> old = m_registry.DeleteValue(strKey, strName);
    Emit(arOut, OP_DELETE_VALUE, strKey + "\\" + strName,
         old ? RESULT_SUCCESS : RESULT_NAME_NOT_FOUND, old ? old->Text() : std::string());
    if (Chance(50)) {
        // What the key held goes with the record, so a deleted key can be put back.
        const std::string strContents = m_registry.ContentsText(strKey, MAX_FIELD_TEXT);
        const bool bDeleted = m_registry.DeleteKey(strKey);
        Emit(arOut, OP_DELETE_KEY, strKey, bDeleted ? RESULT_SUCCESS : RESULT_ACCESS_DENIED,
             bDeleted ? strContents : std::string());
        if (bDeleted) {
            m_bKeysChanged = true;
            m_arCreatedKeys.erase(m_arCreatedKeys.begin() + std::ptrdiff_t(nIndex));
        }
    }
    Emit(arOut, OP_CLOSE_KEY, strKey);
}

void CSimActivity::HiveSession(std::vector<SDriverEvent>& arOut) {
    const unsigned nKind = unsigned(m_rng() % 3);
    if (nKind == 0 || (nKind == 2 && m_arLoadedHives.empty())) {
        Emit(arOut, OP_FLUSH_KEY, RandomKey());
    } else if (nKind == 1) {
        const std::string strHive = "HKU\\TempHive" + std::to_string(++m_nHiveCounter);
        bool bCreated = false;
        m_registry.CreateKey(strHive, bCreated);
        m_registry.SetValue(strHive, {"ProfileImagePath", "REG_EXPAND_SZ", "C:\\Users\\Temp"});
        m_arLoadedHives.push_back(strHive);
        m_bKeysChanged = true;
        Emit(arOut, OP_LOAD_KEY, strHive);
    } else {
        const std::string strHive = m_arLoadedHives.back();
        m_arLoadedHives.pop_back();
        const bool bUnloaded = m_registry.DeleteKey(strHive);
        m_bKeysChanged = true;
        Emit(arOut, OP_UNLOAD_KEY, strHive, bUnloaded ? RESULT_SUCCESS : RESULT_ACCESS_DENIED);
    }
}
