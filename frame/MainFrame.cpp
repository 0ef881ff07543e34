#include "frame/MainFrame.h"

#include "display/BaseHivewatchDlg.h"
#include "display/HivewatchView.h"
#include "display/OutputWnd.h"
#include "frame/AppLook.h"
#include "frame/CommandIds.h"
#include "frame/CommandTable.h"
#include "frame/DriverMessages.h"
#include "frame/FilterCommands.h"
#include "frame/ShellOpenQueue.h"
#include "frame/WineExitPrompt.h"
#include "framework/DocManager.h"
#include "framework/WinAppEx.h"
#include "platform/WineLaunch.h"
#include "res/Resources.h"
#include "store/HivewatchDoc.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

namespace {
// The idle update of the command states, as a backstop to the updates after each command.
constexpr int IDLE_UPDATE_MS = 200;
const QString kWorkspaceState = QStringLiteral("Workspace/State");
} // namespace

CMainFrame::CMainFrame(CHivewatchDoc* pDoc, CDocManager* pDocManager, QWidget* pParent)
    : QMainWindow(pParent), m_clrLook(g_SetObj.m_clrBackground), m_engine(pDoc, this), m_pDoc(pDoc),
      m_pDocManager(pDocManager), m_refresh([this] { RefreshItemCount(); }, this),
      m_pOpenQueue(CreateOpenQueue()) {
    InitHivewatchResources();
    setObjectName(QStringLiteral("MainFrame"));
    SetAppLook(g_SetObj.m_nAppLook);
}

CMainFrame::~CMainFrame() {
    // The capture thread ends before anything it reaches goes away.
    m_bDestroying = true;
    if (m_engine.m_bRunning || m_engine.m_hCaptureThread.joinable())
        m_engine.StopDriver();
}

int CMainFrame::GetAppLook() const {
    const CWinAppEx* pApp = CWinAppEx::GetApp();
    return pApp ? pApp->m_nAppLook : m_nAppLookWithoutApp;
}

void CMainFrame::SetAppLook(int nId) {
    if (CWinAppEx* pApp = CWinAppEx::GetApp())
        pApp->m_nAppLook = nId;
    m_nAppLookWithoutApp = nId;
}

bool CMainFrame::OnCreate() {
    setWindowIcon(QIcon(QStringLiteral(":/icons/hivewatch.svg")));
    OnApplicationLook(GetAppLook());
    CreateActions();
    CreateMenus();
    if (!CreateToolBar())
        return false;
    CreateStatusBar();
    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowTabbedDocks);
    auto* pView = new CHivewatchView(m_pDoc, this, this);
    setCentralWidget(pView);
    if (!CreateDockingWindows())
        return false;
    FillPaneMenu(m_pPaneMenu);
    pView->OnInitialUpdate();
    CreateFilterCommands();
    setAcceptDrops(true);
    restoreState(QSettings().value(kWorkspaceState).toByteArray());

    if (m_pDocManager) {
        m_pDocManager->SetDialogParent(this);
        connect(m_pDocManager, &CDocManager::TitleChanged, this, &CMainFrame::UpdateCaption);
        connect(m_pDocManager, &CDocManager::RecentFileListChanged, this,
                &CMainFrame::UpdateRecentFileMenu);
        // New and Open stop the capture and replace the records: the list and the command
        // states follow, also when a damaged file was only partly read.
        connect(m_pDocManager, &CDocManager::ContentsReplaced, this, [this] {
            RefreshItemCount();
            UpdateCommandStates();
        });
        UpdateCaption(m_pDocManager->GetCaption());
        UpdateRecentFileMenu();
    }
    auto* pIdle = new QTimer(this);
    connect(pIdle, &QTimer::timeout, this, &CMainFrame::UpdateCommandStates);
    pIdle->start(IDLE_UPDATE_MS);

    // The driver last: a driver that cannot be loaded leaves a working window; Start Capture
    // tries again and says why it cannot.
    if (!m_engine.StartDriver())
        ShowDriverProblem();
    m_pDriverMessages = new CDriverMessages(this, [this] { return m_engine.TakeDriverMessages(); });
    UpdateCommandStates();
    return true;
}

