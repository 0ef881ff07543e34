// The editor's key tree: the five root keys of a registry and their subkeys, built as shown.
#pragma once

#include "winereg/WineRegistry.h"

#include <QAbstractItemModel>
#include <QModelIndexList>
#include <QVariant>

#include <memory>
#include <vector>

// One column. Rows are HKEY_CLASSES_ROOT (HKLM\Software\Classes), HKEY_CURRENT_USER,
// HKEY_LOCAL_MACHINE, HKEY_USERS and HKEY_CURRENT_CONFIG, then each key's subkeys in name
// order. A link key (such as CurrentControlSet) shows its target's subkeys. Nodes are made when
// the view first asks for them; the registry must not change while it is shown (SetRegistry
// again after any change).
class CRegTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit CRegTreeModel(QObject* pParent = nullptr);
    ~CRegTreeModel() override;

    void SetRegistry(const CWineRegistry* pRegistry);
    // Shown for every key (DecorationRole); a QIcon from the window, or nothing.
    void SetKeyIcon(const QVariant& icon) { m_keyIcon = icon; }

    QModelIndex index(int nRow, int nColumn, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int nRole = Qt::DisplayRole) const override;
    QVariant headerData(int nSection, Qt::Orientation orientation,
                        int nRole = Qt::DisplayRole) const override;

    // The key whose values and subkeys the node shows (a link's target); nullptr when missing.
    const CWineRegKey* KeyAt(const QModelIndex& index) const;
    // "HKEY_LOCAL_MACHINE\SOFTWARE\Classes" for a node.
    QString PathOf(const QModelIndex& index) const;
    QModelIndex ChildNamed(const QModelIndex& parent, QStringView name) const;
    // The nodes along a path, root first, as far as the path exists; empty when its root is not
    // one of the five (full names or HKLM, HKCU, HKCR, HKU, HKCC, ignoring case, an optional
    // "Computer\" in front). *pbComplete tells whether the whole path was found.
    QModelIndexList IndexesAlong(QStringView path, bool* pbComplete = nullptr) const;

private:
    struct SNode;
    SNode* NodeOf(const QModelIndex& index) const;
    void Build(SNode& node) const;

    const CWineRegistry* m_pRegistry = nullptr;
    std::vector<std::unique_ptr<SNode>> m_arRoots;
    QVariant m_keyIcon;
};

// The five roots in the order the tree shows them: full name and abbreviation.
struct SRegeditRoot {
    const char16_t* m_pFull;
    const char16_t* m_pAbbrev;
};
inline constexpr SRegeditRoot REGEDIT_ROOTS[5] = {
    {u"HKEY_CLASSES_ROOT", u"HKCR"},   {u"HKEY_CURRENT_USER", u"HKCU"},
    {u"HKEY_LOCAL_MACHINE", u"HKLM"},  {u"HKEY_USERS", u"HKU"},
    {u"HKEY_CURRENT_CONFIG", u"HKCC"},
};
