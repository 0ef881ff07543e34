// The search rule of Find: a text contains the searched one, with the case and whole-word
// choices, on UTF-16 texts and, with the same answers, on the store's UTF-8 bytes.
#pragma once

#include <QString>

#include <cstddef>
#include <string_view>

// Letters, digits and '_' make up words.
bool IsWordChar(QChar c);
bool ContainsText(const QString& strHay, const QString& strNeedle, Qt::CaseSensitivity cs,
                  bool bWholeWord);

// One search text prepared for many haystacks. ASCII haystacks are searched as bytes: an
// ASCII text can only contain the search text when the search text (case-folded unless the
// case must match) is ASCII too, and its bytes are then its UTF-16 code units. Other
// haystacks are converted and go through ContainsText.
class CTextMatcher {
public:
    CTextMatcher(const QString& strNeedle, bool bMatchCase, bool bWholeWord);

    bool IsEmpty() const { return m_strNeedle.isEmpty(); }
    bool Matches(std::string_view wtf8) const;
    bool Matches(const QString& str) const {
        return ContainsText(str, m_strNeedle, m_cs, m_bWholeWord);
    }
    // For a haystack known to be ASCII.
    bool MatchesAscii(const char* p, size_t n) const;
    // False when no text made only of the given ASCII characters can match.
    bool CanMatchTextOf(std::string_view chars) const;
    // False when no text of this shape ('9' stands for any digit, other characters, none of
    // them a letter, for themselves) can match.
    bool CanMatchShape(std::string_view shape) const;
    // False when no occurrence of the search text, in any text this ASCII text stands in
    // (at its start, at its end, or anywhere), can share a character with it (whatever the
    // case and whole-word rules).
    bool CanOverlapAscii(std::string_view fixed, bool bAtStart, bool bAtEnd) const;

private:
    bool IsMatchAt(const char* p, size_t n, size_t nAt) const;
    template <bool bTrackHigh> bool Scan(const char* p, size_t n, unsigned& nHigh) const;

    QString m_strNeedle;
    Qt::CaseSensitivity m_cs;
    bool m_bWholeWord;
    bool m_bAsciiNeedle = false; // the needle, folded when case does not matter, is ASCII
    std::string m_needle;        // those bytes, lower case when case does not matter
    unsigned char m_first[2] = {}, m_last[2] = {}; // both cases of the first and last byte
};
