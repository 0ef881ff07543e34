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
// Records loaded between updates of the count other threads read.
constexpr long long LOAD_STEP = 1 << 16;

} // namespace

CHivewatchDoc::~CHivewatchDoc() {
    CAutoLock lock(&g_RecordLock);
    m_listRecords.RemoveAll();
    SyncCount();
}

void CHivewatchDoc::ClearRecords() {
    m_nGeneration.fetch_add(1, std::memory_order_acq_rel);
    m_listRecords.RemoveAll();
    SyncCount();
}

void CHivewatchDoc::StopCaptureAndClear() {
    CAutoLock lock(&g_RecordLock);
    if (m_pHost) {
        m_pHost->SwitchCaptureOff();
        m_pHost->ClearListControl();
    }
    ClearRecords();
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
            if (nDepth > 0)
                m_listRecords.TrimTo(nDepth);
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

bool CHivewatchDoc::CopyRecordAtRow(long long nRow, CRegInfoObj& out) const {
    CAutoLock lock(&g_RecordLock);
    return m_listRecords.GetRecord(m_listRecords.GetCount() - 1 - nRow, out);
}

long long CHivewatchDoc::FindRecordIndex(const QString& strText, int bMatchCase, int bWholeWord,
                                         long long nSelIndex, bool bDown,
                                         const FindProgressFn& fnContinue) const {
    constexpr long long PROGRESS_STEP = 1 << 18;
    CAutoLock lock(&g_RecordLock);
    const long long n = m_listRecords.GetCount();
    if (n == 0)
        return -1;
    CRecordFinder finder(m_listRecords, strText, bMatchCase, bWholeWord);
    for (long long i = 0; i < n; ++i) {
        if (fnContinue && i > 0 && i % PROGRESS_STEP == 0 && !fnContinue(i, n))
            return -1;
        // Down walks towards older records (lower indices), Up towards newer ones.
        const long long nStep = bDown ? -(1 + i) : (1 + i);
        const long long nCandidate = (((nSelIndex + nStep) % n) + n) % n;
        if (finder.Matches(nCandidate))
            return nCandidate;
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

// Records read before an error stay; the record that failed is not appended.
void CHivewatchDoc::LoadRecords(CArchive& ar) {
    StopCaptureAndClear();
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
        ShowLoadedRecords();
        throw;
    }
    ShowLoadedRecords();
}

void CHivewatchDoc::ShowLoadedRecords() {
    SyncCount();
    if (m_pHost && m_pHost->HasListView()) {
        m_pHost->RefreshItemCount();
        SetModifiedFlag();
    }
}

bool CHivewatchDoc::OnSaveDocument(const QString& strPath, QString* pStrError) {
    CSafeFile file(strPath);
    if (!file.Open()) {
        SetError(pStrError, file.ErrorText());
        return false;
    }
    m_nNewRecordsWhenStored = 0;
    QString strWhy;
    try {
        CArchive ar(&file, CArchive::store, ARCHIVE_BUFFER);
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
        CArchive ar(&file, CArchive::load, ARCHIVE_BUFFER);
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
