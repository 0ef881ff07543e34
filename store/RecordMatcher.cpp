#include "store/RecordMatcher.h"

#include "store/RegInfoObj.h"
#include "store/Wtf8.h"

#include <algorithm>
#include <charconv>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr uint32_t NOT_SHARED = CTextTable::NOT_SHARED;

unsigned char LowerAscii(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? c + 32 : c;
}

// Comparisons of an ASCII text with a needle already folded to lower case.
bool AsciiEqual(std::string_view hay, const std::string& needle) {
    if (hay.size() != needle.size())
        return false;
    for (size_t i = 0; i < hay.size(); ++i) {
        if (LowerAscii(uint8_t(hay[i])) != uint8_t(needle[i]))
            return false;
    }
    return true;
}

bool AsciiBeginsWith(std::string_view hay, const std::string& needle) {
    return hay.size() >= needle.size() && AsciiEqual(hay.substr(0, needle.size()), needle);
}

bool AsciiEndsWith(std::string_view hay, const std::string& needle) {
    return hay.size() >= needle.size() &&
           AsciiEqual(hay.substr(hay.size() - needle.size()), needle);
}

int AsciiCompare(std::string_view hay, const std::string& needle) {
    const size_t n = std::min(hay.size(), needle.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char a = LowerAscii(uint8_t(hay[i])), b = uint8_t(needle[i]);
        if (a != b)
            return a < b ? -1 : 1;
    }
    return hay.size() == needle.size() ? 0 : (hay.size() < needle.size() ? -1 : 1);
}

unsigned char UpperAscii(unsigned char c) {
    return c >= 'a' && c <= 'z' ? c - 32 : c;
}

bool FoldedEqualAt(const char* p, const std::string& needle) {
    for (size_t k = 0; k < needle.size(); ++k) {
        if (LowerAscii(uint8_t(p[k])) != uint8_t(needle[k]))
            return false;
    }
    return true;
}

// Whether hay holds an ASCII needle (folded to lower case) anywhere, ignoring case, reading
// the haystack once: 16 positions at a time where the needle's first and last bytes fit (the
// last 16 overlapping those before), the bytes that are not ASCII noticed on the way. A match
// among the bytes is a match in every form. Without one, *pbAscii says whether the haystack
// was ASCII: if not, QString must be asked, since a letter such as the Kelvin sign folds to an
// ASCII one.
bool ContainsAsciiNeedle(std::string_view hay, const std::string& needle, bool* pbAscii) {
    const char* p = hay.data();
    const size_t n = hay.size(), nLen = needle.size();
    const unsigned char f0 = uint8_t(needle.front()), f1 = UpperAscii(f0);
#if defined(__SSE2__)
    if (n >= nLen + 15) {
        // Blocks of 16 start positions; a holds their first bytes, b their last ones.
        const size_t nStarts = n - nLen + 1;
        const unsigned char l0 = uint8_t(needle.back()), l1 = UpperAscii(l0);
        const __m128i vf0 = _mm_set1_epi8(char(f0)), vf1 = _mm_set1_epi8(char(f1));
        const __m128i vl0 = _mm_set1_epi8(char(l0)), vl1 = _mm_set1_epi8(char(l1));
        unsigned nHigh = 0;
        for (size_t i = 0;; i += 16) {
            const size_t nAt = std::min(i, nStarts - 16);
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + nAt));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + nAt + nLen - 1));
            nHigh |= unsigned(_mm_movemask_epi8(_mm_or_si128(a, b)));
            const __m128i m =
                _mm_and_si128(_mm_or_si128(_mm_cmpeq_epi8(a, vf0), _mm_cmpeq_epi8(a, vf1)),
                              _mm_or_si128(_mm_cmpeq_epi8(b, vl0), _mm_cmpeq_epi8(b, vl1)));
            for (unsigned nBits = unsigned(_mm_movemask_epi8(m)); nBits != 0; nBits &= nBits - 1) {
                if (FoldedEqualAt(p + nAt + size_t(__builtin_ctz(nBits)), needle))
                    return true;
            }
            if (nAt + 16 >= nStarts)
                break;
        }
        // The blocks read bytes 0 .. nStarts - 1 and nLen - 1 .. n - 1: between them, if
        // anything, the middle of a haystack less than twice the needle's length.
        const size_t nGapFrom = nStarts, nGapEnd = nLen - 1;
        *pbAscii =
            nHigh == 0 && (nGapFrom >= nGapEnd || IsAsciiText(p + nGapFrom, nGapEnd - nGapFrom));
        return false;
    }
