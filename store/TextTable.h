// The texts that repeat across records, each kept once and named by an id.
#pragma once

#include <QString>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

// A word of a byte string in the machine's order, read from any alignment.
inline uint64_t LoadWord64(const char* p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}
inline uint32_t LoadWord32(const char* p) {
    uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
}

// Fast 64-bit hashing of short byte strings: HashAppend takes in one string (its length
// included, so strings hashed one after another stay apart), HashFinish mixes the result.
// Sixteen bytes a step in two lanes, each word multiplied on its own, and the last sixteen
// (or the last eight, four) read overlapping what came before, so a short string takes one
// step whatever its length.
inline uint64_t HashAppend(uint64_t h, const char* p, size_t n) {
    constexpr uint64_t K1 = 0x9E3779B97F4A7C15ull;
    constexpr uint64_t K2 = 0xC2B2AE3D27D4EB4Full;
    const auto load32 = [](const char* q) { return uint64_t(LoadWord32(q)); };
    uint64_t a = h ^ n, b = std::rotl(h, 32);
    if (n > 16) {
        for (size_t i = 0; i + 16 < n; i += 16) {
            a = (a ^ LoadWord64(p + i)) * K1;
            b = (b ^ LoadWord64(p + i + 8)) * K2;
        }
        a ^= LoadWord64(p + n - 16);
        b ^= LoadWord64(p + n - 8);
    } else if (n >= 8) {
        a ^= LoadWord64(p);
        b ^= LoadWord64(p + n - 8);
    } else if (n >= 4) {
        a ^= load32(p) << 32 | load32(p + n - 4);
    } else if (n > 0) {
        a ^= uint8_t(p[0]) | uint64_t(uint8_t(p[n / 2])) << 8 | uint64_t(uint8_t(p[n - 1])) << 16;
    }
    return std::rotl(a * K1, 29) ^ (b * K2 + (b >> 31));
}
inline uint64_t HashFinish(uint64_t h) {
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ull;
    return h ^ (h >> 32);
}
inline uint64_t HashBytes(std::string_view s, uint64_t nSeed = 0) {
    return HashFinish(HashAppend(nSeed, s.data(), s.size()));
}

// Equality of two short byte strings without a library call. Like the hash, short strings
// are read in two words that overlap, so that a string of up to sixteen bytes takes one
// compare whatever its length.
inline bool SameBytes(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    const size_t n = a.size();
    const char* p = a.data();
    const char* q = b.data();
    if (n >= 8) {
        for (size_t i = 0; i + 16 < n; i += 8) {
            if (LoadWord64(p + i) != LoadWord64(q + i))
                return false;
        }
        const size_t nLast = n > 16 ? n - 16 : 0; // the last sixteen bytes, or all of them
        return ((LoadWord64(p + nLast) ^ LoadWord64(q + nLast)) |
                (LoadWord64(p + n - 8) ^ LoadWord64(q + n - 8))) == 0;
    }
    if (n >= 4)
        return ((LoadWord32(p) ^ LoadWord32(q)) |
                (LoadWord32(p + n - 4) ^ LoadWord32(q + n - 4))) == 0;
    return n == 0 || (p[0] == q[0] && p[n / 2] == q[n / 2] && p[n - 1] == q[n - 1]);
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
    // Where a text lies in the pool: the offset holds while the pool grows, a pointer not.
    struct SPlace {
        uint32_t nOffset;
        uint32_t nLength;
        bool bAscii;
    };
    SPlace PlaceOf(uint32_t nId) const {
        const SText& t = m_texts[nId];
        return {t.nOffset, t.nLength, t.bAscii};
    }
    const char* PoolData() const { return m_strPool.data(); }
    uint32_t TextCount() const { return uint32_t(m_texts.size()); }
    // The UTF-16 form, made once per text and shared by every copy.
    QString Wide(uint32_t nId) const;
    // The text as an archive stores it (wide-string header and UTF-16LE), made once. Valid
    // until the next call. At least ARCHIVED_SLACK readable bytes follow it, so that a writer
    // may copy it in whole steps of that many.
    static constexpr size_t ARCHIVED_SLACK = 16;
    std::string_view Archived(uint32_t nId) const {
        if (nId < m_archivedAt.size() && m_archivedAt[nId].nLength != 0) [[likely]]
            return {m_archivedPool.data() + m_archivedAt[nId].nOffset, m_archivedAt[nId].nLength};
        return MakeArchived(nId);
    }

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
    // Archived forms one after the other in one pool (each followed by ARCHIVED_SLACK bytes
    // more in the pool); a length of 0 for a text whose form is not made yet.
    struct SArchivedAt {
        uint32_t nOffset;
        uint32_t nLength;
    };
    std::string_view MakeArchived(uint32_t nId) const;
    mutable std::vector<char> m_archivedPool;
    mutable std::vector<SArchivedAt> m_archivedAt;
};

// How an archive writes a wide string of nUnits code units: the header bytes into pOut
// (at most 10), returning their number.
size_t ArchiveWideHeader(uint32_t nUnits, unsigned char* pOut);
