// The capture document: every captured record in arrival order, bounded, saved as .hvw.
#pragma once

#include "store/DisplayRows.h"
#include "store/RecordList.h"
#include "store/RegInfoObj.h"

#include <QString>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <functional>

class CArchive;
class CRecordFinder;
class IDocumentHost;

class CHivewatchDoc : public CObject {
public:
    CHivewatchDoc() = default;
    ~CHivewatchDoc() override;

    // The window that shows the document; without one the window steps are skipped.
    void SetHost(IDocumentHost* pHost) { m_pHost = pHost; }

    bool OnNewDocument();
    void Serialize(CArchive& ar) override;
    // Save and open report failures in pStrError, in words a user can act on.
    // A save goes through a temporary file that replaces the target only once every write,
    // the flush to disk and the close succeeded; a failed save leaves the old file, the
    // modified flag and m_bNewRecords as they were. Targets that are not regular files
    // (folders, FIFOs, devices) are refused before anything is written.
    bool OnSaveDocument(const QString& strPath, QString* pStrError = nullptr);
    // A damaged file (short, a negative count, bytes after the last record) fails the open;
    // the records read before the damage stay and the document is marked modified.
    // fnContinue, when given, is called every LOAD_STEP records with the number read and the
    // count, on the calling thread, with the records read so far shown (rows without a
    // filter; the filter's rows once all are read): it may let the window work. Returning
    // false ends the open as a failure whose records stay as a damaged file's do.
    using LoadProgressFn = std::function<bool(long long nDone, long long nTotal)>;
    static constexpr long long LOAD_STEP = 1 << 16;
    bool OnOpenDocument(const QString& strPath, QString* pStrError = nullptr,
                        const LoadProgressFn& fnContinue = {});

    bool IsModified() const { return m_bModified.load(std::memory_order_relaxed); }
    void SetModifiedFlag(bool bModified = true) { m_bModified.store(bModified); }

    // Appends copies of records at the tail, then trims to the history depth; the group goes
    // in under one hold of the record lock. The records are deleted: the document keeps them
    // in its own form.
    void AppendRecord(CRegInfoObj* pRecord) { AppendRecords(&pRecord, 1); }
    void AppendRecords(CRegInfoObj* const* ppRecords, size_t nCount);
    // The same for records decoded while the document was at generation nGeneration: when
    // it has been cleared or replaced since (New, Open, Clear Display), they belong to the
    // records that are gone and are only deleted. Returns the number appended.
    size_t AppendRecords(CRegInfoObj* const* ppRecords, size_t nCount, uint64_t nGeneration);
    // Counts the clears and loads; read it before decoding records meant for this document.
    uint64_t GetGeneration() const { return m_nGeneration.load(std::memory_order_acquire); }

    // The capture thread files the records of a driver buffer straight into the store, as a
    // group under one hold of g_RecordLock: BeginCaptureGroup (false, and nothing is to be
    // filed, when the document was cleared or replaced since nGeneration), AppendCaptured for
    // each record (it trims to the history depth read at the group's start), EndCaptureGroup.
    bool BeginCaptureGroup(uint64_t nGeneration);
    // PrepareCaptured may be called for the next record before this one is appended (see
    // CRecordList::PrepareCaptured).
    void PrepareCaptured(const SRecordFields& fields, bool bAscii,
                         CRecordList::SCapturedKeys& keys) const {
        m_listRecords.PrepareCaptured(fields, bAscii, keys);
    }
    void AppendCaptured(uint32_t nSeq, uint64_t nFileTime, int32_t nPid,
                        const SRecordFields& fields, const CRecordList::SCapturedKeys& keys) {
        m_listRecords.AppendCaptured(nSeq, nFileTime, nPid, fields, keys);
        m_rows.OnAppended(m_listRecords);
        TrimToDepth(m_nGroupDepth);
    }
    void AppendCaptured(uint32_t nSeq, uint64_t nFileTime, int32_t nPid,
                        const SRecordFields& fields) {
        m_listRecords.AppendCaptured(nSeq, nFileTime, nPid, fields);
        m_rows.OnAppended(m_listRecords);
        TrimToDepth(m_nGroupDepth);
    }
    void EndCaptureGroup();
    // Lets go of the nCount oldest records, with g_RecordLock held: for a writer that has them
    // in its file already and no other use for them.
    void RemoveHeadRecords(long long nCount) {
        if (nCount <= 0)
            return;
        m_listRecords.TrimTo(std::max(m_listRecords.GetCount() - nCount, 0LL));
        m_rows.OnHeadRemoved(m_listRecords);
        SyncCount();
    }

    // Clear Display: the list control and the records go; flags and capture stay.
    void ClearDisplay();

    // Readable without the lock (the refresh after a batch reads only these).
    int GetRecordCount() const { return m_nCount.load(std::memory_order_acquire); }
    // The records the event list shows: every record, or those the display filter passes.
    long long GetShownCount() const { return m_nShownCount.load(std::memory_order_acquire); }

