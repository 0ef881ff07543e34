// Which of the document's records the event list shows, and which it paints highlighted.
#pragma once

#include "store/RecordMatcher.h"
#include "store/ShownIndex.h"

#include <algorithm>

// Without filter rules the list shows every record and row positions are list indices; with
// them it shows the records the rules pass, kept in a CShownIndex. A position counts the shown
// records from the oldest (0) on; the list shows position count - 1 - row in row r.
//
// Everything here runs with g_RecordLock held, on whichever thread holds it: the document
// calls the On... members as records arrive and go, so the shown records follow every
// append, trim and clear in the same hold of the lock.
class CDisplayRows {
public:
    // Records below this many per thread are tested on the calling thread alone.
    static constexpr long long MIN_RECORDS_PER_PART = 1 << 18;

    // Shows only the records the rules pass; an empty list shows every record again at once.
    // The store is walked once, split over nParts threads (0: as many as are worth it).
    // Throws std::bad_alloc, the rows shown as they were.
    void SetFilter(const CRecordList& list, const CFilterRules& rules, int nParts = 0);
    bool IsFiltered() const { return !m_filter.IsEmpty(); }
    const CFilterRules& FilterRules() const { return m_filter.Rules(); }
    // Tests the whole store again with the rules in force (after a load).
    void Rescan(const CRecordList& list, int nParts = 0);
    // How many records the rules would show, without showing them.
    static long long CountPassing(const CRecordList& list, const CFilterRules& rules,
                                  int nParts = 0);

    // The newest record has been appended: it is tested, in constant time.
    void OnAppended(const CRecordList& list);
    // Records have left the store's head (trimming).
    void OnHeadRemoved(const CRecordList& list);
    // The store has been emptied: nothing is shown, answers kept by text id are forgotten.
    void OnCleared();

    long long ShownCount(const CRecordList& list) const {
        return IsFiltered() ? m_shown.GetCount() : list.GetCount();
    }
    // The list index of the record at a position, or -1 when there is none.
    long long IndexAt(const CRecordList& list, long long nPos) const;
    // The position of the record at a list index, or -1 when it is not shown.
    long long PositionOf(const CRecordList& list, long long nIndex) const;
    // Calls fn(nIndex) with the list index of every shown record at the positions nFirst ..
    // nEnd - 1, oldest first; fn returns false to stop early.
    template <class F>
    void ForEachShown(const CRecordList& list, long long nFirst, long long nEnd, F&& fn) const {
        const long long nHead = list.GetHeadPosition();
        nEnd = std::min(nEnd, ShownCount(list));
        for (long long nPos = std::max(0ll, nFirst); nPos < nEnd; ++nPos) {
            if (!fn(IsFiltered() ? m_shown.At(nPos) - nHead : nPos))
                return;
        }
    }

    // The rows of records these rules pass are painted in the highlight colour; an empty
    // list highlights nothing.
    void SetHighlight(const CFilterRules& rules) { m_highlight = CRecordMatcher(rules); }
    const CFilterRules& HighlightRules() const { return m_highlight.Rules(); }
    bool IsHighlighted(const CRecordList& list, long long nIndex) const;

    // Memory for the shown records, beyond the store.
    size_t GetBytesHeld() const { return m_shown.GetBytesHeld(); }

private:
    // Part 0 is tested with matcher itself, so the answers it keeps serve the records that
    // arrive later; the other parts with copies of it.
    static CShownIndex Scan(const CRecordList& list, CRecordMatcher& matcher, int nParts);

    CRecordMatcher m_filter; // tests records as they arrive
    CShownIndex m_shown;
    // Asked at paint time, from const readers that hold the record lock.
    mutable CRecordMatcher m_highlight;
};
