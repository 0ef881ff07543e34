#include "store/RecordLoader.h"

#include "store/TimeText.h"
#include "store/Wtf8.h"
#include "utils/Archive.h"
#include "utils/ByteBuffer.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr uint32_t NOT_SHARED = CTextTable::NOT_SHARED;

} // namespace

CRecordLoader::CRecordLoader(CRecordList& list)
    : m_list(list), m_texts(list.m_texts), m_tuples(CACHE_SLOTS, {0, NOT_SHARED}),
      m_values(CACHE_SLOTS, {0, NOT_SHARED, NOT_SHARED}) {}

namespace {

std::string_view BytesOf(const unsigned char* pFrom, const unsigned char* pTo) {
    return {reinterpret_cast<const char*>(pFrom), size_t(pTo - pFrom)};
}

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

// The archive's wide form: FF FE FF, then the length in units as one byte below FF, or FF and
// two bytes below FFFF; the longest form goes through the archive's reader.
inline bool CRecordLoader::ParseWide(const unsigned char*& p, const unsigned char* pEnd,
                                     SWide& out) {
    const size_t nLeft = size_t(pEnd - p);
    if (nLeft < 4)
        return false;
    const uint32_t nHead = LoadLE32(p);
    if ((nHead & 0xFFFFFF) != 0xFFFEFF)
        return false;
    size_t nHeader = 4, nUnits = nHead >> 24;
    if (nUnits == 0xFF) {
        if (nLeft < 6)
            return false;
        nHeader = 6;
        nUnits = LoadLE16(p + 4);
        if (nUnits == 0xFFFF)
            return false;
    }
    const size_t nBytes = nHeader + 2 * nUnits;
    if (nLeft < nBytes)
        return false;
    out.pBytes = p;
    out.nBytes = nBytes;
    out.pUnits = p + nHeader;
    out.nUnits = nUnits;
    p += nBytes;
    return true;
}

// The order CRegInfoObj::Serialize writes: sequence, time, process name, process ID, request,
// path, result, old value, new value.
bool CRecordLoader::Parse(const unsigned char*& p, const unsigned char* pEnd,
                          SArchived& out) const {
    const unsigned char* q = p;
    if (size_t(pEnd - q) >= MAX_SHORT_RECORD) {
        // Each field's place depends on the one before: the bytes a few records on are asked
        // for now, so that the chain finds them at hand.
        for (size_t i = 0; i < 256; i += 64)
            __builtin_prefetch(q + PREFETCH_AHEAD + i);
        // Room for any record of short strings: one check for the whole record, the fields
        // found one from the other.
        uint32_t nBad = 0;
        const auto shortWide = [&](SWide& w) {
            const uint32_t nHead = LoadLE32(q);
            const size_t nUnits = nHead >> 24;
            nBad |= ((nHead & 0xFFFFFF) ^ 0xFFFEFF) | uint32_t(nUnits == 0xFF);
            w = {q, 4 + 2 * nUnits, q + 4, nUnits};
            q += 4 + 2 * nUnits;
        };
        out.nSeq = int32_t(LoadLE32(q));
        q += 4;
        shortWide(out.time);
        shortWide(out.process);
        out.nPid = int32_t(LoadLE32(q));
        q += 4;
        shortWide(out.request);
        shortWide(out.path);
        shortWide(out.result);
        shortWide(out.oldValue);
        shortWide(out.newValue);
        if (nBad != 0)
            q = p; // a string in another form: parsed again with every check
    }
    if (q == p) {
        if (pEnd - q < 4)
            return false;
        out.nSeq = int32_t(LoadLE32(q));
        q += 4;
        if (!ParseWide(q, pEnd, out.time) || !ParseWide(q, pEnd, out.process) || pEnd - q < 4)
            return false;
        out.nPid = int32_t(LoadLE32(q));
        q += 4;
        if (!ParseWide(q, pEnd, out.request) || !ParseWide(q, pEnd, out.path) ||
            !ParseWide(q, pEnd, out.result) || !ParseWide(q, pEnd, out.oldValue) ||
            !ParseWide(q, pEnd, out.newValue))
            return false;
    }
    p = q;
    // The process ID lies between process name and request; the old and new value lie side
    // by side.
    uint64_t h =
        HashAppend(0, reinterpret_cast<const char*>(out.process.pBytes), out.process.nBytes);
    h = HashAppend(h, reinterpret_cast<const char*>(out.request.pBytes), out.request.nBytes);
    out.nTupleHash = HashFinish(
        HashAppend(h, reinterpret_cast<const char*>(out.result.pBytes), out.result.nBytes));
    const std::string_view values =
        BytesOf(out.oldValue.pBytes, out.newValue.pBytes + out.newValue.nBytes);
    out.nValueHash = HashBytes(values);
    __builtin_prefetch(&m_tuples[out.nTupleHash & (CACHE_SLOTS - 1)]);
    __builtin_prefetch(&m_values[out.nValueHash & (CACHE_SLOTS - 1)]);
    return true;
}

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
uint32_t CRecordLoader::TupleOf(const SArchived& r) {
    STupleSlot& slot = m_tuples[r.nTupleHash & (CACHE_SLOTS - 1)];
    if (slot.nHash == r.nTupleHash && slot.nTuple != NOT_SHARED) {
        const STextTuple& t = m_texts.Tuple(slot.nTuple);
        if (SameText(t.nProcess, r.process) && SameText(t.nRequest, r.request) &&
            SameText(t.nResult, r.result))
            return slot.nTuple;
    }
    const uint32_t nTuple =
        m_list.SharedTuple(Narrow(r.process, m_scratch[0]), Narrow(r.request, m_scratch[1]),
                           Narrow(r.result, m_scratch[3]));
    if (nTuple != NOT_SHARED)
        slot = {r.nTupleHash, nTuple};
    return nTuple;
}

// Values that are not shared are not kept: a slot's ids can always be checked.
std::array<uint32_t, 2> CRecordLoader::ValuesOf(const SArchived& r) {
    SValueSlot& slot = m_values[r.nValueHash & (CACHE_SLOTS - 1)];
    if (slot.nHash == r.nValueHash && slot.nOld != NOT_SHARED && SameText(slot.nOld, r.oldValue) &&
        SameText(slot.nNew, r.newValue))
        return {slot.nOld, slot.nNew};
    const std::array<uint32_t, 2> ids = {ValueId(r.oldValue, m_scratch[4]),
                                         ValueId(r.newValue, m_scratch[5])};
    if (ids[0] != NOT_SHARED && ids[1] != NOT_SHARED)
        slot = {r.nValueHash, ids[0], ids[1]};
    return ids;
}

void CRecordLoader::Append(const SArchived& r) {
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

    uint64_t nTime = CRecordList::TIME_IN_SEGMENT;
    char szTime[TIME_TEXT_LENGTH];
    if (r.time.nUnits == TIME_TEXT_LENGTH &&
        NarrowAsciiUtf16LE(r.time.pUnits, r.time.nUnits, szTime))
        nTime = CRecordList::TimeFromText({szTime, TIME_TEXT_LENGTH});
    if (nTime == CRecordList::TIME_IN_SEGMENT)
        inl.time = Narrow(r.time, m_scratch[6]);

    m_list.Write(r.nSeq, r.nPid, nTime, nTuple, values[0], values[1], Narrow(r.path, m_scratch[2]),
                 inl);
}

// Whole records are taken from the buffer as long as they are there; one that is not (it is
// cut by the buffer's end, or not in the usual form) is read by the archive's reader. Each
// record is parsed one step ahead of its append, so the cache slots it needs are on their way
// while the record before it is appended.
void CRecordLoader::Load(CArchive& ar, long long nCount) {
    long long nDone = 0;
    SArchived records[2];
    while (nDone < nCount) {
        size_t nHave = 0;
        const unsigned char* const pStart = ar.ReadAvailable(WINDOW_BYTES, nHave);
        const unsigned char* const pEnd = pStart + nHave;
        const unsigned char* p = pStart; // past the records appended
        const unsigned char* pParsed = pStart;
        size_t nCur = 0;
        bool bHave = Parse(pParsed, pEnd, records[0]);
        while (bHave && nDone < nCount) {
            const unsigned char* const pNext = pParsed;
            bHave = nDone + 1 < nCount && Parse(pParsed, pEnd, records[nCur ^ 1]);
            Append(records[nCur]);
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