// The reason waits for Start Capture; the status bar only marks that capture is unavailable,
// in a pane of its own, so its prompts stay readable.
void CMainFrame::ShowDriverProblem() {
    m_strDriverProblem = m_engine.LastError();
    if (m_strDriverProblem.isEmpty())
        m_strDriverProblem = QStringLiteral("the driver could not be loaded");
    m_pDriverPane->setText(QStringLiteral("Capture unavailable"));
    m_pDriverPane->setToolTip(m_strDriverProblem);
    m_pDriverPane->setVisible(!m_strDriverProblem.isEmpty());
}

bool CMainFrame::EnsureDriver() {
    if (m_engine.m_bRunning)
        return true;
    m_engine.StopDriver(); // what a failed load left behind
    if (!m_engine.StartDriver()) {
        ShowDriverProblem();
        return false;
    }
    m_strDriverProblem.clear();
    m_pDriverPane->setVisible(false);
    return true;
}

// Windows programs of the watched prefix keep running after Hivewatch unless the user ends
// them now; Cancel keeps the window open.
bool CMainFrame::AllowWineProgramsToOutlive() {
    if (!m_engine.m_bRunning)
        return true;
    const QString strPrefix = WatchedWinePrefix();
    switch (AskAboutWinePrograms(this, strPrefix, RunningWinePrograms(strPrefix))) {
    case EWineExitChoice::CANCEL:
        return false;
    case EWineExitChoice::END_THEM: {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        QString strWhy;
        const bool bEnded = WineEndPrograms(strPrefix, &strWhy);
        QGuiApplication::restoreOverrideCursor();
        if (!bEnded)
            QMessageBox::warning(this, QStringLiteral("Hivewatch"), strWhy + QLatin1Char('.'));
        return true;
    }
    default:
        return true;
    }
}

// ---- actions, menus, toolbar, status bar, pane ----

QAction* CMainFrame::AddCommand(int nId) {
    const SCommand* pCmd = FindCommand(nId);
    auto* pAction = new QAction(QString::fromLatin1(pCmd->pMenuText), this);
    pAction->setData(nId);
    pAction->setStatusTip(PromptStatusText(*pCmd));
    pAction->setWhatsThis(PromptStatusText(*pCmd));
    pAction->setToolTip(PromptToolTip(*pCmd));
    if (pCmd->pIcon) {
        pAction->setIcon(QIcon(QString::fromLatin1(pCmd->pIcon)));
        // Menu entries show their toolbar image, whatever the desktop's habit.
        pAction->setIconVisibleInMenu(true);
    }
    if (pCmd->pShortcut)
        pAction->setShortcut(QKeySequence(QString::fromLatin1(pCmd->pShortcut)));
    m_commands.insert(nId, pAction);
    return pAction;
}

void CMainFrame::Connect(int nId, void (CMainFrame::*pfnHandler)()) {
    connect(m_commands.value(nId), &QAction::triggered, this, pfnHandler);
}