#endif
    unsigned nHigh = 0;
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = uint8_t(p[i]);
        nHigh |= c & 0x80;
        if ((c == f0 || c == f1) && i + nLen <= n && FoldedEqualAt(p + i, needle))
            return true;
    }
    *pbAscii = nHigh == 0;
    return false;
}

} // namespace

CRecordMatcher::CRecordMatcher(const CFilterRules& rules) {
    auto pProgram = std::make_shared<SProgram>();
    // Include rules of one column form one clause, in the order the columns first appear.
    std::array<int, FILTER_COLUMN_COUNT> includeClause;
    includeClause.fill(-1);
    for (const SFilterRule& rule : rules) {
        QString strWhy;
        if (!CheckFilterRule(rule, strWhy))
            continue;
        pProgram->rules.append(rule);
        auto& clauses = pProgram->clauses[size_t(SourceOf(rule.nColumn))];
        if (rule.nAction == FILTER_EXCLUDE) {
            clauses.push_back({true, {PrepareRule(rule)}});
            continue;
        }
        int& nClause = includeClause[size_t(rule.nColumn)];
        if (nClause < 0) {
            nClause = int(clauses.size());
            clauses.push_back({false, {}});
        }
        clauses[size_t(nClause)].arRules.push_back(PrepareRule(rule));
    }
    for (int n = 0; n < SOURCE_COUNT; ++n) {
        if (!pProgram->clauses[size_t(n)].empty())
            pProgram->nSources |= 1u << n;
    }
    CompareNumbers(*pProgram);
    if (!pProgram->rules.isEmpty())
        m_pProgram = std::move(pProgram);
}

void CRecordMatcher::CompareNumbers(SProgram& program) {
    for (const SClause& clause : program.clauses[SRC_NUMBERS]) {
        SNumberClause numbers{clause.bExclude, {}};
        for (const SRule& r : clause.arRules) {
            if (!IsNumericRelation(r.nRelation))
                return; // contains and the like read the number's text
            numbers.arTests.push_back({r.nColumn == FC_PID, r.nRelation, r.nNumber});
        }
        program.numbers.push_back(std::move(numbers));
    }
    program.bNumbersCompared = true;
}

bool CRecordMatcher::NumbersPass(const SProgram& program, int64_t nSeq, int64_t nPid) {
    for (const SNumberClause& clause : program.numbers) {
        bool bAny = false;
        for (const SNumberTest& t : clause.arTests) {
            const int64_t n = t.bPid ? nPid : nSeq;
            switch (t.nRelation) {
            case REL_IS:
                bAny = n == t.n;
                break;
            case REL_IS_NOT:
                bAny = n != t.n;
                break;
            case REL_LESS_THAN:
                bAny = n < t.n;
                break;
            default:
                bAny = n > t.n;
                break;
            }
            if (bAny)
                break;
        }
        if (bAny == clause.bExclude)
            return false;
    }
    return true;
}

CRecordMatcher::CRecordMatcher(const CRecordMatcher& other) : m_pProgram(other.m_pProgram) {}

CRecordMatcher& CRecordMatcher::operator=(const CRecordMatcher& other) {
    if (this != &other) {
        m_pProgram = other.m_pProgram;
        ResetAnswers();
    }
    return *this;
}

const CFilterRules& CRecordMatcher::Rules() const {
    static const CFilterRules s_none;
    return m_pProgram ? m_pProgram->rules : s_none;
}

void CRecordMatcher::ResetAnswers() {
    m_tupleAnswers.clear();
    m_oldAnswers.clear();
    m_newAnswers.clear();
    m_descriptions.clear();
}

CRecordMatcher::ESource CRecordMatcher::SourceOf(EFilterColumn nColumn) {
    switch (nColumn) {
    case FC_SEQ:
    case FC_PID:
        return SRC_NUMBERS;
    case FC_PROCESS:
    case FC_REQUEST:
    case FC_RESULT:
        return SRC_TUPLE;
    case FC_OLD_VALUE:
        return SRC_OLD;
    case FC_NEW_VALUE:
        return SRC_NEW;
    case FC_PATH:
        return SRC_PATH;
    case FC_TIME:
        return SRC_TIME;
    default:
        return SRC_DESCRIPTION;
    }
}

