// Reading a capture document's records into the compact store at close to the speed of the disk.
#pragma once

#include "store/ArchivedRecord.h"
#include "store/RecordList.h"
#include "store/RecordReadAhead.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CArchive;

// Records as CRegInfoObj::Serialize writes them are read straight from the archive's buffer:
// the texts a record shares with earlier ones (process name, request and result; old and new
// value) are found by a hash of their archived bytes and checked against the text table's own
// texts, without narrowing them first; the time is read from its UTF-16 digits, and only the
// path is narrowed. A record in any other form (narrow strings, a text too long for the
// buffer, a file that ends early) goes through the archive's own reader, which raises the same
// errors as ever. One loader serves one load.
class CRecordLoader {
public:
    // Loads of at least nReadAheadFrom records are read and parsed by a second thread.
    static constexpr long long READ_AHEAD_FROM = 4096;
    explicit CRecordLoader(CRecordList& list, long long nReadAheadFrom = READ_AHEAD_FROM);
    ~CRecordLoader();
    CRecordLoader(const CRecordLoader&) = delete;
    CRecordLoader& operator=(const CRecordLoader&) = delete;

    // The records all calls of Load ask for together: the second thread then reads on from
    // one call to the next. Between the calls, until they have asked for all of them, nothing
    // else may read the archive.
    void ExpectRecords(long long nTotal) { m_nExpected = nTotal; }
    // Reads nCount records and appends them; throws the archive's errors (and std::bad_alloc),
    // the records read before the error appended, the one that failed not.
    void Load(CArchive& ar, long long nCount);

private:
    using SWide = SArchivedWide;
    using SArchived = SArchivedRecord;
    // A direct-mapped slot: the hash of the archived bytes, and the ids found for them.
    // A tuple's slot also keeps where its three texts lie in the pool, when all three are
    // ASCII, so that a hit compares them without looking up the tuple and its texts.
    struct STupleSlot {
        uint64_t nHash;
        uint32_t nTuple;
        uint32_t nOffsets[3];
        uint8_t nLengths[3];
        bool bAscii;
    };
    struct SValueSlot {
        uint64_t nHash;
        uint32_t nOld, nNew;
        uint32_t nOffsets[2];
        uint8_t nLengths[2];
        bool bAscii;
    };
    static constexpr size_t CACHE_SLOTS = 16384;
    // Records are read from windows of the buffer this large (a record that does not fit one
    // goes through the archive's reader).
    static constexpr size_t WINDOW_BYTES = size_t(64) << 10;

    // On this thread, from the archive's buffer.
    void LoadHere(CArchive& ar, long long nCount);
    // A second thread to read and parse the next nCount records; none when it cannot start.
    void StartReadAhead(CArchive& ar, long long nCount);
    // Files up to nMax records the second thread parsed, or the one record it left to the
    // archive's reader; returns how many.
    long long FromReadAhead(CArchive& ar, long long nMax);
    // Asks for the cache slots the record's keys need, before its turn comes.
    void PrefetchSlots(const SArchived& r) const;
    // With its time as the store keeps it.
    void Append(const SArchived& r, uint64_t nTime);
    uint32_t TupleOf(const SArchived& r);
    void FillSlot(STupleSlot& slot, uint64_t nHash, uint32_t nTuple) const;
    void FillSlot(SValueSlot& slot, uint64_t nHash, std::array<uint32_t, 2> ids) const;
    // Where the n texts lie in the pool, and whether all of them are ASCII.
    bool PlacesOf(const uint32_t* pIds, size_t n, uint32_t* pOffsets, uint8_t* pLengths) const;
    // Whether the ASCII text at nOffset in the pool, nLength bytes, is the archived text w.
    bool SameAt(const char* pPool, uint32_t nOffset, uint8_t nLength, const SWide& w) const;
    std::array<uint32_t, 2> ValuesOf(const SArchived& r);
    // Whether the table's text nId is the archived text w.
    bool SameText(uint32_t nId, const SWide& w);
    bool SameWideText(std::string_view text, const SWide& w);
    // The text in the store's UTF-8, in buf (which only grows).
    static std::string_view Narrow(const SWide& w, std::string& buf);
    uint32_t ValueId(const SWide& w, std::string& buf);

    CRecordList& m_list;
    const CTextTable& m_texts;
    const long long m_nReadAheadFrom;
    long long m_nExpected = 0; // records the calls of Load will still ask for
    std::unique_ptr<CRecordReadAhead> m_pAhead;
    long long m_nAheadLeft = 0; // records m_pAhead will still give
    const CRecordReadAhead::SBatch* m_pBatch = nullptr;
    size_t m_nInBatch = 0; // records of m_pBatch filed
    std::vector<STupleSlot> m_tuples;
    std::vector<SValueSlot> m_values;
    std::string m_scratch[8];
};
