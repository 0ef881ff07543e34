#include "display/MyListCtrl.h"

#include "display/ColorRef.h"
#include "utils/ui/ListRows.h"

#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QToolTip>

#include <climits>
#include <cstdint>

namespace {

constexpr int CELL_PADDING = 4;
// Grid lines darken whatever lies below them a little, on any background.
const QColor GRID_COLOR(0, 0, 0, 40);
// A cell never shows more than this; longer texts are cut before they are measured.
constexpr int MAX_PAINT_CHARS = 1024;
// Tooltips of long texts: broken into lines of this length, and never longer than this.
constexpr int TOOLTIP_LINE = 100;
constexpr int MAX_TOOLTIP_CHARS = 16384;

QString WrapForToolTip(const QString& strText) {
    QString str = strText.left(MAX_TOOLTIP_CHARS);
    QString strOut;
    strOut.reserve(str.size() + str.size() / TOOLTIP_LINE + 8);
    for (qsizetype i = 0; i < str.size(); i += TOOLTIP_LINE) {
        if (i > 0)
            strOut += QLatin1Char('\n');
        strOut += QStringView(str).mid(i, TOOLTIP_LINE);
    }
    if (strText.size() > MAX_TOOLTIP_CHARS)
        strOut += QStringLiteral("...");
    return strOut;
}

} // namespace

CMyListCtrl::CMyListCtrl(const CHivewatchDoc* pDoc, QWidget* pParent)
    : QAbstractScrollArea(pParent), m_model(pDoc, this),
      m_pHeaderModel(new QStandardItemModel(0, CEventListModel::COLUMN_COUNT, this)),
      m_pHeader(new QHeaderView(Qt::Horizontal, this)) {
    setObjectName(QStringLiteral("EventList"));
    // The header has a model of its own with the titles only, so row changes never reach it.
    for (int i = 0; i < CEventListModel::COLUMN_COUNT; ++i)
        m_pHeaderModel->setHorizontalHeaderItem(
            i, new QStandardItem(m_model.headerData(i, Qt::Horizontal).toString()));
    m_pHeader->setModel(m_pHeaderModel);
    m_pHeader->setSectionsClickable(false);
    m_pHeader->setSectionsMovable(false);
    m_pHeader->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_pHeader->setStretchLastSection(false);
    m_pHeader->setSectionResizeMode(QHeaderView::Interactive);
    for (int i = 0; i < CEventListModel::COLUMN_COUNT; ++i)
        m_pHeader->resizeSection(i, ScaledColumnWidth(i));
    connect(m_pHeader, &QHeaderView::sectionResized, this, [this] {
        UpdateScrollBars();
        viewport()->update();
    });

    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setSingleStep(20);
    UpdateRowHeight();
    SetBkColor(DEFAULT_BACKGROUND);
}

CMyListCtrl::~CMyListCtrl() = default;

// The column widths are pixels of the 8-point dialog font, in which the time of day just fits
// its 80-pixel column. A larger font widens every column alike, so each still shows what it
// is for. The Seq column is as wide as the widest sequence number as well: its 40 pixels
// held five digits, and a capture passes 99,999 events within minutes.
int CMyListCtrl::ScaledColumnWidth(int nColumn) const {
    constexpr int TIME_COLUMN_WIDTH = 80;
    const int nTimeText =
        fontMetrics().horizontalAdvance(QStringLiteral("00:00:00.000")) + 2 * CELL_PADDING + 2;
    const double dScale = qMax(1.0, double(nTimeText) / TIME_COLUMN_WIDTH);
    const int nScaled = int(CEventListModel::s_columns[size_t(nColumn)].nWidth * dScale + 0.5);
    if (nColumn != CEventListModel::COLUMN_SEQ)
        return nScaled;
    // Digits are of one width in nearly every font; the minus sign of a number past
    // 2,147,483,647 (the driver counts in 32 bits) is measured with them.
    const int nWidest = fontMetrics().horizontalAdvance(QString::number(INT32_MIN));
    return qMax(nScaled, nWidest + 2 * CELL_PADDING + 2);
}

// ---- count, selection, scrolling ----

void CMyListCtrl::SetItemCount(qint64 nCount) {
    nCount = qMax<qint64>(0, nCount);
    if (nCount != m_model.GetItemCount()) {
        m_model.SetItemCount(nCount);
        if (m_nSelected >= nCount) {
            const qint64 nOld = m_nSelected;
            m_nSelected = -1;
            emit ItemStateChanged(nOld, false);
        }
        UpdateScrollBars();
    }
    viewport()->update();
}

void CMyListCtrl::DeleteAllItems() {
    SetItemCount(0);
}

