#include "dialogs/RegChangesModel.h"

CRegChangesModel::CRegChangesModel(const CRegChanges& changes, QObject* pParent)
    : QAbstractItemModel(pParent) {
    for (const auto& pRoot : changes.Top().m_arSubKeys)
        Add(*pRoot, -1);
}

// Items are appended to m_arItems, which may move: every reference into it is taken anew.
void CRegChangesModel::Add(const CRegChangeKey& key, int nParent) {
    const int nIndex = int(m_arItems.size());
    const auto siblings = [&]() -> std::vector<int>& {
        return nParent < 0 ? m_arRoots : m_arItems[size_t(nParent)].m_arChildren;
    };
    m_arItems.push_back({&key, nullptr, nParent, int(siblings().size()), {}});
    siblings().push_back(nIndex);
    for (const SRegChangeValue& value : key.m_arValues) {
        const int nRow = int(m_arItems[size_t(nIndex)].m_arChildren.size());
        m_arItems.push_back({&key, &value, nIndex, nRow, {}});
        m_arItems[size_t(nIndex)].m_arChildren.push_back(int(m_arItems.size()) - 1);
    }
    for (const auto& pSub : key.m_arSubKeys)
        Add(*pSub, nIndex);
}

const CRegChangesModel::SItem* CRegChangesModel::ItemOf(const QModelIndex& index) const {
    if (!index.isValid() || index.internalId() >= m_arItems.size())
        return nullptr;
    return &m_arItems[size_t(index.internalId())];
}

QModelIndex CRegChangesModel::index(int nRow, int nColumn, const QModelIndex& parent) const {
    if (nColumn < 0 || nColumn >= COLUMN_COUNT || nRow < 0)
        return {};
    const SItem* pParent = ItemOf(parent);
    const std::vector<int>& ar = pParent ? pParent->m_arChildren : m_arRoots;
    if (nRow >= int(ar.size()))
        return {};
    return createIndex(nRow, nColumn, quintptr(ar[size_t(nRow)]));
}

QModelIndex CRegChangesModel::parent(const QModelIndex& child) const {
    const SItem* pItem = ItemOf(child);
    if (!pItem || pItem->m_nParent < 0)
        return {};
    const SItem& parent = m_arItems[size_t(pItem->m_nParent)];
    return createIndex(parent.m_nRow, 0, quintptr(pItem->m_nParent));
}

int CRegChangesModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0)
        return 0;
    const SItem* pItem = ItemOf(parent);
    return int(pItem ? pItem->m_arChildren.size() : m_arRoots.size());
}

int CRegChangesModel::columnCount(const QModelIndex&) const {
    return COLUMN_COUNT;
}

QString CRegChangesModel::ChangeText(const CRegChangeKey& key) {
    QString str = RegChangeName(key.m_eChange);
    switch (key.m_eContents) {
    case CRegChangeKey::CONTENTS_UNKNOWN:
    case CRegChangeKey::CONTENTS_DAMAGED:
        str += QStringLiteral(" (what it held is not known)");
        break;
    case CRegChangeKey::CONTENTS_TOO_BIG:
        str += QStringLiteral(" (what it held was too big to record)");
        break;
    default:
        break;
    }
    if (key.m_eChange == ERegChange::NONE && key.m_bRemadeAfterDelete)
        str = QStringLiteral("deleted and made again") + str;
    return str.trimmed();
}

QString CRegChangesModel::ChangeText(const SRegChangeValue& value) {
    QString str = RegChangeName(value.m_eChange);
    const bool bUndoUnknown =
        value.m_before.m_ePresence != EPresence::ABSENT && !value.m_before.IsExact();
    if (bUndoUnknown)
        str += QStringLiteral(" (cannot be put back)");
    return str;
}

QString CRegChangesModel::DataText(const SRegChangeValue& value) {
    const auto text = [](const SRegChangeData& data) {
        if (data.m_ePresence == EPresence::UNKNOWN)
            return QStringLiteral("(not known)");
        return data.m_strText.isEmpty() ? QStringLiteral("(data not known)") : data.m_strText;
    };
    switch (value.m_eChange) {
    case ERegChange::CREATED:
        return text(value.m_after);
    case ERegChange::DELETED:
        return text(value.m_before);
    case ERegChange::CHANGED:
        return text(value.m_before) + QStringLiteral(" \u2192 ") + text(value.m_after);
    case ERegChange::NONE:
        break;
    }
    return {};
}

QVariant CRegChangesModel::data(const QModelIndex& index, int nRole) const {
    const SItem* pItem = ItemOf(index);
    if (!pItem)
        return {};
    if (nRole == Qt::ToolTipRole && index.column() == COL_NAME)
        return pItem->m_pKey->FullPath();
    if (nRole != Qt::DisplayRole)
        return {};
    const QStringList* pProcesses =
        pItem->m_pValue ? &pItem->m_pValue->m_arProcesses : &pItem->m_pKey->m_arProcesses;
    const long long nEvents =
        pItem->m_pValue ? pItem->m_pValue->m_nEvents : pItem->m_pKey->m_nEvents;
    switch (index.column()) {
    case COL_NAME:
        if (!pItem->m_pValue)
            return pItem->m_pKey->m_strName;
        return pItem->m_pValue->m_strName.isEmpty() ? QStringLiteral("(Default)")
                                                    : pItem->m_pValue->m_strName;
    case COL_CHANGE:
        return pItem->m_pValue ? ChangeText(*pItem->m_pValue) : ChangeText(*pItem->m_pKey);
    case COL_DATA:
        return pItem->m_pValue ? DataText(*pItem->m_pValue) : QString();
    case COL_PROCESSES:
        return pProcesses->join(QStringLiteral(", "));
    case COL_EVENTS:
        return nEvents > 0 ? QVariant(nEvents) : QVariant();
    default:
        return {};
    }
}

QVariant CRegChangesModel::headerData(int nSection, Qt::Orientation orientation, int nRole) const {
    if (orientation != Qt::Horizontal || nRole != Qt::DisplayRole)
        return {};
    switch (nSection) {
    case COL_NAME:
        return QStringLiteral("Key / Value");
    case COL_CHANGE:
        return QStringLiteral("Change");
    case COL_DATA:
        return QStringLiteral("Data");
    case COL_PROCESSES:
        return QStringLiteral("Processes");
    case COL_EVENTS:
        return QStringLiteral("Events");
    default:
        return {};
    }
}

const CRegChangeKey* CRegChangesModel::KeyOf(const QModelIndex& index) const {
    const SItem* pItem = ItemOf(index);
    return pItem ? pItem->m_pKey : nullptr;
}

QString CRegChangesModel::ValueNameOf(const QModelIndex& index) const {
    const SItem* pItem = ItemOf(index);
    if (!pItem || !pItem->m_pValue)
        return {};
    return pItem->m_pValue->m_strName.isEmpty() ? QStringLiteral("(Default)")
                                                : pItem->m_pValue->m_strName;
}
