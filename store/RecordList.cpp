#include "store/RecordList.h"

#include "platform/AnsiCodePage.h"
#include "store/RegInfoObj.h"
#include "store/Wtf8.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t NOT_SHARED = CTextTable::NOT_SHARED;

size_t VarintSize(size_t n) {
    size_t nBytes = 1;
    while (n >= 0x80) {
        n >>= 7;
        ++nBytes;
    }
    return nBytes;
}

unsigned char* PutVarint(unsigned char* p, size_t n) {
    while (n >= 0x80) {
        *p++ = uint8_t(n | 0x80);
        n >>= 7;
    }
    *p++ = uint8_t(n);
    return p;
}

// Segments are written by this class only, so they are well formed.
size_t GetVarint(const unsigned char*& p) {
    size_t n = 0;
    for (int nShift = 0;; nShift += 7) {
        const unsigned char b = *p++;
        n |= size_t(b & 0x7F) << nShift;
        if (b < 0x80)
            return n;
    }
}

std::string_view GetText(const unsigned char*& p) {
    const size_t n = GetVarint(p);
    const std::string_view s(reinterpret_cast<const char*>(p), n);
    p += n;
    return s;
}

unsigned char* PutText(unsigned char* p, std::string_view s) {
    p = PutVarint(p, s.size());
    if (!s.empty())
        std::memcpy(p, s.data(), s.size());
    return p + s.size();
}

size_t TextSize(std::string_view s) {
    return VarintSize(s.size()) + s.size();
}

// A narrow driver text as the store keeps it: ASCII as it is, anything else converted the way
// the record class converts it.
std::string_view StoreText(std::string_view narrow, std::string& strScratch) {
    if (IsAsciiText(narrow))
        return narrow;
    strScratch.clear();
    AppendUtf16AsWtf8(strScratch, AnsiToUtf16(narrow.data(), qsizetype(narrow.size())));
    return strScratch;
}

std::string Wtf8(const QString& str) {
    std::string s;
    AppendUtf16AsWtf8(s, str);
    return s;
}

} // namespace

// ---- appending ----

template <class FPutPath>
size_t CRecordList::WriteWith(int32_t nSeq, int32_t nPid, uint64_t nTime, uint32_t nTuple,
                              uint32_t nOld, uint32_t nNew, size_t nPathBytes, FPutPath&& fnPutPath,
                              const SInline& inl) {
    const bool bTupleInline = (nTuple & TUPLE_IN_SEGMENT) != 0;
    const bool bTimeInline = (nTime & TIME_KIND_MASK) == TIME_IN_SEGMENT;
    size_t nBytes = VarintSize(nPathBytes) + nPathBytes;
    if (bTupleInline)
        nBytes += TextSize(inl.process) + TextSize(inl.request) + TextSize(inl.result);
    if (bTimeInline)
        nBytes += TextSize(inl.time);
    if (nOld == NOT_SHARED)
        nBytes += TextSize(inl.oldValue);
    if (nNew == NOT_SHARED)
        nBytes += TextSize(inl.newValue);
    unsigned char* p = nullptr;
    SRecordEntry& entry = m_list.AddTail(nBytes, p);
    entry.nSeq = nSeq;
    entry.nPid = nPid;
    entry.nTime = nTime;
    entry.nTuple = nTuple;
    entry.nOld = nOld;
    entry.nNew = nNew;
    p = PutVarint(p, nPathBytes);
    fnPutPath(p);
    p += nPathBytes;
    if (bTupleInline) {
        p = PutText(p, inl.process);
        p = PutText(p, inl.request);
        p = PutText(p, inl.result);
    }
    if (bTimeInline)
        p = PutText(p, inl.time);
    if (nOld == NOT_SHARED)
        p = PutText(p, inl.oldValue);
    if (nNew == NOT_SHARED)
        PutText(p, inl.newValue);
    return nBytes;
}

