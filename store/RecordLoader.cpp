#include "store/RecordLoader.h"

#include "store/RecordReadAhead.h"
#include "store/TimeText.h"
#include "store/Wtf8.h"
#include "utils/Archive.h"
#include "utils/ByteBuffer.h"

#include <algorithm>
#include <system_error>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr uint32_t NOT_SHARED = CTextTable::NOT_SHARED;
// The cache slots keep the lengths of shared texts in a byte.
static_assert(CTextTable::MAX_SHARED_BYTES <= 0xFF);

} // namespace

CRecordLoader::CRecordLoader(CRecordList& list, long long nReadAheadFrom)
    : m_list(list), m_texts(list.m_texts), m_nReadAheadFrom(nReadAheadFrom),
      m_tuples(CACHE_SLOTS, {0, NOT_SHARED, {}, {}, false}),
      m_values(CACHE_SLOTS, {0, NOT_SHARED, NOT_SHARED, {}, {}, false}) {}

namespace {

// Whether the ASCII bytes s are the UTF-16LE units at p (as many units as s has bytes): eight
// at a time, widened and compared, the last eight overlapping.
inline bool SameAsciiAsUnits(std::string_view s, const unsigned char* p) {
    const size_t n = s.size();
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const auto same8 = [&](size_t k) {
        const __m128i narrow = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s.data() + k));
        const __m128i wide = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * k));
        return _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_unpacklo_epi8(narrow, zero), wide)) == 0xFFFF;
    };
    if (n >= 8) {
        for (; i + 8 < n; i += 8)
            if (!same8(i))
                return false;
        return same8(n - 8);
    }
#endif
    for (; i < n; ++i)
        if (p[2 * i] != uint8_t(s[i]) || p[2 * i + 1] != 0)
            return false;
    return true;
}

} // namespace

std::string_view CRecordLoader::Narrow(const SWide& w, std::string& buf) {
    if (buf.size() < w.nUnits)
        buf.resize(std::max<size_t>(w.nUnits, 64));
    if (NarrowAsciiUtf16LE(w.pUnits, w.nUnits, buf.data()))
        return {buf.data(), w.nUnits};
    buf.clear();
    AppendUtf16LEAsWtf8(buf, w.pUnits, w.nUnits);
    return buf;
}

// More units than a shared text has bytes cannot be shared.
uint32_t CRecordLoader::ValueId(const SWide& w, std::string& buf) {
    if (w.nUnits == 0)
        return 0;
    if (w.nUnits > CTextTable::MAX_SHARED_BYTES)
        return NOT_SHARED;
    return m_list.m_texts.Intern(Narrow(w, buf));
}

inline bool CRecordLoader::SameText(uint32_t nId, const SWide& w) {
    const std::string_view text = m_texts.Text(nId);
    if (m_texts.IsAscii(nId)) [[likely]]
        return text.size() == w.nUnits && SameAsciiAsUnits(text, w.pUnits);
    return SameWideText(text, w);
}

bool CRecordLoader::SameWideText(std::string_view text, const SWide& w) {
    std::string& buf = m_scratch[7];
    buf.clear();
    AppendUtf16LEAsWtf8(buf, w.pUnits, w.nUnits);
    return buf == text;
}

// The slot's tuple when its texts are this record's, else the table's.
inline bool CRecordLoader::SameAt(const char* pPool, uint32_t nOffset, uint8_t nLength,
                                  const SWide& w) const {
    return nLength == w.nUnits && SameAsciiAsUnits({pPool + nOffset, nLength}, w.pUnits);
}

uint32_t CRecordLoader::TupleOf(const SArchived& r) {
    STupleSlot& slot = m_tuples[r.nTupleHash & (CACHE_SLOTS - 1)];
    if (slot.nHash == r.nTupleHash && slot.nTuple != NOT_SHARED) {
        if (slot.bAscii) [[likely]] {
            const char* const pPool = m_texts.PoolData();
            if (SameAt(pPool, slot.nOffsets[0], slot.nLengths[0], r.process) &&
                SameAt(pPool, slot.nOffsets[1], slot.nLengths[1], r.request) &&
                SameAt(pPool, slot.nOffsets[2], slot.nLengths[2], r.result))
                return slot.nTuple;
        } else {
            const STextTuple& t = m_texts.Tuple(slot.nTuple);
            if (SameText(t.nProcess, r.process) && SameText(t.nRequest, r.request) &&
                SameText(t.nResult, r.result))
                return slot.nTuple;
        }
    }
    const uint32_t nTuple =
        m_list.SharedTuple(Narrow(r.process, m_scratch[0]), Narrow(r.request, m_scratch[1]),
                           Narrow(r.result, m_scratch[3]));
    if (nTuple != NOT_SHARED)
        FillSlot(slot, r.nTupleHash, nTuple);
    return nTuple;
}

