#include "store/HivewatchDoc.h"

#include "platform/RegularFile.h"
#include "platform/SafeFile.h"
#include "settings/SetObj.h"
#include "store/DocumentHost.h"
#include "store/RecordFind.h"
#include "store/RecordLoader.h"
#include "store/RecordLock.h"
#include "utils/Archive.h"

#include <QFile>

#include <algorithm>
#include <memory>
#include <new>

namespace {

// The archive's buffer for saving and loading: large blocks for the file system.
constexpr int ARCHIVE_BUFFER = 1 << 20;
// Loading reads in smaller blocks: the bytes read are parsed while they are still in the cache.
constexpr int LOAD_BUFFER = 256 << 10;
// Records loaded between updates of the count other threads read.
constexpr long long LOAD_STEP = 1 << 16;

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
constexpr long long FIND_PROGRESS_STEP = 1 << 18;
constexpr long long FIND_STOPPED = -2;
} // namespace

// Examines the shown positions nFrom, then one by one towards nTo, nTo included: the found
// position, -1 when none matches, FIND_STOPPED when fnContinue asked to stop.
long long CHivewatchDoc::FindInShown(CRecordFinder& finder, long long nFrom, long long nTo,
                                     long long& nExamined, long long nTotal,
                                     const FindProgressFn& fnContinue) const {
    const long long nStep = nTo >= nFrom ? 1 : -1;
    for (long long nPos = nFrom;; nPos += nStep) {
        if (fnContinue && nExamined > 0 && nExamined % FIND_PROGRESS_STEP == 0 &&
            !fnContinue(nExamined, nTotal))
            return FIND_STOPPED;
        ++nExamined;
        if (finder.Matches(m_rows.IndexAt(m_listRecords, nPos)))
            return nPos;
        if (nPos == nTo)
            return -1;
    }
}

// The order of examination is at most two runs of consecutive positions: Down from the one
// below the selection to the oldest, then from the newest to the selection; Up the other way.
long long CHivewatchDoc::FindRecordIndex(const QString& strText, int bMatchCase, int bWholeWord,
                                         long long nSelIndex, bool bDown,
                                         const FindProgressFn& fnContinue) const {
    CAutoLock lock(&g_RecordLock);
    const long long n = m_rows.ShownCount(m_listRecords);
    if (n == 0)
        return -1;
    const long long nSel = ((nSelIndex % n) + n) % n;
    CRecordFinder finder(m_listRecords, strText, bMatchCase, bWholeWord);
    long long nExamined = 0;
    long long nFound = -1;
    if (bDown) {
        if (nSel > 0)
            nFound = FindInShown(finder, nSel - 1, 0, nExamined, n, fnContinue);
        if (nFound == -1)
            nFound = FindInShown(finder, n - 1, nSel, nExamined, n, fnContinue);
    } else {
        if (nSel < n - 1)
            nFound = FindInShown(finder, nSel + 1, n - 1, nExamined, n, fnContinue);
        if (nFound == -1)
            nFound = FindInShown(finder, 0, nSel, nExamined, n, fnContinue);
    }
    return nFound < 0 ? -1 : nFound;
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
        for (long long nDone = 0; nDone < nCount; nDone += LOAD_STEP) {
            loader.Load(ar, std::min<long long>(LOAD_STEP, nCount - nDone));
            SyncCount();
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
        CArchive ar(&file, CArchive::store, ARCHIVE_BUFFER);
        if (bShownOnly)
            StoreShownRecords(ar);
        else
            Serialize(ar);
        ar.Close();
        if (!file.Commit())
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

bool CHivewatchDoc::OnOpenDocument(const QString& strPath, QString* pStrError) {
    // Only a regular file: a FIFO or a device named here would hold the program up for good.
    QString strWhy;
    const int fd = PlatformOpenRegularFile(strPath, &strWhy);
    QFile file;
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        SetError(pStrError, QStringLiteral("cannot open %1: %2").arg(strPath, strWhy));
        return false;
    }
    try {
        CArchive ar(&file, CArchive::load, LOAD_BUFFER);
        Serialize(ar);
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