void CRecordList::Write(int32_t nSeq, int32_t nPid, uint64_t nTime, uint32_t nTuple, uint32_t nOld,
                        uint32_t nNew, std::string_view path, const SInline& inl) {
    WriteWith(
        nSeq, nPid, nTime, nTuple, nOld, nNew, path.size(),
        [&](unsigned char* p) {
            if (!path.empty())
                std::memcpy(p, path.data(), path.size());
        },
        inl);
}

// Nearly every path is ASCII, so the record is written as if it were, and taken back in the
// rare case it is not: the path is read once, not narrowed elsewhere first and then copied.
bool CRecordList::WriteAsciiPath(int32_t nSeq, int32_t nPid, uint64_t nTime, uint32_t nTuple,
                                 uint32_t nOld, uint32_t nNew, const unsigned char* pPathUnits,
                                 size_t nPathUnits, const SInline& inl) {
    if ((nTuple & TUPLE_IN_SEGMENT) == 0 && nOld != NOT_SHARED && nNew != NOT_SHARED &&
        (nTime & TIME_KIND_MASK) != TIME_IN_SEGMENT) {
        unsigned char* pPath = nullptr;
        if (SRecordEntry* pEntry = AddPathOnly(nPathUnits, pPath)) {
            if (!NarrowAsciiUtf16LE(pPathUnits, nPathUnits, reinterpret_cast<char*>(pPath))) {
                m_list.DropTail(1 + nPathUnits);
                return false;
            }
            *pEntry = {nSeq, nPid, nTime, pEntry->nSegment, nTuple, nOld, nNew};
            return true;
        }
    }
    bool bAscii = false;
    const size_t nBytes = WriteWith(
        nSeq, nPid, nTime, nTuple, nOld, nNew, nPathUnits,
        [&](unsigned char* p) {
            bAscii = NarrowAsciiUtf16LE(pPathUnits, nPathUnits, reinterpret_cast<char*>(p));
        },
        inl);
    if (!bAscii)
        m_list.DropTail(nBytes);
    return bAscii;
}

SRecordEntry* CRecordList::AddPathOnly(size_t nPathBytes, unsigned char*& pPath) {
    if (nPathBytes >= 0x80)
        return nullptr;
    unsigned char* p = nullptr;
    SRecordEntry* pEntry = m_list.TryAddTailInPage(1 + nPathBytes, p);
    if (pEntry) {
        p[0] = uint8_t(nPathBytes);
        pPath = p + 1;
    }
    return pEntry;
}

uint32_t CRecordList::TupleInSegment(std::string_view request, std::string_view result) {
    const int nFunType = RequestToFunType(Wtf8ToQString(request));
    const bool bSuccess = result == RESULT_SUCCESS;
    return TUPLE_IN_SEGMENT | (bSuccess ? 0x10u : 0u) | uint32_t(nFunType);
}

uint32_t CRecordList::SharedTuple(std::string_view process, std::string_view request,
                                  std::string_view result) {
    const uint32_t a = m_texts.Intern(process);
    const uint32_t b = m_texts.Intern(request);
    const uint32_t c = m_texts.Intern(result);
    if (a == NOT_SHARED || b == NOT_SHARED || c == NOT_SHARED)
        return NOT_SHARED;
    return m_texts.InternTuple(a, b, c);
}

CRecordList::CRecordList() : m_tupleCache(TUPLE_CACHE_SLOTS), m_valueCache(VALUE_CACHE_SLOTS) {}

