// The main window as a user meets it: menus, toolbar and status bar, the enable rules of the
// capture commands, live capture into the list and the details pane, looks, help and About,
// and a driver that cannot be loaded.
#include "frame/MainFrame.h"
#include "display/BaseHivewatchDlg.h"
#include "display/ColorRef.h"
#include "display/HivewatchView.h"
#include "display/OutputWnd.h"
#include "frame/AppLook.h"
#include "frame/CommandIds.h"
#include "frame/DriverMessages.h"
#include "frame/HelpWindow.h"
#include "framework/DocManager.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "tests/TestSupport.h"
#include "tests/gui/AppFixture.h"
#include "utils/ui/VexoAbout.h"

#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QSettings>
#include <QStatusBar>
#include <QTest>
#include <QTextBrowser>
#include <QToolBar>

#include <cmath>
#include <cstdlib>

namespace {

// A menu as a list: entry texts with their shortcut after a tab, "-" for a separator,
// ">" and the title for a submenu.
QStringList Describe(const QMenu* pMenu) {
    QStringList arOut;
    for (const QAction* pAction : pMenu->actions()) {
        if (!pAction->isVisible())
            continue;
        if (pAction->isSeparator())
            arOut << QStringLiteral("-");
        else if (pAction->menu())
            arOut << QLatin1Char('>') + pAction->text();
        else if (!pAction->shortcut().isEmpty())
            arOut << pAction->text() + QLatin1Char('\t') + pAction->shortcut().toString();
        else
            arOut << pAction->text();
    }
    return arOut;
}

QMenu* SubMenu(const QMenu* pMenu, const QString& strTitle) {
    for (QAction* pAction : pMenu->actions()) {
        if (pAction->menu() && pAction->text() == strTitle)
            return pAction->menu();
    }
    return nullptr;
}

class MainFrame : public AppFixture {};

} // namespace

TEST_F(MainFrame, MenusEntriesSeparatorsAndAccelerators) {
    ASSERT_TRUE(StartApp());
    QStringList arTitles;
    QList<QMenu*> arMenus;
    for (QAction* pAction : Frame()->menuBar()->actions()) {
        arTitles << pAction->text();
        arMenus << pAction->menu();
    }
    ASSERT_EQ(arTitles, (QStringList{"&File", "&Edit", "&Tools", "&View", "&Help"}));
    EXPECT_EQ(Describe(arMenus[0]),
              (QStringList{"&New\tCtrl+N", "&Open...\tCtrl+O", "&Save\tCtrl+S", "Save &As...", "-",
                           "Export...", "-", "Recent File", "-", "E&xit", "-"}));
    EXPECT_EQ(Describe(arMenus[1]),
              (QStringList{"&Find", "&Regedit Jump", "-", "Fi&lter...\tCtrl+L", "&Highlight...",
                           "-", "&Clear Display"}));
    EXPECT_EQ(Describe(arMenus[2]),
              (QStringList{"Start Capture", "Stop Capture", "-", "Attach to &Running Process",
                           "Open New &Program", "-", "Op&tions", "-", "Registry C&hanges"}));
    EXPECT_EQ(Describe(arMenus[3]),
              (QStringList{">&Toolbars and Docking Windows", "&Status Bar", "Filter &Off",
                           ">&Application Look"}));
    QMenu* pLooks = SubMenu(arMenus[3], QStringLiteral("&Application Look"));
    ASSERT_TRUE(pLooks);
    EXPECT_EQ(Describe(pLooks),
              (QStringList{"Windows &2000", "Office &XP", "&Windows XP", "Office 200&3",
                           "Visual Studio.NET 200&5", ">Office 200&7"}));
    EXPECT_EQ(Describe(SubMenu(pLooks, QStringLiteral("Office 200&7"))),
              (QStringList{"&Blue Style", "B&lack Style", "&Silver Style", "&Aqua Style"}));
    EXPECT_EQ(Describe(arMenus[4]), (QStringList{"&Help Topics", "-", "&About Hivewatch..."}));
    // Keys without a command stay free: no action answers them.
    for (const char* pKeys : {"Ctrl+C", "Ctrl+V", "Ctrl+X", "Ctrl+Z", "F6"}) {
        for (const QAction* pAction : Frame()->findChildren<QAction*>())
            EXPECT_NE(pAction->shortcut(), QKeySequence(QLatin1String(pKeys))) << pKeys;
    }
    EXPECT_EQ(Command(ID_HELP)->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_EQ(Command(ID_CONTEXT_HELP)->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_F1));
}

