#include "dialogs/Commands.h"

#include "dialogs/ExportWriter.h"
#include "dialogs/UserMessage.h"
#include "store/HivewatchDoc.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProgressDialog>

#include <memory>

namespace {

constexpr int PROGRESS_STEPS = 1000;
constexpr int PROGRESS_INTERVAL_MS = 100; // at most ten updates a second

// A modal progress dialog with Cancel, fed by the writer's progress calls. Showing it and
// updating it lets the window repaint; the capture thread waits for the record lock.
class CExportProgress {
public:
    CExportProgress(QWidget* pParent, const QString& strPath, int64_t nTotal)
        : m_dlg(QStringLiteral("Exporting %1 records to %2...").arg(nTotal).arg(strPath),
                QStringLiteral("Cancel"), 0, PROGRESS_STEPS, pParent) {
        m_dlg.setWindowTitle(QStringLiteral("Export"));
        m_dlg.setWindowModality(Qt::ApplicationModal);
        m_dlg.setAutoClose(false);
        m_dlg.setAutoReset(false);
        m_dlg.setMinimumDuration(0);
        m_dlg.show();
        QCoreApplication::processEvents();
        m_timer.start();
    }

    bool Update(int64_t nDone, int64_t nTotal) {
        if (m_timer.hasExpired(PROGRESS_INTERVAL_MS) && nTotal > 0) {
            m_timer.restart();
            m_dlg.setValue(int(std::min<int64_t>(nDone, nTotal) * PROGRESS_STEPS / nTotal));
            QCoreApplication::processEvents();
        }
        return !m_dlg.wasCanceled();
    }

private:
    QProgressDialog m_dlg;
    QElapsedTimer m_timer;
};

} // namespace

void WriteExportFile(QWidget* pParent, const CHivewatchDoc& doc, const QString& strPath,
                     int nExportScope, int64_t nProgressThreshold, bool bShownOnly) {
    std::unique_ptr<CExportProgress> pProgress;
    ExportProgress fnProgress;
    const int64_t nCount = bShownOnly ? doc.GetShownCount() : doc.GetRecordCount();
    if (nCount > nProgressThreshold) {
        pProgress = std::make_unique<CExportProgress>(pParent, strPath, nCount);
        fnProgress = [&pProgress](int64_t nDone, int64_t nTotal) {
            return pProgress->Update(nDone, nTotal);
        };
    }
    const SExportOutcome outcome = WriteCsv(doc, strPath, nExportScope, fnProgress, bShownOnly);
    pProgress.reset();
    switch (outcome.m_nStatus) {
    case SExportOutcome::EXPORT_FINISHED:
        ShowMessage(pParent, QStringLiteral("Finished"), MSG_INFORMATION);
        break;
    case SExportOutcome::EXPORT_CANCELLED:
        break; // the user stopped it; the file under the chosen name is as it was
    case SExportOutcome::EXPORT_NOT_CREATED:
        ShowMessage(pParent, QString::asprintf("File could not be created: %d\n", outcome.m_nCause),
                    MSG_ERROR);
        break;
    case SExportOutcome::EXPORT_NOT_WRITTEN:
        // Part of the file was written when the error came; the writer has removed it and
        // left the file under the chosen name as it was.
        ShowMessage(pParent,
                    QStringLiteral("File could not be written: %1\n%2")
                        .arg(outcome.m_nCause)
                        .arg(outcome.m_strWhy),
                    MSG_ERROR);
        break;
    }
}
