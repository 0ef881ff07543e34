#include "store/TextMatch.h"

#include "store/Wtf8.h"

#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The whole-word rule for ASCII characters, taken from QChar so both paths agree.
const std::array<bool, 128>& AsciiWordChars() {
    static const std::array<bool, 128> s_table = [] {
        std::array<bool, 128> t{};
        for (int c = 0; c < 128; ++c)
            t[size_t(c)] = IsWordChar(QChar(c));
        return t;
    }();
    return s_table;
}

unsigned char LowerAscii(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? c + 32 : c;
}

unsigned char UpperAscii(unsigned char c) {
    return c >= 'a' && c <= 'z' ? c - 32 : c;
}

} // namespace

bool IsWordChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

bool ContainsText(const QString& strHay, const QString& strNeedle, Qt::CaseSensitivity cs,
                  bool bWholeWord) {
    if (!bWholeWord)
        return strHay.contains(strNeedle, cs);
    for (qsizetype nAt = strHay.indexOf(strNeedle, 0, cs); nAt >= 0;
         nAt = strHay.indexOf(strNeedle, nAt + 1, cs)) {
        const qsizetype nEnd = nAt + strNeedle.size();
        const bool bLeftOk = nAt == 0 || !IsWordChar(strHay[nAt - 1]);
        const bool bRightOk = nEnd >= strHay.size() || !IsWordChar(strHay[nEnd]);
        if (bLeftOk && bRightOk)
            return true;
    }
    return false;
}

CTextMatcher::CTextMatcher(const QString& strNeedle, bool bMatchCase, bool bWholeWord)
    : m_strNeedle(strNeedle), m_cs(bMatchCase ? Qt::CaseSensitive : Qt::CaseInsensitive),
      m_bWholeWord(bWholeWord) {
    m_bAsciiNeedle = true;
    for (QChar c : strNeedle) {
        const char16_t u = bMatchCase ? c.unicode() : c.toCaseFolded().unicode();
        if (u >= 0x80) {
            m_bAsciiNeedle = false;
            break;
        }
        m_needle += char(bMatchCase ? u : LowerAscii(uint8_t(u)));
    }
    if (!m_bAsciiNeedle || m_needle.empty())
        return;
    const auto cases = [&](unsigned char c, unsigned char* pOut) {
        pOut[0] = bMatchCase ? c : LowerAscii(c);
        pOut[1] = bMatchCase ? c : UpperAscii(c);
    };
    cases(uint8_t(m_needle.front()), m_first);
    cases(uint8_t(m_needle.back()), m_last);
}

bool CTextMatcher::CanMatchTextOf(std::string_view chars) const {
    if (m_strNeedle.isEmpty() || !m_bAsciiNeedle)
        return false;
    for (char c : m_needle) {
        if (chars.find(c) == std::string_view::npos &&
            (m_cs == Qt::CaseSensitive ||
             chars.find(char(UpperAscii(uint8_t(c)))) == std::string_view::npos))
            return false;
    }
    return true;
}

bool CTextMatcher::CanMatchShape(std::string_view shape) const {
    if (m_strNeedle.isEmpty() || !m_bAsciiNeedle || m_needle.size() > shape.size())
        return false;
    const auto fits = [](char cNeedle, char cShape) {
        return cShape == '9' ? cNeedle >= '0' && cNeedle <= '9' : cNeedle == cShape;
    };
    for (size_t nAt = 0; nAt + m_needle.size() <= shape.size(); ++nAt) {
        size_t k = 0;
        while (k < m_needle.size() && fits(m_needle[k], shape[nAt + k]))
            ++k;
        if (k == m_needle.size())
            return true;
    }
    return false;
}

// An occurrence that shares a character with the fixed text lies inside it, or begins in it
// and runs past its end (not when it ends the text), or begins before it (not when it starts
// the text) and ends in it or past it.
bool CTextMatcher::CanOverlapAscii(std::string_view fixed, bool bAtStart, bool bAtEnd) const {
    if (fixed.empty() || m_strNeedle.isEmpty())
        return false;
    if (!m_bAsciiNeedle)
        return true;
    std::string folded(fixed);
    if (m_cs == Qt::CaseInsensitive) {
        for (char& c : folded)
            c = char(LowerAscii(uint8_t(c)));
    }
    const std::string_view f(folded), needle(m_needle);
    if (f.find(needle) != std::string_view::npos)
        return true;
    if (!bAtStart && !bAtEnd && needle.find(f) != std::string_view::npos)
        return true;
    for (size_t k = 1; k < needle.size() && k <= f.size(); ++k) {
        if (!bAtEnd && f.ends_with(needle.substr(0, k)))
            return true;
        if (!bAtStart && f.starts_with(needle.substr(needle.size() - k)))
            return true;
    }
    return false;
}