TEST_F(MainFrame, ToolbarButtonsTooltipsAndImagesInOrder) {
    ASSERT_TRUE(StartApp());
    QStringList arTips;
    for (const QAction* pAction : Frame()->GetToolBar()->actions()) {
        if (pAction->isSeparator()) {
            arTips << QStringLiteral("|");
            continue;
        }
        arTips << pAction->toolTip();
        EXPECT_FALSE(pAction->icon().isNull()) << pAction->toolTip().toStdString();
        // The menu entry is the same command, so it shows the same image.
        EXPECT_FALSE(pAction->icon().pixmap(16, 16).isNull());
        EXPECT_TRUE(pAction->isIconVisibleInMenu());
    }
    EXPECT_EQ(arTips, (QStringList{"New", "Open", "Save", "|", "Attach", " Open new program", "|",
                                   "Options", "|", "Start Catpure", "Stop Capture", "|", "Find",
                                   "Jump", "|", "Clear", "|", "About", "Help Topics"}));
    EXPECT_EQ(Frame()->GetToolBar()->windowTitle(), QStringLiteral("Standard"));
    EXPECT_EQ(Frame()->GetOutputWnd()->windowTitle(), QStringLiteral("Information"));
    EXPECT_EQ(Frame()->windowTitle(), QStringLiteral("Hivewatch - Untitled"));
    EXPECT_TRUE(Frame()->isMaximized());
}

TEST_F(MainFrame, StatusBarShowsTheIdleTextOrTheHoveredCommandsPrompt) {
    ASSERT_TRUE(StartApp());
    QLabel* pIdle = Frame()->GetIdlePane();
    EXPECT_EQ(pIdle->text(), QStringLiteral("For Help, press F1"));
    EXPECT_TRUE(pIdle->isVisible());
    QWidget* pButton = Frame()->GetToolBar()->widgetForAction(Command(ID_START_CAPTURE));
    ASSERT_TRUE(pButton);
    QTest::mouseMove(pButton);
    EXPECT_TRUE(WaitFor([&] { return !Frame()->statusBar()->currentMessage().isEmpty(); }, 3000));
    EXPECT_EQ(Frame()->statusBar()->currentMessage(), QStringLiteral("Start Capture Events"));
    EXPECT_FALSE(pIdle->isVisible()) << "one pane: the prompt takes the idle text's place";
    // The pointer leaves the button (sent directly: the test platform's pointer moves do
    // not always produce leave events).
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(pButton, &leave);
    EXPECT_TRUE(WaitFor([&] { return Frame()->statusBar()->currentMessage().isEmpty(); }, 3000));
    EXPECT_TRUE(pIdle->isVisible());
    EXPECT_EQ(Command(ID_FILE_EXPORT)->statusTip(),
              QStringLiteral("Export all records from the active document"));
    EXPECT_EQ(Command(ID_APP_EXIT)->statusTip(),
              QStringLiteral("Quit the application; prompts to save documents"));
}

TEST_F(MainFrame, PaneMenusListTheToolbarAndTheDetailsPaneWithShowHideMarks) {
    ASSERT_TRUE(StartApp());
    QMenu* pView = Frame()->menuBar()->actions()[3]->menu();
    QMenu* pPanes = SubMenu(pView, QStringLiteral("&Toolbars and Docking Windows"));
    ASSERT_TRUE(pPanes);
    emit pPanes->aboutToShow();
    ASSERT_EQ(Describe(pPanes), (QStringList{"Standard", "Information"}));
    for (const QAction* pAction : pPanes->actions())
        EXPECT_TRUE(pAction->isCheckable() && pAction->isChecked());
    pPanes->actions()[1]->trigger();
    EXPECT_FALSE(Frame()->GetOutputWnd()->isVisible());
    std::unique_ptr<QMenu> pPopup(Frame()->createPopupMenu());
    EXPECT_EQ(Describe(pPopup.get()), (QStringList{"Standard", "Information"}))
        << "the right-click menu lists the same, without a customise entry";
    EXPECT_FALSE(pPopup->actions()[1]->isChecked());
    pPopup->actions()[1]->trigger();
    EXPECT_TRUE(Frame()->GetOutputWnd()->isVisible());
    Command(ID_VIEW_STATUS_BAR)->trigger();
    EXPECT_FALSE(Frame()->statusBar()->isVisible());
}

