#include "store/RecordFind.h"

#include "store/RegInfoObj.h"
#include "store/Wtf8.h"

#include <algorithm>
#include <charconv>

namespace {

constexpr uint32_t NOT_SHARED = CTextTable::NOT_SHARED;

} // namespace

CRecordFinder::CRecordFinder(const CRecordList& list, const QString& strText, int bMatchCase,
                             int bWholeWord)
    : m_list(list), m_texts(list.Texts()), m_matcher(strText, bMatchCase != 0, bWholeWord != 0),
      m_textAnswers(m_texts.TextCount(), -1), m_tupleAnswers(m_texts.TupleCount(), -1),
      m_descriptions(DESCRIPTION_SLOTS) {
    m_bNumbers = m_matcher.CanMatchTextOf("0123456789-");
    m_bClockTime = m_matcher.CanMatchShape("99:99:99.999");
    // A number of fewer digits than a search text of digits alone cannot hold it.
    if (m_bNumbers && strText.size() >= 2 &&
        std::all_of(strText.begin(), strText.end(),
                    [](QChar c) { return c.isDigit() && c.unicode() < 0x80; })) {
        m_nFewestDigitsValue = 1;
        for (qsizetype i = 1; i < strText.size() && m_nFewestDigitsValue <= INT32_MAX; ++i)
            m_nFewestDigitsValue *= 10;
    }
    for (int nCode = 0; nCode < REG_OPERATION_COUNT; ++nCode) {
        for (bool bSuccess : {false, true}) {
            bool& bCan = m_descriptionCanMatch[size_t(nCode)][bSuccess];
            for (int nCase = 0; nCase < 8 && !bCan; ++nCase)
                bCan = RecipeCanMatch(
                    DescriptionRecipe(nCode, bSuccess, nCase & 1, nCase & 2, nCase & 4));
        }
    }
}

// A description is the recipe's words with the record's texts between them. An occurrence
// that lies inside one of those texts alone is found in the text itself, which Matches
// examines first; any other shares a character with the words.
bool CRecordFinder::RecipeCanMatch(const SDescriptionRecipe& recipe) const {
    const auto wordsOf = [](EDescriptionArg nArg) -> std::string_view {
        switch (nArg) {
        case DESC_RESULT_OR_NO_RESULT:
            return DESC_NO_RESULT;
        case DESC_OLD_OR_NO_DATA:
        case DESC_NEW_OR_NO_DATA:
            return DESC_NO_DATA;
        default:
            return {};
        }
    };
    // Two texts side by side could hold an occurrence between them.
    if (recipe.nArg1 != DESC_NONE && recipe.nArg2 != DESC_NONE && *recipe.pBetween == 0)
        return true;
    // The parts in their order: the words, and the words an empty text is shown as. What
    // follows the last part that can hold anything is empty.
    const std::string_view parts[] = {recipe.pBefore, wordsOf(recipe.nArg1), recipe.pBetween,
                                      wordsOf(recipe.nArg2)};
    const EDescriptionArg args[] = {DESC_NONE, recipe.nArg1, DESC_NONE, recipe.nArg2};
    const size_t nParts = std::size(parts);
    size_t nLast = 0;
    for (size_t i = 0; i < nParts; ++i) {
        if (!parts[i].empty() || args[i] != DESC_NONE)
            nLast = i;
    }
    for (size_t i = 0; i < nParts; ++i) {
        if (m_matcher.CanOverlapAscii(parts[i], i == 0, i == nLast))
            return true;
    }
    return false;
}

bool CRecordFinder::TextMatches(uint32_t nId, std::string_view text) {
    if (nId == NOT_SHARED)
        return m_matcher.Matches(text);
    int8_t& nAnswer = m_textAnswers[nId];
    if (nAnswer < 0)
        nAnswer = m_matcher.Matches(text) ? 1 : 0;
    return nAnswer != 0;
}

bool CRecordFinder::TupleMatches(const SRecordView& v) {
    if (v.nTuple == NOT_SHARED)
        return m_matcher.Matches(v.process) || m_matcher.Matches(v.request) ||
               m_matcher.Matches(v.result);
    int8_t& nAnswer = m_tupleAnswers[v.nTuple];
    if (nAnswer < 0) {
        const STextTuple& t = m_texts.Tuple(v.nTuple);
        nAnswer = TextMatches(t.nProcess, v.process) || TextMatches(t.nRequest, v.request) ||
                          TextMatches(t.nResult, v.result)
                      ? 1
                      : 0;
    }
    return nAnswer != 0;
}

