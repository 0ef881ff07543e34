// The event view: fills the frame's client area with the list panel and answers its requests.
#pragma once

#include <QWidget>

class CBaseHivewatchDlg;
class CHivewatchDoc;
class IViewFrame;

class CHivewatchView : public QWidget {
    Q_OBJECT
public:
    CHivewatchView(CHivewatchDoc* pDoc, IViewFrame* pFrame, QWidget* pParent = nullptr);
    ~CHivewatchView() override;

    // The first update after the document is attached: registers with the frame, creates
    // the list panel once, shows the record count and the look's background.
    void OnInitialUpdate();

    CHivewatchDoc* GetDocument() const { return m_pDoc; }
    CBaseHivewatchDlg* GetListDlg() const { return m_pListDlg; }
    // Destroys the list panel (the end of the window's close).
    void DestroyListDlg();

    // Edit > Find (command 32793). The search is wired in by its own change; until then
    // the command reaches this operation and does nothing.
    void OnFind();
    // Edit > Regedit Jump (command 32794) and a double-click on a row. The jump to the
    // registry editor is wired in by its own change; until then this does nothing.
    void JumpToRegedit();

    // The list panel's selection notice: the selected row's record to the details pane.
    void OnShowDetails();

private:
    CHivewatchDoc* m_pDoc;
    IViewFrame* m_pFrame;
    CBaseHivewatchDlg* m_pListDlg = nullptr;
};
