#include "display/BaseHivewatchDlg.h"

#include "store/HivewatchDoc.h"

#include <QVBoxLayout>

CBaseHivewatchDlg::CBaseHivewatchDlg(const CHivewatchDoc* pDoc, QWidget* pParent)
    : CBaseDlg(pParent), m_pDoc(pDoc), m_wndList(pDoc, this) {
    setObjectName(QStringLiteral("BaseHivewatchDlg"));
    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->addWidget(&m_wndList);
    SetDlgBkColor(g_SetObj.m_clrBackground);
    connect(&m_wndList, &CMyListCtrl::ItemStateChanged, this, [this](qint64, bool bSelected) {
        // A deselection sends nothing: the details pane keeps the last record.
        if (bSelected)
            emit ShowDetails();
    });
    connect(&m_wndList, &CMyListCtrl::ItemDoubleClicked, this, [this] { emit RegeditJump(); });
    connect(&m_wndList, &CMyListCtrl::CellMenuRequested, this,
            &CBaseHivewatchDlg::CellMenuRequested);
}

void CBaseHivewatchDlg::SetDlgBkColor(COLORREF clr) {
    m_wndList.SetBkColor(clr);
    CBaseDlg::SetDlgBkColor(clr);
}

int CBaseHivewatchDlg::RefreshItemCount() {
    const qint64 nCount = m_pDoc ? m_pDoc->GetShownCount() : 0;
    if (nCount == m_wndList.GetItemCount())
        m_wndList.viewport()->update();
    else
        m_wndList.SetItemCount(nCount);
    return 1;
}

qint64 CBaseHivewatchDlg::GetSelectedRow() const {
    if (m_wndList.GetItemCount() <= 0)
        return -1;
    return m_wndList.GetFirstSelected();
}

void CBaseHivewatchDlg::SelectRow(qint64 nRow) {
    if (nRow < 0 || nRow >= m_wndList.GetItemCount())
        return;
    // Cleared first, so selecting the row already selected shows its details again.
    m_wndList.SetSelected(-1);
    m_wndList.SetSelected(nRow);
    m_wndList.EnsureVisible(nRow);
    m_wndList.setFocus(Qt::OtherFocusReason);
}

void CBaseHivewatchDlg::ClearListControl() {
    m_wndList.DeleteAllItems();
}
