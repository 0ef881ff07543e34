#include "driver/SimRegistry.h"

#include "driver/AsciiText.h"

#include "store/RegOperations.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

struct CSimRegistry::SKey {
    std::string m_strName;
    std::vector<SSimValue> m_arValues;
    std::vector<std::unique_ptr<SKey>> m_arSubKeys;
};

namespace {

// Splits a path into its components; empty components are dropped.
std::vector<std::string_view> Components(std::string_view path) {
    std::vector<std::string_view> ar;
    while (!path.empty()) {
        const size_t n = path.find('\\');
        if (n != 0)
            ar.push_back(path.substr(0, n));
        if (n == std::string_view::npos)
            break;
        path.remove_prefix(n + 1);
    }
    return ar;
}

template <class T> auto FindNamed(T& ar, std::string_view name) {
    return std::ranges::find_if(ar, [&](const auto& x) {
        if constexpr (requires { x->m_strName; })
            return EqualNoCase(x->m_strName, name);
        else
            return EqualNoCase(x.m_strName, name);
    });
}

std::string_view ValueNameOf(std::string_view name) {
    return name == DEFAULT_VALUE_NAME ? std::string_view() : name;
}

} // namespace

std::string DwordText(uint32_t nValue) {
    char sz[32];
    std::snprintf(sz, sizeof(sz), "0x%08x (%u)", nValue, nValue);
    return sz;
}

CSimRegistry::CSimRegistry() {
    for (const SRootKeyName& root : g_RootKeyNames) {
        m_arRoots.push_back(std::make_unique<SKey>());
        m_arRoots.back()->m_strName = std::string(root.abbrev);
    }
}

CSimRegistry::~CSimRegistry() = default;

CSimRegistry::SKey* CSimRegistry::Find(std::string_view path) const {
    const std::vector<std::string_view> arParts = Components(path);
    if (arParts.empty())
        return nullptr;
    auto it = FindNamed(m_arRoots, arParts[0]);
    if (it == m_arRoots.end())
        return nullptr;
    SKey* pKey = it->get();
    for (size_t i = 1; i < arParts.size() && pKey; ++i) {
        auto itSub = FindNamed(pKey->m_arSubKeys, arParts[i]);
        pKey = itSub == pKey->m_arSubKeys.end() ? nullptr : itSub->get();
    }
    return pKey;
}

bool CSimRegistry::KeyExists(std::string_view path) const {
    return Find(path) != nullptr;
}

bool CSimRegistry::CreateKey(std::string_view path, bool& bCreated) {
    bCreated = false;
    const std::vector<std::string_view> arParts = Components(path);
    if (arParts.empty())
        return false;
    auto it = FindNamed(m_arRoots, arParts[0]);
    if (it == m_arRoots.end())
        return false;
    SKey* pKey = it->get();
    for (size_t i = 1; i < arParts.size(); ++i) {
        auto itSub = FindNamed(pKey->m_arSubKeys, arParts[i]);
        if (itSub == pKey->m_arSubKeys.end()) {
            pKey->m_arSubKeys.push_back(std::make_unique<SKey>());
            pKey->m_arSubKeys.back()->m_strName = std::string(arParts[i]);
            itSub = pKey->m_arSubKeys.end() - 1;
            bCreated = true;
        }
        pKey = itSub->get();
    }
    return true;
}

bool CSimRegistry::DeleteKey(std::string_view path) {
    const size_t nSlash = path.rfind('\\');
    if (nSlash == std::string_view::npos)
        return false;
    SKey* pParent = Find(path.substr(0, nSlash));
    if (!pParent)
        return false;
    auto it = FindNamed(pParent->m_arSubKeys, path.substr(nSlash + 1));
    if (it == pParent->m_arSubKeys.end() || !(*it)->m_arSubKeys.empty())
        return false;
    pParent->m_arSubKeys.erase(it);
    return true;
}

size_t CSimRegistry::SubKeyCount(std::string_view path) const {
    const SKey* pKey = Find(path);
    return pKey ? pKey->m_arSubKeys.size() : 0;
}

size_t CSimRegistry::ValueCount(std::string_view path) const {
    const SKey* pKey = Find(path);
    return pKey ? pKey->m_arValues.size() : 0;
}

std::optional<std::string> CSimRegistry::EnumKey(std::string_view path, size_t nIndex) const {
    const SKey* pKey = Find(path);
    if (!pKey || nIndex >= pKey->m_arSubKeys.size())
        return std::nullopt;
    return pKey->m_arSubKeys[nIndex]->m_strName;
}

std::optional<SSimValue> CSimRegistry::EnumValue(std::string_view path, size_t nIndex) const {
    const SKey* pKey = Find(path);
    if (!pKey || nIndex >= pKey->m_arValues.size())
        return std::nullopt;
    return pKey->m_arValues[nIndex];
}

std::optional<SSimValue> CSimRegistry::QueryValue(std::string_view path,
                                                  std::string_view name) const {
    const SKey* pKey = Find(path);
    if (!pKey)
        return std::nullopt;
    auto it = FindNamed(pKey->m_arValues, ValueNameOf(name));
    if (it == pKey->m_arValues.end())
        return std::nullopt;
    return *it;
}

std::optional<SSimValue> CSimRegistry::SetValue(std::string_view path, const SSimValue& value) {
    SKey* pKey = Find(path);
    if (!pKey)
        return std::nullopt;
    SSimValue newValue = value;
    newValue.m_strName = std::string(ValueNameOf(value.m_strName));
    auto it = FindNamed(pKey->m_arValues, newValue.m_strName);
    if (it == pKey->m_arValues.end()) {
        pKey->m_arValues.push_back(std::move(newValue));
        return std::nullopt;
    }
    std::optional<SSimValue> old = *it;
    *it = std::move(newValue);
    return old;
}

std::optional<SSimValue> CSimRegistry::DeleteValue(std::string_view path, std::string_view name) {
    SKey* pKey = Find(path);
    if (!pKey)
        return std::nullopt;
    auto it = FindNamed(pKey->m_arValues, ValueNameOf(name));
    if (it == pKey->m_arValues.end())
        return std::nullopt;
    std::optional<SSimValue> old = *it;
    pKey->m_arValues.erase(it);
    return old;
}

std::vector<std::string> CSimRegistry::AllKeyPaths() const {
    std::vector<std::string> arPaths;
    struct SFrame {
        const SKey* m_pKey;
        std::string m_strPath;
    };
    std::vector<SFrame> arStack;
    for (auto it = m_arRoots.rbegin(); it != m_arRoots.rend(); ++it)
        arStack.push_back({it->get(), (*it)->m_strName});
    while (!arStack.empty()) {
        SFrame frame = std::move(arStack.back());
        arStack.pop_back();
        if (frame.m_strPath.find('\\') != std::string::npos)
            arPaths.push_back(frame.m_strPath);
        const auto& arSub = frame.m_pKey->m_arSubKeys;
        for (auto it = arSub.rbegin(); it != arSub.rend(); ++it)
            arStack.push_back({it->get(), frame.m_strPath + "\\" + (*it)->m_strName});
    }
    return arPaths;
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
        SSimValue value{std::string(name == "@" ? std::string_view() : name),
                        std::string(line.substr(nEq + 1, nColon - nEq - 1)),
                        std::string(line.substr(nColon + 1))};
        if (value.m_strType == "REG_DWORD")
            value.m_strData =
                DwordText(uint32_t(std::strtoul(value.m_strData.c_str(), nullptr, 0)));
        SetValue(strKey, value);
    }
}
