// The event view: fills the frame's client area with the list panel and answers its requests.
#pragma once

#include "tools/regedit/RegeditJump.h"

#include <QString>
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

    // Edit > Find (command 32793): opens a new modeless Find dialog every time, searching
    // down, with the look's background.
    void OnFind();
    // One search step for a Find dialog's notice (anything but Find Next is ignored): the
    // records next to the selected row's (row 0's when none is selected), towards older ones
    // (down) or newer ones (up), wrapping round, the selected one last. The first match is
    // selected and shown; without one nothing changes. Returns the row selected, or -1.
    qint64 OnFindReplace(const QString& strFindWhat, unsigned nFlags);
    // A search running longer than this shows its progress, with Cancel.
    void SetFindProgressDelay(int nMs) { m_nFindProgressDelayMs = nMs; }

    // Edit > Regedit Jump (command 32794) and a double-click on a row: shows the selected
    // record's key, and its value if it names one, in the registry editor. Returns at once;
    // the wait cursor shows until the editor is there, and a failure is reported in a
    // message. A jump still running is not started again.
    void JumpToRegedit();
    CRegeditJump& GetRegeditJump() { return m_regeditJump; }

    // The list panel's selection notice: the selected row's record to the details pane.
    void OnShowDetails();

private:
    qint64 SearchStep(const QString& strFindWhat, unsigned nFlags);
    void OnRegeditFinished(bool bOk, const QString& strMessage);
    void EndWaitCursor();

    CHivewatchDoc* m_pDoc;
    IViewFrame* m_pFrame;
    CBaseHivewatchDlg* m_pListDlg = nullptr;
    CRegeditJump m_regeditJump;
    int m_nFindProgressDelayMs;
    bool m_bSearching = false;
    bool m_bWaitCursor = false;
    // A jump's failure that ended during a search, told once the search is over.
    QString m_strPendingJumpMessage;
};
