// The document's records in compact form: plain entries, shared texts, paths as UTF-8.
#pragma once

#include "store/RegOperations.h"
#include "store/RunCache.h"
#include "store/TextTable.h"
#include "store/TimeText.h"
#include "utils/MyList.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct SDescriptionRecipe;

class CArchive;
class CRegInfoObj;

// One record: 32 bytes. Texts are ids in the text table, or NOT_SHARED when the record keeps
// them in its segment, which always holds the path (UTF-8) first.
struct SRecordEntry {
    int32_t nSeq;
    int32_t nPid;
    uint64_t nTime;    // a driver file time, a clock text's digits, or its text in the segment
    uint32_t nSegment; // set by CMyList
    uint32_t nTuple;   // process, request and result: a tuple id, or TUPLE_IN_SEGMENT | code
    uint32_t nOld;     // old value: text id, 0 when empty, or NOT_SHARED
    uint32_t nNew;     // new value, the same
};
static_assert(sizeof(SRecordEntry) == 32);

// A stored record read back without copying its texts; valid while the record lock is held
// and the record stays.
struct SRecordView {
    int32_t nSeq;
    int32_t nPid;
    uint64_t nTime;
    std::string_view time; // the time text, for a time kept as text
    std::string_view process, request, path, result, oldValue, newValue;
    uint32_t nTuple; // tuple id, or CTextTable::NOT_SHARED
    uint32_t nOld, nNew;
    int nFunType;
    bool bSuccess;
};

class CRecordList {
public:
    // The time field: a driver file time below 2^62, or one of these forms.
    static constexpr uint64_t TIME_KIND_MASK = uint64_t(3) << 62;
    static constexpr uint64_t TIME_CLOCK = uint64_t(2) << 62; // "hh:mm:ss.mmm" as digits
    static constexpr uint64_t TIME_IN_SEGMENT = uint64_t(3) << 62;
    static constexpr uint32_t TUPLE_IN_SEGMENT = 0x80000000u; // | success << 4 | code

    CRecordList();
    CRecordList(const CRecordList&) = delete;
    CRecordList& operator=(const CRecordList&) = delete;

    long long GetCount() const { return m_list.GetCount(); }

    // What appending a driver record needs to know first: whether it is the usual kind
    // (ASCII, its fields in one text) and the hashes of its runs of texts. Preparing asks for
    // the cache lines the append will read, so a caller that prepares the next record before
    // it appends this one has the memory work meanwhile.
    struct SCapturedKeys {
        uint64_t nTupleHash = 0, nValueHash = 0;
        uint16_t nTupleParts = 0, nValueParts = 0;
        bool bAscii = false;
        bool bRuns = false;
    };
    // bAscii: every byte of the fields is ASCII, so that they are the store's bytes as they are.
    // The keys are written in place: a copy of them read back at once would stall.
    void PrepareCaptured(const SRecordFields& fields, bool bAscii, SCapturedKeys& keys) const;
    // Appends a driver record: the time as the driver gave it, the fields in the narrow code
    // page (field 1, the process ID, is nPid already). Throws std::bad_alloc when memory runs
    // out, with nothing appended.
    void AppendCaptured(uint32_t nSeq, uint64_t nFileTime, int32_t nPid,
                        const SRecordFields& fields, const SCapturedKeys& keys) {
        if (keys.bRuns && (nFileTime & TIME_KIND_MASK) == 0)
            AppendCapturedRuns(nSeq, nFileTime, nPid, fields, keys);
        else
            AppendCapturedTexts(nSeq, nFileTime, nPid, fields, keys);
    }
    void AppendCaptured(uint32_t nSeq, uint64_t nFileTime, int32_t nPid,
                        const SRecordFields& fields);
    // Appends a copy of the record, its time text kept as it is.
    void Append(const CRegInfoObj& record);
    // Appends a record from its texts in the store's UTF-8: process, request, path, result,
    // old value, new value.
    using STexts = std::array<std::string_view, 6>;
    void AppendTexts(int32_t nSeq, int32_t nPid, std::string_view time, const STexts& texts);