TEST_F(MainFrame, CaptureCommandsEnableRulesFollowTheCapture) {
    ASSERT_TRUE(StartApp());
    const std::vector<int> arIdle = {ID_FILE_NEW,        ID_FILE_OPEN,     ID_FILE_SAVE,
                                     ID_FILE_SAVE_AS,    ID_START_CAPTURE, ID_ATTACH,
                                     ID_OPEN_NEW_PROGRAM};
    const std::vector<int> arAlways = {ID_FILE_EXPORT,     ID_OPTIONS,
                                       ID_CLEAR_DISPLAY,   ID_EDIT_FIND,
                                       ID_REGEDIT_JUMP,    ID_VIEW_APPLOOK_OFF_2007_BLACK,
                                       ID_REGISTRY_CHANGES};
    const auto check = [&](bool bCapturing) {
        Frame()->UpdateCommandStates();
        for (const int nId : arIdle)
            EXPECT_EQ(Command(nId)->isEnabled(), !bCapturing) << nId;
        EXPECT_EQ(Command(ID_STOP_CAPTURE)->isEnabled(), bCapturing);
        for (const int nId : arAlways)
            EXPECT_TRUE(Command(nId)->isEnabled()) << nId;
    };
    ASSERT_TRUE(Frame()->GetDriverProblem().isEmpty()) << Frame()->GetDriverProblem().toStdString();
    check(false);
    Frame()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Frame()));
    m_script.AnswerFileDialog(QString());
    QTest::keyClick(Frame(), Qt::Key_S, Qt::ControlModifier); // the save dialog, cancelled
    EXPECT_EQ(m_script.PendingAnswers(), 0);
    Command(ID_START_CAPTURE)->trigger();
    EXPECT_EQ(Frame()->m_engine.m_bCapturing, 1);
    check(true);
    // Greyed commands do not run from their keys either: no dialog opens.
    QTest::keyClick(Frame(), Qt::Key_O, Qt::ControlModifier);
    QTest::qWait(100);
    Command(ID_STOP_CAPTURE)->trigger();
    EXPECT_EQ(Frame()->m_engine.m_bCapturing, 0);
    check(false);
}

TEST_F(MainFrame, LiveEventsFillTheListNewestFirstAndShowTheirDetails) {
    qputenv("HIVEWATCH_DRIVER_RATE", "5000");
    ASSERT_TRUE(StartApp());
    CaptureRecords(20);
    CBaseHivewatchDlg* pDlg = Frame()->m_pMainView->GetListDlg();
    pDlg->SelectRow(0);
    const QString strShown = Frame()->GetOutputWnd()->GetDetailsText();
    EXPECT_TRUE(strShown.startsWith(QStringLiteral(" Seqence: "))) << strShown.toStdString();
    // Clear Display while capturing: the list empties at once and refills with new records.
    Command(ID_CLEAR_DISPLAY)->trigger();
    EXPECT_EQ(ListCount(), 0);
    EXPECT_EQ(Frame()->GetOutputWnd()->GetDetailsText(), strShown) << "the details stay";
    ASSERT_TRUE(WaitFor([&] { return ListCount() > 0; }, 30000));
    Command(ID_STOP_CAPTURE)->trigger();
    QTest::qWait(300);
    // Every record filed is shown once the refreshes have caught up.
    EXPECT_TRUE(WaitFor([&] { return ListCount() == Doc()->GetRecordCount(); }, 3000));
    CRegInfoObj newest;
    ASSERT_TRUE(Doc()->CopyRecordAt(Doc()->GetRecordCount() - 1, newest));
    EXPECT_EQ(pDlg->GetListCtrl().GetModel()->data(pDlg->GetListCtrl().GetModel()->index(0, 0)),
              QString::number(newest.m_nSeq));
}

