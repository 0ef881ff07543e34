#include "display/HivewatchView.h"

#include "display/BaseHivewatchDlg.h"
#include "display/ViewFrame.h"
#include "settings/SetObj.h"

#include <QVBoxLayout>

CHivewatchView::CHivewatchView(CHivewatchDoc* pDoc, IViewFrame* pFrame, QWidget* pParent)
    : QWidget(pParent), m_pDoc(pDoc), m_pFrame(pFrame) {
    setObjectName(QStringLiteral("HivewatchView"));
    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
}

CHivewatchView::~CHivewatchView() = default;

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

void CHivewatchView::OnFind() {}

void CHivewatchView::JumpToRegedit() {}