    bool RemoveHead() {
        if (!m_list.RemoveHead())
            return false;
        ++m_nHeadPosition;
        return true;
    }
    // Removes head records until at most nCount are left.
    void TrimTo(long long nCount) {
        while (m_list.GetCount() > nCount)
            RemoveHead();
    }
    // The head record's place among every record appended since the list was last emptied:
    // the number of records removed from the head since. Index i is position head + i, which
    // stays the record's own while records come and go.
    long long GetHeadPosition() const { return m_nHeadPosition; }
    // Every record, and the shared texts with them. With bKeepMemory the record memory stays
    // for the records appended next, until ReleaseSpare() (CMyList::RemoveAll).
    void RemoveAll(bool bKeepMemory = false);
    void ReleaseSpare() { m_list.ReleaseSpare(); }

    // nIndex must be within 0 .. count - 1.
    SRecordView View(long long nIndex) const {
        const CMyList<SRecordEntry>::SRef ref = m_list.FindIndex(nIndex);
        return ViewOf(*ref.pEntry, ref.pSegment);
    }
    // The same from a record's entry and segment (a walk has them at hand).
    SRecordView ViewOf(const SRecordEntry& entry, const unsigned char* pSegment) const;
    const SRecordEntry& Entry(long long nIndex) const { return *m_list.FindIndex(nIndex).pEntry; }
    const unsigned char* Segment(long long nIndex) const {
        return m_list.FindIndex(nIndex).pSegment;
    }
    // The path alone, which a segment always holds first, its length before it.
    static std::string_view PathOf(const unsigned char* pSegment) {
        size_t n = 0;
        for (int nShift = 0;; nShift += 7) {
            const unsigned char b = *pSegment++;
            n |= size_t(b & 0x7F) << nShift;
            if (b < 0x80)
                return {reinterpret_cast<const char*>(pSegment), n};
        }
    }
    // Calls fn(nIndex, entry, pSegment) for the records at nFirst .. nEnd - 1 (within 0 ..
    // count), in order: the fast way through many records.
    template <class F> void ForEachRecord(long long nFirst, long long nEnd, F&& fn) const {
        m_list.ForEachEntryAndSegment(nFirst, nEnd, fn);
    }
    // The same without the segments: fn(nIndex, entry).
    template <class F> void ForEachEntry(long long nFirst, long long nEnd, F&& fn) const {
        m_list.ForEachEntry(nFirst, nEnd, fn);
    }
    // The record as the program's record class; false outside 0 .. count - 1.
    bool GetRecord(long long nIndex, CRegInfoObj& out) const;
    // The time text of a record (TIME_TEXT_LENGTH characters unless a loaded record brought
    // another text); pBuffer holds at least TIME_TEXT_LENGTH characters.
    static std::string_view TimeText(const SRecordView& view, CTimeTextFormatter& formatter,
                                     char* pBuffer);
    // Whether the record's process name, request and result are all ASCII.
    bool IsTupleAscii(const SRecordView& view) const;
    // The rule of CRegInfoObj::Modified and IsWriteOpt.
    static bool ValuesDiffer(const SRecordView& view);
    static int Modified(const SRecordView& view);
    // The Description column's text of the record, made by the recipe as the record class
    // makes it, into out.
    static void DescriptionText(const SRecordView& view, const SDescriptionRecipe& recipe,
                                std::string& out);

    // Writes every record as CRegInfoObj::Serialize would.
    void Store(CArchive& ar) const { StoreRange(ar, 0, GetCount()); }
    // The same for the records at indexes nFirst .. nEnd - 1, and for the one at nIndex.
    void StoreRange(CArchive& ar, long long nFirst, long long nEnd) const;
    void StoreRecord(CArchive& ar, long long nIndex, CTimeTextFormatter& formatter) const {
        StoreRecordIn(ar, nIndex, formatter, false);
    }
    // The same, stopping before the first record that does not fit in the room left in the
    // archive's buffer (so nothing is written to its device), though always storing at least
    // one; returns the index after the last record stored.
    long long StoreInRoom(CArchive& ar, long long nFirst, long long nEnd) const;
    // Reads one record as CRegInfoObj::Serialize would and appends it; throws the archive's
    // errors, with nothing appended.
    void LoadOne(CArchive& ar);

    const CTextTable& Texts() const { return m_texts; }
    size_t GetBytesHeld() const { return m_list.GetBytesHeld() + m_texts.GetBytesHeld(); }

    // The time as records keep it, from its text; TIME_IN_SEGMENT when the text has another
    // form (kept as it stands).
    static uint64_t TimeFromText(std::string_view time);
    // The time as records keep it, from the digits' values (two, two, two and three digits).
    static constexpr uint64_t ClockTime(uint64_t nHour, uint64_t nMinute, uint64_t nSecond,
                                        uint64_t nMs) {
        return TIME_CLOCK | nHour << 24 | nMinute << 17 | nSecond << 10 | nMs;
    }

private:
    friend class CRecordLoader;

