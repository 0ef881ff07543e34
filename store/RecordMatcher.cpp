#include "store/RecordMatcher.h"

#include "store/RegInfoObj.h"
#include "store/Wtf8.h"

#include <algorithm>
#include <charconv>

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

// The Description column's text, made as the record class makes it.
void DescriptionText(const SRecordView& v, const SDescriptionRecipe& recipe, std::string& out) {
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
    if (!pProgram->rules.isEmpty())
        m_pProgram = std::move(pProgram);
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
    if (rule.nRelation == REL_CONTAINS || rule.nRelation == REL_EXCLUDES)
        r.pContains = std::make_shared<CTextMatcher>(rule.strValue, false, false);
    return r;
}

bool CRecordMatcher::TextMatches(const SRule& r, std::string_view hay) {
    const bool bAscii = r.bAsciiNeedle && IsAsciiText(hay);
    switch (r.nRelation) {
    case REL_CONTAINS:
    case REL_EXCLUDES: {
        const bool bContains = r.strNeedle.isEmpty() || r.pContains->Matches(hay);
        return (r.nRelation == REL_CONTAINS) == bContains;
    }
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

// A description is made of the tuple, the recipe the values choose and the values it shows:
// when all of them are shared, the answer is kept under them.
bool CRecordMatcher::DescriptionPasses(const SRecordView& v) {
    const SDescriptionRecipe recipe =
        DescriptionRecipe(v.nFunType, v.bSuccess, v.oldValue.empty(), v.newValue.empty(),
                          !CRecordList::ValuesDiffer(v));
    const uint32_t nOld = DescriptionUsesOld(recipe) ? v.nOld : 0;
    const uint32_t nNew = DescriptionUsesNew(recipe) ? v.nNew : 0;
    const auto passes = [&] {
        DescriptionText(v, recipe, m_strScratch);
        SFields f;
        f.description = m_strScratch;
        return Passes(SRC_DESCRIPTION, f);
    };
    if (v.nTuple == NOT_SHARED || nOld == NOT_SHARED || nNew == NOT_SHARED)
        return passes();
    if (m_descriptions.empty())
        m_descriptions.resize(DESCRIPTION_SLOTS);
    const uint64_t nHash = HashBytes(
        std::string_view(reinterpret_cast<const char*>(&recipe.pBefore), sizeof(recipe.pBefore)),
        uint64_t(v.nTuple) << 40 ^ uint64_t(nOld) << 20 ^ nNew);
    SDescriptionSlot& slot = m_descriptions[nHash & (DESCRIPTION_SLOTS - 1)];
    if (slot.nTuple != v.nTuple || slot.nOld != nOld || slot.nNew != nNew ||
        slot.pRecipe != recipe.pBefore)
        slot = {v.nTuple, nOld, nNew, recipe.pBefore, passes()};
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
    return Matches(list, nIndex, list.Entry(nIndex));
}

// The cheap tests first: the numbers in the entry and the answers kept by id. The record's
// texts are read only when a rule needs one that is not shared.
bool CRecordMatcher::Matches(const CRecordList& list, long long nIndex, const SRecordEntry& e) {
    if (!m_pProgram)
        return true;
    const SProgram& p = *m_pProgram;
    if (p.Has(SRC_NUMBERS)) {
        SFields f;
        f.nSeq = e.nSeq;
        f.nPid = e.nPid;
        if (!Passes(SRC_NUMBERS, f))
            return false;
    }
    const bool bTupleInSegment = (e.nTuple & CRecordList::TUPLE_IN_SEGMENT) != 0;
    if (p.Has(SRC_TUPLE) && !bTupleInSegment && !TuplePasses(list, e.nTuple))
        return false;
    if (p.Has(SRC_OLD) && e.nOld != NOT_SHARED && !ValuePasses(list, SRC_OLD, e.nOld))
        return false;
    if (p.Has(SRC_NEW) && e.nNew != NOT_SHARED && !ValuePasses(list, SRC_NEW, e.nNew))
        return false;
    const bool bNeedView = (p.Has(SRC_TUPLE) && bTupleInSegment) ||
                           (p.Has(SRC_OLD) && e.nOld == NOT_SHARED) ||
                           (p.Has(SRC_NEW) && e.nNew == NOT_SHARED) || p.Has(SRC_PATH) ||
                           p.Has(SRC_TIME) || p.Has(SRC_DESCRIPTION);
    if (!bNeedView)
        return true;
    const SRecordView v = list.View(nIndex);
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
    if (p.Has(SRC_PATH) && !Passes(SRC_PATH, f))
        return false;
    if (p.Has(SRC_DESCRIPTION) && !DescriptionPasses(v))
        return false;
    return !p.Has(SRC_TIME) || TimePasses(v);
}