void CMyListCtrl::SetSelected(qint64 nRow) {
    if (nRow >= GetItemCount())
        return;
    nRow = qMax<qint64>(-1, nRow);
    if (nRow == m_nSelected)
        return;
    const qint64 nOld = m_nSelected;
    m_nSelected = nRow;
    viewport()->update();
    if (nOld >= 0)
        emit ItemStateChanged(nOld, false);
    if (nRow >= 0)
        emit ItemStateChanged(nRow, true);
}

int CMyListCtrl::GetCountPerPage() const {
    return qMax(1, viewport()->height() / m_nRowHeight);
}

qint64 CMyListCtrl::MaxTop() const {
    return qMax<qint64>(0, GetItemCount() - GetCountPerPage());
}

void CMyListCtrl::SetTopIndex(qint64 nRow) {
    m_nTop = qBound<qint64>(0, nRow, MaxTop());
    m_bSyncingBar = true;
    verticalScrollBar()->setValue(int(m_nTop / m_nScrollScale));
    m_bSyncingBar = false;
    viewport()->update();
}

void CMyListCtrl::EnsureVisible(qint64 nRow) {
    if (nRow < 0 || nRow >= GetItemCount())
        return;
    if (nRow < m_nTop)
        SetTopIndex(nRow);
    else if (nRow >= m_nTop + GetCountPerPage())
        SetTopIndex(nRow - GetCountPerPage() + 1);
}

qint64 CMyListCtrl::RowAt(int y) const {
    if (y < 0)
        return -1;
    const qint64 nRow = m_nTop + y / m_nRowHeight;
    return nRow < GetItemCount() ? nRow : -1;
}

int CMyListCtrl::ColumnAt(int x) const {
    return m_pHeader->logicalIndexAt(x);
}

void CMyListCtrl::SetBkColor(COLORREF clr) {
    m_model.SetBkColor(clr);
    viewport()->update();
}

void CMyListCtrl::UpdateRowHeight() {
    m_nRowHeight = ListRowHeight(fontMetrics());
}

void CMyListCtrl::UpdateScrollBars() {
    const qint64 nMaxTop = MaxTop();
    // An int scroll bar counts rows directly up to a billion; beyond, each step is several.
    constexpr qint64 MAX_BAR = INT_MAX / 2;
    m_nScrollScale = nMaxTop > MAX_BAR ? nMaxTop / MAX_BAR + 1 : 1;
    m_nTop = qMin(m_nTop, nMaxTop);
    QScrollBar* pBar = verticalScrollBar();
    m_bSyncingBar = true;
    pBar->setRange(0, int((nMaxTop + m_nScrollScale - 1) / m_nScrollScale));
    pBar->setPageStep(int(qMax<qint64>(1, GetCountPerPage() / m_nScrollScale)));
    pBar->setValue(int(m_nTop / m_nScrollScale));
    m_bSyncingBar = false;

    QScrollBar* pHBar = horizontalScrollBar();
    pHBar->setRange(0, qMax(0, m_pHeader->length() - viewport()->width()));
    pHBar->setPageStep(viewport()->width());
}

void CMyListCtrl::UpdateGeometries() {
    const int nHeaderHeight = m_pHeader->sizeHint().height();
    setViewportMargins(0, nHeaderHeight, 0, 0);
    const QRect rcView = viewport()->geometry();
    m_pHeader->setGeometry(rcView.left(), rcView.top() - nHeaderHeight, rcView.width(),
                           nHeaderHeight);
    UpdateScrollBars();
}

void CMyListCtrl::scrollContentsBy(int dx, int dy) {
    if (dx != 0)
        m_pHeader->setOffset(horizontalScrollBar()->value());
    if (dy != 0 && !m_bSyncingBar) {
        const QScrollBar* pBar = verticalScrollBar();
        m_nTop = pBar->value() == pBar->maximum()
                     ? MaxTop()
                     : qMin(MaxTop(), qint64(pBar->value()) * m_nScrollScale);
    }
    viewport()->update();
}

void CMyListCtrl::resizeEvent(QResizeEvent* pEvent) {
    QAbstractScrollArea::resizeEvent(pEvent);
    UpdateGeometries();
}

void CMyListCtrl::changeEvent(QEvent* pEvent) {
    QAbstractScrollArea::changeEvent(pEvent);
    if (pEvent->type() == QEvent::FontChange || pEvent->type() == QEvent::StyleChange) {
        UpdateRowHeight();
        UpdateGeometries();
    }
}

// ---- painting ----

