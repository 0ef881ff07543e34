#include "tools/regedit/RegValueModel.h"

#include "store/RegOperations.h"

namespace {

const QString DEFAULT_NAME =
    QString::fromLatin1(DEFAULT_VALUE_NAME.data(), qsizetype(DEFAULT_VALUE_NAME.size()));

} // namespace

CRegValueModel::CRegValueModel(QObject* pParent) : QAbstractTableModel(pParent) {}

void CRegValueModel::SetKey(const CWineRegKey* pKey) {
    beginResetModel();
    m_pKey = pKey;
    endResetModel();
}

void CRegValueModel::SetIcons(const QVariant& stringIcon, const QVariant& binaryIcon) {
    m_stringIcon = stringIcon;
    m_binaryIcon = binaryIcon;
}

int CRegValueModel::NamedOffset() const {
    // Values are sorted with the unnamed one first, when there is one.
    return m_pKey && m_pKey->ValueCount() > 0 && m_pKey->Value(0).m_strName.isEmpty() ? 1 : 0;
}

int CRegValueModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !m_pKey)
        return 0;
    return 1 + int(m_pKey->ValueCount()) - NamedOffset();
}

int CRegValueModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : COLUMN_COUNT;
}

QString CRegValueModel::NameAt(int nRow) const {
    if (nRow == 0 && m_pKey)
        return DEFAULT_NAME;
    const SWineRegValue* pValue = ValueAt(nRow);
    return pValue ? pValue->m_strName : QString();
}

const SWineRegValue* CRegValueModel::ValueAt(int nRow) const {
    if (!m_pKey || nRow < 0 || nRow >= rowCount())
        return nullptr;
    if (nRow == 0)
        return NamedOffset() ? &m_pKey->Value(0) : nullptr;
    return &m_pKey->Value(nRow - 1 + NamedOffset());
}

QVariant CRegValueModel::data(const QModelIndex& index, int nRole) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= COLUMN_COUNT)
        return {};
    const SWineRegValue* pValue = ValueAt(index.row());
    const uint32_t nType = pValue ? pValue->m_nType : REG_SZ;
    if (nRole == Qt::DecorationRole && index.column() == COL_NAME)
        return nType == REG_SZ || nType == REG_EXPAND_SZ || nType == REG_MULTI_SZ ? m_stringIcon
                                                                                  : m_binaryIcon;
    if (nRole != Qt::DisplayRole && nRole != Qt::ToolTipRole)
        return {};
    switch (index.column()) {
    case COL_NAME:
        return NameAt(index.row());
    case COL_TYPE:
        return RegTypeName(nType);
    default:
        if (!pValue)
            return QStringLiteral("(value not set)");
        return RegDataText(nType, pValue->m_data, MAX_DATA_CHARS);
    }
}

QVariant CRegValueModel::headerData(int nSection, Qt::Orientation orientation, int nRole) const {
    if (orientation != Qt::Horizontal || nRole != Qt::DisplayRole)
        return {};
    switch (nSection) {
    case COL_NAME:
        return QStringLiteral("Name");
    case COL_TYPE:
        return QStringLiteral("Type");
    case COL_DATA:
        return QStringLiteral("Data");
    default:
        return {};
    }
}
