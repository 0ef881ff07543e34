#include "tools/regedit/RegTreeModel.h"

struct CRegTreeModel::SNode {
    SNode* m_pParent = nullptr;
    int m_nRow = 0;
    QString m_strName;
    const CWineRegKey* m_pKey = nullptr;
    bool m_bBuilt = false;
    std::vector<std::unique_ptr<SNode>> m_arChildren;
};

CRegTreeModel::CRegTreeModel(QObject* pParent) : QAbstractItemModel(pParent) {
    SetRegistry(nullptr);
}

CRegTreeModel::~CRegTreeModel() = default;

void CRegTreeModel::SetRegistry(const CWineRegistry* pRegistry) {
    beginResetModel();
    m_pRegistry = pRegistry;
    m_arRoots.clear();
    for (int i = 0; i < 5; ++i) {
        auto pNode = std::make_unique<SNode>();
        pNode->m_nRow = i;
        pNode->m_strName = QString::fromUtf16(REGEDIT_ROOTS[i].m_pFull);
        pNode->m_pKey = pRegistry
                            ? pRegistry->FindKey(QString::fromUtf16(REGEDIT_ROOTS[i].m_pAbbrev))
                            : nullptr;
        m_arRoots.push_back(std::move(pNode));
    }
    endResetModel();
}

CRegTreeModel::SNode* CRegTreeModel::NodeOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<SNode*>(index.internalPointer()) : nullptr;
}

void CRegTreeModel::Build(SNode& node) const {
    if (node.m_bBuilt)
        return;
    node.m_bBuilt = true;
    if (!node.m_pKey)
        return;
    for (qsizetype i = 0; i < node.m_pKey->SubKeyCount(); ++i) {
        const CWineRegKey* pSub = node.m_pKey->SubKey(i);
        auto pChild = std::make_unique<SNode>();
        pChild->m_pParent = &node;
        pChild->m_nRow = int(i);
        pChild->m_strName = pSub->Name();
        pChild->m_pKey = pSub->m_bLink && m_pRegistry ? m_pRegistry->LinkTarget(*pSub) : pSub;
        node.m_arChildren.push_back(std::move(pChild));
    }
}

QModelIndex CRegTreeModel::index(int nRow, int nColumn, const QModelIndex& parent) const {
    if (nColumn != 0 || nRow < 0)
        return {};
    if (!parent.isValid())
        return nRow < int(m_arRoots.size()) ? createIndex(nRow, 0, m_arRoots[size_t(nRow)].get())
                                            : QModelIndex();
    SNode* pParent = NodeOf(parent);
    Build(*pParent);
    if (nRow >= int(pParent->m_arChildren.size()))
        return {};
    return createIndex(nRow, 0, pParent->m_arChildren[size_t(nRow)].get());
}

QModelIndex CRegTreeModel::parent(const QModelIndex& index) const {
    const SNode* pNode = NodeOf(index);
    if (!pNode || !pNode->m_pParent)
        return {};
    return createIndex(pNode->m_pParent->m_nRow, 0, pNode->m_pParent);
}

int CRegTreeModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid())
        return int(m_arRoots.size());
    if (parent.column() != 0)
        return 0;
    const SNode* pNode = NodeOf(parent);
    return pNode->m_pKey ? int(pNode->m_pKey->SubKeyCount()) : 0;
}

int CRegTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

bool CRegTreeModel::hasChildren(const QModelIndex& parent) const {
    return rowCount(parent) > 0;
}

QVariant CRegTreeModel::data(const QModelIndex& index, int nRole) const {
    const SNode* pNode = NodeOf(index);
    if (!pNode)
        return {};
    switch (nRole) {
    case Qt::DisplayRole:
        return pNode->m_strName;
    case Qt::DecorationRole:
        return m_keyIcon;
    case Qt::ToolTipRole:
        return PathOf(index);
    default:
        return {};
    }
}

QVariant CRegTreeModel::headerData(int nSection, Qt::Orientation orientation, int nRole) const {
    if (nSection == 0 && orientation == Qt::Horizontal && nRole == Qt::DisplayRole)
        return QStringLiteral("Key");
    return {};
}

const CWineRegKey* CRegTreeModel::KeyAt(const QModelIndex& index) const {
    const SNode* pNode = NodeOf(index);
    return pNode ? pNode->m_pKey : nullptr;
}

QString CRegTreeModel::PathOf(const QModelIndex& index) const {
    QStringList arNames;
    for (const SNode* p = NodeOf(index); p; p = p->m_pParent)
        arNames.prepend(p->m_strName);
    return arNames.join(QLatin1Char('\\'));
}

QModelIndex CRegTreeModel::ChildNamed(const QModelIndex& parent, QStringView name) const {
    const CWineRegKey* pKey = KeyAt(parent);
    const qsizetype nRow = pKey ? pKey->IndexOfSubKey(name) : -1;
    return nRow < 0 ? QModelIndex() : index(int(nRow), 0, parent);
}

QModelIndexList CRegTreeModel::IndexesAlong(QStringView path, bool* pbComplete) const {
    if (pbComplete)
        *pbComplete = false;
    QList<QStringView> arParts;
    for (QStringView part : path.split(u'\\'))
        if (!part.isEmpty())
            arParts.append(part);
    if (!arParts.isEmpty() && EqualRegNames(arParts.front(), u"Computer"))
        arParts.removeFirst();
    QModelIndexList arIndexes;
    if (arParts.isEmpty())
        return arIndexes;
    for (int i = 0; i < 5; ++i)
        if (EqualRegNames(arParts.front(), REGEDIT_ROOTS[i].m_pFull) ||
            EqualRegNames(arParts.front(), REGEDIT_ROOTS[i].m_pAbbrev))
            arIndexes.append(index(i, 0));
    if (arIndexes.isEmpty())
        return arIndexes;
    for (qsizetype i = 1; i < arParts.size(); ++i) {
        const QModelIndex child = ChildNamed(arIndexes.back(), arParts[i]);
        if (!child.isValid())
            return arIndexes;
        arIndexes.append(child);
    }
    if (pbComplete)
        *pbComplete = true;
    return arIndexes;
}