void CMainFrame::CreateActions() {
    for (const SCommand& cmd : GetCommandTable())
        AddCommand(cmd.nId);
    connect(GetCommand(ID_FILE_NEW), &QAction::triggered, this, [this] {
        if (m_pDocManager)
            m_pDocManager->OnFileNew();
        UpdateCommandStates();
    });
    connect(GetCommand(ID_FILE_OPEN), &QAction::triggered, this, [this] {
        if (m_pDocManager)
            m_pDocManager->OnFileOpen();
        UpdateCommandStates();
    });
    connect(GetCommand(ID_FILE_SAVE), &QAction::triggered, this, [this] {
        if (m_pDocManager)
            m_pDocManager->OnFileSave();
    });
    connect(GetCommand(ID_FILE_SAVE_AS), &QAction::triggered, this, [this] {
        if (m_pDocManager)
            m_pDocManager->OnFileSaveAs();
    });
    connect(GetCommand(ID_APP_EXIT), &QAction::triggered, this, &QWidget::close);
    Connect(ID_FILE_EXPORT, &CMainFrame::OnExport);
    connect(GetCommand(ID_EDIT_FIND), &QAction::triggered, this, [this] {
        if (m_pMainView)
            m_pMainView->OnFind();
    });
    connect(GetCommand(ID_REGEDIT_JUMP), &QAction::triggered, this, [this] {
        if (m_pMainView)
            m_pMainView->JumpToRegedit();
    });
    Connect(ID_CLEAR_DISPLAY, &CMainFrame::OnClearDisplay);
    GetCommand(ID_VIEW_FILTER_OFF)->setCheckable(true);
    Connect(ID_START_CAPTURE, &CMainFrame::OnStartCapture);
    Connect(ID_STOP_CAPTURE, &CMainFrame::OnStopCapture);
    Connect(ID_ATTACH, &CMainFrame::OnAttach);
    Connect(ID_OPEN_NEW_PROGRAM, &CMainFrame::OnOpenNewProgram);
    Connect(ID_OPTIONS, &CMainFrame::OnOptions);
    Connect(ID_REGISTRY_CHANGES, &CMainFrame::OnRegistryChanges);
    Connect(ID_APP_ABOUT, &CMainFrame::OnAppAbout);
    Connect(ID_HELP_FINDER, &CMainFrame::OnHelpFinder);
    Connect(ID_HELP, &CMainFrame::OnHelpFinder);
    Connect(ID_CONTEXT_HELP, &CMainFrame::OnContextHelp);
    // F1 and Shift+F1 have no menu entry; they work anywhere in the window.
    for (const int nId : {ID_HELP, ID_CONTEXT_HELP}) {
        GetCommand(nId)->setShortcutContext(Qt::WindowShortcut);
        addAction(GetCommand(nId));
    }

    QAction* pStatusBar = GetCommand(ID_VIEW_STATUS_BAR);
    pStatusBar->setCheckable(true);
    pStatusBar->setChecked(true);
    connect(pStatusBar, &QAction::toggled, this,
            [this](bool bOn) { statusBar()->setVisible(bOn); });

    m_pLookGroup = new QActionGroup(this);
    m_pLookGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (int nId = ID_VIEW_APPLOOK_WIN_2000; nId <= ID_VIEW_APPLOOK_OFF_2007_AQUA; ++nId) {
        QAction* pLook = GetCommand(nId);
        pLook->setCheckable(true);
        m_pLookGroup->addAction(pLook);
        connect(pLook, &QAction::triggered, this, [this, nId] { OnApplicationLook(nId); });
    }
}

