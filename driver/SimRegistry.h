// The simulated registry: a tree of keys and values that simulated operations read and change.
#pragma once

#include "winereg/WineRegistry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A value as the records show it; the registry itself keeps type numbers and raw bytes.
struct SSimValue {
    std::string m_strName; // empty for the unnamed value
    std::string m_strType; // "REG_SZ", "REG_DWORD", ...
    std::string m_strData; // display text of the data

    std::string Text() const { return m_strType + ": " + m_strData; }
};

// Paths are "ROOT\sub\key" with ROOT one of the root abbreviations; lookups ignore case.
// The keys live in one Wine-style tree, so HKCR is HKLM\SOFTWARE\Classes, HKCU is the user's key
// under HKU and HKCC is the current hardware profile under HKLM, as on the real system; that
// tree is what is saved to and loaded from registry files.
class CSimRegistry {
public:
    CSimRegistry();

    // Loads "[key path]" lines followed by "name=TYPE:data" lines ("@" is the unnamed value).
    void LoadText(std::string_view text);

    bool KeyExists(std::string_view path) const;
    // Creates the key and any missing parents; bCreated tells whether the key is new.
    bool CreateKey(std::string_view path, bool& bCreated);
    // Deletes a key without subkeys; false when it is missing, a root or has subkeys.
    bool DeleteKey(std::string_view path);
    // What the key holds, as a key delete record carries it (winereg/RegKeyContents.h), at
    // most nMaxBytes long; empty when the key is missing.
    std::string ContentsText(std::string_view path, size_t nMaxBytes) const;
    size_t SubKeyCount(std::string_view path) const;
    size_t ValueCount(std::string_view path) const;
    std::optional<std::string> EnumKey(std::string_view path, size_t nIndex) const;
    std::optional<SSimValue> EnumValue(std::string_view path, size_t nIndex) const;
    std::optional<SSimValue> QueryValue(std::string_view path, std::string_view name) const;
    // Returns the previous value, if there was one. The data text is read as the records
    // write it (numbers also plain, binary data as hex pairs).
    std::optional<SSimValue> SetValue(std::string_view path, const SSimValue& value);
    std::optional<SSimValue> DeleteValue(std::string_view path, std::string_view name);

    // Full paths of every non-root key, in tree order; a key reachable through two roots is
    // listed once, under HKCR, HKCU or HKCC rather than HKLM or HKU.
    std::vector<std::string> AllKeyPaths() const;

    // Counts every change, so a saver can tell whether there is something new to write.
    uint64_t ChangeCount() const { return m_nChanges; }
    // Writes the registry as Wine registry files (system.reg, user.reg, userdef.reg, users.reg)
    // into strDir, each atomically.
    bool SaveFolder(const std::string& strDir, std::string& strError) const;
    // Replaces the registry with the files SaveFolder wrote; on failure the registry is left
    // empty (roots only) and strError says which file is missing or damaged, and where.
    bool LoadFolder(const std::string& strDir, std::string& strError);
    // Back to the roots only.
    void Clear();

    const CWineRegistry& Registry() const { return m_registry; }

private:
    CWineRegKey* Find(std::string_view path) const;
    void Touch(CWineRegKey* pKey);

    CWineRegistry m_registry;
    uint64_t m_nChanges = 0;
};