bool CRecordFinder::NumberMatches(int32_t n) const {
    if (int64_t(n) < m_nFewestDigitsValue && int64_t(n) > -m_nFewestDigitsValue)
        return false;
    char sz[16];
    const auto result = std::to_chars(sz, sz + sizeof(sz), n);
    return m_matcher.MatchesAscii(sz, size_t(result.ptr - sz));
}

// A few hundred processes make most records: their answers are kept by process ID.
bool CRecordFinder::PidMatches(int32_t nPid) {
    SPidSlot& slot = m_pids[uint32_t(nPid) % PID_SLOTS];
    if (!slot.bKnown || slot.nPid != nPid)
        slot = {nPid, true, NumberMatches(nPid)};
    return slot.bMatch;
}

// Records of the same millisecond have the same time text; a flood files many in a row.
bool CRecordFinder::TimeMatches(const SRecordView& v) {
    const uint64_t nKind = v.nTime & CRecordList::TIME_KIND_MASK;
    if (nKind == CRecordList::TIME_IN_SEGMENT)
        return m_matcher.Matches(v.time);
    if (!m_bClockTime)
        return false;
    const uint64_t nKey = nKind == CRecordList::TIME_CLOCK ? v.nTime : v.nTime / 10000;
    if (nKey != m_nLastTimeKey) {
        char sz[TIME_TEXT_LENGTH];
        const std::string_view time = CRecordList::TimeText(v, m_formatter, sz);
        m_bLastTimeMatch = m_matcher.MatchesAscii(time.data(), time.size());
        m_nLastTimeKey = nKey;
    }
    return m_bLastTimeMatch;
}

bool CRecordFinder::DescriptionTextMatches(const SRecordView& v, const SDescriptionRecipe& recipe) {
    CRecordList::DescriptionText(v, recipe, m_strScratch);
    return m_matcher.Matches(m_strScratch);
}

// A description is made of the record's tuple (operation, success, result), the recipe its
// values choose, and the values the recipe shows: when all of them are shared, the answer is
// kept under them.
bool CRecordFinder::DescriptionMatches(const SRecordView& v) {
    if (v.nFunType >= 0 && v.nFunType < REG_OPERATION_COUNT &&
        !m_descriptionCanMatch[size_t(v.nFunType)][v.bSuccess])
        return false;
    const SDescriptionRecipe recipe =
        DescriptionRecipe(v.nFunType, v.bSuccess, v.oldValue.empty(), v.newValue.empty(),
                          !CRecordList::ValuesDiffer(v));
    const uint32_t nOld = DescriptionUsesOld(recipe) ? v.nOld : 0;
    const uint32_t nNew = DescriptionUsesNew(recipe) ? v.nNew : 0;
    if (v.nTuple == NOT_SHARED || nOld == NOT_SHARED || nNew == NOT_SHARED)
        return DescriptionTextMatches(v, recipe);
    const uint64_t nHash = HashBytes(
        std::string_view(reinterpret_cast<const char*>(&recipe.pBefore), sizeof(recipe.pBefore)),
        uint64_t(v.nTuple) << 40 ^ uint64_t(nOld) << 20 ^ nNew);
    SDescriptionSlot& slot = m_descriptions[nHash & (DESCRIPTION_SLOTS - 1)];
    if (slot.nTuple != v.nTuple || slot.nOld != nOld || slot.nNew != nNew ||
        slot.pRecipe != recipe.pBefore)
        slot = {v.nTuple, nOld, nNew, recipe.pBefore, DescriptionTextMatches(v, recipe)};
    return slot.bMatch;
}

bool CRecordFinder::Matches(long long nIndex) {
    if (m_matcher.IsEmpty())
        return false;
    const SRecordView v = m_list.View(nIndex);
    if (TupleMatches(v) || TextMatches(v.nOld, v.oldValue) || TextMatches(v.nNew, v.newValue))
        return true;
    if (m_matcher.Matches(v.path))
        return true;
    if (m_bNumbers && (NumberMatches(v.nSeq) || PidMatches(v.nPid)))
        return true;
    return TimeMatches(v) || DescriptionMatches(v);
}
