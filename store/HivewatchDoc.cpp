#include "store/HivewatchDoc.h"

#include "platform/RegularFile.h"
#include "platform/SafeFile.h"
#include "platform/WriteBehindFile.h"
#include "settings/SetObj.h"
#include "store/DocumentHost.h"
#include "store/RecordFind.h"
#include "store/RecordLoader.h"
#include "store/RecordLock.h"
#include "utils/Archive.h"
#include "utils/ParallelParts.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <vector>

namespace {

// The archive's buffer for saving and loading: large blocks for the file system.
constexpr int ARCHIVE_BUFFER = 1 << 20;
// Loading reads in smaller blocks: the bytes read are parsed while they are still in the cache.
constexpr int LOAD_BUFFER = 256 << 10;

} // namespace

CHivewatchDoc::~CHivewatchDoc() {
    CAutoLock lock(&g_RecordLock);
    m_listRecords.RemoveAll();
    SyncCount();
}

void CHivewatchDoc::ClearRecords(bool bKeepMemory) {
    m_nGeneration.fetch_add(1, std::memory_order_acq_rel);
    m_listRecords.RemoveAll(bKeepMemory);
    m_rows.OnCleared();
    SyncCount();
}

void CHivewatchDoc::StopCaptureAndClear(bool bKeepMemory) {
    CAutoLock lock(&g_RecordLock);
    if (m_pHost) {
        m_pHost->SwitchCaptureOff();
        m_pHost->ClearListControl();
    }
    ClearRecords(bKeepMemory);
}

bool CHivewatchDoc::OnNewDocument() {
    StopCaptureAndClear();
    return true;
}

size_t CHivewatchDoc::AppendRecords(CRegInfoObj* const* ppRecords, size_t nCount,
                                    uint64_t nGeneration) {
    CAutoLock lock(&g_RecordLock);
    if (nGeneration != GetGeneration()) {
        for (size_t i = 0; i < nCount; ++i)
            delete ppRecords[i];
        return 0;
    }
    AppendRecords(ppRecords, nCount);
    return nCount;
}

void CHivewatchDoc::AppendRecords(CRegInfoObj* const* ppRecords, size_t nCount) {
    if (nCount == 0)
        return;
    CAutoLock lock(&g_RecordLock);
    m_bNewRecords.store(1, std::memory_order_relaxed);
    // A depth of N keeps the N newest records; 0 means no bound.
    const int nDepth = g_SetObj.LoadHistoryDepth();
    size_t i = 0;
    try {
        for (; i < nCount; ++i) {
            std::unique_ptr<CRegInfoObj> pRecord(ppRecords[i]);
            m_listRecords.Append(*pRecord);
            m_rows.OnAppended(m_listRecords);
            TrimToDepth(nDepth);
        }
    } catch (const std::bad_alloc&) {
        // Out of memory: the records not appended are deleted; those appended stay.
        while (++i < nCount)
            delete ppRecords[i];
    }
    SyncCount();
}

bool CHivewatchDoc::BeginCaptureGroup(uint64_t nGeneration) {
    if (nGeneration != GetGeneration())
        return false;
    m_nGroupDepth = g_SetObj.LoadHistoryDepth();
    return true;
}

void CHivewatchDoc::EndCaptureGroup() {
    m_bNewRecords.store(1, std::memory_order_relaxed);
    SyncCount();
}

void CHivewatchDoc::ClearDisplay() {
    CAutoLock lock(&g_RecordLock);
    if (m_pHost)
        m_pHost->ClearListControl();
    ClearRecords();
}

bool CHivewatchDoc::CopyRecordAt(long long nIndex, CRegInfoObj& out) const {
    CAutoLock lock(&g_RecordLock);
    return m_listRecords.GetRecord(nIndex, out);
}

bool CHivewatchDoc::CopyRecordAtRow(long long nRow, CRegInfoObj& out, bool* pHighlighted) const {
    CAutoLock lock(&g_RecordLock);
    const long long nIndex =
        m_rows.IndexAt(m_listRecords, m_rows.ShownCount(m_listRecords) - 1 - nRow);
    if (!m_listRecords.GetRecord(nIndex, out))
        return false;
    if (pHighlighted)
        *pHighlighted = m_rows.IsHighlighted(m_listRecords, nIndex);
    return true;
}