uint32_t CRecordList::TupleId(std::string_view process, std::string_view request,
                              std::string_view result) {
    uint64_t nHash = HashAppend(0, process.data(), process.size());
    nHash = HashAppend(nHash, request.data(), request.size());
    nHash = HashFinish(HashAppend(nHash, result.data(), result.size()));
    STupleSlot& slot = m_tupleCache[nHash & (TUPLE_CACHE_SLOTS - 1)];
    if (slot.nHash == nHash && slot.nTuple != NOT_SHARED &&
        SameBytes(m_texts.Text(slot.nProcess), process) &&
        SameBytes(m_texts.Text(slot.nRequest), request) &&
        SameBytes(m_texts.Text(slot.nResult), result))
        return slot.nTuple;
    const uint32_t nTuple = SharedTuple(process, request, result);
    if (nTuple != NOT_SHARED) {
        const STextTuple& t = m_texts.Tuple(nTuple);
        slot = {nHash, nTuple, t.nProcess, t.nRequest, t.nResult};
    }
    return nTuple;
}

uint32_t CRecordList::ValueId(std::string_view value) {
    if (value.empty())
        return 0;
    if (value.size() > CTextTable::MAX_SHARED_BYTES)
        return NOT_SHARED;
    const uint64_t nHash = HashBytes(value);
    SValueSlot& slot = m_valueCache[nHash & (VALUE_CACHE_SLOTS - 1)];
    if (slot.nHash == nHash && SameBytes(m_texts.Text(slot.nId), value))
        return slot.nId;
    const uint32_t nId = m_texts.Intern(value, nHash);
    if (nId != NOT_SHARED)
        slot = {nHash, nId};
    return nId;
}

namespace {

// The bytes from the start of a to the end of b, when b follows a after one separator byte.
// Views are taken apart into pointer and length here: the fields were just written, and
// copying them whole would read them in wider pieces than they were written in, which stalls.
bool RunOf(std::string_view a, std::string_view b, std::string_view& run) {
    const char* pA = a.data();
    const char* pB = b.data();
    const size_t nA = a.size();
    if (pA == nullptr || pB != pA + nA + 1)
        return false;
    run = std::string_view(pA, nA + 1 + b.size());
    return true;
}

} // namespace

void CRecordList::PrepareCaptured(const SRecordFields& f, bool bAscii, SCapturedKeys& keys) const {
    keys.bAscii = bAscii;
    std::string_view processRun, valueRun;
    keys.bRuns = bAscii && RunOf(f[1], f[2], processRun) && RunOf(f[5], f[6], valueRun);
    if (!keys.bRuns)
        return;
    keys.nTupleParts = STupleRuns::PartsOf(f[1].size());
    keys.nValueParts = SValueRuns::PartsOf(f[5].size());
    keys.nTupleHash = STupleRuns::HashOf({processRun, {f[4].data(), f[4].size()}, {}});
    keys.nValueHash = SValueRuns::HashOf({valueRun, {}, {}});
    m_tupleRuns.Prefetch(keys.nTupleHash);
    m_valueRuns.Prefetch(keys.nValueHash);
}

// The usual driver record: its tuple and its values found by the bytes of their texts.
void CRecordList::AppendCapturedRuns(uint32_t nSeq, uint64_t nTime, int32_t nPid,
                                     const SRecordFields& f, const SCapturedKeys& keys) {
    std::string_view processRun, valueRun;
    RunOf(f[1], f[2], processRun);
    RunOf(f[5], f[6], valueRun);
    const STupleRuns::SKey tupleKey{processRun, f[4], {}, keys.nTupleParts};
    uint32_t nTuple;
    if (const STupleRuns::SSlot* p = m_tupleRuns.Find(tupleKey, keys.nTupleHash)) {
        nTuple = p->ids[0];
    } else {
        nTuple = SharedTuple(f[1], f[2], f[4]);
        m_tupleRuns.Put(tupleKey, keys.nTupleHash, {nTuple});
    }
    const SValueRuns::SKey valueKey{valueRun, {}, {}, keys.nValueParts};
    std::array<uint32_t, 2> values;
    if (const SValueRuns::SSlot* p = m_valueRuns.Find(valueKey, keys.nValueHash)) {
        values = p->ids;
    } else {
        values = {m_texts.Intern(f[5]), m_texts.Intern(f[6])};
        m_valueRuns.Put(valueKey, keys.nValueHash, values);
    }
    if (nTuple == NOT_SHARED) {
        nTuple = TupleInSegment(f[2], f[4]);
    } else if (values[0] != NOT_SHARED && values[1] != NOT_SHARED) {
        const std::string_view path = f[3];
        unsigned char* pPath = nullptr;
        if (SRecordEntry* pEntry = AddPathOnly(path.size(), pPath)) {
            *pEntry = {int32_t(nSeq), nPid, nTime, pEntry->nSegment, nTuple, values[0], values[1]};
            std::memcpy(pPath, path.data(), path.size()); // a field of the text: never null
            return;
        }
    }
    const SInline inl{f[1], f[2], f[4], {}, f[5], f[6]};
    Write(int32_t(nSeq), nPid, nTime, nTuple, values[0], values[1], f[3], inl);
}

