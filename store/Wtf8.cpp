#include "store/Wtf8.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr uint64_t HIGH_BITS = 0x8080808080808080ull;

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c < 0xDC00;
}
bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c < 0xE000;
}

// Appends the code point as UTF-8 (a lone surrogate's value included).
void AppendCodePoint(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        const char b[2] = {char(0xC0 | (c >> 6)), char(0x80 | (c & 0x3F))};
        out.append(b, 2);
    } else if (c < 0x10000) {
        const char b[3] = {char(0xE0 | (c >> 12)), char(0x80 | ((c >> 6) & 0x3F)),
                           char(0x80 | (c & 0x3F))};
        out.append(b, 3);
    } else {
        const char b[4] = {char(0xF0 | (c >> 18)), char(0x80 | ((c >> 12) & 0x3F)),
                           char(0x80 | ((c >> 6) & 0x3F)), char(0x80 | (c & 0x3F))};
        out.append(b, 4);
    }
}

// Calls f(unit) for every UTF-16 code unit the bytes stand for. Bytes this store never
// writes (a stray continuation byte, a cut sequence) come out as U+FFFD, never read past
// the end.
template <class F> void DecodeUnits(std::string_view s, F&& f) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const size_t n = s.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            f(char16_t(b));
            ++i;
            continue;
        }
        const size_t nLen = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 0;
        if (nLen == 0 || i + nLen > n) {
            f(char16_t(0xFFFD));
            ++i;
            continue;
        }
        uint32_t c = b & (0x7F >> nLen);
        for (size_t k = 1; k < nLen; ++k)
            c = (c << 6) | (p[i + k] & 0x3F);
        if (c >= 0x10000) {
            c -= 0x10000;
            f(char16_t(0xD800 | (c >> 10)));
            f(char16_t(0xDC00 | (c & 0x3FF)));
        } else {
            f(char16_t(c));
        }
        i += nLen;
    }
}

} // namespace

bool IsAsciiText(const char* p, size_t n) {
    uint64_t nOr = 0;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        nOr |= w;
    }
    for (; i < n; ++i)
        nOr |= uint8_t(p[i]);
    return (nOr & HIGH_BITS) == 0;
}

void AppendUtf16AsWtf8(std::string& out, const char16_t* p, size_t nUnits) {
    for (size_t i = 0; i < nUnits; ++i) {
        const char16_t c = p[i];
        if (c < 0x80) {
            out += char(c);
        } else if (IsHighSurrogate(c) && i + 1 < nUnits && IsLowSurrogate(p[i + 1])) {
            AppendCodePoint(out, 0x10000 + ((uint32_t(c) - 0xD800) << 10) + (p[i + 1] - 0xDC00));
            ++i;
        } else {
            AppendCodePoint(out, c);
        }
    }
}

// Short texts are the usual ones: whole steps of 16 or 8 units, the last step overlapping the
// one before it instead of a loop over the units left.
bool NarrowAsciiUtf16LE(const unsigned char* p, size_t nUnits, char* pOut) {
#if defined(__SSE2__)
    const __m128i notAscii = _mm_set1_epi16(int16_t(0xFF80));
    const __m128i zero = _mm_setzero_si128();
    const auto narrow16 = [&](size_t i) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * i + 16));
        const __m128i bad = _mm_or_si128(_mm_and_si128(a, notAscii), _mm_and_si128(b, notAscii));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pOut + i), _mm_packus_epi16(a, b));
        return _mm_movemask_epi8(_mm_cmpeq_epi8(bad, zero)) == 0xFFFF;
    };
    const auto narrow8 = [&](size_t i) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * i));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(pOut + i), _mm_packus_epi16(a, a));
        return _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(a, notAscii), zero)) == 0xFFFF;
    };
    if (nUnits >= 16) {
        bool bOk = true;
        for (size_t i = 0; i + 16 < nUnits; i += 16)
            bOk &= narrow16(i);
        return narrow16(nUnits - 16) && bOk;
    }
    if (nUnits >= 8)
        return narrow8(0) & narrow8(nUnits - 8);
#endif
    uint16_t nOr = 0;
    for (size_t i = 0; i < nUnits; ++i) {
        nOr |= uint16_t(p[2 * i] | p[2 * i + 1] << 8);
        pOut[i] = char(p[2 * i]);
    }
    return nOr < 0x80;
}

void AppendUtf16LEAsWtf8(std::string& out, const unsigned char* p, size_t nUnits) {
    std::u16string units(nUnits, u'\0');
    for (size_t k = 0; k < nUnits; ++k)
        units[k] = char16_t(p[2 * k] | (p[2 * k + 1] << 8));
    AppendUtf16AsWtf8(out, units.data(), units.size());
}

size_t Wtf8Utf16Length(std::string_view s) {
    if (IsAsciiText(s))
        return s.size();
    size_t n = 0;
    DecodeUnits(s, [&](char16_t) { ++n; });
    return n;
}

QString Wtf8ToQString(std::string_view s) {
    if (IsAsciiText(s))
        return QString::fromLatin1(s.data(), qsizetype(s.size()));
    QString str;
    str.reserve(qsizetype(s.size()));
    DecodeUnits(s, [&](char16_t c) { str.append(QChar(c)); });
    return str;
}

void Wtf8ToUtf16LE(std::string_view s, unsigned char* pOut) {
    if (IsAsciiText(s)) {
        for (size_t i = 0; i < s.size(); ++i) {
            pOut[2 * i] = uint8_t(s[i]);
            pOut[2 * i + 1] = 0;
        }
        return;
    }
    DecodeUnits(s, [&](char16_t c) {
        *pOut++ = uint8_t(c);
        *pOut++ = uint8_t(c >> 8);
    });
}