    // ---- the display filter and the highlight ----
    // The event list's rows are the shown records, newest first: row r is the record at
    // shown position count - 1 - r, where positions count the shown records from the oldest.
    // Without a filter, positions are list indices. Each member takes g_RecordLock itself.

    // Shows only the records the rules pass (an empty list: every record, at once); records
    // that arrive later are tested as they come. nParts: threads to split the walk over (0:
    // as many as are worth it). False, nothing changed, when there is not enough memory.
    bool SetDisplayFilter(const CFilterRules& rules, int nParts = 0);
    bool IsFiltered() const;
    CFilterRules GetDisplayFilter() const;
    // How many records the rules would show, for a preview; nothing changes.
    long long CountShownBy(const CFilterRules& rules, int nParts = 0) const;
    // Rows of records these rules pass are painted in the highlight colour (none: no rules).
    void SetHighlightRules(const CFilterRules& rules);
    // The list index of the record in a row, or -1 when the row has none.
    long long IndexAtRow(long long nRow) const;
    // The row that shows the record at a list index, or -1 when it is not shown.
    long long RowOfIndex(long long nIndex) const;
    // The list index at a shown position (0: the oldest shown record), or -1.
    long long ShownIndexAt(long long nPos) const;
    // Calls fn with the list index of every shown record, oldest first, under one hold of
    // the lock (the capture waits meanwhile); fn returns false to stop.
    void ForEachShownIndex(const std::function<bool(long long nIndex)>& fn) const;
    // Memory the shown rows take beyond the records (nothing without a filter).
    size_t GetShownBytesHeld() const;

    // Copies of one record, for readers that must not depend on how records are kept
    // (list cells, details, jump, export lines). Each takes g_RecordLock itself (it is
    // re-entrant); false, leaving out as it was, when the index or row has no record.
    // pHighlighted, when given, tells whether the row is painted highlighted.
    bool CopyRecordAt(long long nIndex, CRegInfoObj& out) const;
    bool CopyRecordAtRow(long long nRow, CRegInfoObj& out, bool* pHighlighted = nullptr) const;

    // One Find step over the records shown, under g_RecordLock: examines the records next
    // to shown position nSelIndex, towards older ones (bDown) or newer ones, wrapping
    // around, the record at nSelIndex last. Returns the shown position of the first record
    // whose FindString matches, or -1 (without a filter, positions are list indices).
    // fnContinue, when given, is called every few hundred thousand records with the number
    // examined so far and the total, on the calling thread while no other thread reads the
    // records; returning false ends the search (-1). The records are examined on nParts
    // threads (0: as many as the machine's cores and the count are worth).
    using FindProgressFn = std::function<bool(long long nDone, long long nTotal)>;
    long long FindRecordIndex(const QString& strText, int bMatchCase, int bWholeWord,
                              long long nSelIndex, bool bDown,
                              const FindProgressFn& fnContinue = {}, int nParts = 0) const;

    // Writes only the records shown, as a save writes them all; the document's flags stay.
    bool SaveShownRecords(const QString& strPath, QString* pStrError = nullptr);

    // The records, oldest first; read and changed only under g_RecordLock.
    CRecordList m_listRecords;
    std::atomic<int> m_bNewRecords{0};

private:
    void StopCaptureAndClear(bool bKeepMemory = false);
    void ClearRecords(bool bKeepMemory = false); // with g_RecordLock held
    // Trims to a history depth of nDepth (0: none), with g_RecordLock held.
    void TrimToDepth(long long nDepth) {
        if (nDepth > 0 && m_listRecords.GetCount() > nDepth) {
            m_listRecords.TrimTo(nDepth);
            m_rows.OnHeadRemoved(m_listRecords);
        }
    }
    void StoreRecords(CArchive& ar);
    void StoreShownRecords(CArchive& ar) const;
    void LoadRecords(CArchive& ar);
    void OnLoadStep(long long nDone, long long nTotal);
    void ShowLoadedRecords();
    bool SaveTo(const QString& strPath, QString* pStrError, bool bShownOnly);
    void SyncCount() {
        m_nCount.store(int(m_listRecords.GetCount()), std::memory_order_release);
        m_nShownCount.store(m_rows.ShownCount(m_listRecords), std::memory_order_release);
    }

    IDocumentHost* m_pHost = nullptr;
    std::atomic<bool> m_bModified{false};
    std::atomic<int> m_nCount{0};
    std::atomic<long long> m_nShownCount{0};
    CDisplayRows m_rows; // under g_RecordLock
    std::atomic<uint64_t> m_nGeneration{0};
    const LoadProgressFn* m_pLoadProgress = nullptr; // during OnOpenDocument only
    int m_nNewRecordsWhenStored = 0; // m_bNewRecords as the last save's walk found it
    long long m_nGroupDepth = 0;     // the history depth of the capture group being filed
};