// ---- the display filter and the highlight ----

bool CHivewatchDoc::SetDisplayFilter(const CFilterRules& rules, int nParts) {
    CAutoLock lock(&g_RecordLock);
    try {
        m_rows.SetFilter(m_listRecords, rules, nParts);
    } catch (const std::bad_alloc&) {
        return false;
    }
    SyncCount();
    return true;
}

bool CHivewatchDoc::IsFiltered() const {
    CAutoLock lock(&g_RecordLock);
    return m_rows.IsFiltered();
}

CFilterRules CHivewatchDoc::GetDisplayFilter() const {
    CAutoLock lock(&g_RecordLock);
    return m_rows.FilterRules();
}

long long CHivewatchDoc::CountShownBy(const CFilterRules& rules, int nParts) const {
    CAutoLock lock(&g_RecordLock);
    return CDisplayRows::CountPassing(m_listRecords, rules, nParts);
}

void CHivewatchDoc::SetHighlightRules(const CFilterRules& rules) {
    CAutoLock lock(&g_RecordLock);
    m_rows.SetHighlight(rules);
}

long long CHivewatchDoc::IndexAtRow(long long nRow) const {
    CAutoLock lock(&g_RecordLock);
    return m_rows.IndexAt(m_listRecords, m_rows.ShownCount(m_listRecords) - 1 - nRow);
}

long long CHivewatchDoc::RowOfIndex(long long nIndex) const {
    CAutoLock lock(&g_RecordLock);
    const long long nPos = m_rows.PositionOf(m_listRecords, nIndex);
    return nPos < 0 ? -1 : m_rows.ShownCount(m_listRecords) - 1 - nPos;
}

long long CHivewatchDoc::ShownIndexAt(long long nPos) const {
    CAutoLock lock(&g_RecordLock);
    return m_rows.IndexAt(m_listRecords, nPos);
}

void CHivewatchDoc::ForEachShownIndex(const std::function<bool(long long nIndex)>& fn) const {
    CAutoLock lock(&g_RecordLock);
    m_rows.ForEachShown(m_listRecords, 0, m_rows.ShownCount(m_listRecords), fn);
}

size_t CHivewatchDoc::GetShownBytesHeld() const {
    CAutoLock lock(&g_RecordLock);
    return m_rows.GetBytesHeld();
}

// ---- Find ----

namespace {

// Positions examined between two calls of the progress function; the parts' threads have all
// ended by then, so whatever the window does meanwhile never meets a search in flight.
constexpr long long FIND_ROUND = 1 << 18;
// How often a part looks whether an earlier part has found a match already.
constexpr long long FIND_BLOCK = 1 << 12;
// A part of fewer records would cost more in starting its thread than it saves.
constexpr long long MIN_FIND_PER_PART = 1 << 16;

// The order of examination is at most two runs of consecutive positions: Down from the one
// below the selection to the oldest, then from the newest to the selection; Up the other way.
// Step k of the search examines PositionAt(k).
struct SFindOrder {
    long long n, nSel;
    bool bDown;
    long long PositionAt(long long k) const {
        if (bDown)
            return k < nSel ? nSel - 1 - k : n - 1 - (k - nSel);
        const long long nFirstRun = n - 1 - nSel;
        return k < nFirstRun ? nSel + 1 + k : k - nFirstRun;
    }
};

void LowerTo(std::atomic<long long>& nBest, long long k) {
    long long nNow = nBest.load(std::memory_order_relaxed);
    while (k < nNow && !nBest.compare_exchange_weak(nNow, k, std::memory_order_relaxed)) {
    }
}

} // namespace