void CMainFrame::CreateMenus() {
    QMenuBar* pBar = menuBar();
    m_pFileMenu = pBar->addMenu(QStringLiteral("&File"));
    m_pFileMenu->addAction(GetCommand(ID_FILE_NEW));
    m_pFileMenu->addAction(GetCommand(ID_FILE_OPEN));
    m_pFileMenu->addAction(GetCommand(ID_FILE_SAVE));
    m_pFileMenu->addAction(GetCommand(ID_FILE_SAVE_AS));
    m_pFileMenu->addSeparator();
    m_pFileMenu->addAction(GetCommand(ID_FILE_EXPORT));
    m_pFileMenu->addSeparator();
    m_pRecentPlaceholder = m_pFileMenu->addAction(QStringLiteral("Recent File"));
    m_pRecentPlaceholder->setData(int(ID_FILE_MRU_FILE1));
    m_pRecentPlaceholder->setEnabled(false);
    m_pFileMenu->addSeparator();
    m_pFileMenu->addAction(GetCommand(ID_APP_EXIT));
    m_pFileMenu->addSeparator();
    m_pFileMenu->setSeparatorsCollapsible(false);

    QMenu* pEdit = pBar->addMenu(QStringLiteral("&Edit"));
    pEdit->addAction(GetCommand(ID_EDIT_FIND));
    pEdit->addAction(GetCommand(ID_REGEDIT_JUMP));
    pEdit->addSeparator();
    pEdit->addAction(GetCommand(ID_EDIT_FILTER));
    pEdit->addAction(GetCommand(ID_EDIT_HIGHLIGHT));
    pEdit->addSeparator();
    pEdit->addAction(GetCommand(ID_CLEAR_DISPLAY));

    QMenu* pTools = pBar->addMenu(QStringLiteral("&Tools"));
    pTools->addAction(GetCommand(ID_START_CAPTURE));
    pTools->addAction(GetCommand(ID_STOP_CAPTURE));
    pTools->addSeparator();
    pTools->addAction(GetCommand(ID_ATTACH));
    pTools->addAction(GetCommand(ID_OPEN_NEW_PROGRAM));
    pTools->addSeparator();
    pTools->addAction(GetCommand(ID_OPTIONS));
    pTools->addSeparator();
    pTools->addAction(GetCommand(ID_REGISTRY_CHANGES));

    QMenu* pView = pBar->addMenu(QStringLiteral("&View"));
    QMenu* pPanes = pView->addMenu(QStringLiteral("&Toolbars and Docking Windows"));
    pPanes->setObjectName(QStringLiteral("PaneMenu"));
    connect(pPanes, &QMenu::aboutToShow, this, [this, pPanes] { FillPaneMenu(pPanes); });
    pView->addAction(GetCommand(ID_VIEW_STATUS_BAR));
    pView->addAction(GetCommand(ID_VIEW_FILTER_OFF));
    QMenu* pLooks = pView->addMenu(QStringLiteral("&Application Look"));
    for (int nId = ID_VIEW_APPLOOK_WIN_2000; nId <= ID_VIEW_APPLOOK_VS_2005; ++nId)
        pLooks->addAction(GetCommand(nId));
    QMenu* p2007 = pLooks->addMenu(QStringLiteral("Office 200&7"));
    for (int nId = ID_VIEW_APPLOOK_OFF_2007_BLUE; nId <= ID_VIEW_APPLOOK_OFF_2007_AQUA; ++nId)
        p2007->addAction(GetCommand(nId));

    QMenu* pHelp = pBar->addMenu(QStringLiteral("&Help"));
    pHelp->addAction(GetCommand(ID_HELP_FINDER));
    pHelp->addSeparator();
    pHelp->addAction(GetCommand(ID_APP_ABOUT));

    for (QMenu* pMenu : pBar->findChildren<QMenu*>())
        connect(pMenu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
    m_pPaneMenu = pPanes;
}

bool CMainFrame::CreateToolBar() {
    m_wndToolBar = new QToolBar(QStringLiteral("Standard"), this);
    m_wndToolBar->setObjectName(QStringLiteral("ToolBarStandard"));
    m_wndToolBar->setIconSize(QSize(16, 16));
    m_wndToolBar->setAllowedAreas(Qt::AllToolBarAreas);
    m_wndToolBar->setMovable(true);
    m_wndToolBar->setFloatable(true);
    for (const int nId : GetToolbarButtons()) {
        if (nId == 0)
            m_wndToolBar->addSeparator();
        else
            m_wndToolBar->addAction(GetCommand(nId));
    }
    addToolBar(Qt::TopToolBarArea, m_wndToolBar);
    // A button's prompt shows while it is hovered; leaving it brings the idle text back.
    for (QAction* pAction : m_wndToolBar->actions()) {
        if (QWidget* pButton = m_wndToolBar->widgetForAction(pAction))
            pButton->installEventFilter(this);
    }
    return true;
}

bool CMainFrame::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (pEvent->type() == QEvent::Leave && pWatched->parent() == m_wndToolBar)
        statusBar()->clearMessage();
    return QMainWindow::eventFilter(pWatched, pEvent);
}

void CMainFrame::CreateStatusBar() {
    // One pane: the idle text, covered by a command's prompt while one is hovered.
    m_pIdlePane = new QLabel(QString::fromLatin1(IDLE_STATUS_TEXT), this);
    m_pIdlePane->setObjectName(QStringLiteral("IdlePane"));
    statusBar()->addWidget(m_pIdlePane, 1);
    m_pDriverPane = new QLabel(this);
    m_pDriverPane->setObjectName(QStringLiteral("DriverPane"));
    m_pDriverPane->setVisible(false);
    statusBar()->addPermanentWidget(m_pDriverPane);
    m_pFilterPane = new QLabel(this);
    m_pFilterPane->setObjectName(QStringLiteral("FilterPane"));
    m_pFilterPane->setVisible(false);
    statusBar()->addPermanentWidget(m_pFilterPane);
}

// The rules kept from the last run come into force once the list exists.
void CMainFrame::CreateFilterCommands() {
    m_pFilters = new CFilterCommands(
        m_pDoc, this,
        [this]() -> CBaseHivewatchDlg* {
            return m_pMainView ? m_pMainView->GetListDlg() : nullptr;
        },
        m_pFilterPane, GetCommand(ID_VIEW_FILTER_OFF), CDisplayRulesFile::DefaultPath());
    connect(GetCommand(ID_EDIT_FILTER), &QAction::triggered, m_pFilters,
            &CFilterCommands::OnFilter);
    connect(GetCommand(ID_EDIT_HIGHLIGHT), &QAction::triggered, m_pFilters,
            &CFilterCommands::OnHighlight);
    connect(GetCommand(ID_VIEW_FILTER_OFF), &QAction::triggered, m_pFilters,
            &CFilterCommands::OnFilterOff);
    if (m_pMainView && m_pMainView->GetListDlg())
        connect(m_pMainView->GetListDlg(), &CBaseHivewatchDlg::CellMenuRequested, m_pFilters,
                &CFilterCommands::OnCellMenu);
    m_pFilters->Start();
}

