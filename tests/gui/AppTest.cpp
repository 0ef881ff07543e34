// Start-up and shut-down: one instance per session with the hand-over of a document, the
// settings file, the command line, dropped files, the desktop registration, and a machine
// without a display.
#include "app/DesktopRegistration.h"
#include "app/SingleInstance.h"
#include "frame/CommandIds.h"
#include "frame/MainFrame.h"
#include "frame/ShellOpenQueue.h"
#include "framework/DocManager.h"
#include "platform/FileLock.h"
#include "platform/FileNames.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "tests/TestSupport.h"
#include "tests/gui/AppFixture.h"

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <QUrl>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

class App : public AppFixture {
protected:
    // Runs the real program as a second start would, serving this process's events
    // meanwhile (the running instance answers the hand-over on them).
    int RunProgram(const QStringList& arArgs, QProcessEnvironment env = {},
                   const QString& strProgram = QStringLiteral(HW_BIN_DIR "/hivewatch")) {
        QProcess process;
        if (!env.isEmpty())
            process.setProcessEnvironment(env);
        process.start(strProgram, arArgs);
        EXPECT_TRUE(process.waitForStarted());
        EXPECT_TRUE(WaitFor([&] { return process.state() == QProcess::NotRunning; }, 20000));
        m_strStdErr = QString::fromLocal8Bit(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    QString m_strStdErr;
};

} // namespace

TEST_F(App, ASecondStartHandsItsDocumentOverAndEndsSilently) {
    const QString strPath = WriteDocument(QStringLiteral("handed.hvw"), 9);
    ASSERT_TRUE(StartApp());
    CaptureRecords(1);
    Frame()->OnStopCapture();
    Frame()->OnRefreshList(); // the captured records make the document modified
    const QString strOtherSettings = m_strDir + QStringLiteral("second-setobj.dat");
    // The running instance asks to save first, as for any Open.
    m_script.AnswerMessageBox(QMessageBox::No);
    EXPECT_EQ(RunProgram({QStringLiteral("--settings"), strOtherSettings, strPath}), 0);
    EXPECT_TRUE(WaitFor([&] { return Doc()->GetRecordCount() == 9; }));
    EXPECT_EQ(Frame()->windowTitle(), QStringLiteral("Hivewatch - handed.hvw"));
    EXPECT_FALSE(QFile::exists(strOtherSettings)) << "the second start wrote no settings";
    EXPECT_TRUE(m_strStdErr.isEmpty()) << m_strStdErr.toStdString();

    // Without a document the second start ends just as silently and changes nothing.
    EXPECT_EQ(RunProgram({QStringLiteral("--settings"), strOtherSettings}), 0);
    QTest::qWait(200);
    EXPECT_EQ(Doc()->GetRecordCount(), 9);
    EXPECT_FALSE(QFile::exists(strOtherSettings));
}

TEST_F(App, AStartThatEndsEarlyWritesNoSettings) {
    ASSERT_TRUE(StartApp());
    CHivewatchApp second;
    SAppOptions opts;
    opts.strSettingsPath = m_strDir + QStringLiteral("second.dat");
    opts.bRegisterDesktop = false;
    EXPECT_FALSE(second.InitInstance(opts));
    EXPECT_EQ(second.GetMainFrame(), nullptr);
    second.ExitInstance(0);
    EXPECT_FALSE(QFile::exists(opts.strSettingsPath));
    // The first start, begun without a settings file, writes one at exit.
    EXPECT_FALSE(QFile::exists(m_strSettings));
    CloseAndExit();
    EXPECT_TRUE(QFile::exists(m_strSettings));
}

// Settings short by three bytes are not silently replaced: the window says once what was
// wrong and where the damaged file was kept, and goes on with the defaults.
TEST_F(App, DamagedSettingsAreKeptAndToldOnce) {
    CSetObj own;
    own.m_nHistoryDepth = 777;
    own.m_arProcExclude = {QStringLiteral("mine.exe")};
    ASSERT_TRUE(SaveSettingsFile(m_strSettings, &own));
    QByteArray damaged = ReadWholeFile(m_strSettings);
    damaged.chop(3);
    QFile file(m_strSettings);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(damaged);
    file.close();

    m_script.AnswerMessageBox(QMessageBox::Ok);
    ASSERT_TRUE(StartApp());
    ASSERT_TRUE(WaitFor([&] { return m_script.PendingAnswers() == 0; }));
    const QString strCopy = m_strSettings + QStringLiteral(".damaged");
    ASSERT_EQ(m_script.MessageTexts().size(), 1);
    EXPECT_TRUE(m_script.MessageTexts()[0].startsWith(m_strSettings + " is damaged"));
    EXPECT_TRUE(m_script.MessageTexts()[0].contains(QStringLiteral("kept as ") + strCopy));
    EXPECT_EQ(g_SetObj.m_nHistoryDepth, 0);
    EXPECT_TRUE(g_SetObj.m_arProcExclude.isEmpty());
    CloseAndExit();
    EXPECT_EQ(ReadWholeFile(strCopy), damaged);
    CSetObj saved;
    EXPECT_TRUE(LoadSettingsFile(m_strSettings, &saved)) << "the defaults were saved at exit";

    // Settings held by a program that never finishes saving are not read, and this run's
    // defaults are not saved over them.
    ASSERT_TRUE(SaveSettingsFile(m_strSettings, &own));
    const QByteArray mine = ReadWholeFile(m_strSettings);
    const int fd = ::open(QFile::encodeName(SettingsLockPath(m_strSettings)).constData(), O_RDONLY);
    ASSERT_TRUE(PlatformTryLockExclusive(fd));
    m_pApp.reset();
    g_SetObj.ResetDefaults();
    m_script.AnswerMessageBox(QMessageBox::Ok);
    const bool bStarted = StartApp();
    ::close(fd);
    ASSERT_TRUE(bStarted);
    ASSERT_TRUE(WaitFor([&] { return m_script.PendingAnswers() == 0; }));
    EXPECT_TRUE(m_script.MessageTexts().last().contains(QStringLiteral("left as it is")))
        << m_script.MessageTexts().last().toStdString();
    CloseAndExit();
    EXPECT_EQ(ReadWholeFile(m_strSettings), mine);
}

// Filter lists too long for the driver's filter, from a settings file written elsewhere, are
// reported when the window starts.
TEST_F(App, FilterListsThatDoNotFitAreReportedAtStart) {
    CSetObj tooLong;
    tooLong.m_arPathExclude = {QStringLiteral("HKCU\\") + QString(1030, QLatin1Char('A'))};
    ASSERT_TRUE(SaveSettingsFile(m_strSettings, &tooLong));
    m_script.AnswerMessageBox(QMessageBox::Ok);
    ASSERT_TRUE(StartApp());
    ASSERT_TRUE(WaitFor([&] { return m_script.PendingAnswers() == 0; }));
    ASSERT_EQ(m_script.MessageTexts().size(), 1);
    EXPECT_TRUE(m_script.MessageTexts()[0].startsWith(
        QStringLiteral("The filter lists of %1 do not fit the driver's filter: the exclude")
            .arg(m_strSettings)))
        << m_script.MessageTexts()[0].toStdString();
}

// A settings name that is no regular file ends the start at once with a message, instead of
// waiting forever on a FIFO; nothing is written there.
TEST_F(App, ASettingsNameThatIsNoRegularFileIsRefused) {
    const QString strFifo = m_strDir + QStringLiteral("fifo");
    ASSERT_EQ(mkfifo(QFile::encodeName(strFifo).constData(), 0600), 0);
    SAppOptions opts;
    opts.strSettingsPath = strFifo;
    m_script.AnswerMessageBox(QMessageBox::Ok);
    EXPECT_FALSE(StartApp(opts));
    EXPECT_EQ(Frame(), nullptr);
    EXPECT_EQ(m_pApp->ExitInstance(0), 1);
    ASSERT_EQ(m_script.MessageTexts().size(), 1);
    EXPECT_EQ(m_script.MessageTexts()[0],
              QStringLiteral("cannot use %1 as the settings file: it is a FIFO, not a regular file")
                  .arg(strFifo));
    EXPECT_FALSE(QFileInfo(strFifo).isFile());
}

TEST_F(App, AnInstanceThatDiedDoesNotBlockTheNextStart) {
    // The real program, killed as a crash would end it: its lock and socket stay behind.
    QProcess first;
    first.start(QStringLiteral(HW_BIN_DIR "/hivewatch"),
                {QStringLiteral("--settings"), m_strDir + QStringLiteral("first.dat")});
    ASSERT_TRUE(first.waitForStarted());
    const QString strRuntime = CSingleInstance::DefaultDir();
    ASSERT_TRUE(WaitFor([&] { return QFile::exists(strRuntime + "hivewatch.socket"); }, 20000));
    first.kill();
    ASSERT_TRUE(first.waitForFinished());
    ASSERT_TRUE(QFile::exists(strRuntime + QStringLiteral("hivewatch.lock")));

    ASSERT_TRUE(StartApp()) << "this start takes the instance over";
    const QString strPath = WriteDocument(QStringLiteral("after-crash.hvw"), 3);
    EXPECT_EQ(
        RunProgram({QStringLiteral("--settings"), m_strDir + QStringLiteral("x.dat"), strPath}), 0);
    EXPECT_TRUE(WaitFor([&] { return Doc()->GetRecordCount() == 3; }));
}

TEST_F(App, ADocumentOnTheCommandLineOpensInAMaximisedWindow) {
    const QString strPath = WriteDocument(QStringLiteral("start.hvw"), 6);
    SAppOptions opts;
    QString strError;
    ASSERT_TRUE(
        CHivewatchApp::ParseCommandLine({QStringLiteral("hivewatch"), strPath}, opts, &strError));
    EXPECT_EQ(opts.strFile, strPath);
    ASSERT_TRUE(StartApp(opts));
    EXPECT_EQ(Doc()->GetRecordCount(), 6);
    EXPECT_EQ(ListCount(), 6);
    EXPECT_EQ(Frame()->windowTitle(), QStringLiteral("Hivewatch - start.hvw"));
    EXPECT_TRUE(Frame()->isMaximized());
    EXPECT_FALSE(CHivewatchApp::ParseCommandLine(
        {QStringLiteral("hivewatch"), QStringLiteral("a.hvw"), QStringLiteral("b.hvw")}, opts,
        &strError));
    EXPECT_FALSE(CHivewatchApp::ParseCommandLine(
        {QStringLiteral("hivewatch"), QStringLiteral("--bogus")}, opts, &strError));
    EXPECT_FALSE(strError.isEmpty());
}

TEST_F(App, AFileDroppedOnTheWindowOpens) {
    const QString strPath = WriteDocument(QStringLiteral("dropped.hvw"), 4);
    ASSERT_TRUE(StartApp());
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(strPath)});
    const QPoint pt = Frame()->rect().center();
    QDragEnterEvent enter(pt, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Frame(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(pt), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Frame(), &drop);
    EXPECT_TRUE(WaitFor([&] { return Doc()->GetRecordCount() == 4; }));
    EXPECT_EQ(Frame()->windowTitle(), QStringLiteral("Hivewatch - dropped.hvw"));
}