void CRecordList::AppendCaptured(uint32_t nSeq, uint64_t nFileTime, int32_t nPid,
                                 const SRecordFields& f) {
    bool bAscii = true;
    for (std::string_view s : f)
        bAscii = bAscii && IsAsciiText(s);
    SCapturedKeys keys;
    PrepareCaptured(f, bAscii, keys);
    AppendCaptured(nSeq, nFileTime, nPid, f, keys);
}

// ASCII driver bytes are the store's bytes as they are; anything else is converted first.
void CRecordList::AppendCapturedTexts(uint32_t nSeq, uint64_t nFileTime, int32_t nPid,
                                      const SRecordFields& f, const SCapturedKeys& keys) {
    const bool bAscii = keys.bAscii;
    const auto store = [&](size_t nField, std::string& strScratch) {
        return bAscii ? f[nField] : StoreText(f[nField], strScratch);
    };
    const std::string_view process = store(1, m_scratch[0]);
    const std::string_view request = store(2, m_scratch[1]);
    const std::string_view result = store(4, m_scratch[2]);
    const std::string_view oldValue = store(5, m_scratch[3]);
    const std::string_view newValue = store(6, m_scratch[4]);
    SInline inl;
    uint32_t nTuple = TupleId(process, request, result);
    if (nTuple == NOT_SHARED) {
        inl.process = process;
        inl.request = request;
        inl.result = result;
        nTuple = TupleInSegment(request, result);
    }
    const uint32_t nOld = ValueId(oldValue);
    if (nOld == NOT_SHARED)
        inl.oldValue = oldValue;
    const uint32_t nNew = ValueId(newValue);
    if (nNew == NOT_SHARED)
        inl.newValue = newValue;
    uint64_t nTime = nFileTime;
    if (nTime & TIME_KIND_MASK) {
        // Beyond the year 30000: kept as the text it gives now.
        char sz[TIME_TEXT_LENGTH];
        m_formatter.Format(nFileTime, sz);
        nTime = TimeFromText(std::string_view(sz, TIME_TEXT_LENGTH));
    }
    Write(int32_t(nSeq), nPid, nTime, nTuple, nOld, nNew, store(3, m_scratch[5]), inl);
}

// "hh:mm:ss.mmm" (digits only) is kept as its digits; any other time text in the segment.
uint64_t CRecordList::TimeFromText(std::string_view s) {
    if (s.size() != TIME_TEXT_LENGTH || s[2] != ':' || s[5] != ':' || s[8] != '.')
        return TIME_IN_SEGMENT;
    int d[9];
    const int pos[9] = {0, 1, 3, 4, 6, 7, 9, 10, 11};
    for (int i = 0; i < 9; ++i) {
        const char c = s[size_t(pos[i])];
        if (c < '0' || c > '9')
            return TIME_IN_SEGMENT;
        d[i] = c - '0';
    }
    const uint64_t h = uint64_t(d[0] * 10 + d[1]), m = uint64_t(d[2] * 10 + d[3]);
    const uint64_t sec = uint64_t(d[4] * 10 + d[5]), ms = uint64_t(d[6] * 100 + d[7] * 10 + d[8]);
    return ClockTime(h, m, sec, ms);
}

