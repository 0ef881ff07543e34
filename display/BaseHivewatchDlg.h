// The event list's host panel: owns the list control and turns its notices into view requests.
#pragma once

#include "display/BaseDlg.h"
#include "display/MyListCtrl.h"

class CHivewatchDoc;

class CBaseHivewatchDlg : public CBaseDlg {
    Q_OBJECT
public:
    explicit CBaseHivewatchDlg(const CHivewatchDoc* pDoc, QWidget* pParent = nullptr);

    // The list control's background first, then the panel's.
    void SetDlgBkColor(COLORREF clr) override;

    // Shows the document's count of shown records: a changed count sets the item count (rows
    // come or go at the end); an unchanged one repaints the visible rows. Returns 1.
    int RefreshItemCount();
    // The first selected row, or -1.
    qint64 GetSelectedRow() const;
    // Selects and focuses one row, scrolls it into view and gives the list the keyboard.
    void SelectRow(qint64 nRow);
    // Empties the list control: no items, item count 0.
    void ClearListControl();

    CMyListCtrl& GetListCtrl() { return m_wndList; }

signals:
    void ShowDetails(); // the selection changed to a row
    void RegeditJump(); // a row was double-clicked
    // The user asked for a cell's menu (right button or menu key) at a global position.
    void CellMenuRequested(qint64 nRow, int nColumn, const QPoint& ptGlobal);

private:
    const CHivewatchDoc* m_pDoc;
    CMyListCtrl m_wndList;
};