TEST_F(MainFrame, BlackLookRecoloursTheListAndReachesTheSettingsFileAtExit) {
    ASSERT_TRUE(StartApp());
    // The default look: Office 2007 blue, with its radio mark.
    EXPECT_TRUE(Command(ID_VIEW_APPLOOK_OFF_2007_BLUE)->isChecked());
    EXPECT_EQ(Frame()->m_clrLook, RGB(186, 210, 224));
    Command(ID_VIEW_APPLOOK_OFF_2007_BLACK)->trigger();
    EXPECT_TRUE(Command(ID_VIEW_APPLOOK_OFF_2007_BLACK)->isChecked());
    EXPECT_FALSE(Command(ID_VIEW_APPLOOK_OFF_2007_BLUE)->isChecked());
    const COLORREF clrBlack = RGB(141, 141, 141);
    EXPECT_EQ(Frame()->m_clrLook, clrBlack);
    CMyListCtrl& list = Frame()->m_pMainView->GetListDlg()->GetListCtrl();
    EXPECT_EQ(list.GetBkColor(), clrBlack);
    const QImage image = list.viewport()->grab().toImage();
    EXPECT_EQ(image.pixelColor(image.width() / 2, image.height() / 2), QColor(141, 141, 141));
    QPlainTextEdit& details = Frame()->GetOutputWnd()->GetDetails();
    EXPECT_EQ(details.palette().color(QPalette::Base), QColor(141, 141, 141));
    const QImage pane = details.viewport()->grab().toImage();
    EXPECT_EQ(pane.pixelColor(pane.width() - 3, pane.height() - 3), QColor(141, 141, 141));
    // The dark theme keeps its text readable.
    EXPECT_LT(QApplication::palette().color(QPalette::Window).lightness(), 80);
    EXPECT_GT(QApplication::palette().color(QPalette::WindowText).lightness(), 200);
    EXPECT_EQ(QSettings().value(QStringLiteral("ApplicationLook")).toInt(), 216);
    CloseAndExit();

    CSetObj saved;
    ASSERT_TRUE(LoadSettingsFile(m_strSettings, &saved));
    EXPECT_EQ(saved.m_nAppLook, 216);
    EXPECT_EQ(saved.m_clrBackground, clrBlack);
    // The next start comes back in the black look.
    m_pApp.reset();
    g_SetObj.ResetDefaults();
    ASSERT_TRUE(StartApp());
    EXPECT_TRUE(Command(ID_VIEW_APPLOOK_OFF_2007_BLACK)->isChecked());
    EXPECT_EQ(Frame()->m_pMainView->GetListDlg()->GetListCtrl().GetBkColor(), clrBlack);
}

TEST_F(MainFrame, EveryLookHasItsOwnPaletteAndColour) {
    ASSERT_TRUE(StartApp());
    QSet<QRgb> windows;
    QSet<QString> styles;
    for (int nId = ID_VIEW_APPLOOK_WIN_2000; nId <= ID_VIEW_APPLOOK_OFF_2007_AQUA; ++nId) {
        Command(nId)->trigger();
        windows.insert(QApplication::palette().color(QPalette::Window).rgb());
        const auto* pProxy = qobject_cast<const QProxyStyle*>(QApplication::style());
        ASSERT_TRUE(pProxy);
        styles.insert(pProxy->baseStyle()->name());
        EXPECT_EQ(g_SetObj.m_nAppLook, nId);
        EXPECT_EQ(g_SetObj.m_clrBackground, Frame()->m_clrLook);
    }
    EXPECT_EQ(windows.size(), 9);
    EXPECT_GE(styles.size(), 2);
    EXPECT_EQ(Frame()->m_clrLook, RGB(218, 218, 218));
    // A look number from an edited settings file: no radio mark, the colour stays.
    Frame()->OnApplicationLook(300);
    for (int nId = ID_VIEW_APPLOOK_WIN_2000; nId <= ID_VIEW_APPLOOK_OFF_2007_AQUA; ++nId)
        EXPECT_FALSE(Command(nId)->isChecked()) << nId;
    EXPECT_EQ(Frame()->m_clrLook, RGB(218, 218, 218));
    EXPECT_EQ(g_SetObj.m_nAppLook, 300);
}