// The needle folded as CTextMatcher folds it: an ASCII haystack is then compared byte by byte,
// any other through QString with the rule's own text.
CRecordMatcher::SRule CRecordMatcher::PrepareRule(const SFilterRule& rule) {
    SRule r;
    r.nColumn = rule.nColumn;
    r.nRelation = rule.nRelation;
    r.strNeedle = rule.strValue;
    r.bAsciiNeedle = true;
    for (QChar c : rule.strValue) {
        const char16_t u = c.toCaseFolded().unicode();
        if (u >= 0x80) {
            r.bAsciiNeedle = false;
            break;
        }
        r.needleAscii += char(LowerAscii(uint8_t(u)));
    }
    if (IsNumberColumn(rule.nColumn) && IsNumericRelation(rule.nRelation))
        FilterRuleNumber(rule.strValue, r.nNumber);
    return r;
}

bool CRecordMatcher::TextMatches(const SRule& r, std::string_view hay) {
    if (r.nRelation == REL_CONTAINS || r.nRelation == REL_EXCLUDES) {
        bool bContains = r.strNeedle.isEmpty();
        if (!bContains) {
            bool bAscii = false;
            if (r.bAsciiNeedle)
                bContains = ContainsAsciiNeedle(hay, r.needleAscii, &bAscii);
            else
                bAscii = IsAsciiText(hay); // a needle that is not ASCII is in no ASCII text
            if (!bContains && !bAscii)
                bContains = Wtf8ToQString(hay).contains(r.strNeedle, Qt::CaseInsensitive);
        }
        return (r.nRelation == REL_CONTAINS) == bContains;
    }
    const bool bAscii = r.bAsciiNeedle && IsAsciiText(hay);
    switch (r.nRelation) {
    case REL_IS:
    case REL_IS_NOT: {
        const bool bEqual = bAscii
                                ? AsciiEqual(hay, r.needleAscii)
                                : Wtf8ToQString(hay).compare(r.strNeedle, Qt::CaseInsensitive) == 0;
        return (r.nRelation == REL_IS) == bEqual;
    }
    case REL_BEGINS_WITH:
        return bAscii ? AsciiBeginsWith(hay, r.needleAscii)
                      : Wtf8ToQString(hay).startsWith(r.strNeedle, Qt::CaseInsensitive);
    case REL_ENDS_WITH:
        return bAscii ? AsciiEndsWith(hay, r.needleAscii)
                      : Wtf8ToQString(hay).endsWith(r.strNeedle, Qt::CaseInsensitive);
    case REL_LESS_THAN:
    case REL_MORE_THAN: {
        const int nCmp = bAscii ? AsciiCompare(hay, r.needleAscii)
                                : Wtf8ToQString(hay).compare(r.strNeedle, Qt::CaseInsensitive);
        return r.nRelation == REL_LESS_THAN ? nCmp < 0 : nCmp > 0;
    }
    default:
        return false;
    }
}

bool CRecordMatcher::RuleMatches(const SRule& r, const SFields& f) {
    switch (r.nColumn) {
    case FC_SEQ:
    case FC_PID: {
        const int64_t n = r.nColumn == FC_SEQ ? f.nSeq : f.nPid;
        switch (r.nRelation) {
        case REL_IS:
            return n == r.nNumber;
        case REL_IS_NOT:
            return n != r.nNumber;
        case REL_LESS_THAN:
            return n < r.nNumber;
        case REL_MORE_THAN:
            return n > r.nNumber;
        default: {
            // Contains, begins and ends with: on the number as the list writes it.
            char sz[24];
            const auto res = std::to_chars(sz, sz + sizeof(sz), n);
            return TextMatches(r, std::string_view(sz, size_t(res.ptr - sz)));
        }
        }
    }
    case FC_TIME:
        return TextMatches(r, f.time);
    case FC_PROCESS:
        return TextMatches(r, f.process);
    case FC_REQUEST:
        return TextMatches(r, f.request);
    case FC_PATH:
        return TextMatches(r, f.path);
    case FC_DESCRIPTION:
        return TextMatches(r, f.description);
    case FC_RESULT:
        return TextMatches(r, f.result);
    case FC_OLD_VALUE:
        return TextMatches(r, f.oldValue);
    case FC_NEW_VALUE:
        return TextMatches(r, f.newValue);
    default:
        return false;
    }
}

