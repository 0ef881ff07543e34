#include "dialogs/ProcessSelDlg.h"

#include "platform/AnsiCodePage.h"
#include "settings/SetObj.h"
#include "utils/ui/ListRows.h"

#include <QEvent>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>

namespace {

enum { IDC_PROC_LIST = 1027, IDC_REFRESH = 1026 };

// Column widths in pixels at the classic dialog font; they grow with a larger font.
constexpr int NAME_COLUMN_WIDTH = 150;
constexpr int PID_COLUMN_WIDTH = 80;
constexpr double CLASSIC_BASE_UNIT_X = 6.0;

CProcessSelDlg::ListProcessesFn& ProcessSource() {
    static CProcessSelDlg::ListProcessesFn s_fn;
    return s_fn;
}

QTableWidgetItem* ReadOnlyItem(const QString& strText) {
    auto* pItem = new QTableWidgetItem(strText);
    pItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return pItem;
}

} // namespace

CProcessSelDlg::CProcessSelDlg(QWidget* pParent)
    : CDialogEx(QStringLiteral("Attach to Process"), 187, 244, pParent) {
    m_wndProcList = AddControl(new QTableWidget(this), IDC_PROC_LIST, {7, 7, 173, 211});
    AddButton(QStringLiteral("Attach"), IDOK, {13, 223, 50, 14});
    AddButton(QStringLiteral("Cancel"), IDCANCEL, {67, 223, 50, 14});
    auto* pRefresh = AddButton(QStringLiteral("Refresh"), IDC_REFRESH, {124, 223, 50, 14});
    connect(pRefresh, &QPushButton::clicked, this, &CProcessSelDlg::FillProcessList);

    QTableWidget* pList = m_wndProcList;
    pList->setSelectionMode(QAbstractItemView::SingleSelection);
    pList->setSelectionBehavior(QAbstractItemView::SelectRows);
    pList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    pList->setShowGrid(true);
    pList->setSortingEnabled(false);
    pList->setWordWrap(false);
    pList->verticalHeader()->hide();
    pList->horizontalHeader()->setSectionsClickable(false);
    pList->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    pList->setFocusPolicy(Qt::StrongFocus);
    pList->viewport()->installEventFilter(this);
}

void CProcessSelDlg::SetProcessSource(ListProcessesFn fn) {
    ProcessSource() = std::move(fn);
}

bool CProcessSelDlg::OnInitDialog() {
    CDialogEx::OnInitDialog();
    QPalette pal = m_wndProcList->palette();
    pal.setColor(QPalette::Base, ColorFromRef(g_SetObj.m_clrBackground));
    m_wndProcList->setPalette(pal);
    m_wndProcList->setColumnCount(2);
    m_wndProcList->setHorizontalHeaderLabels(
        {QStringLiteral("Process Name"), QStringLiteral("PID")});
    const double dScale = std::max(1.0, BaseUnitX() / CLASSIC_BASE_UNIT_X);
    m_wndProcList->setColumnWidth(0, int(NAME_COLUMN_WIDTH * dScale));
    m_wndProcList->setColumnWidth(1, int(PID_COLUMN_WIDTH * dScale));
    // Rows as compact as the event list's, not the roomy rows of a table widget.
    QHeaderView* pRows = m_wndProcList->verticalHeader();
    const int nRowHeight = ListRowHeight(m_wndProcList->fontMetrics());
    pRows->setMinimumSectionSize(nRowHeight);
    pRows->setDefaultSectionSize(nRowHeight);
    pRows->setSectionResizeMode(QHeaderView::Fixed);
    FillProcessList();
    m_wndProcList->setFocus(Qt::OtherFocusReason);
    return true;
}

void CProcessSelDlg::FillProcessList() {
    m_wndProcList->clearContents();
    m_wndProcList->setRowCount(0);
    std::vector<SRunningProcess> arProcesses;
    const bool bListed =
        ProcessSource() ? ProcessSource()(arProcesses) : ListRunningProcesses(arProcesses);
    if (!bListed)
        return;
    // Each process goes on top of the ones before it: the last one listed ends up first.
    const int nRows = int(arProcesses.size());
    m_wndProcList->setRowCount(nRows);
    for (int i = 0; i < nRows; ++i) {
        const SRunningProcess& process = arProcesses[size_t(i)];
        const int nRow = nRows - 1 - i;
        m_wndProcList->setItem(
            nRow, 0, ReadOnlyItem(AnsiToUtf16(QByteArray::fromStdString(process.m_strName))));
        m_wndProcList->setItem(nRow, 1, ReadOnlyItem(QString::number(int32_t(process.m_nPid))));
    }
    // The top row is selected without taking the focus mark.
    if (nRows > 0) {
        m_wndProcList->selectionModel()->select(m_wndProcList->model()->index(0, 0),
                                                QItemSelectionModel::ClearAndSelect |
                                                    QItemSelectionModel::Rows);
    }
}

void CProcessSelDlg::OnOK() {
    const QModelIndexList arSelected = m_wndProcList->selectionModel()->selectedRows();
    if (arSelected.isEmpty())
        return;
    int nRow = arSelected.first().row();
    for (const QModelIndex& index : arSelected)
        nRow = std::min(nRow, index.row());
    m_strProcessName = m_wndProcList->item(nRow, 0)->text();
    // The ID column holds "%d"; a text that is not a number gives 0.
    bool bOk = false;
    const int nPid = m_wndProcList->item(nRow, 1)->text().toInt(&bOk);
    m_nProcessId = bOk ? nPid : 0;
    CDialogEx::OnOK();
}

void CProcessSelDlg::OnDblclkProcList() {
    OnOK();
}

bool CProcessSelDlg::eventFilter(QObject* pObject, QEvent* pEvent) {
    // The list picks the row under the first click; the double click then chooses the
    // selected row, and does nothing on an empty selection.
    if (pObject == m_wndProcList->viewport() && pEvent->type() == QEvent::MouseButtonDblClick) {
        OnDblclkProcList();
        return true;
    }
    return CDialogEx::eventFilter(pObject, pEvent);
}