bool CMainFrame::CreateDockingWindows() {
    m_wndOutput = new COutputWnd(this);
    m_wndOutput->setAllowedAreas(Qt::AllDockWidgetAreas);
    addDockWidget(Qt::BottomDockWidgetArea, m_wndOutput);
    // Tall enough for the eight lines a record can have.
    const int nLines = m_wndOutput->GetDetails().fontMetrics().lineSpacing() * 9;
    resizeDocks({m_wndOutput}, {nLines + 40}, Qt::Vertical);
    return true;
}

void CMainFrame::FillPaneMenu(QMenu* pMenu) {
    pMenu->clear();
    pMenu->addAction(m_wndToolBar->toggleViewAction());
    if (m_wndOutput)
        pMenu->addAction(m_wndOutput->toggleViewAction());
}

// The right-click menu of the toolbar and docking areas: the same list as the View menu's.
QMenu* CMainFrame::createPopupMenu() {
    auto* pMenu = new QMenu(this);
    FillPaneMenu(pMenu);
    return pMenu;
}

void CMainFrame::UpdateRecentFileMenu() {
    for (QAction* pAction : m_arRecentActions) {
        m_pFileMenu->removeAction(pAction);
        pAction->deleteLater();
    }
    m_arRecentActions.clear();
    if (!m_pDocManager)
        return;
    const CRecentFileList& recent = m_pDocManager->GetRecentFileList();
    m_pRecentPlaceholder->setVisible(recent.GetEntries().isEmpty());
    for (int i = 0; i < recent.GetEntries().size(); ++i) {
        auto* pAction = new QAction(recent.GetDisplayName(i), this);
        pAction->setData(int(ID_FILE_MRU_FILE1) + i);
        pAction->setStatusTip(QStringLiteral("Open this document"));
        const QString strPath = recent.GetEntries()[i];
        connect(pAction, &QAction::triggered, this, [this, strPath] {
            // The list changes while opening; the path is taken before.
            m_pDocManager->OpenDocumentFile(strPath);
            UpdateCommandStates();
        });
        m_pFileMenu->insertAction(m_pRecentPlaceholder, pAction);
        m_arRecentActions.append(pAction);
    }
}

void CMainFrame::UpdateCaption(const QString& strCaption) {
    setWindowTitle(strCaption);
}

void CMainFrame::UpdateCommandStates() {
    const bool bCapturing = m_engine.m_bCapturing != 0;
    for (const int nId : {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, ID_FILE_SAVE_AS,
                          ID_START_CAPTURE, ID_ATTACH, ID_OPEN_NEW_PROGRAM})
        GetCommand(nId)->setEnabled(!bCapturing);
    GetCommand(ID_STOP_CAPTURE)->setEnabled(bCapturing);
    // The radio mark on the look in force only; an unknown look has none.
    const int nLook = GetAppLook();
    for (int nId = ID_VIEW_APPLOOK_WIN_2000; nId <= ID_VIEW_APPLOOK_OFF_2007_AQUA; ++nId)
        GetCommand(nId)->setChecked(nId == nLook);
}

void CMainFrame::closeEvent(QCloseEvent* pEvent) {
    // A second request while the capture thread is ending changes nothing.
    if (m_engine.m_bQuit && !m_engine.m_bThreadEnded) {
        pEvent->ignore();
        return;
    }
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const CCaptureEngine::ECloseStep step = m_engine.OnCloseRequest([this] {
        QGuiApplication::restoreOverrideCursor();
        const bool bAllow =
            (!m_pDocManager || m_pDocManager->SaveModified()) && AllowWineProgramsToOutlive();
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        return bAllow;
    });
    QGuiApplication::restoreOverrideCursor();
    UpdateCommandStates();
    if (step != CCaptureEngine::CLOSE_NOW) {
        pEvent->ignore();
        return;
    }
    QSettings().setValue(kWorkspaceState, saveState());
    if (m_pMainView)
        m_pMainView->DestroyListDlg();
    pEvent->accept();
}
