#include "store/DisplayRows.h"

#include "utils/ParallelParts.h"

#include <vector>

namespace {

int PartsOf(const CRecordList& list, int nParts) {
    return nParts > 0 ? nParts : PartsFor(list.GetCount(), CDisplayRows::MIN_RECORDS_PER_PART);
}

// Calls fnPass(nIndex) for each record of nFirst .. nEnd - 1 that passes; the records' own
// bytes are handed to the matcher only when its rules read every record's.
template <class F>
void ForEachTested(const CRecordList& list, CRecordMatcher& m, long long nFirst, long long nEnd,
                   F&& fnPass) {
    if (m.NeedsSegments()) {
        list.ForEachRecord(nFirst, nEnd,
                           [&](long long i, const SRecordEntry& e, const unsigned char* pSegment) {
                               if (m.Matches(list, i, e, pSegment))
                                   fnPass(i);
                           });
    } else {
        list.ForEachEntry(nFirst, nEnd, [&](long long i, const SRecordEntry& e) {
            if (m.Matches(list, i, e, nullptr))
                fnPass(i);
        });
    }
}

} // namespace

// Each part walks its own records with its own copy of the rules (answers kept by id are per
// thread) into its own index; the parts are joined in order afterwards.
CShownIndex CDisplayRows::Scan(const CRecordList& list, CRecordMatcher& matcher, int nParts) {
    nParts = PartsOf(list, nParts);
    std::vector<CShownIndex> parts(static_cast<size_t>(nParts));
    const long long nHead = list.GetHeadPosition();
    RunInParts(list.GetCount(), nParts, [&](int nPart, long long nFirst, long long nEnd) {
        CShownIndex& shown = parts[size_t(nPart)];
        const auto append = [&](long long i) { shown.Append(nHead + i); };
        if (nPart == 0) {
            ForEachTested(list, matcher, nFirst, nEnd, append);
        } else {
            CRecordMatcher m(matcher); // the rules alone: answers are never copied
            ForEachTested(list, m, nFirst, nEnd, append);
        }
    });
    CShownIndex all = std::move(parts.front());
    for (size_t i = 1; i < parts.size(); ++i)
        all.Splice(std::move(parts[i]));
    return all;
}

void CDisplayRows::SetFilter(const CRecordList& list, const CFilterRules& rules, int nParts) {
    CRecordMatcher filter(rules);
    CShownIndex shown;
    if (!filter.IsEmpty())
        shown = Scan(list, filter, nParts);
    m_filter = std::move(filter);
    m_shown = std::move(shown);
}

void CDisplayRows::Rescan(const CRecordList& list, int nParts) {
    if (IsFiltered()) {
        m_filter.ResetAnswers();
        m_shown = Scan(list, m_filter, nParts);
    }
}

long long CDisplayRows::CountPassing(const CRecordList& list, const CFilterRules& rules,
                                     int nParts) {
    const CRecordMatcher matcher(rules);
    if (matcher.IsEmpty())
        return list.GetCount();
    nParts = PartsOf(list, nParts);
    std::vector<long long> counts(static_cast<size_t>(nParts), 0);
    RunInParts(list.GetCount(), nParts, [&](int nPart, long long nFirst, long long nEnd) {
        CRecordMatcher m(matcher);
        long long n = 0;
        ForEachTested(list, m, nFirst, nEnd, [&](long long) { ++n; });
        counts[size_t(nPart)] = n;
    });
    long long nTotal = 0;
    for (long long n : counts)
        nTotal += n;
    return nTotal;
}

void CDisplayRows::OnAppended(const CRecordList& list) {
    if (!IsFiltered())
        return;
    const long long nIndex = list.GetCount() - 1;
    if (nIndex >= 0 && m_filter.Matches(list, nIndex))
        m_shown.Append(list.GetHeadPosition() + nIndex);
}

void CDisplayRows::OnHeadRemoved(const CRecordList& list) {
    if (IsFiltered())
        m_shown.DropBefore(list.GetHeadPosition());
}

void CDisplayRows::OnCleared() {
    m_shown.Clear();
    m_filter.ResetAnswers();
    m_highlight.ResetAnswers();
}

long long CDisplayRows::IndexAt(const CRecordList& list, long long nPos) const {
    if (nPos < 0 || nPos >= ShownCount(list))
        return -1;
    return IsFiltered() ? m_shown.At(nPos) - list.GetHeadPosition() : nPos;
}

long long CDisplayRows::PositionOf(const CRecordList& list, long long nIndex) const {
    if (nIndex < 0 || nIndex >= list.GetCount())
        return -1;
    return IsFiltered() ? m_shown.Find(list.GetHeadPosition() + nIndex) : nIndex;
}

bool CDisplayRows::IsHighlighted(const CRecordList& list, long long nIndex) const {
    if (m_highlight.IsEmpty() || nIndex < 0 || nIndex >= list.GetCount())
        return false;
    return m_highlight.Matches(list, nIndex);
}
