#include "display/EventListModel.h"

#include "display/ColorRef.h"
#include "store/HivewatchDoc.h"
#include "store/RegInfoObj.h"

#include <algorithm>
#include <climits>

const std::array<CEventListModel::SColumn, CEventListModel::COLUMN_COUNT>
    CEventListModel::s_columns = {{
        {"Seq", 40},
        {"Time sample", 80},
        {"Process Name", 100},
        {"PID", 50},
        {"Request", 80},
        {"Path", 450},
        {"Description", 200},
    }};

CEventListModel::CEventListModel(const CHivewatchDoc* pDoc, QObject* pParent)
    : QAbstractTableModel(pParent), m_pDoc(pDoc) {}

// The item model counts rows in int; the list itself keeps the 64-bit count.
static int ClampRows(qint64 n) {
    return int(std::clamp<qint64>(n, 0, INT_MAX));
}

void CEventListModel::SetItemCount(qint64 nCount) {
    nCount = qMax<qint64>(0, nCount);
    const int nOld = ClampRows(m_nItemCount);
    const int nNew = ClampRows(nCount);
    if (nNew > nOld) {
        beginInsertRows(QModelIndex(), nOld, nNew - 1);
        m_nItemCount = nCount;
        endInsertRows();
    } else if (nNew < nOld) {
        beginRemoveRows(QModelIndex(), nNew, nOld - 1);
        m_nItemCount = nCount;
        endRemoveRows();
    } else {
        m_nItemCount = nCount;
    }
}

QString CEventListModel::CellText(const CRegInfoObj& record, int nColumn) {
    switch (nColumn) {
    case 0:
        return QString::number(record.m_nSeq);
    case 1:
        return record.m_strTime;
    case 2:
        return record.m_strProcessName;
    case 3:
        return QString::number(record.m_nPid);
    case 4:
        return record.m_strRequest;
    case 5:
        return record.m_strPath;
    case 6:
        return record.GetDescription();
    default:
        return {};
    }
}

QColor CEventListModel::TextColor(const CRegInfoObj& record) {
    return ColorRefToQColor(g_SetObj.m_clrText[record.GetFunType()]);
}

QColor CEventListModel::BackColor(const CRegInfoObj& record) const {
    // Only a record that changed the registry stands out with its operation's colour.
    return ColorRefToQColor(record.Modified() ? g_SetObj.m_clrBack[record.GetFunType()] : m_clrBk);
}

bool CEventListModel::GetRowCells(qint64 nRow, SRowCells& out) const {
    if (!m_pDoc || nRow < 0)
        return false;
    CRegInfoObj record;
    bool bHighlighted = false;
    if (!m_pDoc->CopyRecordAtRow(nRow, record, &bHighlighted))
        return false;
    for (int i = 0; i < COLUMN_COUNT; ++i)
        out.arText[size_t(i)] = CellText(record, i);
    out.clrText = TextColor(record);
    out.clrBack = bHighlighted ? ColorRefToQColor(m_clrHighlight) : BackColor(record);
    return true;
}

int CEventListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ClampRows(m_nItemCount);
}

int CEventListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : COLUMN_COUNT;
}

QVariant CEventListModel::data(const QModelIndex& index, int nRole) const {
    if (!index.isValid() || index.column() >= COLUMN_COUNT || index.row() >= rowCount())
        return {};
    if (nRole != Qt::DisplayRole && nRole != Qt::ToolTipRole && nRole != Qt::ForegroundRole &&
        nRole != Qt::BackgroundRole)
        return {};
    CRegInfoObj record;
    bool bHighlighted = false;
    if (!m_pDoc || !m_pDoc->CopyRecordAtRow(index.row(), record, &bHighlighted))
        return {};
    switch (nRole) {
    case Qt::DisplayRole:
        return CellText(record, index.column());
    case Qt::ToolTipRole: {
        const QString strText = CellText(record, index.column());
        return strText.size() >= LONG_TEXT_LENGTH ? QVariant(strText) : QVariant();
    }
    case Qt::ForegroundRole:
        return TextColor(record);
    default:
        return bHighlighted ? ColorRefToQColor(m_clrHighlight) : BackColor(record);
    }
}

QVariant CEventListModel::headerData(int nSection, Qt::Orientation orientation, int nRole) const {
    if (orientation != Qt::Horizontal || nSection < 0 || nSection >= COLUMN_COUNT ||
        nRole != Qt::DisplayRole)
        return {};
    return QString::fromLatin1(s_columns[size_t(nSection)].pTitle);
}

Qt::ItemFlags CEventListModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}
