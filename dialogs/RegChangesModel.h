// The tree of the Registry Changes window: keys and values with their change, data, processes
// and event counts.
#pragma once

#include "changes/RegChanges.h"

#include <QAbstractItemModel>

#include <vector>

class CRegChangesModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum EColumn { COL_NAME, COL_CHANGE, COL_DATA, COL_PROCESSES, COL_EVENTS, COLUMN_COUNT };

    // The changes must outlive the model.
    explicit CRegChangesModel(const CRegChanges& changes, QObject* pParent = nullptr);

    QModelIndex index(int nRow, int nColumn, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int nRole = Qt::DisplayRole) const override;
    QVariant headerData(int nSection, Qt::Orientation orientation,
                        int nRole = Qt::DisplayRole) const override;

    // The key of a row (a value's key for a value row), and the value's name as the registry
    // editor lists it ("(Default)" for the unnamed value), empty for a key row.
    // Keys and values in the tree.
    size_t ItemCount() const { return m_arItems.size(); }

    const CRegChangeKey* KeyOf(const QModelIndex& index) const;
    QString ValueNameOf(const QModelIndex& index) const;

    // The texts a row shows, for the value or key it stands for.
    static QString ChangeText(const CRegChangeKey& key);
    static QString ChangeText(const SRegChangeValue& value);
    static QString DataText(const SRegChangeValue& value);

private:
    // Keys list their values first, then their subkeys.
    struct SItem {
        const CRegChangeKey* m_pKey = nullptr;
        const SRegChangeValue* m_pValue = nullptr;
        int m_nParent = -1;
        int m_nRow = 0;
        std::vector<int> m_arChildren;
    };
    void Add(const CRegChangeKey& key, int nParent);
    const SItem* ItemOf(const QModelIndex& index) const;

    std::vector<SItem> m_arItems;
    std::vector<int> m_arRoots;
};
