// Start-up and shut-down: one instance per session with the hand-over of a document, the
// settings file, the command line, dropped files, the desktop registration, and a machine
// without a display.
#include "app/DesktopRegistration.h"
#include "app/SingleInstance.h"
#include "frame/MainFrame.h"
#include "framework/DocManager.h"
#include "platform/FileLock.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "tests/TestSupport.h"
#include "tests/gui/AppFixture.h"

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QProcess>
#include <QTest>
#include <QUrl>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class App : public AppFixture {
protected:
    // Runs the real program as a second start would, serving this process's events
    // meanwhile (the running instance answers the hand-over on them).
    int RunProgram(const QStringList& arArgs, QProcessEnvironment env = {}) {
        QProcess process;
        if (!env.isEmpty())
            process.setProcessEnvironment(env);
        process.start(QStringLiteral(HW_BIN_DIR "/hivewatch"), arArgs);
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