bool CRecordMatcher::ClausesPass(const std::vector<SClause>& clauses, const SFields& f) {
    for (const SClause& clause : clauses) {
        bool bAny = false;
        for (const SRule& r : clause.arRules) {
            if (RuleMatches(r, f)) {
                bAny = true;
                break;
            }
        }
        if (bAny == clause.bExclude)
            return false;
    }
    return true;
}

bool CRecordMatcher::PathPasses(std::string_view path) const {
    for (const SClause& clause : m_pProgram->clauses[SRC_PATH]) {
        bool bAny = false;
        for (const SRule& r : clause.arRules) {
            if (TextMatches(r, path)) {
                bAny = true;
                break;
            }
        }
        if (bAny == clause.bExclude)
            return false;
    }
    return true;
}

bool CRecordMatcher::KeptAnswer(std::vector<int8_t>& answers, uint32_t nId, size_t nSize,
                                ESource nSource, const SFields& f) {
    if (answers.size() <= nId)
        answers.resize(std::max<size_t>(nSize, size_t(nId) + 1), -1);
    int8_t& nAnswer = answers[nId];
    if (nAnswer < 0)
        nAnswer = Passes(nSource, f) ? 1 : 0;
    return nAnswer != 0;
}

bool CRecordMatcher::TuplePasses(const CRecordList& list, uint32_t nTuple) {
    if (nTuple < m_tupleAnswers.size() && m_tupleAnswers[nTuple] >= 0)
        return m_tupleAnswers[nTuple] != 0;
    const CTextTable& texts = list.Texts();
    const STextTuple& t = texts.Tuple(nTuple);
    SFields f;
    f.process = texts.Text(t.nProcess);
    f.request = texts.Text(t.nRequest);
    f.result = texts.Text(t.nResult);
    return KeptAnswer(m_tupleAnswers, nTuple, texts.TupleCount(), SRC_TUPLE, f);
}

bool CRecordMatcher::ValuePasses(const CRecordList& list, ESource nSource, uint32_t nId) {
    std::vector<int8_t>& answers = nSource == SRC_OLD ? m_oldAnswers : m_newAnswers;
    if (nId < answers.size() && answers[nId] >= 0)
        return answers[nId] != 0;
    SFields f;
    (nSource == SRC_OLD ? f.oldValue : f.newValue) = list.Texts().Text(nId);
    return KeptAnswer(answers, nId, list.Texts().TextCount(), nSource, f);
}

// A description is made of fixed words and at most two texts: the result, the old or the new
// value. When those are shared, the answer is kept under the words and the texts' ids, which
// many records of many processes have in common.
bool CRecordMatcher::DescriptionPasses(const CRecordList& list, const SRecordView& v) {
    const SDescriptionRecipe recipe =
        DescriptionRecipe(v.nFunType, v.bSuccess, v.oldValue.empty(), v.newValue.empty(),
                          !CRecordList::ValuesDiffer(v));
    const auto argId = [&](EDescriptionArg nArg) -> uint32_t {
        switch (nArg) {
        case DESC_RESULT_OR_NO_RESULT:
            return v.nTuple == NOT_SHARED ? NOT_SHARED : list.Texts().Tuple(v.nTuple).nResult;
        case DESC_OLD:
        case DESC_OLD_OR_NO_DATA:
            return v.nOld;
        case DESC_NEW:
        case DESC_NEW_OR_NO_DATA:
            return v.nNew;
        case DESC_NONE:
            break;
        }
        return 0;
    };
    const auto passes = [&] {
        CRecordList::DescriptionText(v, recipe, m_strScratch);
        SFields f;
        f.description = m_strScratch;
        return Passes(SRC_DESCRIPTION, f);
    };
    const uint32_t nArg1 = argId(recipe.nArg1), nArg2 = argId(recipe.nArg2);
    if (nArg1 == NOT_SHARED || nArg2 == NOT_SHARED)
        return passes();
    if (m_descriptions.empty())
        m_descriptions.resize(DESCRIPTION_SLOTS);
    const uint64_t nHash = HashBytes(
        std::string_view(reinterpret_cast<const char*>(&recipe.pBefore), sizeof(recipe.pBefore)),
        uint64_t(nArg1) << 32 ^ nArg2);
    SDescriptionSlot& slot = m_descriptions[nHash & (DESCRIPTION_SLOTS - 1)];
    if (slot.pRecipe != recipe.pBefore || slot.nArg1 != nArg1 || slot.nArg2 != nArg2)
        slot = {recipe.pBefore, nArg1, nArg2, passes()};
    return slot.bPass;
}