// The list is painted in bands one row high, and lines are drawn as thin filled rectangles.
// Besides following the rows, this keeps every fill small: the raster engine hands tall
// fills and long lines to a thread pool, which costs more than it saves for a list.
void CMyListCtrl::paintEvent(QPaintEvent* pEvent) {
    QPainter painter(viewport());
    const QRect rcClip = pEvent->rect();
    const QColor clrBk = ColorRefToQColor(GetBkColor());
    const qint64 nCount = GetItemCount();
    // Rows and their colours cover the columns, not the empty area beside them.
    const int nRowWidth = qMin(rcClip.right() + 1, m_pHeader->length() - m_pHeader->offset());
    const int nFirst = rcClip.top() / m_nRowHeight;
    const int nLast = rcClip.bottom() / m_nRowHeight;
    for (int i = nFirst; i <= nLast; ++i) {
        const int y = i * m_nRowHeight;
        const qint64 nRow = m_nTop + i;
        const bool bPainted = nRow < nCount && PaintRow(painter, nRow, y, nRowWidth, rcClip);
        const int nLeft = bPainted ? qMax(nRowWidth, rcClip.left()) : rcClip.left();
        if (nLeft <= rcClip.right())
            painter.fillRect(QRect(nLeft, y, rcClip.right() + 1 - nLeft, m_nRowHeight), clrBk);
        PaintGridLines(painter, y, rcClip);
    }
}

// Lines between the columns, over the whole height, as the grid style draws them.
void CMyListCtrl::PaintGridLines(QPainter& painter, int y, const QRect& rcClip) {
    for (int v = 0; v < m_pHeader->count(); ++v) {
        const int nLogical = m_pHeader->logicalIndex(v);
        if (m_pHeader->isSectionHidden(nLogical))
            continue;
        const int x =
            m_pHeader->sectionViewportPosition(nLogical) + m_pHeader->sectionSize(nLogical) - 1;
        if (x >= rcClip.left() && x <= rcClip.right())
            painter.fillRect(x, y, 1, m_nRowHeight, GRID_COLOR);
    }
}

bool CMyListCtrl::PaintRow(QPainter& painter, qint64 nRow, int y, int nWidth, const QRect& rcClip) {
    const QRect rcRow(0, y, nWidth, m_nRowHeight);
    CEventListModel::SRowCells cells;
    if (!m_model.GetRowCells(nRow, cells))
        return false; // a row without a record shows nothing
    const bool bSelected = nRow == m_nSelected;
    const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
    QColor clrText = cells.clrText;
    if (bSelected) {
        painter.fillRect(rcRow, palette().brush(group, QPalette::Highlight));
        clrText = palette().color(group, QPalette::HighlightedText);
    } else {
        painter.fillRect(rcRow, cells.clrBack);
    }
    painter.fillRect(0, y + m_nRowHeight - 1, nWidth, 1, GRID_COLOR);
    painter.setPen(clrText);
    const QFontMetrics fm = fontMetrics();
    // Drawn at a baseline, the text's fast path; only a text that may not fit is measured.
    const int nBaseline = y + (m_nRowHeight - 1 - fm.height()) / 2 + fm.ascent();
    const int nMaxChar = qMax(1, fm.maxWidth());
    for (int nCol = 0; nCol < CEventListModel::COLUMN_COUNT; ++nCol) {
        if (m_pHeader->isSectionHidden(nCol))
            continue;
        const int x = m_pHeader->sectionViewportPosition(nCol) + CELL_PADDING;
        const int nRoom = m_pHeader->sectionSize(nCol) - 2 * CELL_PADDING;
        if (nRoom <= 0 || x > rcClip.right() || x + nRoom < rcClip.left())
            continue;
        const QString& strText = cells.arText[size_t(nCol)];
        if (strText.size() * nMaxChar <= nRoom) {
            painter.drawText(x, nBaseline, strText);
        } else {
            painter.drawText(x, nBaseline,
                             fm.elidedText(strText.left(MAX_PAINT_CHARS), Qt::ElideRight, nRoom,
                                           Qt::TextSingleLine));
        }
    }
    if (bSelected && hasFocus()) {
        // The focus frame, drawn as four thin rectangles (see paintEvent).
        QColor clrFrame = palette().color(group, QPalette::HighlightedText);
        clrFrame.setAlpha(140);
        const int h = m_nRowHeight - 1;
        painter.fillRect(0, y, nWidth, 1, clrFrame);
        painter.fillRect(0, y + h - 1, nWidth, 1, clrFrame);
        painter.fillRect(0, y, 1, h, clrFrame);
        painter.fillRect(nWidth - 1, y, 1, h, clrFrame);
    }
    return true;
}

