// The main window: menus, toolbar, status bar, details pane, looks, and the capture engine.
#pragma once

#include "capture/CaptureEngine.h"
#include "capture/CaptureHost.h"
#include "display/ViewFrame.h"
#include "frame/RefreshThrottle.h"
#include "settings/SetObj.h"
#include "store/DocumentHost.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>

#include <atomic>

class CDocManager;
class CDriverMessages;
class CFilterCommands;
class CShellOpenQueue;
class CHelpWindow;
class CHivewatchDoc;
class CHivewatchView;
class COutputWnd;
class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QToolBar;

class CMainFrame : public QMainWindow,
                   public ICaptureHost,
                   public IDocumentHost,
                   public IViewFrame {
    Q_OBJECT
public:
    CMainFrame(CHivewatchDoc* pDoc, CDocManager* pDocManager, QWidget* pParent = nullptr);
    ~CMainFrame() override;

    // Builds the chrome, the view and the details pane, applies the look, and ends with
    // StartDriver. False when the window could not be built.
    bool OnCreate();

    // The action of a command ID, or nullptr.
    QAction* GetCommand(int nId) const { return m_commands.value(nId); }
    // The update rules: New, Open, Save, Save As, Start Capture, Attach and Open New Program
    // only while not capturing; Stop Capture only while capturing; the look's radio mark.
    void UpdateCommandStates();

    // Opens a capture document handed over from outside (another start, a drop, the command
    // line), asking to save the current one first; one that arrives while another is being
    // opened, or while a dialog is open, waits its turn (see CShellOpenQueue).
    void OpenDocumentFromShell(const QString& strPath);
    CShellOpenQueue* GetOpenQueue() const { return m_pOpenQueue; }

    // ---- the capture engine's host (capture thread) ----
    void RefreshList() override;
    void PostCloseNotice() override;
    // ---- the document's host ----
    void SwitchCaptureOff() override;
    void ClearListControl() override;
    bool HasListView() const override;
    void RefreshItemCount() override;
    // ---- the view's frame ----
    void SetMainView(CHivewatchView* pView) override;
    int ShowRecordDetails(qint64 nRow) override;

    // ---- command handlers ----
    void OnStartCapture();
    void OnStopCapture();
    void OnClearDisplay();
    void OnApplicationLook(int nId);
    void OnAppAbout();
    void OnHelpFinder();
    void OnContextHelp();
    // The refresh notice open to any sender: the list shows the count, the document is
    // marked modified.
    void OnRefreshList();
    // Export (32773), Options (32783), Attach (32785) and Open New Program (32787) open
    // dialogs that are wired in by their own change; until then they do nothing.
    void OnExport();
    void OnOptions();
    void OnAttach();
    void OnOpenNewProgram();
    // Tools > Registry Changes over every record, or over the records a display filter shows.
    void OnRegistryChanges();

    CHivewatchDoc* GetDocument() const { return m_pDoc; }
    COutputWnd* GetOutputWnd() const { return m_wndOutput; }
    QToolBar* GetToolBar() const { return m_wndToolBar; }
    CRefreshThrottle& GetRefreshThrottle() { return m_refresh; }
    // The status-bar pane that shows the idle text.
    QLabel* GetIdlePane() const { return m_pIdlePane; }
    // What StartDriver reported, empty when the driver runs.
    QString GetDriverProblem() const { return m_strDriverProblem; }
    CDriverMessages* GetDriverMessages() const { return m_pDriverMessages; }
    // Edit > Filter, Edit > Highlight, View > Filter Off and the cells' quick rules.
    CFilterCommands* GetFilterCommands() const { return m_pFilters; }
    // The status-bar pane that shows "Showing N of M events" while a filter is in force.
    QLabel* GetFilterPane() const { return m_pFilterPane; }

    // The right-click menu of the toolbar and docking areas: the View menu's pane list.
    QMenu* createPopupMenu() override;

    CHivewatchView* m_pMainView = nullptr;
    COLORREF m_clrLook;
    CCaptureEngine m_engine;

protected:
    void closeEvent(QCloseEvent* pEvent) override;
    void dragEnterEvent(QDragEnterEvent* pEvent) override;
    void dropEvent(QDropEvent* pEvent) override;
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    void CreateActions();
    void CreateMenus();
    bool CreateToolBar();
    void CreateStatusBar();
    void CreateFilterCommands();
    bool CreateDockingWindows();
    void FillPaneMenu(QMenu* pMenu);
    void UpdateRecentFileMenu();
    void UpdateCaption(const QString& strCaption);
    void ShowDriverProblem();
    // Loads the driver again when it is not running; false (with the reason kept) when it
    // still cannot be loaded.
    bool EnsureDriver();
    bool AllowWineProgramsToOutlive();
    int GetAppLook() const;
    void SetAppLook(int nId);
    QAction* AddCommand(int nId);
    void Connect(int nId, void (CMainFrame::*pfnHandler)());
    CShellOpenQueue* CreateOpenQueue();

    CHivewatchDoc* m_pDoc;
    CDocManager* m_pDocManager;
    CRefreshThrottle m_refresh;
    QHash<int, QAction*> m_commands;
    QActionGroup* m_pLookGroup = nullptr;
    QMenu* m_pFileMenu = nullptr;
    QMenu* m_pPaneMenu = nullptr;
    QAction* m_pRecentPlaceholder = nullptr;
    QList<QAction*> m_arRecentActions;
    QToolBar* m_wndToolBar = nullptr;
    COutputWnd* m_wndOutput = nullptr;
    QLabel* m_pIdlePane = nullptr;
    QLabel* m_pDriverPane = nullptr; // "Capture unavailable" while the driver is not loaded
    QLabel* m_pFilterPane = nullptr;
    CFilterCommands* m_pFilters = nullptr;
    CDriverMessages* m_pDriverMessages = nullptr;
    QPointer<CHelpWindow> m_pHelpWindow;
    CShellOpenQueue* m_pOpenQueue;
    QString m_strDriverProblem;
    int m_nAppLookWithoutApp = DEFAULT_APP_LOOK;
    std::atomic<bool> m_bDestroying{false};
};