void CRecordLoader::FillSlot(STupleSlot& slot, uint64_t nHash, uint32_t nTuple) const {
    const STextTuple& t = m_texts.Tuple(nTuple);
    const uint32_t ids[3] = {t.nProcess, t.nRequest, t.nResult};
    slot.nHash = nHash;
    slot.nTuple = nTuple;
    slot.bAscii = PlacesOf(ids, 3, slot.nOffsets, slot.nLengths);
}

bool CRecordLoader::PlacesOf(const uint32_t* pIds, size_t n, uint32_t* pOffsets,
                             uint8_t* pLengths) const {
    bool bAscii = true;
    for (size_t k = 0; k < n; ++k) {
        const CTextTable::SPlace place = m_texts.PlaceOf(pIds[k]);
        pOffsets[k] = place.nOffset;
        pLengths[k] = uint8_t(place.nLength); // shared texts are short
        bAscii = bAscii && place.bAscii;
    }
    return bAscii;
}

// Values that are not shared are not kept: a slot's ids can always be checked.
std::array<uint32_t, 2> CRecordLoader::ValuesOf(const SArchived& r) {
    SValueSlot& slot = m_values[r.nValueHash & (CACHE_SLOTS - 1)];
    if (slot.nHash == r.nValueHash && slot.nOld != NOT_SHARED) {
        if (slot.bAscii) [[likely]] {
            const char* const pPool = m_texts.PoolData();
            if (SameAt(pPool, slot.nOffsets[0], slot.nLengths[0], r.oldValue) &&
                SameAt(pPool, slot.nOffsets[1], slot.nLengths[1], r.newValue))
                return {slot.nOld, slot.nNew};
        } else if (SameText(slot.nOld, r.oldValue) && SameText(slot.nNew, r.newValue)) {
            return {slot.nOld, slot.nNew};
        }
    }
    const std::array<uint32_t, 2> ids = {ValueId(r.oldValue, m_scratch[4]),
                                         ValueId(r.newValue, m_scratch[5])};
    if (ids[0] != NOT_SHARED && ids[1] != NOT_SHARED)
        FillSlot(slot, r.nValueHash, ids);
    return ids;
}

void CRecordLoader::FillSlot(SValueSlot& slot, uint64_t nHash, std::array<uint32_t, 2> ids) const {
    slot.nHash = nHash;
    slot.nOld = ids[0];
    slot.nNew = ids[1];
    slot.bAscii = PlacesOf(ids.data(), 2, slot.nOffsets, slot.nLengths);
}

void CRecordLoader::Append(const SArchived& r, uint64_t nTime) {
    CRecordList::SInline inl{};
    uint32_t nTuple = TupleOf(r);
    if (nTuple == NOT_SHARED) {
        inl.process = Narrow(r.process, m_scratch[0]);
        inl.request = Narrow(r.request, m_scratch[1]);
        inl.result = Narrow(r.result, m_scratch[3]);
        nTuple = CRecordList::TupleInSegment(inl.request, inl.result);
    }
    const std::array<uint32_t, 2> values = ValuesOf(r);
    if (values[0] == NOT_SHARED)
        inl.oldValue = Narrow(r.oldValue, m_scratch[4]);
    if (values[1] == NOT_SHARED)
        inl.newValue = Narrow(r.newValue, m_scratch[5]);

    if (nTime == CRecordList::TIME_IN_SEGMENT)
        inl.time = Narrow(r.time, m_scratch[6]);
    if (!m_list.WriteAsciiPath(r.nSeq, r.nPid, nTime, nTuple, values[0], values[1], r.path.pUnits,
                               r.path.nUnits, inl))
        m_list.Write(r.nSeq, r.nPid, nTime, nTuple, values[0], values[1],
                     Narrow(r.path, m_scratch[2]), inl);
}