void CRecordList::AppendTexts(int32_t nSeq, int32_t nPid, std::string_view time, const STexts& t) {
    SInline inl;
    uint32_t nTuple = TupleId(t[0], t[1], t[3]);
    if (nTuple == NOT_SHARED) {
        inl.process = t[0];
        inl.request = t[1];
        inl.result = t[3];
        nTuple = TupleInSegment(t[1], t[3]);
    }
    const uint32_t nOld = ValueId(t[4]);
    if (nOld == NOT_SHARED)
        inl.oldValue = t[4];
    const uint32_t nNew = ValueId(t[5]);
    if (nNew == NOT_SHARED)
        inl.newValue = t[5];
    const uint64_t nTime = TimeFromText(time);
    if (nTime == TIME_IN_SEGMENT)
        inl.time = time;
    Write(nSeq, nPid, nTime, nTuple, nOld, nNew, t[2], inl);
}

void CRecordList::Append(const CRegInfoObj& r) {
    const std::string time = Wtf8(r.m_strTime);
    const std::array<std::string, 6> texts = {Wtf8(r.m_strProcessName), Wtf8(r.m_strRequest),
                                              Wtf8(r.m_strPath),        Wtf8(r.m_strResult),
                                              Wtf8(r.m_strOldValue),    Wtf8(r.m_strNewValue)};
    AppendTexts(r.m_nSeq, r.m_nPid, time,
                {texts[0], texts[1], texts[2], texts[3], texts[4], texts[5]});
}

void CRecordList::RemoveAll(bool bKeepMemory) {
    m_list.RemoveAll(bKeepMemory);
    m_nHeadPosition = 0;
    m_texts.Clear();
    std::fill(m_tupleCache.begin(), m_tupleCache.end(), STupleSlot{});
    std::fill(m_valueCache.begin(), m_valueCache.end(), SValueSlot{});
    m_tupleRuns.Clear();
    m_valueRuns.Clear();
}

// ---- reading ----

// Every field is set once, so that nothing is cleared first: the bulk walks call this for
// every record.
SRecordView CRecordList::ViewOf(const SRecordEntry& e, const unsigned char* pSegment) const {
    const unsigned char* p = pSegment;
    const std::string_view path = GetText(p);
    std::string_view process, request, result, time;
    uint32_t nTuple = e.nTuple;
    int nFunType;
    bool bSuccess;
    if (e.nTuple & TUPLE_IN_SEGMENT) {
        process = GetText(p);
        request = GetText(p);
        result = GetText(p);
        nFunType = int(e.nTuple & 0xF);
        bSuccess = (e.nTuple & 0x10) != 0;
        nTuple = NOT_SHARED;
    } else {
        const STextTuple& t = m_texts.Tuple(e.nTuple);
        process = m_texts.Text(t.nProcess);
        request = m_texts.Text(t.nRequest);
        result = m_texts.Text(t.nResult);
        nFunType = t.nFunType;
        bSuccess = t.bSuccess;
    }
    if ((e.nTime & TIME_KIND_MASK) == TIME_IN_SEGMENT)
        time = GetText(p);
    const std::string_view oldValue = e.nOld == NOT_SHARED ? GetText(p) : m_texts.Text(e.nOld);
    const std::string_view newValue = e.nNew == NOT_SHARED ? GetText(p) : m_texts.Text(e.nNew);
    return SRecordView{e.nSeq,   e.nPid,   e.nTime, time,   process, request,  path,    result,
                       oldValue, newValue, nTuple,  e.nOld, e.nNew,  nFunType, bSuccess};
}