// A document handed over while a prompt is open waits for it: the prompt is answered once,
// about the document it was asked for, and the documents open in the order they came.
TEST_F(App, AHandOverDuringAPromptWaitsForItsAnswer) {
    const QString strFirst = WriteDocument(QStringLiteral("first.hvw"), 3);
    const QString strSecond = WriteDocument(QStringLiteral("second.hvw"), 5);
    const QByteArray firstBytes = ReadWholeFile(strFirst);
    ASSERT_TRUE(StartApp());
    AppendRecords(*Doc(), 1, 2);
    Doc()->SetModifiedFlag(true);
    // While the first hand-over's save prompt is open, the second arrives; then the user
    // answers the prompt.
    m_script.AnswerMessageBox(QMessageBox::No, [&] { Frame()->OpenDocumentFromShell(strSecond); });
    Frame()->OpenDocumentFromShell(strFirst);
    EXPECT_TRUE(WaitFor([&] { return Doc()->GetRecordCount() == 5; }));
    EXPECT_EQ(m_script.MessageTexts(), QStringList{QStringLiteral("Save changes to Untitled?")});
    EXPECT_EQ(Frame()->windowTitle(), QStringLiteral("Hivewatch - second.hvw"));
    EXPECT_EQ(ReadWholeFile(strFirst), firstBytes) << "no stale prompt saved over it";
}

