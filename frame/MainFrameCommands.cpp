// The main frame's command handlers and its duties towards the capture engine, the document
// and the view.
#include "frame/MainFrame.h"

#include "dialogs/Commands.h"
#include "display/BaseHivewatchDlg.h"
#include "display/DetailsText.h"
#include "display/HivewatchView.h"
#include "display/OutputWnd.h"
#include "frame/AppLook.h"
#include "frame/FilterCommands.h"
#include "frame/HelpWindow.h"
#include "frame/ShellOpenQueue.h"
#include "framework/DocManager.h"
#include "platform/FileNames.h"
#include "platform/RegularFile.h"
#include "store/HivewatchDoc.h"
#include "utils/ui/VexoAbout.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QSettings>
#include <QTimer>
#include <QWhatsThis>

#include <vector>

// ---- capture commands ----

void CMainFrame::OnStartCapture() {
    QString strError;
    bool bStarted = false;
    if (EnsureDriver())
        bStarted = m_engine.StartCapture(&strError);
    else
        strError = QStringLiteral("Capture could not be started: %1.").arg(m_strDriverProblem);
    UpdateCommandStates();
    if (!bStarted) {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Hivewatch"), strError, QMessageBox::Ok,
                        this);
        box.exec();
    }
}

void CMainFrame::OnStopCapture() {
    m_engine.SwitchCaptureOff();
    UpdateCommandStates();
}

void CMainFrame::OnClearDisplay() {
    m_pDoc->ClearDisplay();
    if (m_pFilters)
        m_pFilters->UpdateStatus();
}

void CMainFrame::OnExport() {
    RunExportCommand(this, *m_pDoc);
}

// The new filters reach the driver at the next Start Capture; the new colours show at once,
// even while no records arrive to repaint the list.
void CMainFrame::OnOptions() {
    RunOptionsCommand(this);
    if (m_pMainView && m_pMainView->GetListDlg())
        m_pMainView->GetListDlg()->GetListCtrl().viewport()->update();
}

// The dialogs store the target and its scope; "Capture now" starts capturing at once.
void CMainFrame::OnAttach() {
    if (RunAttachCommand(this))
        OnStartCapture();
}

void CMainFrame::OnOpenNewProgram() {
    if (RunOpenNewProgramCommand(this))
        OnStartCapture();
}

void CMainFrame::OnRegistryChanges() {
    if (!m_pDoc->IsFiltered()) {
        RunRegistryChangesCommand(this, *m_pDoc);
        return;
    }
    // With a display filter the changes are those of the records the list shows.
    std::vector<long long> arShown;
    m_pDoc->ForEachShownIndex([&](long long nIndex) {
        arShown.push_back(nIndex);
        return true;
    });
    RunRegistryChangesCommand(this, *m_pDoc, &arShown);
}

// ---- looks, help, about ----

void CMainFrame::OnApplicationLook(int nId) {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    SetAppLook(nId);
    ApplyAppLook(nId);
    if (const SAppLook* pLook = FindAppLook(nId))
        m_clrLook = pLook->clrLook;
    QSettings().setValue(QStringLiteral("ApplicationLook"), nId);
    g_SetObj.m_nAppLook = nId;
    if (m_pMainView && m_pMainView->GetListDlg())
        m_pMainView->GetListDlg()->SetDlgBkColor(m_clrLook);
    g_SetObj.m_clrBackground = m_clrLook;
    if (m_wndOutput)
        m_wndOutput->UpdateColors();
    if (!m_commands.isEmpty())
        UpdateCommandStates();
    QGuiApplication::restoreOverrideCursor();
}

void CMainFrame::OnAppAbout() {
    VexoAbout(QCoreApplication::applicationFilePath(), m_clrLook, this);
}

void CMainFrame::OnHelpFinder() {
    if (!m_pHelpWindow)
        m_pHelpWindow = new CHelpWindow(this);
    m_pHelpWindow->show();
    m_pHelpWindow->raise();
    m_pHelpWindow->activateWindow();
}

void CMainFrame::OnContextHelp() {
    QWhatsThis::enterWhatsThisMode();
}

// ---- documents from outside ----

void CMainFrame::OpenDocumentFromShell(const QString& strPath) {
    m_pOpenQueue->Add(strPath);
}

CShellOpenQueue* CMainFrame::CreateOpenQueue() {
    auto fnOpen = [this](const QString& strPath) {
        if (isMinimized())
            showMaximized();
        raise();
        activateWindow();
        if (m_pDocManager)
            m_pDocManager->OpenDocumentFile(strPath);
        UpdateCommandStates();
    };
    auto fnReport = [this](const QString& strText) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Hivewatch"),
                        PlatformReadableFileName(strText), QMessageBox::Ok, this);
        box.exec();
    };
    return new CShellOpenQueue(
        &PlatformCanReadRegularFile, fnOpen, fnReport,
        [] { return QApplication::activeModalWidget() != nullptr; }, this);
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* pEvent) {
    for (const QUrl& url : pEvent->mimeData()->urls()) {
        if (url.isLocalFile()) {
            pEvent->acceptProposedAction();
            return;
        }
    }
}

void CMainFrame::dropEvent(QDropEvent* pEvent) {
    for (const QUrl& url : pEvent->mimeData()->urls()) {
        if (!url.isLocalFile())
            continue;
        pEvent->acceptProposedAction();
        // Opened after the drop has finished, so the save prompt does not hold up the
        // program the file came from. The name's bytes come from the address itself: Qt's
        // own reading of it loses those that are not UTF-8.
        const QString strPath = PlatformFileNameFromBytes(
            QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
        QTimer::singleShot(0, this, [this, strPath] { OpenDocumentFromShell(strPath); });
        return;
    }
}

// ---- the capture engine's host ----

void CMainFrame::RefreshList() {
    m_refresh.Notify();
}

void CMainFrame::PostCloseNotice() {
    if (m_bDestroying)
        return;
    QMetaObject::invokeMethod(
        this, [this] { close(); }, Qt::QueuedConnection);
}

void CMainFrame::OnRefreshList() {
    RefreshItemCount();
    m_pDoc->SetModifiedFlag();
}

// ---- the document's host ----

void CMainFrame::SwitchCaptureOff() {
    m_engine.SwitchCaptureOff();
    if (!m_commands.isEmpty())
        UpdateCommandStates();
}

void CMainFrame::ClearListControl() {
    if (m_pMainView && m_pMainView->GetListDlg())
        m_pMainView->GetListDlg()->ClearListControl();
}

bool CMainFrame::HasListView() const {
    return m_pMainView && m_pMainView->GetListDlg();
}

void CMainFrame::RefreshItemCount() {
    if (m_pMainView && m_pMainView->GetListDlg())
        m_pMainView->GetListDlg()->RefreshItemCount();
    if (m_pFilters)
        m_pFilters->UpdateStatus();
}

// ---- the view's frame ----

void CMainFrame::SetMainView(CHivewatchView* pView) {
    m_pMainView = pView;
}

int CMainFrame::ShowRecordDetails(qint64 nRow) {
    // A row without a record (for a moment after a trim) leaves the pane as it was.
    CRegInfoObj record;
    if (m_wndOutput && m_pDoc->CopyRecordAtRow(nRow, record))
        m_wndOutput->SetDetailsText(BuildDetailsText(record));
    return 1;
}
