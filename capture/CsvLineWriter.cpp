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

// Whether CsvField quotes the field: it holds a comma, a quote, CR or LF.
bool CsvNeedsQuotes(std::string_view s) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i comma = _mm_set1_epi8(','), quote = _mm_set1_epi8('"');
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
    for (; i + 16 <= s.size(); i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + i));
        const __m128i m =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, comma), _mm_cmpeq_epi8(v, quote)),
                         _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
        if (_mm_movemask_epi8(m) != 0)
            return true;
    }
#endif
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c == ',' || c == '"' || c == '\r' || c == '\n')
            return true;
    }
    return false;
}

CCsvWriter::CCsvWriter(const CRecordList& list)
    : m_list(list), m_texts(list.Texts()), m_quotes(m_texts.TextCount(), -1) {
    Reserve(CSV_CHUNK_BYTES + (CSV_CHUNK_BYTES >> 3));
    Append(CSV_HEADER, std::strlen(CSV_HEADER));
}

void CCsvWriter::AppendLine(long long nIndex, const SRecordView& v) {
    char szTime[TIME_TEXT_LENGTH];
    const std::string_view time = CRecordList::TimeText(v, m_formatter, szTime);
    if (!m_list.IsTupleAscii(v) || !IsAsciiText(v.path) || !IsAsciiText(v.oldValue) ||
        !IsAsciiText(v.newValue) || !IsAsciiText(time)) {
        CRegInfoObj record;
        m_list.GetRecord(nIndex, record);
        const QByteArray line = Utf16ToAnsi(record.GetCVSLine());
        Append(line.constData(), size_t(line.size()));
        return;
    }
    const STextTuple* pTuple =
        v.nTuple != CTextTable::NOT_SHARED ? &m_texts.Tuple(v.nTuple) : nullptr;
    const size_t nBound = 64 + 2 * (time.size() + v.process.size() + v.request.size() +
                                    v.path.size() + v.oldValue.size() + v.newValue.size());
    char* p = Reserve(nBound);
    p = PutNumber(p, v.nSeq);
    *p++ = ',';
    p = PutField(p, time, CTextTable::NOT_SHARED);
    *p++ = ',';
    p = PutField(p, v.process, pTuple ? pTuple->nProcess : CTextTable::NOT_SHARED);
    *p++ = ',';
    p = PutNumber(p, v.nPid);
    *p++ = ',';
    p = PutField(p, v.request, pTuple ? pTuple->nRequest : CTextTable::NOT_SHARED);
    *p++ = ',';
    p = PutField(p, v.path, CTextTable::NOT_SHARED);
    *p++ = ',';
    p = PutField(p, v.oldValue, v.nOld);
    *p++ = ',';
    p = PutField(p, v.newValue, v.nNew);
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

char* CCsvWriter::PutField(char* p, std::string_view s, uint32_t nId) {
    bool bQuote;
    if (nId == CTextTable::NOT_SHARED) {
        bQuote = CsvNeedsQuotes(s);
    } else {
        if (nId >= m_quotes.size()) // a text the store took in after this writer began
            m_quotes.resize(std::max<size_t>(nId + 1, m_texts.TextCount()), -1);
        int8_t& nQuote = m_quotes[nId];
        if (nQuote < 0)
            nQuote = CsvNeedsQuotes(s) ? 1 : 0;
        bQuote = nQuote != 0;
    }
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
