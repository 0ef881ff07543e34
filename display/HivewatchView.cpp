#include "display/HivewatchView.h"

#include "dialogs/UserMessage.h"
#include "display/BaseHivewatchDlg.h"
#include "display/FindProgress.h"
#include "display/FindReplaceDialog.h"
#include "display/ViewFrame.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "store/RecordLock.h"

#include <QApplication>
#include <QVBoxLayout>

#include <utility>

CHivewatchView::CHivewatchView(CHivewatchDoc* pDoc, IViewFrame* pFrame, QWidget* pParent)
    : QWidget(pParent), m_pDoc(pDoc), m_pFrame(pFrame),
      m_nFindProgressDelayMs(CFindProgress::DEFAULT_DELAY_MS) {
    setObjectName(QStringLiteral("HivewatchView"));
    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    connect(&m_regeditJump, &CRegeditJump::finished, this, &CHivewatchView::OnRegeditFinished);
}

CHivewatchView::~CHivewatchView() {
    m_regeditJump.disconnect(this);
    EndWaitCursor();
}

void CHivewatchView::OnInitialUpdate() {
    if (m_pFrame)
        m_pFrame->SetMainView(this);
    if (!m_pListDlg) {
        m_pListDlg = new CBaseHivewatchDlg(m_pDoc, this);
        layout()->addWidget(m_pListDlg);
        connect(m_pListDlg, &CBaseHivewatchDlg::ShowDetails, this, &CHivewatchView::OnShowDetails);
        connect(m_pListDlg, &CBaseHivewatchDlg::RegeditJump, this, &CHivewatchView::JumpToRegedit);
        m_pListDlg->show();
        m_pListDlg->RefreshItemCount();
    }
    m_pListDlg->SetDlgBkColor(g_SetObj.m_clrBackground);
}

void CHivewatchView::DestroyListDlg() {
    if (!m_pListDlg)
        return;
    m_pListDlg->ClearListControl();
    delete m_pListDlg;
    m_pListDlg = nullptr;
}

void CHivewatchView::OnShowDetails() {
    if (!m_pListDlg || !m_pFrame)
        return;
    const qint64 nRow = m_pListDlg->GetSelectedRow();
    if (nRow >= 0)
        m_pFrame->ShowRecordDetails(nRow);
}

// ---- Find ----

void CHivewatchView::OnFind() {
    // Owned by the view as its parent; it deletes itself when the user closes it.
    auto* pDlg = new CFindReplaceDialog(this);
    pDlg->m_clrBackground = g_SetObj.m_clrBackground;
    connect(pDlg, &CFindReplaceDialog::FindReplace, this, &CHivewatchView::OnFindReplace);
    pDlg->Create(QString(), FR_DOWN);
}

qint64 CHivewatchView::OnFindReplace(const QString& strFindWhat, unsigned nFlags) {
    // The closing notice carries no FR_FINDNEXT. A Find Next that arrives while a long
    // search processes events waits for no one: the running search answers first.
    if (!(nFlags & FR_FINDNEXT) || m_bSearching || !m_pListDlg || !m_pDoc)
        return -1;
    m_bSearching = true;
    const qint64 nRow = SearchStep(strFindWhat, nFlags);
    m_bSearching = false;
    if (!m_strPendingJumpMessage.isEmpty())
        ShowMessage(this, std::exchange(m_strPendingJumpMessage, QString()), MSG_WARNING);
    return nRow;
}

qint64 CHivewatchView::SearchStep(const QString& strFindWhat, unsigned nFlags) {
    // Held for the whole step, so no record arrives or goes between the search and the
    // selection that maps its result to a row.
    CAutoLock lock(&g_RecordLock);
    const long long n = m_pDoc->GetShownCount();
    if (n == 0)
        return -1;
    qint64 nRow = m_pListDlg->GetSelectedRow();
    // Nothing selected, or a row whose record has just been trimmed away (the list shows
    // the smaller count at its next refresh): the search starts next to the top row. Rows
    // are the records shown, and so are the positions the search walks.
    if (nRow < 0 || nRow >= n)
        nRow = 0;
    const long long nSel = n - 1 - nRow;

    const uint64_t nGeneration = m_pDoc->GetGeneration();
    CFindProgress progress(this, strFindWhat, m_nFindProgressDelayMs);
    // Events processed while the progress shows could still replace the document (a file
    // handed over by a second start): the search then ends before it reads a record again.
    const auto fnContinue = [&](long long nDone, long long nTotal) {
        return progress.Continue(nDone, nTotal) && m_pDoc->GetGeneration() == nGeneration;
    };
    const long long nPos = m_pDoc->FindRecordIndex(strFindWhat, (nFlags & FR_MATCHCASE) ? 1 : 0,
                                                   (nFlags & FR_WHOLEWORD) ? 1 : 0, nSel,
                                                   (nFlags & FR_DOWN) != 0, fnContinue);
    if (nPos < 0 || m_pDoc->GetGeneration() != nGeneration)
        return -1;
    const qint64 nFound = n - 1 - nPos;
    // The list shows the count of its last refresh: records filed since are not rows of it
    // yet, and rows of records trimmed since are still there.
    if (m_pListDlg->GetListCtrl().GetItemCount() != n)
        m_pListDlg->RefreshItemCount();
    m_pListDlg->SelectRow(nFound);
    return nFound;
}

// ---- Regedit Jump ----

void CHivewatchView::JumpToRegedit() {
    if (!m_pListDlg || !m_pDoc || m_regeditJump.IsRunning())
        return;
    const qint64 nRow = m_pListDlg->GetSelectedRow();
    // The record is copied under the record lock (CopyRecordAtRow takes it); the editor is
    // driven without it. A row without a record (just trimmed) does nothing.
    CRegInfoObj record;
    if (nRow < 0 || !m_pDoc->CopyRecordAtRow(nRow, record))
        return;
    QString strValueName;
    const QString strKeyPath = record.GetKeyString(strValueName);
    if (!m_regeditJump.Start(strKeyPath, strValueName))
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_bWaitCursor = true;
}

void CHivewatchView::EndWaitCursor() {
    if (m_bWaitCursor) {
        m_bWaitCursor = false;
        QApplication::restoreOverrideCursor();
    }
}

void CHivewatchView::OnRegeditFinished(bool bOk, const QString& strMessage) {
    EndWaitCursor();
    if (bOk)
        return;
    // The message says what failed and what to do. A box opened from inside a search would
    // keep the record lock held until the user closed it.
    if (m_bSearching)
        m_strPendingJumpMessage = strMessage;
    else
        ShowMessage(this, strMessage, MSG_WARNING);
}
