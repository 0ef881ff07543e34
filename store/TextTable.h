// The texts that repeat across records, each kept once and named by an id.
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Fast 64-bit hash of a short byte string.
uint64_t HashBytes(const char* p, size_t n, uint64_t nSeed = 0);
inline uint64_t HashBytes(std::string_view s, uint64_t nSeed = 0) {
    return HashBytes(s.data(), s.size(), nSeed);
}

// The request, process name and result of a record are kept together as one tuple, with the
// operation code and the success the record's colour, export and details depend on.
struct STextTuple {
    uint32_t nProcess = 0;
    uint32_t nRequest = 0;
    uint32_t nResult = 0;
    uint8_t nFunType = 0;
    bool bSuccess = false;
};

// Ids of texts (UTF-8 as the store keeps them; id 0 is the empty text) and of tuples. Only
// short texts are shared, and the table stops growing at a bound, so that a source that never
// repeats itself cannot make it grow without end; such texts stay with their record instead
// (NOT_SHARED). Everything is forgotten at Clear(), when no record refers to it any more.
class CTextTable {
public:
    static constexpr uint32_t NOT_SHARED = 0xFFFFFFFFu;
    static constexpr size_t MAX_SHARED_BYTES = 64;
    static constexpr uint32_t MAX_TEXTS = uint32_t(1) << 20;
    static constexpr uint32_t MAX_TUPLES = uint32_t(1) << 20;

    CTextTable();
    void Clear();

    uint32_t Intern(std::string_view s) { return Intern(s, HashBytes(s)); }
    uint32_t Intern(std::string_view s, uint64_t nHash); // nHash: HashBytes(s)
    std::string_view Text(uint32_t nId) const {
        const SText& t = m_texts[nId];
        return {m_strPool.data() + t.nOffset, t.nLength};
    }
    bool IsAscii(uint32_t nId) const { return m_texts[nId].bAscii; }
    uint32_t TextCount() const { return uint32_t(m_texts.size()); }
    // The UTF-16 form, made once per text and shared by every copy.
    QString Wide(uint32_t nId) const;
    // The text as an archive stores it (wide-string header and UTF-16LE), made once. Valid
    // until the next call.
    std::string_view Archived(uint32_t nId) const;

    // The tuple of three text ids, NOT_SHARED when the table is full. nFunType and bSuccess
    // are worked out once per tuple.
    uint32_t InternTuple(uint32_t nProcess, uint32_t nRequest, uint32_t nResult);
    const STextTuple& Tuple(uint32_t nId) const { return m_tuples[nId]; }
    uint32_t TupleCount() const { return uint32_t(m_tuples.size()); }

    size_t GetBytesHeld() const;

private:
    struct SText {
        uint32_t nOffset;
        uint32_t nLength;
        uint64_t nHash;
        bool bAscii;
    };
    void GrowTextSlots();
    void GrowTupleSlots();
    static uint64_t TupleHash(uint32_t a, uint32_t b, uint32_t c);

    std::string m_strPool;
    std::vector<SText> m_texts;
    std::vector<uint32_t> m_textSlots; // open addressing: text id, 0 for a free slot
    std::vector<STextTuple> m_tuples;
    std::vector<uint32_t> m_tupleSlots; // tuple id + 1, 0 for a free slot
    mutable std::vector<QString> m_wide;
    mutable std::vector<std::string> m_archived;
};

// How an archive writes a wide string of nUnits code units: the header bytes into pOut
// (at most 10), returning their number.
size_t ArchiveWideHeader(uint32_t nUnits, unsigned char* pOut);