CRecordLoader::~CRecordLoader() = default;

void CRecordLoader::Load(CArchive& ar, long long nCount) {
    long long nDone = 0;
    while (nDone < nCount) {
        if (!m_pAhead) {
            const long long nAhead = std::max(nCount, m_nExpected) - nDone;
            if (nAhead >= m_nReadAheadFrom)
                StartReadAhead(ar, nAhead);
            if (!m_pAhead) {
                LoadHere(ar, nCount - nDone);
                break;
            }
        }
        nDone += FromReadAhead(ar, nCount - nDone);
    }
    m_nExpected = std::max(0LL, m_nExpected - nCount);
}

inline void CRecordLoader::PrefetchSlots(const SArchived& r) const {
    __builtin_prefetch(&m_tuples[r.nTupleHash & (CACHE_SLOTS - 1)]);
    __builtin_prefetch(&m_values[r.nValueHash & (CACHE_SLOTS - 1)]);
}

// Whole records are taken from the buffer as long as they are there; one that is not (it is
// cut by the buffer's end, or not in the usual form) is read by the archive's reader. Each
// record is parsed one step ahead of its append, so the cache slots it needs are on their way
// while the record before it is appended.
void CRecordLoader::LoadHere(CArchive& ar, long long nCount) {
    long long nDone = 0;
    SArchived records[2];
    while (nDone < nCount) {
        size_t nHave = 0;
        const unsigned char* const pStart = ar.ReadAvailable(WINDOW_BYTES, nHave);
        const unsigned char* const pEnd = pStart + nHave;
        const unsigned char* p = pStart; // past the records appended
        const unsigned char* pParsed = pStart;
        size_t nCur = 0;
        bool bHave = ParseArchivedRecord(pParsed, pEnd, records[0]);
        if (bHave)
            PrefetchSlots(records[0]);
        while (bHave && nDone < nCount) {
            const unsigned char* const pNext = pParsed;
            bHave = nDone + 1 < nCount && ParseArchivedRecord(pParsed, pEnd, records[nCur ^ 1]);
            if (bHave)
                PrefetchSlots(records[nCur ^ 1]);
            Append(records[nCur], ArchivedTime(records[nCur].time));
            p = pNext;
            ++nDone;
            nCur ^= 1;
        }
        ar.CommitRead(size_t(p - pStart));
        if (p == pStart && nDone < nCount) {
            m_list.LoadOne(ar);
            ++nDone;
        }
    }
}

void CRecordLoader::StartReadAhead(CArchive& ar, long long nCount) {
    try {
        m_pAhead = std::make_unique<CRecordReadAhead>(ar, nCount);
        m_nAheadLeft = nCount;
        m_pBatch = nullptr;
        m_nInBatch = 0;
    } catch (const std::system_error&) {
        // No second thread: this one reads.
    }
}

// A read-ahead that has given all its records goes, so that the bytes it read past them are
// back in the archive. One that stops before (at a record in another form, or at the end of
// the file) goes too, and the archive's reader reads the record, or raises the error.
long long CRecordLoader::FromReadAhead(CArchive& ar, long long nMax) {
    if (!m_pBatch || m_nInBatch == m_pBatch->nCount) {
        m_pBatch = m_pAhead->Next();
        m_nInBatch = 0;
        if (!m_pBatch) {
            m_pAhead.reset();
            m_list.LoadOne(ar);
            return 1;
        }
    }
    const SArchived* const pRecords = m_pBatch->records;
    const size_t nEnd =
        m_nInBatch + size_t(std::min<long long>(nMax, (long long)(m_pBatch->nCount - m_nInBatch)));
    for (size_t i = m_nInBatch; i < nEnd; ++i) {
        if (i + 1 < m_pBatch->nCount)
            PrefetchSlots(pRecords[i + 1]);
        Append(pRecords[i], m_pBatch->times[i]);
    }
    const long long nFiled = (long long)(nEnd - m_nInBatch);
    m_nInBatch = nEnd;
    m_nAheadLeft -= nFiled;
    if (m_nAheadLeft == 0) {
        m_pAhead.reset();
        m_pBatch = nullptr;
    }
    return nFiled;
}
