// A copy of a Wine prefix's registry, kept current from the trace, so a changed value can
// report the data it replaced and the registry editor can show what programs wrote a moment ago.
#pragma once

#include "winereg/WineRegistry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>

struct SShadowValue {
    uint32_t m_nType = 0;
    std::string m_data;
    bool m_bTruncated = false; // the trace cut the data: the text is known only in part
};

// Paths are Wine's full paths ("\Registry\Machine\Software"), names UTF-8. Key and value names
// compare ignoring case for all of Unicode, as the registry's do, and keep their spelling; link
// keys (Wine's CurrentControlSet) lead to their targets. The tree is the shared registry tree,
// so it is saved in the registry file format as it stands.
class CWineShadowRegistry {
public:
    // The registry files one change touches, so only those are written again.
    enum EHive : unsigned { HIVE_SYSTEM = 1, HIVE_USER = 2, HIVE_USERDEF = 4, HIVE_USERS = 8 };

    void CreateKey(std::string_view keyPath);
    // Removes the key, its values and every key below it.
    void DeleteKey(std::string_view keyPath);
    std::optional<SShadowValue> FindValue(std::string_view keyPath, std::string_view name) const;
    // Adds or replaces a value (creating its key); nothing changes when it holds that already.
    void SetValue(std::string_view keyPath, std::string_view name, SShadowValue value);
    bool DeleteValue(std::string_view keyPath, std::string_view name);

    // What the key holds, as a key delete record carries it (see winereg/RegKeyContents.h),
    // at most nMaxBytes long; empty when the shadow does not know all of it: the key is
    // missing, or the shadow did not start from the prefix's files and neither the key nor
    // one above it was created in the trace.
    std::string ContentsText(std::string_view keyPath, size_t nMaxBytes) const;
    // The shadow was filled from the prefix's own files, so it holds every key.
    void SetComplete(bool bComplete) { m_bComplete = bComplete; }

    // A symbolic link key (Wine's CurrentControlSet): names below it resolve to the target.
    void AddLink(std::string_view keyPath, std::string_view targetPath);

    CWineRegistry& Registry() { return m_registry; }
    const CWineRegistry& Registry() const { return m_registry; }

    // Counts changes, and the hives they touched since TakeChangedHives() last asked.
    uint64_t ChangeCount() const { return m_nChanges; }
    unsigned TakeChangedHives() { return std::exchange(m_nChangedHives, 0u); }

private:
    CWineRegKey* Find(std::string_view keyPath) const;
    void Changed(std::string_view keyPath);
    // Where truncation marks are kept: the key's internal path and the value name, folded.
    std::string MarkOf(const CWineRegKey& key, std::string_view name) const;

    CWineRegistry m_registry;
    std::unordered_set<std::string> m_truncated;
    bool m_bComplete = false;
    // Keys created in the trace (marks as MarkOf gives them), while the shadow is not complete.
    std::unordered_set<std::string> m_created;
    uint64_t m_nChanges = 0;
    unsigned m_nChangedHives = 0;
};
