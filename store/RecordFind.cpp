#include "store/RecordFind.h"

#include "store/RegInfoObj.h"
#include "store/Wtf8.h"

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
    m_bClockTime = m_matcher.CanMatchTextOf("0123456789:.");
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
    char sz[16];
    const auto result = std::to_chars(sz, sz + sizeof(sz), n);
    return m_matcher.MatchesAscii(sz, size_t(result.ptr - sz));
}

bool CRecordFinder::TimeMatches(const SRecordView& v) {
    if ((v.nTime & CRecordList::TIME_KIND_MASK) == CRecordList::TIME_IN_SEGMENT)
        return m_matcher.Matches(v.time);
    if (!m_bClockTime)
        return false;
    char sz[TIME_TEXT_LENGTH];
    const std::string_view time = CRecordList::TimeText(v, m_formatter, sz);
    return m_matcher.MatchesAscii(time.data(), time.size());
}

bool CRecordFinder::DescriptionTextMatches(const SRecordView& v, const SDescriptionRecipe& recipe) {
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
    m_strScratch.assign(recipe.pBefore);
    m_strScratch.append(arg(recipe.nArg1));
    m_strScratch.append(recipe.pBetween);
    m_strScratch.append(arg(recipe.nArg2));
    return m_matcher.Matches(m_strScratch);
}

// A description is made of the record's tuple (operation, success, result), the recipe its
// values choose, and the values the recipe shows: when all of them are shared, the answer is
// kept under them.
bool CRecordFinder::DescriptionMatches(const SRecordView& v) {
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
    if (IsAsciiText(v.path) ? m_matcher.MatchesAscii(v.path.data(), v.path.size())
                            : m_matcher.Matches(v.path))
        return true;
    if (m_bNumbers && (NumberMatches(v.nSeq) || NumberMatches(v.nPid)))
        return true;
    return TimeMatches(v) || DescriptionMatches(v);
}
