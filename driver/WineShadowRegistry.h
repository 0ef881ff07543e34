// A copy of a Wine prefix's registry, kept current from the trace, so a changed value can
// report the data it replaced. Keys are Wine's full paths ("\Registry\Machine\Software").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

struct SShadowValue {
    uint32_t m_nType = 0;
    std::string m_data;
    bool m_bTruncated = false; // the trace cut the data: the text is known only in part
};

class CWineShadowRegistry {
public:
    // Name comparisons ignore ASCII case, as Wine's do for the names people use.
    static std::string Fold(std::string_view s);

    void CreateKey(std::string_view keyPath);
    // Removes the key, its values and every key below it.
    void DeleteKey(std::string_view keyPath);
    const SShadowValue* FindValue(std::string_view keyPath, std::string_view name) const;
    void SetValue(std::string_view keyPath, std::string_view name, SShadowValue value);
    bool DeleteValue(std::string_view keyPath, std::string_view name);

    // A symbolic link key (Wine's CurrentControlSet): names below it resolve to the target.
    void AddLink(std::string_view keyPath, std::string_view targetPath);

    size_t KeyCount() const { return m_keys.size(); }
    size_t ValueCount() const;

private:
    using CValues = std::unordered_map<std::string, SShadowValue>;
    // Folded path with every link along it replaced by its target.
    std::string Resolve(std::string_view keyPath) const;

    std::unordered_map<std::string, CValues> m_keys;
    std::unordered_map<std::string, std::string> m_links;
};