bool CRecordMatcher::TimePasses(const SRecordView& v) {
    char sz[TIME_TEXT_LENGTH];
    SFields f;
    f.time = CRecordList::TimeText(v, m_formatter, sz);
    return Passes(SRC_TIME, f);
}

bool CRecordMatcher::Matches(const CRecordList& list, long long nIndex) {
    if (!m_pProgram)
        return true;
    return Matches(list, nIndex, list.Entry(nIndex), nullptr);
}

bool CRecordMatcher::NeedsSegments() const {
    return m_pProgram && (m_pProgram->Has(SRC_PATH) || m_pProgram->Has(SRC_TIME) ||
                          m_pProgram->Has(SRC_DESCRIPTION));
}

// The cheap tests first: the numbers in the entry and the answers kept by id. The record's
// own bytes are read only when a rule needs a text that is not shared, and then no more of
// them than needed: a rule on the path alone reads the path alone.
bool CRecordMatcher::Matches(const CRecordList& list, long long nIndex, const SRecordEntry& e,
                             const unsigned char* pSegment) {
    if (!m_pProgram)
        return true;
    const SProgram& p = *m_pProgram;
    if (p.Has(SRC_NUMBERS)) {
        if (p.bNumbersCompared) {
            if (!NumbersPass(p, e.nSeq, e.nPid))
                return false;
        } else {
            SFields f;
            f.nSeq = e.nSeq;
            f.nPid = e.nPid;
            if (!Passes(SRC_NUMBERS, f))
                return false;
        }
    }
    const bool bTupleInSegment = (e.nTuple & CRecordList::TUPLE_IN_SEGMENT) != 0;
    if (p.Has(SRC_TUPLE) && !bTupleInSegment && !TuplePasses(list, e.nTuple))
        return false;
    if (p.Has(SRC_OLD) && e.nOld != NOT_SHARED && !ValuePasses(list, SRC_OLD, e.nOld))
        return false;
    if (p.Has(SRC_NEW) && e.nNew != NOT_SHARED && !ValuePasses(list, SRC_NEW, e.nNew))
        return false;
    const bool bNeedView =
        (p.Has(SRC_TUPLE) && bTupleInSegment) || (p.Has(SRC_OLD) && e.nOld == NOT_SHARED) ||
        (p.Has(SRC_NEW) && e.nNew == NOT_SHARED) || p.Has(SRC_TIME) || p.Has(SRC_DESCRIPTION);
    if (!bNeedView && !p.Has(SRC_PATH))
        return true;
    if (!pSegment)
        pSegment = list.Segment(nIndex);
    if (!bNeedView)
        return PathPasses(CRecordList::PathOf(pSegment));
    const SRecordView v = list.ViewOf(e, pSegment);
    SFields f;
    f.process = v.process;
    f.request = v.request;
    f.result = v.result;
    f.oldValue = v.oldValue;
    f.newValue = v.newValue;
    f.path = v.path;
    if (p.Has(SRC_TUPLE) && bTupleInSegment && !Passes(SRC_TUPLE, f))
        return false;
    if (p.Has(SRC_OLD) && e.nOld == NOT_SHARED && !Passes(SRC_OLD, f))
        return false;
    if (p.Has(SRC_NEW) && e.nNew == NOT_SHARED && !Passes(SRC_NEW, f))
        return false;
    if (p.Has(SRC_PATH) && !PathPasses(v.path))
        return false;
    if (p.Has(SRC_DESCRIPTION) && !DescriptionPasses(list, v))
        return false;
    return !p.Has(SRC_TIME) || TimePasses(v);
}