std::string_view CRecordList::TimeText(const SRecordView& v, CTimeTextFormatter& formatter,
                                       char* pBuffer) {
    switch (v.nTime & TIME_KIND_MASK) {
    case TIME_IN_SEGMENT:
        return v.time;
    case TIME_CLOCK: {
        const uint64_t t = v.nTime;
        FormatClockText(int(t >> 24 & 0x7F), int(t >> 17 & 0x7F), int(t >> 10 & 0x7F),
                        int(t & 0x3FF), pBuffer);
        return {pBuffer, TIME_TEXT_LENGTH};
    }
    default:
        formatter.Format(v.nTime, pBuffer);
        return {pBuffer, TIME_TEXT_LENGTH};
    }
}

bool CRecordList::IsTupleAscii(const SRecordView& v) const {
    if (v.nTuple != NOT_SHARED) {
        const STextTuple& t = m_texts.Tuple(v.nTuple);
        return m_texts.IsAscii(t.nProcess) && m_texts.IsAscii(t.nRequest) &&
               m_texts.IsAscii(t.nResult);
    }
    return IsAsciiText(v.process) && IsAsciiText(v.request) && IsAsciiText(v.result);
}

// Shared texts are equal exactly when their ids are; a text kept in a segment is compared.
bool CRecordList::ValuesDiffer(const SRecordView& v) {
    if (v.nOld != NOT_SHARED && v.nNew != NOT_SHARED)
        return v.nOld != v.nNew;
    return v.oldValue != v.newValue;
}

int CRecordList::Modified(const SRecordView& v) {
    return ModifiesRegistry(v.nFunType, v.bSuccess, v.nFunType == OP_SET_VALUE && ValuesDiffer(v));
}

bool CRecordList::GetRecord(long long nIndex, CRegInfoObj& out) const {
    if (nIndex < 0 || nIndex >= GetCount())
        return false;
    const SRecordView v = View(nIndex);
    const auto text = [&](uint32_t nId, std::string_view s) {
        return nId != NOT_SHARED ? m_texts.Wide(nId) : Wtf8ToQString(s);
    };
    out.m_nSeq = v.nSeq;
    CTimeTextFormatter formatter; // the local time as it is now
    char sz[TIME_TEXT_LENGTH];
    out.m_strTime = Wtf8ToQString(TimeText(v, formatter, sz));
    if (v.nTuple != NOT_SHARED) {
        const STextTuple& t = m_texts.Tuple(v.nTuple);
        out.m_strProcessName = m_texts.Wide(t.nProcess);
        out.m_strRequest = m_texts.Wide(t.nRequest);
        out.m_strResult = m_texts.Wide(t.nResult);
    } else {
        out.m_strProcessName = Wtf8ToQString(v.process);
        out.m_strRequest = Wtf8ToQString(v.request);
        out.m_strResult = Wtf8ToQString(v.result);
    }
    out.m_nPid = v.nPid;
    out.m_strPath = Wtf8ToQString(v.path);
    out.m_strOldValue = text(v.nOld, v.oldValue);
    out.m_strNewValue = text(v.nNew, v.newValue);
    out.m_nFunTypeCache.store(int8_t(v.nFunType), std::memory_order_relaxed);
    return true;
}

void CRecordList::DescriptionText(const SRecordView& v, const SDescriptionRecipe& recipe,
                                  std::string& out) {
    const auto arg = [&](EDescriptionArg nArg) -> std::string_view {
        switch (nArg) {
        case DESC_RESULT_OR_NO_RESULT:
            return v.result.empty() ? std::string_view(DESC_NO_RESULT) : v.result;
        case DESC_OLD:
            return v.oldValue;
        case DESC_NEW:
            return v.newValue;
        case DESC_OLD_OR_NO_DATA:
            return v.oldValue.empty() ? std::string_view(DESC_NO_DATA) : v.oldValue;
        case DESC_NEW_OR_NO_DATA:
            return v.newValue.empty() ? std::string_view(DESC_NO_DATA) : v.newValue;
        case DESC_NONE:
            break;
        }
        return {};
    };
    out.assign(recipe.pBefore);
    out.append(arg(recipe.nArg1));
    out.append(recipe.pBetween);
    out.append(arg(recipe.nArg2));
}
