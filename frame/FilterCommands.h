// The main window's display filter and highlight: their dialogs and quick rules, Filter Off,
// the status text, and the rules kept across runs.
#pragma once

#include "filter/DisplayRulesFile.h"

#include <QObject>
#include <QPoint>

#include <functional>

class CBaseHivewatchDlg;
class CHivewatchDoc;
class QAction;
class QLabel;
class QMainWindow;
class QMenu;

// The rules live here and in the document (which applies them); every change is saved at
// once. Applying a filter keeps the selected event selected and in view when it stays
// shown.
class CFilterCommands : public QObject {
    Q_OBJECT
public:
    // Cell texts longer than this are cut short in the menu entries (the rule keeps them).
    static constexpr int MENU_TEXT_CHARS = 60;

    // fnList reaches the event list once it exists; pStatus is the status-bar pane for
    // "Showing N of M events"; pFilterOff is View > Filter Off (checkable).
    CFilterCommands(CHivewatchDoc* pDoc, QMainWindow* pWindow,
                    std::function<CBaseHivewatchDlg*()> fnList, QLabel* pStatus,
                    QAction* pFilterOff, const QString& strRulesPath);

    // Reads the kept rules and puts them in force (at start-up); a damaged file is told in
    // the status bar.
    void Start();

    void OnFilter();    // Edit > Filter...
    void OnHighlight(); // Edit > Highlight...
    // View > Filter Off: every event shows again, the rules kept; unchecking brings them back.
    void OnFilterOff(bool bOff);
    // The right-click menu of a cell: quick rules from its column and text.
    void OnCellMenu(qint64 nRow, int nColumn, const QPoint& ptGlobal);
    // The menu itself, its entries ready to trigger (the caller owns it); null without a
    // record in that row.
    QMenu* BuildCellMenu(qint64 nRow, int nColumn, QWidget* pParent);

    // Makes rules the filter and puts it in force (Filter Off ends); remembers them among
    // the recent filters. False when there was not enough memory (the user was told).
    bool ApplyFilter(const CFilterRules& rules);
    void ApplyHighlight(const CFilterRules& rules, uint32_t clrHighlight);
    // After every refresh of the list: the status text while a filter is in force.
    void UpdateStatus();

    const SDisplayRules& Rules() const { return m_rules; }
    QString RulesPath() const { return m_file.Path(); }

private:
    // The rules in force in the document, the list refreshed, the selection kept.
    bool PutFilterInForce();
    void AddQuickRule(const SFilterRule& rule);
    void Save();
    void UpdateActions();
    void ShowNote(const QString& strText);

    CHivewatchDoc* m_pDoc;
    QMainWindow* m_pWindow;
    std::function<CBaseHivewatchDlg*()> m_fnList;
    QLabel* m_pStatus;
    QAction* m_pFilterOff;
    CDisplayRulesFile m_file;
    SDisplayRules m_rules;
};
