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
    CPathTable();

    // The id of the path (the store's UTF-8); a new one the first time it is met in any
    // spelling. Ids count from 0.
    uint32_t Id(std::string_view path);
    uint32_t Count() const { return uint32_t(m_spellings.size()); }
    // The first spelling met of an id.
    std::string_view Spelling(uint32_t nId) const {
        const SText& t = m_spellings[nId];
        return {m_strRaw.data() + t.nOffset, t.nLength};
    }

    // The path with every character as the registry compares names (upper case).
    static std::string Folded(std::string_view path);

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
    size_t m_nRaw = 0;
};
