#include "driver/WineShadowRegistry.h"

#include "driver/AsciiText.h"

namespace {

constexpr int MAX_LINK_HOPS = 8;

} // namespace

std::string CWineShadowRegistry::Fold(std::string_view s) {
    std::string str(s);
    for (char& c : str)
        c = LowerAscii(c);
    return str;
}

std::string CWineShadowRegistry::Resolve(std::string_view keyPath) const {
    std::string str = Fold(keyPath);
    while (!str.empty() && str.back() == '\\')
        str.pop_back();
    if (m_links.empty())
        return str;
    // Walk the path's prefixes; a link prefix is replaced and the walk starts again.
    for (int nHops = 0; nHops < MAX_LINK_HOPS; ++nHops) {
        bool bReplaced = false;
        for (size_t n = str.find('\\', 1); !bReplaced; n = str.find('\\', n + 1)) {
            const std::string_view prefix = std::string_view(str).substr(0, n);
            if (auto it = m_links.find(std::string(prefix)); it != m_links.end()) {
                str = it->second + str.substr(prefix.size());
                bReplaced = true;
            }
            if (n == std::string::npos)
                break;
        }
        if (!bReplaced)
            break;
    }
    return str;
}

void CWineShadowRegistry::CreateKey(std::string_view keyPath) {
    m_keys.try_emplace(Resolve(keyPath));
}

void CWineShadowRegistry::DeleteKey(std::string_view keyPath) {
    const std::string strKey = Resolve(keyPath);
    const std::string strBelow = strKey + "\\";
    std::erase_if(m_keys, [&](const auto& kv) {
        return kv.first == strKey || kv.first.starts_with(strBelow);
    });
}

const SShadowValue* CWineShadowRegistry::FindValue(std::string_view keyPath,
                                                   std::string_view name) const {
    const auto itKey = m_keys.find(Resolve(keyPath));
    if (itKey == m_keys.end())
        return nullptr;
    const auto it = itKey->second.find(Fold(name));
    return it == itKey->second.end() ? nullptr : &it->second;
}

void CWineShadowRegistry::SetValue(std::string_view keyPath, std::string_view name,
                                   SShadowValue value) {
    m_keys[Resolve(keyPath)][Fold(name)] = std::move(value);
}

bool CWineShadowRegistry::DeleteValue(std::string_view keyPath, std::string_view name) {
    const auto itKey = m_keys.find(Resolve(keyPath));
    return itKey != m_keys.end() && itKey->second.erase(Fold(name)) > 0;
}

void CWineShadowRegistry::AddLink(std::string_view keyPath, std::string_view targetPath) {
    std::string strTarget = Fold(targetPath);
    while (!strTarget.empty() && strTarget.back() == '\\')
        strTarget.pop_back();
    m_links[Resolve(keyPath)] = std::move(strTarget);
}

size_t CWineShadowRegistry::ValueCount() const {
    size_t n = 0;
    for (const auto& kv : m_keys)
        n += kv.second.size();
    return n;
}
