// The simulated registry: a tree of keys and values that simulated operations read and change.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct SSimValue {
    std::string m_strName; // empty for the unnamed value
    std::string m_strType; // "REG_SZ", "REG_DWORD", ...
    std::string m_strData; // display text of the data

    std::string Text() const { return m_strType + ": " + m_strData; }
};

// Display text of a REG_DWORD, as in "0x00000001 (1)".
std::string DwordText(uint32_t nValue);

// Paths are "ROOT\sub\key" with ROOT one of the root abbreviations; lookups ignore case.
class CSimRegistry {
public:
    CSimRegistry();
    ~CSimRegistry();

    // Loads "[key path]" lines followed by "name=TYPE:data" lines ("@" is the unnamed value).
    void LoadText(std::string_view text);

    bool KeyExists(std::string_view path) const;
    // Creates the key and any missing parents; bCreated tells whether the key is new.
    bool CreateKey(std::string_view path, bool& bCreated);
    // Deletes a key without subkeys; false when it is missing, a root or has subkeys.
    bool DeleteKey(std::string_view path);
    size_t SubKeyCount(std::string_view path) const;
    size_t ValueCount(std::string_view path) const;
    std::optional<std::string> EnumKey(std::string_view path, size_t nIndex) const;
    std::optional<SSimValue> EnumValue(std::string_view path, size_t nIndex) const;
    std::optional<SSimValue> QueryValue(std::string_view path, std::string_view name) const;
    // Returns the previous value, if there was one.
    std::optional<SSimValue> SetValue(std::string_view path, const SSimValue& value);
    std::optional<SSimValue> DeleteValue(std::string_view path, std::string_view name);

    // Full paths of every non-root key, in tree order.
    std::vector<std::string> AllKeyPaths() const;

private:
    struct SKey;
    SKey* Find(std::string_view path) const;
    std::vector<std::unique_ptr<SKey>> m_arRoots;
};
