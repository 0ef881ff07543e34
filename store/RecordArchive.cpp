// Saving and loading the compact records in the record class's own serialised form.
#include "store/RecordList.h"

#include "store/Wtf8.h"
#include "utils/Archive.h"
#include "utils/ByteBuffer.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr uint32_t NOT_SHARED = CTextTable::NOT_SHARED;
constexpr size_t MAX_HEADER = 10;

// ASCII bytes as UTF-16LE code units.
void WidenAscii(const char* p, size_t n, unsigned char* pOut) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pOut + 2 * i), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pOut + 2 * i + 16), _mm_unpackhi_epi8(v, zero));
    }
#endif
    for (; i < n; ++i) {
        pOut[2 * i] = uint8_t(p[i]);
        pOut[2 * i + 1] = 0;
    }
}

// A text as an archive writes a wide string, at p; returns the end. The caller has made room
// for MAX_HEADER + 2 * s.size() bytes (a UTF-8 byte gives at most one UTF-16 unit).
unsigned char* PutWide(unsigned char* p, std::string_view s) {
    if (IsAsciiText(s)) {
        p += ArchiveWideHeader(uint32_t(s.size()), p);
        WidenAscii(s.data(), s.size(), p);
        return p + 2 * s.size();
    }
    const size_t nUnits = Wtf8Utf16Length(s);
    p += ArchiveWideHeader(uint32_t(nUnits), p);
    Wtf8ToUtf16LE(s, p);
    return p + 2 * nUnits;
}

unsigned char* PutInt32(unsigned char* p, int32_t n) {
    StoreLE32(p, uint32_t(n));
    return p + 4;
}

int32_t GetInt32(CArchive& ar) {
    if (const unsigned char* p = ar.ReadSpace(4)) {
        const int32_t n = int32_t(LoadLE32(p));
        ar.CommitRead(4);
        return n;
    }
    return ar.ReadInt32();
}

// The next string of the archive in the store's UTF-8, in buf (whose size only grows, so it
// is not cleared each time). The usual wide form is converted from the buffer; any other form,
// and every error, goes through the archive's own reader.
std::string_view GetText(CArchive& ar, std::string& buf) {
    if (const unsigned char* p = ar.ReadSpace(4);
        p && p[0] == 0xFF && p[1] == 0xFE && p[2] == 0xFF) {
        size_t nHeader = 4, nUnits = p[3];
        if (nUnits == 0xFF) {
            p = ar.ReadSpace(6);
            nHeader = 6;
            nUnits = p ? LoadLE16(p + 4) : 0xFFFF;
        }
        if (nUnits < 0xFFFF) {
            if (const unsigned char* q = ar.ReadSpace(nHeader + 2 * nUnits)) {
                if (buf.size() < nUnits)
                    buf.resize(std::max<size_t>(nUnits, 64));
                size_t nBytes = nUnits;
                if (!NarrowAsciiUtf16LE(q + nHeader, nUnits, buf.data())) {
                    buf.clear();
                    AppendUtf16LEAsWtf8(buf, q + nHeader, nUnits);
                    nBytes = buf.size();
                }
                ar.CommitRead(nHeader + 2 * nUnits);
                return {buf.data(), nBytes};
            }
        }
    }
    buf.clear();
    AppendUtf16AsWtf8(buf, ar.ReadString());
    return buf;
}

} // namespace

void CRecordList::StoreRange(CArchive& ar, long long nFirst, long long nEnd) const {
    CTimeTextFormatter formatter;
    nEnd = std::min(nEnd, GetCount());
    for (long long i = std::max(nFirst, 0LL); i < nEnd; ++i)
        StoreRecordIn(ar, i, formatter, false);
}

long long CRecordList::StoreInRoom(CArchive& ar, long long nFirst, long long nEnd) const {
    CTimeTextFormatter formatter;
    nEnd = std::min(nEnd, GetCount());
    long long i = std::max(nFirst, 0LL);
    for (; i < nEnd; ++i)
        if (!StoreRecordIn(ar, i, formatter, i > nFirst))
            break;
    return i;
}

bool CRecordList::StoreRecordIn(CArchive& ar, long long nIndex, CTimeTextFormatter& formatter,
                                bool bOnlyInRoom) const {
    char szTime[TIME_TEXT_LENGTH];
    const SRecordView v = View(nIndex);
    const std::string_view time = TimeText(v, formatter, szTime);
    const std::string_view texts[7] = {time,     v.process,  v.request, v.path,
                                       v.result, v.oldValue, v.newValue};
    size_t nBound = 8 + 9 * MAX_HEADER + CTextTable::ARCHIVED_SLACK;
    for (std::string_view s : texts)
        nBound += 2 * s.size();
    if (bOnlyInRoom && nBound > ar.WriteRoom())
        return false;
    unsigned char* p = ar.WriteSpace(nBound);
    if (!p) {
        // A record larger than the buffer: field by field.
        ar.WriteInt32(v.nSeq);
        ar.WriteString(Wtf8ToQString(time));
        ar.WriteString(Wtf8ToQString(v.process));
        ar.WriteInt32(v.nPid);
        for (std::string_view s : {v.request, v.path, v.result, v.oldValue, v.newValue})
            ar.WriteString(Wtf8ToQString(s));
        return true;
    }
    unsigned char* const pStart = p;
    const auto shared = [&](uint32_t nId, std::string_view s) {
        if (nId == NOT_SHARED)
            return PutWide(p, s);
        // In whole steps: the table's slack after the form, and the room asked for past the
        // bound, take what a step copies beyond it (the next field writes over it).
        const std::string_view archived = m_texts.Archived(nId);
        for (size_t i = 0; i < archived.size(); i += CTextTable::ARCHIVED_SLACK)
            std::memcpy(p + i, archived.data() + i, CTextTable::ARCHIVED_SLACK);
        return p + archived.size();
    };
    const STextTuple* pTuple = v.nTuple != NOT_SHARED ? &m_texts.Tuple(v.nTuple) : nullptr;
    p = PutInt32(p, v.nSeq);
    p = PutWide(p, time);
    p = shared(pTuple ? pTuple->nProcess : NOT_SHARED, v.process);
    p = PutInt32(p, v.nPid);
    p = shared(pTuple ? pTuple->nRequest : NOT_SHARED, v.request);
    p = PutWide(p, v.path);
    p = shared(pTuple ? pTuple->nResult : NOT_SHARED, v.result);
    p = shared(v.nOld, v.oldValue);
    p = shared(v.nNew, v.newValue);
    ar.CommitWrite(size_t(p - pStart));
    return true;
}

void CRecordList::LoadOne(CArchive& ar) {
    const int32_t nSeq = GetInt32(ar);
    const std::string_view time = GetText(ar, m_scratch[6]);
    const std::string_view process = GetText(ar, m_scratch[0]);
    const int32_t nPid = GetInt32(ar);
    const std::string_view request = GetText(ar, m_scratch[1]);
    const std::string_view path = GetText(ar, m_scratch[2]);
    const std::string_view result = GetText(ar, m_scratch[3]);
    const std::string_view oldValue = GetText(ar, m_scratch[4]);
    const std::string_view newValue = GetText(ar, m_scratch[5]);
    AppendTexts(nSeq, nPid, time, {process, request, path, result, oldValue, newValue});
}
