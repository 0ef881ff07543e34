// The paths of the records, each kept once and named by an id; spellings that differ only in
// case share the id, as registry names do.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Looking up a spelling met before costs one hash of its bytes and one compare; only a new
// spelling is folded to upper case (ASCII at once, other characters as the registry compares
// them) and looked up again.
class CPathTable {
public:
    // bFolded: every path given is in the form Folded gives already, so it is kept once.
    explicit CPathTable(bool bFolded = false);

    // The id of the path (the store's UTF-8); a new one the first time it is met in any
    // spelling. Ids count from 0.
    uint32_t Id(std::string_view path) { return Id(path, Hash(path)); }
    // The same with the path's Hash, computed ahead (see Prefetch).
    uint32_t Id(std::string_view path, uint64_t nHash);
    // The id of a spelling met before, or NOT_FOUND.
    static constexpr uint32_t NOT_FOUND = 0xFFFFFFFFu;
    uint32_t Find(std::string_view path) const;

    // Many lookups go faster in groups: hash each path and Prefetch its slot, then
    // PrefetchSpelling each (the slot is in the cache by then), then look each up.
    static uint64_t Hash(std::string_view path);
    void Prefetch(uint64_t nHash) const {
        __builtin_prefetch(&m_rawSlots[size_t(nHash) & (m_rawSlots.size() - 1)]);
    }
    // Returns the id the path most likely has (NOT_FOUND when it is probably new), so the
    // caller can prefetch what it keeps by id.
    uint32_t PrefetchSpelling(uint64_t nHash) const {
        const SSlot& slot = m_rawSlots[size_t(nHash) & (m_rawSlots.size() - 1)];
        if (slot.nId == EMPTY || slot.nHash != nHash)
            return NOT_FOUND;
        __builtin_prefetch(m_strRaw.data() + slot.nOffset);
        return slot.nId;
    }
    uint32_t Count() const { return uint32_t(m_spellings.size()); }
    // The first spelling met of an id.
    std::string_view Spelling(uint32_t nId) const {
        const SText& t = m_spellings[nId];
        return {m_strRaw.data() + t.nOffset, t.nLength};
    }
    // The form every spelling of an id shares (see Folded).
    std::string_view FoldedSpelling(uint32_t nId) const {
        if (m_bFolded)
            return Spelling(nId);
        const SText& t = m_folded[nId];
        return {m_strFolded.data() + t.nOffset, t.nLength};
    }

    // The path with every character as the registry compares names (upper case), and a
    // root's full name as its abbreviation ("HKEY_CURRENT_USER\x" -> "HKCU\X").
    static std::string Folded(std::string_view path);
    // Upper case only, as registry names compare.
    static std::string Upper(std::string_view path);

private:
    struct SText {
        uint64_t nOffset;
        uint32_t nLength;
    };
    struct SSlot {
        uint64_t nHash = 0;
        uint64_t nOffset = 0;
        uint32_t nLength = 0;
        uint32_t nId = EMPTY;
    };
    static constexpr uint32_t EMPTY = 0xFFFFFFFFu;

    // The slot of text in arSlots (a free one when it is not there).
    static size_t Probe(const std::vector<SSlot>& arSlots, const std::string& strPool,
                        std::string_view text, uint64_t nHash);
    static void Grow(std::vector<SSlot>& arSlots);
    uint32_t FoldedId(std::string_view path);

    std::string m_strRaw;          // every spelling met
    std::vector<SSlot> m_rawSlots; // spelling -> id
    std::string m_strFolded;
    std::vector<SSlot> m_foldedSlots; // folded path -> id
    std::vector<SText> m_spellings;   // id -> its first spelling in m_strRaw
    std::vector<SText> m_folded;      // id -> its folded form in m_strFolded
    size_t m_nRaw = 0;
    bool m_bFolded;
};