bool CMyListCtrl::ShowToolTip(const QPoint& pt, const QPoint& ptGlobal) {
    const qint64 nRow = RowAt(pt.y());
    const int nCol = ColumnAt(pt.x());
    CEventListModel::SRowCells cells;
    if (nRow < 0 || nCol < 0 || !m_model.GetRowCells(nRow, cells))
        return false;
    const QString& strText = cells.arText[size_t(nCol)];
    const int nRoom = m_pHeader->sectionSize(nCol) - 2 * CELL_PADDING;
    // Long texts, and any text the column cuts short, are shown whole.
    if (strText.size() < CEventListModel::LONG_TEXT_LENGTH &&
        fontMetrics().horizontalAdvance(strText) <= nRoom)
        return false;
    const QRect rcCell(m_pHeader->sectionViewportPosition(nCol), int(nRow - m_nTop) * m_nRowHeight,
                       m_pHeader->sectionSize(nCol), m_nRowHeight);
    QToolTip::showText(ptGlobal, WrapForToolTip(strText), viewport(), rcCell);
    return true;
}

bool CMyListCtrl::viewportEvent(QEvent* pEvent) {
    if (pEvent->type() == QEvent::ToolTip) {
        auto* pHelp = static_cast<QHelpEvent*>(pEvent);
        if (!ShowToolTip(pHelp->pos(), pHelp->globalPos()))
            QToolTip::hideText();
        return true;
    }
    return QAbstractScrollArea::viewportEvent(pEvent);
}

// ---- keyboard and mouse ----

void CMyListCtrl::MoveSelection(qint64 nRow) {
    if (GetItemCount() <= 0)
        return;
    nRow = qBound<qint64>(0, nRow, GetItemCount() - 1);
    SetSelected(nRow);
    EnsureVisible(nRow);
}

void CMyListCtrl::keyPressEvent(QKeyEvent* pEvent) {
    const qint64 nCurrent = m_nSelected;
    const qint64 nPage = qMax(1, GetCountPerPage() - 1);
    switch (pEvent->key()) {
    case Qt::Key_Up:
        MoveSelection(nCurrent < 0 ? 0 : nCurrent - 1);
        break;
    case Qt::Key_Down:
        MoveSelection(nCurrent < 0 ? 0 : nCurrent + 1);
        break;
    case Qt::Key_PageUp:
        MoveSelection(nCurrent < 0 ? m_nTop : nCurrent - nPage);
        break;
    case Qt::Key_PageDown:
        MoveSelection(nCurrent < 0 ? m_nTop : nCurrent + nPage);
        break;
    case Qt::Key_Home:
        MoveSelection(0);
        break;
    case Qt::Key_End:
        MoveSelection(GetItemCount() - 1);
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        break; // the list is embedded: these keys close nothing
    default:
        QAbstractScrollArea::keyPressEvent(pEvent);
        return;
    }
    pEvent->accept();
}

void CMyListCtrl::mousePressEvent(QMouseEvent* pEvent) {
    setFocus(Qt::MouseFocusReason);
    if (pEvent->button() != Qt::LeftButton && pEvent->button() != Qt::RightButton)
        return;
    const qint64 nRow = RowAt(pEvent->position().toPoint().y());
    if (nRow >= 0 && nRow == m_nSelected && (pEvent->modifiers() & Qt::ControlModifier))
        SetSelected(-1);
    else
        SetSelected(nRow); // a click below the last row clears the selection
}

void CMyListCtrl::mouseDoubleClickEvent(QMouseEvent* pEvent) {
    if (pEvent->button() != Qt::LeftButton)
        return;
    const qint64 nRow = RowAt(pEvent->position().toPoint().y());
    if (nRow >= 0) {
        SetSelected(nRow);
        emit ItemDoubleClicked(nRow);
    }
}

void CMyListCtrl::contextMenuEvent(QContextMenuEvent* pEvent) {
    if (pEvent->reason() == QContextMenuEvent::Mouse) {
        // From the viewport, or passed on by the header: placed by the global position.
        const QPoint pt = viewport()->mapFromGlobal(pEvent->globalPos());
        const qint64 nRow = viewport()->rect().contains(pt) ? RowAt(pt.y()) : -1;
        const int nColumn = ColumnAt(pt.x());
        if (nRow >= 0 && nColumn >= 0)
            emit CellMenuRequested(nRow, nColumn, pEvent->globalPos());
    } else if (m_nSelected >= 0) {
        EnsureVisible(m_nSelected);
        const int y = int(m_nSelected - m_nTop) * m_nRowHeight + m_nRowHeight / 2;
        emit CellMenuRequested(m_nSelected, 0, viewport()->mapToGlobal(QPoint(CELL_PADDING, y)));
    }
    pEvent->accept();
}

void CMyListCtrl::focusInEvent(QFocusEvent* pEvent) {
    QAbstractScrollArea::focusInEvent(pEvent);
    viewport()->update();
}

void CMyListCtrl::focusOutEvent(QFocusEvent* pEvent) {
    QAbstractScrollArea::focusOutEvent(pEvent);
    viewport()->update();
}