// The needle's bytes at nAt, then the word borders when they count.
bool CTextMatcher::IsMatchAt(const char* p, size_t n, size_t nAt) const {
    const size_t nLen = m_needle.size();
    if (m_cs == Qt::CaseSensitive) {
        if (std::memcmp(p + nAt, m_needle.data(), nLen) != 0)
            return false;
    } else {
        for (size_t k = 0; k < nLen; ++k) {
            if (LowerAscii(uint8_t(p[nAt + k])) != uint8_t(m_needle[k]))
                return false;
        }
    }
    if (!m_bWholeWord)
        return true;
    const auto& word = AsciiWordChars();
    if (nAt > 0 && word[uint8_t(p[nAt - 1])])
        return false;
    return nAt + nLen >= n || !word[uint8_t(p[nAt + nLen])];
}

bool CTextMatcher::MatchesAscii(const char* p, size_t n) const {
    unsigned nHigh = 0;
    return Scan<false>(p, n, nHigh);
}

// Without the whole-word rule the needle's bytes are a match wherever they stand, also among
// other characters' bytes (an ASCII byte is its own character in UTF-8). No match is the
// answer only when every byte was ASCII; other texts are converted.
bool CTextMatcher::Matches(std::string_view wtf8) const {
    if (m_bAsciiNeedle && !m_bWholeWord && !m_needle.empty()) {
        unsigned nHigh = 0;
        if (Scan<true>(wtf8.data(), wtf8.size(), nHigh))
            return true;
        if ((nHigh & 0x80) == 0)
            return false;
    } else if (IsAsciiText(wtf8)) {
        return MatchesAscii(wtf8.data(), wtf8.size());
    }
    return ContainsText(Wtf8ToQString(wtf8), m_strNeedle, m_cs, m_bWholeWord);
}

// Candidates are where the first and the last byte of the needle both fit, 16 at a time.
// With bTrackHigh, nHigh gathers the bits of every byte when no match is found.
template <bool bTrackHigh> bool CTextMatcher::Scan(const char* p, size_t n, unsigned& nHigh) const {
    const size_t nLen = m_needle.size();
    if (!m_bAsciiNeedle || nLen == 0 || nLen > n) {
        if (bTrackHigh)
            nHigh |= IsAsciiText(p, n) ? 0 : 0x80;
        return false;
    }
    const size_t nLastStart = n - nLen;
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i f0 = _mm_set1_epi8(char(m_first[0])), f1 = _mm_set1_epi8(char(m_first[1]));
    const __m128i l0 = _mm_set1_epi8(char(m_last[0])), l1 = _mm_set1_epi8(char(m_last[1]));
    __m128i high = _mm_setzero_si128();
    for (; i + 16 <= nLastStart + 1; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + nLen - 1));
        if (bTrackHigh)
            high = _mm_or_si128(high, a);
        const __m128i m = _mm_and_si128(_mm_or_si128(_mm_cmpeq_epi8(a, f0), _mm_cmpeq_epi8(a, f1)),
                                        _mm_or_si128(_mm_cmpeq_epi8(b, l0), _mm_cmpeq_epi8(b, l1)));
        for (unsigned nBits = unsigned(_mm_movemask_epi8(m)); nBits != 0; nBits &= nBits - 1) {
            if (IsMatchAt(p, n, i + size_t(__builtin_ctz(nBits))))
                return true;
        }
    }
    if (bTrackHigh && _mm_movemask_epi8(high) != 0)
        nHigh |= 0x80;
#endif
    for (; i <= nLastStart; ++i) {
        const unsigned char c = uint8_t(p[i]);
        if (bTrackHigh)
            nHigh |= c;
        if ((c == m_first[0] || c == m_first[1]) && IsMatchAt(p, n, i))
            return true;
    }
    if (bTrackHigh)
        nHigh |= IsAsciiText(p + nLastStart + 1, nLen - 1) ? 0 : 0x80;
    return false;
}