// Each round of steps is split over the parts, each with a finder of its own (answers kept by
// id are per thread); the first match in search order wins, so a part gives up as soon as an
// earlier step has matched.
long long CHivewatchDoc::FindRecordIndex(const QString& strText, int bMatchCase, int bWholeWord,
                                         long long nSelIndex, bool bDown,
                                         const FindProgressFn& fnContinue, int nParts) const {
    CAutoLock lock(&g_RecordLock);
    const long long n = m_rows.ShownCount(m_listRecords);
    if (n == 0)
        return -1;
    const SFindOrder order{n, ((nSelIndex % n) + n) % n, bDown};
    if (nParts <= 0)
        nParts = PartsFor(n, MIN_FIND_PER_PART);
    std::vector<std::unique_ptr<CRecordFinder>> finders;
    for (int i = 0; i < nParts; ++i)
        finders.push_back(
            std::make_unique<CRecordFinder>(m_listRecords, strText, bMatchCase, bWholeWord));
    std::atomic<long long> nBest{n};
    for (long long nRound = 0; nRound < n; nRound += FIND_ROUND) {
        if (fnContinue && nRound > 0 && !fnContinue(nRound, n))
            return -1;
        const long long nRoundSteps = std::min(FIND_ROUND, n - nRound);
        RunInParts(nRoundSteps, nParts, [&](int nPart, long long nFirst, long long nEnd) {
            CRecordFinder& finder = *finders[size_t(nPart)];
            for (long long k = nRound + nFirst; k < nRound + nEnd; ++k) {
                if (k % FIND_BLOCK == 0 && nBest.load(std::memory_order_relaxed) < k)
                    return;
                if (finder.Matches(m_rows.IndexAt(m_listRecords, order.PositionAt(k)))) {
                    LowerTo(nBest, k);
                    return;
                }
            }
        });
        if (nBest.load() < n)
            return order.PositionAt(nBest.load());
    }
    return -1;
}

void CHivewatchDoc::Serialize(CArchive& ar) {
    if (ar.IsStoring())
        StoreRecords(ar);
    else
        LoadRecords(ar);
}

namespace {

QString Capitalized(QString str) {
    if (!str.isEmpty())
        str[0] = str[0].toUpper();
    return str;
}

void SetError(QString* pStrError, const QString& str) {
    if (pStrError)
        *pStrError = Capitalized(str);
}

[[noreturn]] void ThrowDamaged(const char* pWhat) {
    throw CArchiveException(CArchiveException::badFormat, pWhat);
}

} // namespace

// The lock is held for the whole walk, so the count written is the count of records that
// follow it even while the capture appends and trims. The flag is taken under the same hold:
// records appended after the walk are not in the file and set it again.
void CHivewatchDoc::StoreRecords(CArchive& ar) {
    CAutoLock lock(&g_RecordLock);
    ar.WriteInt32(int32_t(m_listRecords.GetCount()));
    m_listRecords.Store(ar);
    m_nNewRecordsWhenStored = m_bNewRecords.exchange(0);
}

void CHivewatchDoc::StoreShownRecords(CArchive& ar) const {
    CAutoLock lock(&g_RecordLock);
    ar.WriteInt32(int32_t(m_rows.ShownCount(m_listRecords)));
    CTimeTextFormatter formatter;
    m_rows.ForEachShown(m_listRecords, 0, m_rows.ShownCount(m_listRecords), [&](long long i) {
        m_listRecords.StoreRecord(ar, i, formatter);
        return true;
    });
}

// Records read before an error stay; the record that failed is not appended. The memory of the
// records that go first is filled again by the records loaded (fresh memory would first be
// cleared by the system); what is left of it goes back at the end.
void CHivewatchDoc::LoadRecords(CArchive& ar) {
    StopCaptureAndClear(true);
    CAutoLock lock(&g_RecordLock);
    try {
        const int32_t nCount = ar.ReadInt32();
        if (nCount < 0)
            ThrowDamaged("the record count is negative");
        CRecordLoader loader(m_listRecords);
        loader.ExpectRecords(nCount);
        for (long long nDone = 0; nDone < nCount;) {
            const long long nStep = std::min<long long>(LOAD_STEP, nCount - nDone);
            loader.Load(ar, nStep);
            nDone += nStep;
            OnLoadStep(nDone, nCount);
        }
        if (ar.BytesRemaining() > 0)
            ThrowDamaged("more data follows the last record");
    } catch (...) {
        m_listRecords.ReleaseSpare();
        ShowLoadedRecords();
        throw;
    }
    m_listRecords.ReleaseSpare();
    ShowLoadedRecords();
}

namespace {
// Thrown through the load when its progress function asks to stop.
struct SLoadCancelled {};
} // namespace

// The rows read so far are shown before the progress function lets the window paint them;
// without a filter they are the records, with one they wait for the end (ShowLoadedRecords).
void CHivewatchDoc::OnLoadStep(long long nDone, long long nTotal) {
    SyncCount();
    if (!m_pLoadProgress)
        return;
    if (m_pHost && m_pHost->HasListView())
        m_pHost->RefreshItemCount();
    if (!(*m_pLoadProgress)(nDone, nTotal))
        throw SLoadCancelled();
}

