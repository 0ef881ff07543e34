// What the registry editor does, apart from painting: the registry it shows, the selected key
// and value, reloading, ExpandTreeNode and type-ahead.
#pragma once

#include "tools/regedit/RegTreeModel.h"
#include "tools/regedit/RegValueModel.h"
#include "tools/regedit/TypeAhead.h"

#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QObject>
#include <QStringList>

#include <memory>

// The folder where the substitute driver keeps its registry files (ending in '/'):
// HIVEWATCH_DRIVER_REGISTRY when it is set, else the system folder's config/; empty when there
// is none.
QString DriverRegistryFolder();

// The registry files the editor shows: the substitute driver's, or a Wine prefix's (the
// driver's live view of it while that is the newest).
struct SRegeditSource {
    QString m_strPrefix; // empty: the substitute driver's files

    // The folder with the files, ending in '/'; empty when the system folder cannot be made.
    QString Folder() const;
    // "Hivewatch registry (<folder>)" or "Wine prefix <folder>", for the title and STATE.
    QString Describe() const;
    bool operator==(const SRegeditSource&) const = default;
};

class CRegeditController : public QObject {
    Q_OBJECT
public:
    explicit CRegeditController(QObject* pParent = nullptr);
    ~CRegeditController() override;

    CRegTreeModel& TreeModel() { return m_treeModel; }
    CRegValueModel& ValueModel() { return m_valueModel; }
    QItemSelectionModel& TreeSelection() { return m_treeSelection; }
    QItemSelectionModel& ValueSelection() { return m_valueSelection; }

    const SRegeditSource& Source() const { return m_source; }
    // One message per file that is missing or damaged, from the last load.
    const QStringList& Errors() const { return m_arErrors; }

    // Shows another source's files; does nothing when it is already shown. Every load keeps the
    // selected key, or as much of its path as is still there.
    void Open(const SRegeditSource& source);
    // Reads the files again (F5).
    void Reload();
    // Reads the files again, expands the tree along strPath as far as the keys exist and
    // selects the deepest key found, as a registry editor does. Returns that key's path
    // ("HKEY_LOCAL_MACHINE\...") and tells in *pbComplete whether it is the whole path;
    // empty when the path's root is not one of the five.
    QString ExpandTreeNode(const QString& strPath, bool* pbComplete = nullptr);

    QString SelectedKeyPath() const;
    // The selected value's name as the list shows it ("(Default)" for the unnamed value).
    QString SelectedValueName() const;
    // Home in the value list: selects its first entry and starts a new type-ahead.
    QString KeyHome();
    // One typed character in the value list; returns the selected value's name.
    QString TypeChar(QChar ch);

signals:
    // The tree must show this node's subkeys: it lies on the way to a key being selected.
    void expandRequested(const QModelIndex& index);
    // The files were (re)loaded; Source() and Errors() may have changed.
    void loaded();

private:
    void Load();
    void SelectAlong(const QString& strPath, bool* pbComplete);
    void SelectValueRow(int nRow);
    void OnCurrentKeyChanged(const QModelIndex& current);

    SRegeditSource m_source;
    bool m_bOpened = false;
    std::unique_ptr<CWineRegistry> m_pRegistry;
    QStringList m_arErrors;
    CRegTreeModel m_treeModel;
    CRegValueModel m_valueModel;
    QItemSelectionModel m_treeSelection{&m_treeModel};
    QItemSelectionModel m_valueSelection{&m_valueModel};
    CTypeAhead m_typeAhead;
    QElapsedTimer m_clock;
};