// One that arrives while the user answers a prompt of their own (here New's) waits until
// that command is done; it asks nothing over it.
TEST_F(App, AHandOverWaitsForADialogTheUserHasOpen) {
    const QString strPath = WriteDocument(QStringLiteral("handed.hvw"), 4);
    ASSERT_TRUE(StartApp());
    AppendRecords(*Doc(), 1, 2);
    Doc()->SetModifiedFlag(true);
    m_script.AnswerMessageBox(QMessageBox::No, [&] { Frame()->OpenDocumentFromShell(strPath); });
    Command(ID_FILE_NEW)->trigger();
    EXPECT_TRUE(WaitFor([&] { return Doc()->GetRecordCount() == 4; }));
    EXPECT_EQ(m_script.MessageTexts(), QStringList{QStringLiteral("Save changes to Untitled?")});
    EXPECT_EQ(Frame()->windowTitle(), QStringLiteral("Hivewatch - handed.hvw"));
}

// Bad hand-overs are reported together, never one message box over another; a FIFO or a
// device is refused at once instead of holding the window up waiting for a writer.
TEST_F(App, BadHandOversAreReportedTogetherAndAFifoIsRefusedAtOnce) {
    ASSERT_TRUE(StartApp());
    const QString strFifo = m_strDir + QStringLiteral("fifo.hvw");
    ASSERT_EQ(mkfifo(QFile::encodeName(strFifo).constData(), 0600), 0);
    // Should the window wait on the FIFO after all, a writer comes by after a while and the
    // test fails on the time it took instead of hanging.
    std::atomic<bool> bDone{false};
    std::thread unblock([&] {
        for (int i = 0; i < 200 && !bDone; ++i)
            QThread::msleep(50);
        while (!bDone) {
            const int fd = ::open(QFile::encodeName(strFifo).constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
            QThread::msleep(50);
        }
    });
    QElapsedTimer clock;
    clock.start();
    // Thousands more arrive while the first report is open; one more box says it all.
    m_script.AnswerMessageBox(QMessageBox::Ok, [&] {
        for (int i = 0; i < 2000; ++i)
            Frame()->OpenDocumentFromShell(m_strDir + QStringLiteral("none%1.hvw").arg(i));
    });
    m_script.AnswerMessageBox(QMessageBox::Ok);
    Frame()->OpenDocumentFromShell(strFifo);
    EXPECT_TRUE(WaitFor([&] { return m_script.PendingAnswers() == 0; }, 20000));
    EXPECT_LT(clock.elapsed(), 10000);
    bDone = true;
    unblock.join();
    const QStringList arTexts = m_script.MessageTexts();
    ASSERT_EQ(arTexts.size(), 2) << arTexts.join('\n').toStdString();
    EXPECT_EQ(arTexts[0],
              QStringLiteral("Cannot open %1: it is a FIFO, not a regular file.").arg(strFifo));
    // Those that came while the first report was open, in one message: the first few by
    // name, how many more could not be opened, how many were not kept.
    EXPECT_TRUE(arTexts[1].contains(QStringLiteral("none0.hvw: the file does not exist")));
    EXPECT_TRUE(arTexts[1].contains(
        QStringLiteral("... and %1 more.")
            .arg(CShellOpenQueue::MAX_PENDING - CShellOpenQueue::MAX_LISTED_ERRORS)))
        << arTexts[1].toStdString();
    EXPECT_TRUE(arTexts[1].contains(
        QStringLiteral("%1 more documents").arg(2000 - CShellOpenQueue::MAX_PENDING)));
    EXPECT_EQ(Doc()->GetRecordCount(), 0);
}

// File names are bytes: a start hands over a name that is not UTF-8 as it was given.
TEST_F(App, ANameThatIsNotUtf8IsHandedOverAsGiven) {
    const QByteArray dir = QFile::encodeName(m_strDir);
    ASSERT_EQ(::rename(QFile::encodeName(WriteDocument(QStringLiteral("a.hvw"), 4)),
                       dir + "\xff\xfe handed.hvw"),
              0);
    ASSERT_TRUE(StartApp());
    // The name is made by the shell: QProcess would pass it as UTF-8.
    EXPECT_EQ(
        RunProgram(
            {QStringLiteral("-c"),
             QStringLiteral(
                 R"sh(exec "$0" --settings "$1x.dat" "$(printf '%s\377\376 handed.hvw' "$1")")sh"),
             QStringLiteral(HW_BIN_DIR "/hivewatch"), m_strDir},
            {}, QStringLiteral("/bin/sh")),
        0)
        << m_strStdErr.toStdString();
    EXPECT_TRUE(WaitFor([&] { return Doc()->GetRecordCount() == 4; }));
    EXPECT_EQ(Frame()->windowTitle(), QStringLiteral("Hivewatch - \\xFF\\xFE handed.hvw"));
    EXPECT_EQ(PlatformFileNameBytes(DocManager()->GetPathName()), dir + "\xff\xfe handed.hvw");
}

// Ended by a signal (a logout, a service manager) during a capture: the capture stops, the
// settings are saved at once, the records not saved are kept without a prompt, and the next
// start offers them back, then removes them.
TEST_F(App, EndedDuringACaptureKeepsItAndTheNextStartOffersItBack) {
    const QString strKept = CHivewatchApp::UnsavedCapturePath();
    ASSERT_FALSE(QFile::exists(strKept));
    ASSERT_TRUE(StartApp());
    Frame()->OnApplicationLook(ID_VIEW_APPLOOK_OFF_2007_BLACK);
    CaptureRecords(3);
    ASSERT_EQ(::kill(getpid(), SIGTERM), 0);
    ASSERT_TRUE(WaitFor([&] { return !Frame()->isVisible(); }, 20000));
    EXPECT_EQ(Frame()->m_engine.m_bCapturing, 0);
    CSetObj saved;
    ASSERT_TRUE(LoadSettingsFile(m_strSettings, &saved)) << "saved before the window closed";
    EXPECT_EQ(saved.m_nAppLook, ID_VIEW_APPLOOK_OFF_2007_BLACK);
    const int nCaptured = Doc()->GetRecordCount();
    m_pApp->ExitInstance(0);
    m_pApp.reset();
    CHivewatchDoc kept;
    ASSERT_TRUE(kept.OnOpenDocument(strKept));
    EXPECT_EQ(kept.GetRecordCount(), nCaptured);
    EXPECT_GE(nCaptured, 3);

    m_script.AnswerMessageBox(QMessageBox::Yes);
    ASSERT_TRUE(StartApp());
    EXPECT_EQ(m_script.MessageTexts(),
              QStringList{QStringLiteral("Restore the capture that was not saved?")});
    EXPECT_EQ(Doc()->GetRecordCount(), nCaptured);
    EXPECT_EQ(ListCount(), nCaptured);
    EXPECT_EQ(Frame()->windowTitle(), QStringLiteral("Hivewatch - Untitled"));
    EXPECT_FALSE(QFile::exists(strKept));
    EXPECT_TRUE(DocManager()->GetRecentFileList().GetEntries().isEmpty());
    // They are unsaved records again: closing asks for them.
    m_script.AnswerMessageBox(QMessageBox::No);
    CloseAndExit();
    EXPECT_EQ(m_script.MessageTexts().size(), 2);
}

// A hang-up while a dialog is open dismisses it; records kept are offered at the next
// start, and No removes them.
TEST_F(App, EndedWithADialogOpenClosesItAndNoDiscardsTheKeptCapture) {
    const QString strKept = CHivewatchApp::UnsavedCapturePath();
    ASSERT_TRUE(StartApp());
    AppendRecords(*Doc(), 1, 5);
    Doc()->m_bNewRecords = 1;
    m_script.AnswerDialog([](QDialog*) { ::kill(getpid(), SIGHUP); });
    Command(ID_OPTIONS)->trigger();
    ASSERT_TRUE(WaitFor([&] { return !Frame()->isVisible(); }, 20000));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    m_pApp->ExitInstance(0);
    m_pApp.reset();
    ASSERT_TRUE(QFile::exists(strKept));

    m_script.AnswerMessageBox(QMessageBox::No);
    ASSERT_TRUE(StartApp());
    EXPECT_EQ(Doc()->GetRecordCount(), 0);
    EXPECT_FALSE(QFile::exists(strKept));
    CloseAndExit();
}

TEST_F(App, EveryStartRegistersTheDocumentTypeWithTheDesktop) {
    m_bRegisterDesktop = true;
    ASSERT_TRUE(StartApp());
    const QString strData = UserDataHome() + QLatin1Char('/');
    const QString strMime =
        QString::fromUtf8(ReadWholeFile(strData + QStringLiteral("mime/packages/hivewatch.xml")));
    EXPECT_TRUE(strMime.contains(QStringLiteral("<glob pattern=\"*.hvw\"/>")));
    EXPECT_TRUE(strMime.contains(QLatin1String(HVW_MIME_TYPE)));
    const QString strEntry = QString::fromUtf8(
        ReadWholeFile(strData + QStringLiteral("applications/hivewatch.desktop")));
    EXPECT_TRUE(strEntry.contains(
        QStringLiteral("Exec=\"%1\" %f").arg(QCoreApplication::applicationFilePath())));
    EXPECT_TRUE(strEntry.contains(QStringLiteral("MimeType=application/x-hivewatch-document;")));
    EXPECT_TRUE(strEntry.contains(QStringLiteral("Icon=hivewatch")));
    EXPECT_TRUE(
        QFile::exists(strData + QStringLiteral("icons/hicolor/scalable/apps/hivewatch.svg")));
    EXPECT_TRUE(QFile::exists(strData + QStringLiteral("icons/hicolor/scalable/mimetypes/"
                                                       "application-x-hivewatch-document.svg")));
    // A program path with the characters the entry format reserves is quoted.
    EXPECT_TRUE(DesktopEntryText(QStringLiteral("/opt/a b/$x\"y\\z%"))
                    .contains(QStringLiteral(R"(Exec="/opt/a b/\\$x\\"y\\\\z%%" %f)")));
    // An unwritable data folder is reported, not fatal.
    QString strError;
    EXPECT_FALSE(
        RegisterWithDesktop({QStringLiteral("/proc/hivewatch"), QString(), false}, &strError));
    EXPECT_FALSE(strError.isEmpty());
}

// A desktop entry that cannot be written whole is reported with its cause, and the one
// written before stays as it was.
TEST_F(App, DesktopRegistrationOnAFullDiskKeepsTheOldEntry) {
    CFullDisk disk;
    if (!disk.Available())
        GTEST_SKIP() << disk.Why().toStdString();
    const QString strEntry = disk.Dir() + QStringLiteral("applications/hivewatch.desktop");
    ASSERT_TRUE(RegisterWithDesktop({disk.Dir(), QStringLiteral("/opt/old/hivewatch"), false}));
    const QByteArray old = ReadWholeFile(strEntry);
    disk.Fill();
    QString strError;
    EXPECT_FALSE(RegisterWithDesktop(
        {disk.Dir(), QStringLiteral("/opt/a much longer new place/hivewatch"), false}, &strError));
    disk.Release();
    EXPECT_TRUE(strError.startsWith(QStringLiteral("cannot write %1: ").arg(strEntry)))
        << strError.toStdString();
    if (disk.IsMounted()) {
        EXPECT_TRUE(strError.endsWith(QStringLiteral("the disk is full")))
            << strError.toStdString();
    }
    EXPECT_EQ(ReadWholeFile(strEntry), old);
    EXPECT_EQ(
        QDir(disk.Dir() + QStringLiteral("applications")).entryList(QDir::Files | QDir::Hidden),
        QStringList{QStringLiteral("hivewatch.desktop")});
}

TEST_F(App, WithoutADisplayTheProgramSaysSoAndNamesTheCaptureTool) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    EXPECT_EQ(RunProgram({}, env), 1);
    EXPECT_EQ(m_strStdErr.count(QLatin1Char('\n')), 1) << m_strStdErr.toStdString();
    EXPECT_TRUE(m_strStdErr.contains(QStringLiteral("hivewatch-capture")));
}
