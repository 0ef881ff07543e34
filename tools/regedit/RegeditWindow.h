// The registry editor's main window: key tree, value list, status; it shows the controller's
// state and forwards commands and automation requests to it.
#pragma once

#include "tools/regedit/RegeditController.h"
#include "tools/regedit/RegeditServer.h"

#include <QMainWindow>
#include <QTreeView>

class QLabel;

// The value list: its type-ahead and Home go through the controller, so typing by hand and
// typing through the automation channel select alike.
class CValueListView : public QTreeView {
    Q_OBJECT
public:
    CValueListView(CRegeditController& controller, QWidget* pParent = nullptr);
    void keyboardSearch(const QString& strSearch) override;

protected:
    void keyPressEvent(QKeyEvent* pEvent) override;

private:
    CRegeditController& m_controller;
};

class CRegeditWindow : public QMainWindow, public CRegeditTarget {
    Q_OBJECT
public:
    explicit CRegeditWindow(const SRegeditSource& source, QWidget* pParent = nullptr);

    CRegeditController& Controller() { return m_controller; }
    // Shown in the status bar when the automation channel could not be opened.
    void SetChannelError(const QString& strError);

    void OpenSource(const SRegeditSource& source) override;
    void ShowAndRaise() override;
    QString ExpandTreeNode(const QString& strPath, bool& bComplete) override;
    void FocusValueList(bool bList) override;
    QString KeyHome() override;
    QString TypeChar(QChar ch) override;
    QStringList State() const override;
    void Quit() override;

private:
    void CreateMenus();
    void OnLoaded();
    void OnCurrentKeyChanged(const QModelIndex& current);

    CRegeditController m_controller;
    QTreeView* m_pTree = nullptr;
    CValueListView* m_pValues = nullptr;
    QLabel* m_pErrors = nullptr;
    QLabel* m_pPath = nullptr;
    bool m_bListFocused = false;
};
