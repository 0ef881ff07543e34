#include "capture/RecordText.h"

#include <algorithm>
#include <tuple>

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

// Tabs that end fields: field 7 ends at the seventh.
constexpr size_t FIELD_TABS = std::tuple_size_v<SRecordFields>;

// The fields from the positions of the first tabs (at most FIELD_TABS) and of the zero; the
// fields that are missing are empty.
void MakeFields(const char* p, const uint32_t* pTabs, size_t nTabs, size_t nZero,
                SRecordFields& fields) {
    nTabs = std::min(nTabs, FIELD_TABS);
    size_t nStart = 0;
    for (size_t k = 0; k < nTabs; ++k) {
        fields[k] = std::string_view(p + nStart, pTabs[k] - nStart);
        nStart = pTabs[k] + 1;
    }
    if (nTabs < FIELD_TABS) {
        fields[nTabs] = std::string_view(p + nStart, nZero - nStart);
        for (size_t k = nTabs + 1; k < FIELD_TABS; ++k)
            fields[k] = std::string_view();
    }
}

// Appends the positions of the tabs set in nMask (bit k: byte nBase + k).
inline size_t AddTabs(uint64_t nMask, size_t nBase, uint32_t* pTabs, size_t nTabs) {
    for (; nMask != 0; nMask &= nMask - 1)
        pTabs[nTabs++] = uint32_t(nBase + size_t(__builtin_ctzll(nMask)));
    return nTabs;
}

#if defined(__SSE2__)
inline uint64_t Mask64(__m128i a, __m128i b, __m128i c, __m128i d) {
    return uint64_t(unsigned(_mm_movemask_epi8(a))) |
           uint64_t(unsigned(_mm_movemask_epi8(b))) << 16 |
           uint64_t(unsigned(_mm_movemask_epi8(c))) << 32 |
           uint64_t(unsigned(_mm_movemask_epi8(d))) << 48;
}
#endif

} // namespace

// Reads 64 bytes a step while they are within the room, so a usual record takes two steps; the
// positions of the tabs are gathered first and the fields made from them at the end. The high
// bits of whole steps are only gathered, and looked at once.
bool SplitRecordTextAt(const char* pText, size_t nRoom, SRecordFields& fields, size_t& nText,
                       bool& bAscii) {
    // Tabs past the ones that end fields are still written for the rest of a step: room for
    // a whole step of them.
    uint32_t tabs[FIELD_TABS + 64];
    size_t nTabs = 0;
    size_t i = 0;
    uint64_t nHigh = 0; // bytes above 0x7F before the zero, where known bit by bit
#if defined(__SSE2__)
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i zero = _mm_setzero_si128();
    __m128i orAll = zero;
    for (; i + 64 <= nRoom; i += 64) {
        const auto* q = reinterpret_cast<const __m128i*>(pText + i);
        const __m128i a = _mm_loadu_si128(q), b = _mm_loadu_si128(q + 1);
        const __m128i c = _mm_loadu_si128(q + 2), d = _mm_loadu_si128(q + 3);
        const uint64_t nZeros = Mask64(_mm_cmpeq_epi8(a, zero), _mm_cmpeq_epi8(b, zero),
                                       _mm_cmpeq_epi8(c, zero), _mm_cmpeq_epi8(d, zero));
        uint64_t nTabMask = Mask64(_mm_cmpeq_epi8(a, tab), _mm_cmpeq_epi8(b, tab),
                                   _mm_cmpeq_epi8(c, tab), _mm_cmpeq_epi8(d, tab));
        if (nZeros == 0) {
            orAll = _mm_or_si128(orAll, _mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d)));
            if (nTabs < FIELD_TABS)
                nTabs = AddTabs(nTabMask, i, tabs, nTabs);
            continue;
        }
        const uint64_t nBefore = (nZeros & (0 - nZeros)) - 1;
        nTabMask &= nBefore;
        if (nTabs < FIELD_TABS)
            nTabs = AddTabs(nTabMask, i, tabs, nTabs);
        nText = i + size_t(__builtin_ctzll(nZeros));
        bAscii = ((Mask64(a, b, c, d) & nBefore) | unsigned(_mm_movemask_epi8(orAll))) == 0;
        MakeFields(pText, tabs, nTabs, nText, fields);
        return true;
    }
    nHigh = unsigned(_mm_movemask_epi8(orAll));
#endif
    for (; i < nRoom; ++i) {
        if (pText[i] == '\0') {
            nText = i;
            bAscii = nHigh == 0;
            MakeFields(pText, tabs, nTabs, nText, fields);
            return true;
        }
        nHigh |= uint8_t(pText[i]) & 0x80u;
        if (pText[i] == '\t' && nTabs < FIELD_TABS)
            tabs[nTabs++] = uint32_t(i);
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