    struct SInline {
        std::string_view process, request, result, time, oldValue, newValue;
    };
    // Small caches in front of the text table for the texts most records repeat: the tuple
    // of process name, request and result, and the values. A slot is found by the hash of the
    // store's bytes and checked against the table's own text, so a slot that was overwritten
    // or a hash that collides only costs a lookup in the table.
    struct STupleSlot {
        uint64_t nHash = 0;
        uint32_t nTuple = CTextTable::NOT_SHARED;
        uint32_t nProcess = 0, nRequest = 0, nResult = 0;
    };
    struct SValueSlot {
        uint64_t nHash = 0;
        uint32_t nId = 0; // 0, the empty text, never matches: empty values skip the cache
    };
    static constexpr size_t TUPLE_CACHE_SLOTS = 4096;
    static constexpr size_t VALUE_CACHE_SLOTS = 4096;
    // For driver records, found by the bytes as they lie in the record's text: process name,
    // request and result (the id of their tuple), and old and new value. A short key lies in
    // its slot's first cache line, so twice the tuple slots cost no more lines in use.
    using STupleRuns = CRunCache<1, 128>;
    using SValueRuns = CRunCache<2, 128>;
    static constexpr size_t TUPLE_RUN_SLOTS = 16384;
    static constexpr size_t VALUE_RUN_SLOTS = 4096;
    void AppendCapturedRuns(uint32_t nSeq, uint64_t nTime, int32_t nPid, const SRecordFields& f,
                            const SCapturedKeys& keys);
    // Any other driver record: each text converted and looked up on its own.
    void AppendCapturedTexts(uint32_t nSeq, uint64_t nFileTime, int32_t nPid,
                             const SRecordFields& f, const SCapturedKeys& keys);

    // Stores the record at nIndex; with bOnlyInRoom, only if it fits in the room left in the
    // archive's buffer (false when it did not).
    bool StoreRecordIn(CArchive& ar, long long nIndex, CTimeTextFormatter& formatter,
                       bool bOnlyInRoom) const;
    void Write(int32_t nSeq, int32_t nPid, uint64_t nTime, uint32_t nTuple, uint32_t nOld,
               uint32_t nNew, std::string_view path, const SInline& inl);
    // The same with the path as nPathUnits UTF-16LE units, narrowed straight into the record;
    // false, with nothing written, when a unit is not ASCII.
    bool WriteAsciiPath(int32_t nSeq, int32_t nPid, uint64_t nTime, uint32_t nTuple, uint32_t nOld,
                        uint32_t nNew, const unsigned char* pPathUnits, size_t nPathUnits,
                        const SInline& inl);
    // The usual record, every text shared and its time in the entry: its segment is the path
    // alone after its length in one byte, added inline in the current page. The caller fills
    // the entry (nSegment is set) and the nPathBytes at pPath; nullptr, with nothing added,
    // when the record needs the general write.
    SRecordEntry* AddPathOnly(size_t nPathBytes, unsigned char*& pPath);
    // fnPutPath(p) writes the path's nPathBytes bytes at p; returns the bytes the record took.
    template <class FPutPath>
    size_t WriteWith(int32_t nSeq, int32_t nPid, uint64_t nTime, uint32_t nTuple, uint32_t nOld,
                     uint32_t nNew, size_t nPathBytes, FPutPath&& fnPutPath, const SInline& inl);
    uint32_t SharedTuple(std::string_view process, std::string_view request,
                         std::string_view result);
    // The ids of texts in the store's bytes through the caches; NOT_SHARED when the table
    // does not share them.
    uint32_t TupleId(std::string_view process, std::string_view request, std::string_view result);
    uint32_t ValueId(std::string_view value);
    static uint32_t TupleInSegment(std::string_view request, std::string_view result);

    CMyList<SRecordEntry> m_list;
    long long m_nHeadPosition = 0;
    CTextTable m_texts;
    std::vector<STupleSlot> m_tupleCache;
    std::vector<SValueSlot> m_valueCache;
    STupleRuns m_tupleRuns{TUPLE_RUN_SLOTS};
    SValueRuns m_valueRuns{VALUE_RUN_SLOTS};
    CTimeTextFormatter m_formatter;       // for driver times too large to keep as they are
    std::array<std::string, 7> m_scratch; // converted texts of the record being appended
};
