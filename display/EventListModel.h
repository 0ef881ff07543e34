// The event list's cells: each row's texts and colours, read from its record when asked.
#pragma once

#include "filter/DisplayRulesFile.h"
#include "settings/SetObj.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QString>

#include <array>

class CHivewatchDoc;
class CRegInfoObj;

class CEventListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int COLUMN_COUNT = 7;
    static constexpr int COLUMN_SEQ = 0;
    // Texts this long or longer are drawn shortened and given whole as a tooltip.
    static constexpr int LONG_TEXT_LENGTH = 256;

    struct SColumn {
        const char* pTitle;
        int nWidth; // pixels
    };
    static const std::array<SColumn, COLUMN_COUNT> s_columns;

    // Everything one row shows, taken from one copy of its record.
    struct SRowCells {
        std::array<QString, COLUMN_COUNT> arText;
        QColor clrText;
        QColor clrBack;
    };

    explicit CEventListModel(const CHivewatchDoc* pDoc, QObject* pParent = nullptr);

    // The list's item count. It changes only when the list is told so; a change is announced
    // as rows added or removed at the end, so row numbers keep their place.
    qint64 GetItemCount() const { return m_nItemCount; }
    void SetItemCount(qint64 nCount);

    // The list background, also the background of rows whose record changed nothing.
    void SetBkColor(COLORREF clr) { m_clrBk = clr; }
    COLORREF GetBkColor() const { return m_clrBk; }
    // The background of rows the document's highlight rules pass, over the operation colours.
    void SetHighlightColor(COLORREF clr) { m_clrHighlight = clr; }
    COLORREF GetHighlightColor() const { return m_clrHighlight; }

    // Row r shows the record at list index count - 1 - r, count read now. False, leaving
    // out as it was, when the row has no record (past the end for a moment after a trim).
    bool GetRowCells(qint64 nRow, SRowCells& out) const;

    static QString CellText(const CRegInfoObj& record, int nColumn);
    static QColor TextColor(const CRegInfoObj& record);
    QColor BackColor(const CRegInfoObj& record) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int nRole = Qt::DisplayRole) const override;
    QVariant headerData(int nSection, Qt::Orientation orientation,
                        int nRole = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    const CHivewatchDoc* m_pDoc;
    qint64 m_nItemCount = 0;
    COLORREF m_clrBk = DEFAULT_BACKGROUND;
    COLORREF m_clrHighlight = DEFAULT_HIGHLIGHT_COLOR;
};