// Every toolbar image stands out from the toolbar in every look: most of what it draws
// differs clearly from the bar's colours (the dark look's bar hid a grey gear).
TEST_F(MainFrame, EveryToolbarImageStandsOutInEveryLook) {
    ASSERT_TRUE(StartApp());
    // Colour distance with the eye's weights; 48 is plainly visible at 16 pixels.
    auto distance = [](QRgb a, const QColor& b) {
        const double dR = qRed(a) - b.red(), dG = qGreen(a) - b.green(), dB = qBlue(a) - b.blue();
        return std::sqrt((2 * dR * dR + 4 * dG * dG + 3 * dB * dB) / 9.0);
    };
    for (const SAppLook& look : GetAppLooks()) {
        const char* arBar[] = {look.pBarTop ? look.pBarTop : look.pWindow,
                               look.pBarBottom ? look.pBarBottom : look.pWindow};
        for (QAction* pAction : Frame()->GetToolBar()->actions()) {
            if (pAction->isSeparator())
                continue;
            QImage drawn(16, 16, QImage::Format_ARGB32);
            drawn.fill(Qt::transparent);
            QPainter painter(&drawn);
            pAction->icon().paint(&painter, drawn.rect());
            painter.end();
            auto covered = [&](int x, int y) {
                return x >= 0 && y >= 0 && x < 16 && y < 16 && qAlpha(drawn.pixel(x, y)) >= 128;
            };
            for (const char* pBar : arBar) {
                const QColor bar = QColor::fromString(QLatin1String(pBar));
                QImage onBar(16, 16, QImage::Format_ARGB32);
                onBar.fill(bar);
                QPainter barPainter(&onBar);
                barPainter.drawImage(0, 0, drawn);
                barPainter.end();
                // Seen by its area or by its outline: most pixels of one of them stand out.
                int nArea = 0, nAreaSeen = 0, nEdge = 0, nEdgeSeen = 0;
                for (int y = 0; y < 16; ++y) {
                    for (int x = 0; x < 16; ++x) {
                        if (!covered(x, y))
                            continue;
                        const bool bSeen = distance(onBar.pixel(x, y), bar) >= 48;
                        ++nArea;
                        nAreaSeen += bSeen;
                        if (!covered(x - 1, y) || !covered(x + 1, y) || !covered(x, y - 1) ||
                            !covered(x, y + 1)) {
                            ++nEdge;
                            nEdgeSeen += bSeen;
                        }
                    }
                }
                EXPECT_TRUE(nAreaSeen * 2 >= nArea || nEdgeSeen * 2 >= nEdge)
                    << pAction->toolTip().toStdString() << " in look " << look.nId << " on " << pBar
                    << ": " << nAreaSeen << " of " << nArea << " pixels and " << nEdgeSeen << " of "
                    << nEdge << " outline pixels stand out";
            }
        }
    }
}