void CHivewatchDoc::ShowLoadedRecords() {
    try {
        m_rows.Rescan(m_listRecords);
    } catch (const std::bad_alloc&) {
        // No room to keep the filtered rows: every record is shown instead.
        m_rows.SetFilter(m_listRecords, {});
    }
    SyncCount();
    if (m_pHost && m_pHost->HasListView()) {
        m_pHost->RefreshItemCount();
        SetModifiedFlag();
    }
}

bool CHivewatchDoc::OnSaveDocument(const QString& strPath, QString* pStrError) {
    return SaveTo(strPath, pStrError, false);
}

bool CHivewatchDoc::SaveShownRecords(const QString& strPath, QString* pStrError) {
    return SaveTo(strPath, pStrError, true);
}

bool CHivewatchDoc::SaveTo(const QString& strPath, QString* pStrError, bool bShownOnly) {
    CSafeFile file(strPath);
    if (!file.Open()) {
        SetError(pStrError, file.ErrorText());
        return false;
    }
    m_nNewRecordsWhenStored = 0;
    QString strWhy;
    try {
        {
            // The records are stored while a thread of the file's own copies the blocks
            // before them into it; it is done with the file when this block ends.
            CWriteBehindFile behind(file);
            CArchive ar(&behind, CArchive::store, ARCHIVE_BUFFER);
            if (bShownOnly)
                StoreShownRecords(ar);
            else
                Serialize(ar);
            ar.Close();
            if (!behind.Drain())
                strWhy = file.ErrorText();
        }
        if (strWhy.isEmpty() && !file.Commit())
            strWhy = file.ErrorText();
    } catch (const CArchiveException& e) {
        strWhy = file.ErrorText();
        if (strWhy.isEmpty())
            strWhy =
                QStringLiteral("cannot write %1: %2").arg(strPath, QString::fromUtf8(e.what()));
    }
    if (!strWhy.isEmpty()) {
        file.Discard();
        if (m_nNewRecordsWhenStored)
            m_bNewRecords.store(1); // the records are still unsaved
        SetError(pStrError, strWhy);
        return false;
    }
    if (!bShownOnly)
        SetModifiedFlag(false);
    return true;
}

bool CHivewatchDoc::OnOpenDocument(const QString& strPath, QString* pStrError,
                                   const LoadProgressFn& fnContinue) {
    // Only a regular file: a FIFO or a device named here would hold the program up for good.
    QString strWhy;
    const int fd = PlatformOpenRegularFile(strPath, &strWhy);
    QFile file;
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        SetError(pStrError, QStringLiteral("cannot open %1: %2").arg(strPath, strWhy));
        return false;
    }
    m_pLoadProgress = fnContinue ? &fnContinue : nullptr;
    const struct SEnd {
        const LoadProgressFn*& p;
        ~SEnd() { p = nullptr; }
    } end{m_pLoadProgress};
    try {
        CArchive ar(&file, CArchive::load, LOAD_BUFFER);
        Serialize(ar);
    } catch (const SLoadCancelled&) {
        SetError(pStrError, QStringLiteral("opening %1 was cancelled; the %2 records read before "
                                           "are kept, as a new document.")
                                .arg(strPath)
                                .arg(GetRecordCount()));
        SetModifiedFlag(GetRecordCount() > 0);
        return false;
    } catch (const CArchiveException& e) {
        SetError(pStrError, QStringLiteral("%1 is damaged (%2); %3 records were read before the "
                                           "damage and are kept.")
                                .arg(strPath, QString::fromUtf8(e.what()))
                                .arg(GetRecordCount()));
        SetModifiedFlag(GetRecordCount() > 0);
        return false;
    } catch (const std::bad_alloc&) {
        SetError(pStrError, QStringLiteral("there is not enough memory to open %1; the %2 records "
                                           "read are kept. Close other programs and open it "
                                           "again.")
                                .arg(strPath)
                                .arg(GetRecordCount()));
        SetModifiedFlag(GetRecordCount() > 0);
        return false;
    }
    SetModifiedFlag(false);
    return true;
}
