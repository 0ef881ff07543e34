// The event list control: a virtual list that paints only its visible rows from a 64-bit count.
#pragma once

#include "display/EventListModel.h"
#include "settings/SetObj.h"

#include <QAbstractScrollArea>

class CHivewatchDoc;
class QHeaderView;
class QStandardItemModel;

// It keeps no state per row: a row count, the top row, one selected row. Each paint asks the
// model for the visible rows only, one record copy per row.
class CMyListCtrl : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit CMyListCtrl(const CHivewatchDoc* pDoc, QWidget* pParent = nullptr);
    ~CMyListCtrl() override;

    CEventListModel* GetModel() { return &m_model; }
    QHeaderView* GetHeader() const { return m_pHeader; }

    qint64 GetItemCount() const { return m_model.GetItemCount(); }
    // Grows or shrinks the rows at the end and repaints; row numbers keep their place, so
    // the selection and the top row stay on the same row numbers.
    void SetItemCount(qint64 nCount);
    void DeleteAllItems();

    // The selected row, or -1.
    qint64 GetFirstSelected() const { return m_nSelected; }
    // Selects and focuses one row (any other selection goes); -1 clears the selection.
    void SetSelected(qint64 nRow);
    void EnsureVisible(qint64 nRow);

    void SetBkColor(COLORREF clr);
    COLORREF GetBkColor() const { return m_model.GetBkColor(); }

    qint64 GetTopIndex() const { return m_nTop; }
    void SetTopIndex(qint64 nRow);
    int GetCountPerPage() const; // whole rows that fit
    int GetRowHeight() const { return m_nRowHeight; }
    // The row under a point of the viewport, or -1 below the last row.
    qint64 RowAt(int y) const;
    int ColumnAt(int x) const;
    // A column's initial width: its width in the dialog font, scaled to the list's font.
    int ScaledColumnWidth(int nColumn) const;

signals:
    // A row's selected state changed (LVN_ITEMCHANGED).
    void ItemStateChanged(qint64 nRow, bool bSelected);
    void ItemDoubleClicked(qint64 nRow);
    // The menu of a cell was asked for: by the right button over a row (which selects it
    // first), or by the menu key for the selected row's first column.
    void CellMenuRequested(qint64 nRow, int nColumn, const QPoint& ptGlobal);

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseDoubleClickEvent(QMouseEvent* pEvent) override;
    void contextMenuEvent(QContextMenuEvent* pEvent) override;
    bool viewportEvent(QEvent* pEvent) override;
    void changeEvent(QEvent* pEvent) override;
    void focusInEvent(QFocusEvent* pEvent) override;
    void focusOutEvent(QFocusEvent* pEvent) override;

private:
    void UpdateGeometries();
    void UpdateScrollBars();
    void UpdateRowHeight();
    qint64 MaxTop() const;
    void MoveSelection(qint64 nRow);
    // False, painting nothing, for a row without a record.
    bool PaintRow(QPainter& painter, qint64 nRow, int y, int nWidth, const QRect& rcClip);
    void PaintGridLines(QPainter& painter, int y, const QRect& rcClip);
    bool ShowToolTip(const QPoint& pt, const QPoint& ptGlobal);

    CEventListModel m_model;
    QStandardItemModel* m_pHeaderModel;
    QHeaderView* m_pHeader;
    qint64 m_nTop = 0;
    qint64 m_nSelected = -1;
    int m_nRowHeight = 18;
    // Rows per scroll-bar step when the count exceeds what an int scroll bar can count.
    qint64 m_nScrollScale = 1;
    bool m_bSyncingBar = false;
};