TEST_F(MainFrame, HelpTopicsShowTheGuideAndAboutShowsWhereTheProgramRuns) {
    ASSERT_TRUE(StartApp());
    Command(ID_HELP_FINDER)->trigger();
    auto* pHelp = Frame()->findChild<CHelpWindow*>();
    ASSERT_TRUE(pHelp);
    EXPECT_TRUE(pHelp->isVisible());
    const QString strGuide = pHelp->GetBrowser()->toPlainText();
    for (const char* pTopic : {"Start Capture", "HIVEWATCH_DRIVER_SOURCE", "Export", "Attach"})
        EXPECT_TRUE(strGuide.contains(QLatin1String(pTopic))) << pTopic;
    // It closes from the keyboard, as the desktop's windows do.
    pHelp->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(pHelp));
    QTest::keyClick(pHelp->GetBrowser(), Qt::Key_Escape);
    EXPECT_FALSE(pHelp->isVisible()) << "Escape closes the guide";
    Frame()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Frame()));
    QTest::keyClick(Frame(), Qt::Key_F1);
    EXPECT_TRUE(pHelp->isVisible()) << "F1 opens the same guide";
    ASSERT_TRUE(QTest::qWaitForWindowActive(pHelp));
    QTest::keyClick(pHelp->GetBrowser(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(pHelp->isVisible()) << "so does Ctrl+W";

    QStringList arTexts;
    m_script.AnswerDialog([&](QDialog* pDialog) {
        for (const QLabel* pLabel : pDialog->findChildren<QLabel*>())
            arTexts << pLabel->text();
        pDialog->accept();
    });
    Command(ID_APP_ABOUT)->trigger();
    const QString strAll = arTexts.join(QLatin1Char('\n'));
    EXPECT_TRUE(strAll.contains(QStringLiteral("Hivewatch")));
    EXPECT_TRUE(strAll.contains(QStringLiteral("Version ")));
    EXPECT_TRUE(strAll.contains(QCoreApplication::applicationFilePath()));
    EXPECT_TRUE(strAll.contains(QStringLiteral("RGB(186, 210, 224)")));
}

TEST_F(MainFrame, ADriverThatCannotLoadLeavesAWorkingWindowWithCaptureOff) {
    qputenv("HIVEWATCH_DRIVER_SOURCE", "nonsense");
    ASSERT_TRUE(StartApp());
    qunsetenv("HIVEWATCH_DRIVER_SOURCE");
    EXPECT_NE(Frame()->GetDriverProblem().indexOf(QStringLiteral("HIVEWATCH_DRIVER_SOURCE")), -1)
        << "the driver's own reason: " << Frame()->GetDriverProblem().toStdString();
    EXPECT_TRUE(Frame()->statusBar()->currentMessage().isEmpty()) << "the prompt stays readable";
    const auto* pPane = Frame()->statusBar()->findChild<QLabel*>(QStringLiteral("DriverPane"));
    ASSERT_NE(pPane, nullptr);
    EXPECT_TRUE(pPane->isVisibleTo(Frame()));
    // Start Capture tries again and says why it cannot.
    m_script.AnswerMessageBox(QMessageBox::Ok);
    qputenv("HIVEWATCH_DRIVER_SOURCE", "nonsense");
    Command(ID_START_CAPTURE)->trigger();
    qunsetenv("HIVEWATCH_DRIVER_SOURCE");
    ASSERT_EQ(m_script.MessageTexts().size(), 1);
    EXPECT_TRUE(m_script.MessageTexts()[0].startsWith(
        QStringLiteral("Capture could not be started: HIVEWATCH_DRIVER_SOURCE must be")))
        << m_script.MessageTexts()[0].toStdString();
    EXPECT_EQ(Frame()->m_engine.m_bCapturing, 0);
    EXPECT_FALSE(Command(ID_STOP_CAPTURE)->isEnabled());
    EXPECT_TRUE(Command(ID_START_CAPTURE)->isEnabled());
    // With no capture thread the close goes straight through its second pass.
    CloseAndExit();
}

TEST_F(MainFrame, ALaunchPassesQuotedParametersAsArgumentsWithoutAShell) {
    ASSERT_TRUE(StartApp());
    const QString strOut = m_strDir + QStringLiteral("args.txt");
    const QString strProgram = QStringLiteral(HW_BIN_DIR "/hw_argdump");
    g_SetObj.m_nCaptureScope = SCOPE_NEW_PROGRAM;
    g_SetObj.m_strNewProgram = strProgram;
    g_SetObj.m_strNewParams = strOut + QStringLiteral(R"( -x "two words" $HOME *.txt `id` ;echo)");
    Command(ID_START_CAPTURE)->trigger();
    EXPECT_EQ(Frame()->m_engine.m_bCapturing, 1);
    EXPECT_EQ(g_SetObj.m_nCaptureScope, SCOPE_ALL) << "the pending program was started";
    EXPECT_GT(Frame()->m_engine.m_nTargetPid, 0);
    ASSERT_TRUE(WaitFor([&] { return QFile::exists(strOut) && QFileInfo(strOut).size() > 0; }));
    QTest::qWait(100);
    const QStringList arArgs =
        QString::fromLocal8Bit(ReadWholeFile(strOut)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_EQ(arArgs, (QStringList{strProgram, strOut, "-x", "two words", "$HOME", "*.txt", "`id`",
                                   ";echo"}));
}

TEST_F(MainFrame, ALaunchOfAMissingProgramSwitchesCaptureOffAndSaysWhich) {
    ASSERT_TRUE(StartApp());
    g_SetObj.m_nCaptureScope = SCOPE_NEW_PROGRAM;
    g_SetObj.m_strNewProgram = m_strDir + QStringLiteral("no-such-program");
    g_SetObj.m_strNewParams = QStringLiteral("-x file.txt");
    m_script.AnswerMessageBox(QMessageBox::Ok);
    Command(ID_START_CAPTURE)->trigger();
    EXPECT_EQ(m_script.MessageTexts(),
              QStringList{QStringLiteral("Can not start a new process with \"%1 -x file.txt\"")
                              .arg(g_SetObj.m_strNewProgram)});
    EXPECT_EQ(Frame()->m_engine.m_bCapturing, 0);
    EXPECT_TRUE(Command(ID_START_CAPTURE)->isEnabled());
    EXPECT_FALSE(Command(ID_STOP_CAPTURE)->isEnabled());
    EXPECT_EQ(g_SetObj.m_nCaptureScope, SCOPE_NEW_PROGRAM) << "the next start tries again";
    m_script.AnswerMessageBox(QMessageBox::Ok);
    Command(ID_START_CAPTURE)->trigger();
    EXPECT_EQ(m_script.MessageTexts().size(), 2);
}

TEST_F(MainFrame, UnderAFloodRefreshesAreCoalescedAndTheListCatchesUp) {
    qputenv("HIVEWATCH_DRIVER_SOURCE", "flood");
    ASSERT_TRUE(StartApp());
    qunsetenv("HIVEWATCH_DRIVER_SOURCE");
    g_SetObj.StoreHistoryDepth(50000); // bounded, so the list keeps its count and repaints
    const int nBefore = Frame()->GetRefreshThrottle().RefreshCount();
    QElapsedTimer clock;
    clock.start();
    CaptureRecords(50000);
    QTest::qWait(500);
    Command(ID_STOP_CAPTURE)->trigger();
    const qint64 nElapsed = clock.elapsed();
    const int nRefreshes = Frame()->GetRefreshThrottle().RefreshCount() - nBefore;
    EXPECT_LE(nRefreshes, nElapsed / CRefreshThrottle::FRAME_MS + 2) << nElapsed << " ms";
    EXPECT_TRUE(WaitFor([&] { return ListCount() == Doc()->GetRecordCount(); }, 3000));
    EXPECT_EQ(Doc()->GetRecordCount(), 50000);
}

TEST_F(MainFrame, ARowWithoutARecordLeavesTheDetailsAsTheyWere) {
    const QString strPath = WriteDocument(QStringLiteral("five.hvw"), 5);
    ASSERT_TRUE(StartApp());
    ASSERT_TRUE(DocManager()->OpenDocumentFile(strPath));
    Frame()->m_pMainView->GetListDlg()->SelectRow(4);
    const QString strShown = Frame()->GetOutputWnd()->GetDetailsText();
    EXPECT_TRUE(strShown.startsWith(QStringLiteral(" Seqence: 1\r\n")));
    // A trim can leave the list a row longer than the document until the next refresh.
    EXPECT_EQ(Frame()->ShowRecordDetails(5), 1);
    EXPECT_EQ(Frame()->ShowRecordDetails(-1), 1);
    EXPECT_EQ(Frame()->GetOutputWnd()->GetDetailsText(), strShown);
    Frame()->ShowRecordDetails(0);
    EXPECT_TRUE(
        Frame()->GetOutputWnd()->GetDetailsText().startsWith(QStringLiteral(" Seqence: 5")));
}

// What the driver reports reaches the user once per problem; problems that arrive together
// share one message box.
TEST_F(MainFrame, DriverMessagesAreShownOncePerProblem) {
    ASSERT_TRUE(StartApp());
    QStringList arPending = {QStringLiteral("the simulated registry cannot be saved: full")};
    // Owned by the window, as the window's own is.
    auto* pMessages = new CDriverMessages(Frame(), [&] { return std::exchange(arPending, {}); });
    m_script.AnswerMessageBox(QMessageBox::Ok);
    pMessages->Poll();
    arPending = {QStringLiteral("the simulated registry cannot be saved: full")};
    pMessages->Poll(); // the same problem again: not shown again
    arPending = {QStringLiteral("a"), QStringLiteral("b")};
    m_script.AnswerMessageBox(QMessageBox::Ok);
    pMessages->Poll();
    const QStringList arTexts = m_script.MessageTexts();
    ASSERT_EQ(arTexts.size(), 2);
    EXPECT_TRUE(
        arTexts[0].endsWith(QStringLiteral("The simulated registry cannot be saved: full.")))
        << arTexts[0].toStdString();
    EXPECT_TRUE(arTexts[1].endsWith(QStringLiteral("A.\nB."))) << arTexts[1].toStdString();
    CloseAndExit();
}
