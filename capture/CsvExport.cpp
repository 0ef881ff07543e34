#include "capture/CsvExport.h"

#include "capture/CsvLineWriter.h"

#include "platform/AnsiCodePage.h"
#include "platform/Clock.h"
#include "platform/SafeFile.h"
#include "platform/WriteBehindFile.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "store/RecordLock.h"
#include "store/Wtf8.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int64_t PROGRESS_CHECK_EVERY = 1024; // records between looks at the clock
constexpr int64_t PROGRESS_MAX_RECORDS = 100000;
constexpr uint32_t PROGRESS_INTERVAL_MS = 100;

// Calls the progress callback about ten times a second, or every PROGRESS_MAX_RECORDS.
class CProgressPacer {
public:
    CProgressPacer(const ExportProgressFn& fn, int64_t nTotal) : m_fn(fn), m_nTotal(nTotal) {}

    // False when the user cancelled.
    bool Step(int64_t nDone) {
        if (!m_fn || nDone % PROGRESS_CHECK_EVERY != 0)
            return true;
        const uint32_t nNow = PlatformTickCount();
        if (nDone - m_nLastDone < PROGRESS_MAX_RECORDS &&
            uint32_t(nNow - m_nLastTick) < PROGRESS_INTERVAL_MS)
            return true;
        m_nLastDone = nDone;
        m_nLastTick = nNow;
        return m_fn(nDone, m_nTotal);
    }
    void Finish() {
        if (m_fn)
            m_fn(m_nTotal, m_nTotal);
    }

private:
    const ExportProgressFn& m_fn;
    int64_t m_nTotal;
    int64_t m_nLastDone = 0;
    uint32_t m_nLastTick = PlatformTickCount();
};

} // namespace

bool IsRecordViewExported(const SRecordView& v, int nExportScope) {
    switch (nExportScope) {
    case EXPORT_WRITE:
        return IsWriteFunType(v.nFunType) && CRecordList::Modified(v);
    case EXPORT_MODIFIED:
        return CRecordList::Modified(v) != 0;
    default:
        return true;
    }
}

bool IsRecordExported(const CRegInfoObj& record, int nExportScope) {
    switch (nExportScope) {
    case EXPORT_WRITE:
        return record.IsWriteOpt() && record.Modified();
    case EXPORT_MODIFIED:
        return record.Modified() != 0;
    default:
        return true;
    }
}

SExportResult ExportCsv(const CHivewatchDoc& doc, const QString& strPath, int nExportScope) {
    return ExportCsv(doc, strPath, nExportScope, {});
}

SExportResult ExportCsv(const CHivewatchDoc& doc, const QString& strPath, int nExportScope,
                        const ExportProgressFn& fnProgress, bool bShownOnly) {
    SExportResult result;
    CSafeFile file(strPath);
    if (!file.Open()) {
        result.nCause = file.ErrorCause();
        result.strError = QStringLiteral("File could not be created: %1 (%2)")
                              .arg(result.nCause)
                              .arg(file.ErrorText());
        return result;
    }
    result.bCreated = true;
    bool bWriteOk = true;
    {
        // Lines are made while a thread of the file's own writes the ones before them.
        CWriteBehindFile behind(file);
        {
            CAutoLock lock(&g_RecordLock);
            const CRecordList& list = doc.m_listRecords;
            CCsvWriter writer(list);
            auto writeChunk = [&]() {
                const bool bOk =
                    behind.write(writer.Data(), qint64(writer.Size())) == qint64(writer.Size());
                writer.Clear();
                return bOk;
            };
            const long long nCount = bShownOnly ? doc.GetShownCount() : list.GetCount();
            CProgressPacer progress(fnProgress, nCount);
            long long nWalked = 0;
            // False ends the walk: a cancel or a write error.
            const auto exportOne = [&](long long i) {
                if (!progress.Step(nWalked++)) {
                    result.bCancelled = true;
                    return false;
                }
                const SRecordView v = list.View(i);
                if (!IsRecordViewExported(v, nExportScope))
                    return true;
                writer.AppendLine(i, v);
                ++result.nRecords;
                return writer.Size() < CSV_CHUNK_BYTES || (bWriteOk = writeChunk());
            };
            if (bShownOnly) {
                doc.ForEachShownIndex(exportOne);
            } else {
                for (long long i = 0; i < nCount; ++i) {
                    if (!exportOne(i))
                        break;
                }
            }
            if (bWriteOk && !result.bCancelled) {
                progress.Finish();
                bWriteOk = writeChunk();
            }
        }
        bWriteOk = behind.Drain() && bWriteOk; // the rest is written with the lock let go
    }
    if (result.bCancelled) {
        file.Discard();
        result.strError =
            QStringLiteral("The export was cancelled; %1 was left as it was.").arg(strPath);
        return result;
    }
    if (!bWriteOk || !file.Commit()) {
        file.Discard();
        result.nCause = file.ErrorCause();
        QString strWhy = file.ErrorText();
        if (strWhy.isEmpty())
            strWhy = QStringLiteral("cannot write %1").arg(strPath);
        strWhy[0] = strWhy[0].toUpper();
        result.strError = strWhy;
        return result;
    }
    result.bOk = true;
    return result;
}
