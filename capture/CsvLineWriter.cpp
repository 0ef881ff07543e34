#include "capture/CsvLineWriter.h"

#include "capture/CsvExport.h"
#include "platform/AnsiCodePage.h"
#include "store/RegInfoObj.h"
#include "store/Wtf8.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Sixteen bytes a step, the last step overlapping the one before; the bytes are only looked at,
// never left early, so a text costs the same whatever it holds.
unsigned CsvScan(std::string_view s) {
    const size_t n = s.size();
    unsigned nQuotes = 0, nHigh = 0;
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i comma = _mm_set1_epi8(','), quote = _mm_set1_epi8('"');
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
    const auto step = [&](size_t k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + k));
        const __m128i m =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, comma), _mm_cmpeq_epi8(v, quote)),
                         _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
        nQuotes |= unsigned(_mm_movemask_epi8(m));
        nHigh |= unsigned(_mm_movemask_epi8(v));
    };
    if (n >= 16) {
        for (; i + 16 <= n; i += 16)
            step(i);
        if (i < n)
            step(n - 16);
        i = n;
    }
#endif
    for (; i < n; ++i) {
        const char c = s[i];
        nQuotes |= unsigned(c == ',' || c == '"' || c == '\r' || c == '\n');
        nHigh |= uint8_t(c) & 0x80u;
    }
    return (nQuotes != 0 ? CSV_QUOTES : 0) | (nHigh != 0 ? CSV_NOT_ASCII : 0);
}

CCsvWriter::CCsvWriter(const CRecordList& list)
    : m_list(list), m_texts(list.Texts()), m_scans(m_texts.TextCount(), -1) {
    Reserve(CSV_CHUNK_BYTES + (CSV_CHUNK_BYTES >> 3));
    Append(CSV_HEADER, std::strlen(CSV_HEADER));
}

// A clock time is made of digits, colons and a dot: only a time kept as its text is scanned.
void CCsvWriter::AppendLine(long long nIndex, const SRecordView& v) {
    const bool bTimeKept = (v.nTime & CRecordList::TIME_KIND_MASK) == CRecordList::TIME_IN_SEGMENT;
    const unsigned nTime = bTimeKept ? CsvScan(v.time) : 0;
    const unsigned nPath = CsvScan(v.path);
    const unsigned nOld = Scan(v.oldValue, v.nOld);
    const unsigned nNew = Scan(v.newValue, v.nNew);
    if (((nTime | nPath | nOld | nNew) & CSV_NOT_ASCII) != 0 || !m_list.IsTupleAscii(v)) {
        CRegInfoObj record;
        m_list.GetRecord(nIndex, record);
        const QByteArray line = Utf16ToAnsi(record.GetCVSLine());
        Append(line.constData(), size_t(line.size()));
        return;
    }
    char szTime[TIME_TEXT_LENGTH];
    const std::string_view time = CRecordList::TimeText(v, m_formatter, szTime);
    const STextTuple* pTuple =
        v.nTuple != CTextTable::NOT_SHARED ? &m_texts.Tuple(v.nTuple) : nullptr;
    const unsigned nProcess = Scan(v.process, pTuple ? pTuple->nProcess : CTextTable::NOT_SHARED);
    const unsigned nRequest = Scan(v.request, pTuple ? pTuple->nRequest : CTextTable::NOT_SHARED);
    const size_t nBound = 64 + 2 * (time.size() + v.process.size() + v.request.size() +
                                    v.path.size() + v.oldValue.size() + v.newValue.size());
    char* p = Reserve(nBound);
    p = PutNumber(p, v.nSeq);
    *p++ = ',';
    p = PutField(p, time, nTime & CSV_QUOTES);
    *p++ = ',';
    p = PutField(p, v.process, nProcess & CSV_QUOTES);
    *p++ = ',';
    p = PutNumber(p, v.nPid);
    *p++ = ',';
    p = PutField(p, v.request, nRequest & CSV_QUOTES);
    *p++ = ',';
    p = PutField(p, v.path, nPath & CSV_QUOTES);
    *p++ = ',';
    p = PutField(p, v.oldValue, nOld & CSV_QUOTES);
    *p++ = ',';
    p = PutField(p, v.newValue, nNew & CSV_QUOTES);
    *p++ = '\r';
    *p++ = '\n';
    m_nSize = size_t(p - m_pBuffer.get());
}

char* CCsvWriter::Reserve(size_t n) {
    if (m_nSize + n > m_nCapacity) {
        const size_t nCapacity = std::max(m_nCapacity * 2, m_nSize + n);
        auto pNew = std::make_unique_for_overwrite<char[]>(nCapacity);
        if (m_nSize > 0)
            std::memcpy(pNew.get(), m_pBuffer.get(), m_nSize);
        m_pBuffer = std::move(pNew);
        m_nCapacity = nCapacity;
    }
    return m_pBuffer.get() + m_nSize;
}

void CCsvWriter::Append(const char* pData, size_t n) {
    std::memcpy(Reserve(n), pData, n);
    m_nSize += n;
}

char* CCsvWriter::PutNumber(char* p, int32_t n) {
    return std::to_chars(p, p + 12, n).ptr;
}

unsigned CCsvWriter::Scan(std::string_view s, uint32_t nId) {
    if (nId == CTextTable::NOT_SHARED)
        return CsvScan(s);
    if (nId >= m_scans.size()) // a text the store took in after this writer began
        m_scans.resize(std::max<size_t>(nId + 1, m_texts.TextCount()), -1);
    int8_t& nScan = m_scans[nId];
    if (nScan < 0)
        nScan = int8_t(CsvScan(s));
    return unsigned(nScan);
}

char* CCsvWriter::PutField(char* p, std::string_view s, bool bQuote) {
    if (!bQuote) {
        if (!s.empty())
            std::memcpy(p, s.data(), s.size());
        return p + s.size();
    }
    *p++ = '"';
    for (char c : s) {
        if (c == '"')
            *p++ = '"';
        *p++ = c;
    }
    *p++ = '"';
    return p;
}
