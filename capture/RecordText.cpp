#include "capture/RecordText.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

SRecordFields SplitRecordText(std::string_view text) {
    SRecordFields fields{};
    size_t nStart = 0;
    for (size_t i = 0; i < fields.size(); ++i) {
        const size_t nTab = text.find('\t', nStart);
        if (nTab == std::string_view::npos) {
            fields[i] = text.substr(nStart);
            break;
        }
        fields[i] = text.substr(nStart, nTab - nStart);
        nStart = nTab + 1;
    }
    return fields;
}

namespace {

// Collects the fields while the text is scanned once for its tabs and its zero.
class CFieldSplitter {
public:
    CFieldSplitter(const char* pText, SRecordFields& fields) : m_p(pText), m_fields(fields) {}
    void Tab(size_t nAt) {
        if (m_nField < m_fields.size()) {
            m_fields[m_nField++] = std::string_view(m_p + m_nStart, nAt - m_nStart);
            m_nStart = nAt + 1;
        }
    }
    // The field the zero ends, and the missing ones empty.
    void End(size_t nAt) {
        if (m_nField < m_fields.size())
            m_fields[m_nField++] = std::string_view(m_p + m_nStart, nAt - m_nStart);
        for (; m_nField < m_fields.size(); ++m_nField)
            m_fields[m_nField] = std::string_view();
    }

private:
    const char* m_p;
    SRecordFields& m_fields;
    size_t m_nField = 0;
    size_t m_nStart = 0;
};

} // namespace

bool SplitRecordTextAt(const char* pText, size_t nRoom, SRecordFields& fields, size_t& nText) {
    CFieldSplitter splitter(pText, fields);
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= nRoom; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pText + i));
        const unsigned nZeros = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)));
        unsigned nTabs = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, tab)));
        if (nZeros != 0)
            nTabs &= (1u << __builtin_ctz(nZeros)) - 1;
        for (; nTabs != 0; nTabs &= nTabs - 1)
            splitter.Tab(i + size_t(__builtin_ctz(nTabs)));
        if (nZeros != 0) {
            nText = i + size_t(__builtin_ctz(nZeros));
            splitter.End(nText);
            return true;
        }
    }
#endif
    for (; i < nRoom; ++i) {
        if (pText[i] == '\0') {
            nText = i;
            splitter.End(i);
            return true;
        }
        if (pText[i] == '\t')
            splitter.Tab(i);
    }
    return false;
}

int32_t ParsePidField(std::string_view field) {
    // The usual field: a few digits and nothing else.
    if (!field.empty() && field.size() <= 9) {
        int32_t n = 0;
        size_t k = 0;
        for (; k < field.size() && field[k] >= '0' && field[k] <= '9'; ++k)
            n = n * 10 + (field[k] - '0');
        if (k == field.size())
            return n;
    }
    size_t i = 0;
    while (i < field.size() && (field[i] == ' ' || (field[i] >= '\t' && field[i] <= '\r')))
        ++i;
    bool bNegative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-'))
        bNegative = field[i++] == '-';
    int64_t nValue = 0;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
        nValue = nValue * 10 + (field[i] - '0');
        if (nValue > int64_t(INT32_MAX) + 1)
            nValue = int64_t(INT32_MAX) + 1;
    }
    if (bNegative)
        return int32_t(-nValue);
    return nValue > INT32_MAX ? INT32_MAX : int32_t(nValue);
}
