// New, Open, Save and Save As through the window, with their prompts and file dialogs, the
// caption and the recent-file list; the two-pass close with its save prompt; launching a
// program to watch.
#include "app/HivewatchDocLink.h"
#include "display/BaseHivewatchDlg.h"
#include "display/HivewatchView.h"
#include "frame/CommandIds.h"
#include "frame/MainFrame.h"
#include "framework/DocManager.h"
#include "framework/RecentFileList.h"
#include "platform/FileNames.h"
#include "platform/RegularFile.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "tests/TestSupport.h"
#include "tests/gui/AppFixture.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <cstdio>

namespace {

class DocumentCommands : public AppFixture {};

QStringList RecentMenuTexts(CMainFrame* pFrame) {
    QStringList arOut;
    QMenu* pFile = pFrame->menuBar()->actions()[0]->menu();
    for (const QAction* pAction : pFile->actions()) {
        const int nId = pAction->data().toInt();
        if (pAction->isVisible() && nId >= ID_FILE_MRU_FILE1 && nId < ID_FILE_MRU_FILE1 + 16)
            arOut << pAction->text();
    }
    return arOut;
}

} // namespace

TEST_F(DocumentCommands, CloseAsksToSaveNewRecordsAndCancelKeepsTheProgramOpen) {
    ASSERT_TRUE(StartApp());
    CaptureRecords(3);
    m_script.AnswerMessageBox(QMessageBox::Cancel);
    Frame()->close();
    EXPECT_EQ(m_script.MessageTexts(), QStringList{QStringLiteral("Save changes to Untitled?")});
    EXPECT_TRUE(Frame()->isVisible());
    EXPECT_EQ(Frame()->m_engine.m_bCapturing, 0) << "the first pass switched capture off";
    EXPECT_EQ(Frame()->m_engine.m_bQuit, 0);
    EXPECT_TRUE(Frame()->m_engine.m_hCaptureThread.joinable());
    EXPECT_TRUE(Command(ID_START_CAPTURE)->isEnabled());

    // Closing again and answering No ends the capture thread, then the window.
    m_script.AnswerMessageBox(QMessageBox::No);
    CloseAndExit();
    EXPECT_EQ(Frame(), nullptr);
    EXPECT_TRUE(QFile::exists(m_strSettings));
}

TEST_F(DocumentCommands, YesAtTheCloseSavesUnderTheChosenName) {
    ASSERT_TRUE(StartApp());
    CaptureRecords(3);
    const QString strPath = m_strDir + QStringLiteral("at-exit");
    m_script.AnswerMessageBox(QMessageBox::Yes);
    m_script.AnswerFileDialog(strPath);
    Frame()->close();
    ASSERT_TRUE(WaitFor([this] { return !Frame()->isVisible(); }, 15000));
    const int nCount = Doc()->GetRecordCount();
    m_pApp->ExitInstance(0);
    CHivewatchDoc loaded;
    ASSERT_TRUE(loaded.OnOpenDocument(strPath + QStringLiteral(".hvw")))
        << "the default extension is added";
    EXPECT_EQ(loaded.GetRecordCount(), nCount);
}

TEST_F(DocumentCommands, NoPromptAfterOpeningAFileWithoutCapturing) {
    const QString strPath = WriteDocument(QStringLiteral("saved.hvw"), 12);
    ASSERT_TRUE(StartApp());
    ASSERT_TRUE(DocManager()->OpenDocumentFile(strPath));
    EXPECT_EQ(ListCount(), 12);
    EXPECT_EQ(Frame()->windowTitle(), QStringLiteral("Hivewatch - saved.hvw"));
    CloseAndExit(); // no scripted answer: a prompt would fail the test
}

TEST_F(DocumentCommands, ATruncatedFileIsReportedAndItsRecordsReadStay) {
    const QString strPath = WriteDocument(QStringLiteral("cut.hvw"), 40);
    QByteArray bytes = ReadWholeFile(strPath);
    QFile file(strPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes.left(bytes.size() * 3 / 4));
    file.close();
    ASSERT_TRUE(StartApp());
    m_script.AnswerFileDialog(strPath);
    m_script.AnswerMessageBox(QMessageBox::Ok);
    Command(ID_FILE_OPEN)->trigger();
    ASSERT_EQ(m_script.MessageTexts().size(), 1);
    const QString strError = m_script.MessageTexts()[0];
    EXPECT_TRUE(strError.contains(QStringLiteral("cut.hvw"))) << strError.toStdString();
    EXPECT_TRUE(strError.contains(QStringLiteral("were read"))) << strError.toStdString();
    const int nRead = Doc()->GetRecordCount();
    EXPECT_GT(nRead, 20);
    EXPECT_LT(nRead, 40);
    EXPECT_EQ(ListCount(), nRead) << "the records read are shown";
    // It is no longer that file: the caption says so and Save asks for a name.
    EXPECT_EQ(Frame()->windowTitle(), QStringLiteral("Hivewatch - Untitled"));
    EXPECT_TRUE(DocManager()->GetPathName().isEmpty());
}

TEST_F(DocumentCommands, AFileThatCannotBeOpenedLeavesTheDocumentAsItWas) {
    const QString strPath = WriteDocument(QStringLiteral("kept.hvw"), 5);
    ASSERT_TRUE(StartApp());
    ASSERT_TRUE(DocManager()->OpenDocumentFile(strPath));
    m_script.AnswerMessageBox(QMessageBox::Ok);
    EXPECT_FALSE(DocManager()->OpenDocumentFile(m_strDir + QStringLiteral("missing.hvw")));
    ASSERT_EQ(m_script.MessageTexts().size(), 1);
    EXPECT_TRUE(m_script.MessageTexts()[0].startsWith(QStringLiteral("Cannot open ")));
    EXPECT_EQ(ListCount(), 5);
    EXPECT_EQ(Frame()->windowTitle(), QStringLiteral("Hivewatch - kept.hvw"));
}

TEST_F(DocumentCommands, SaveAsNewOpenAndTheRecentFileList) {
    ASSERT_TRUE(StartApp());
    EXPECT_EQ(RecentMenuTexts(Frame()), QStringList{QStringLiteral("Recent File")});
    EXPECT_FALSE(Frame()->menuBar()->actions()[0]->menu()->actions()[7]->isEnabled());
    CaptureRecords(2);
    Command(ID_STOP_CAPTURE)->trigger();
    const int nCaptured = Doc()->GetRecordCount();
    m_script.AnswerFileDialog(m_strDir + QStringLiteral("first.hvw"));
    Command(ID_FILE_SAVE_AS)->trigger();
    EXPECT_EQ(Frame()->windowTitle(), QStringLiteral("Hivewatch - first.hvw"));
    ASSERT_EQ(RecentMenuTexts(Frame()).size(), 1);
    EXPECT_TRUE(RecentMenuTexts(Frame())[0].startsWith(QStringLiteral("&1 ")));
    EXPECT_TRUE(RecentMenuTexts(Frame())[0].endsWith(QStringLiteral("first.hvw")));

    // New after a save asks nothing; the list empties.
    Command(ID_FILE_NEW)->trigger();
    EXPECT_EQ(ListCount(), 0);
    EXPECT_EQ(Frame()->windowTitle(), QStringLiteral("Hivewatch - Untitled"));
    for (int i = 0; i < 5; ++i)
        DocManager()->OpenDocumentFile(WriteDocument(QStringLiteral("f%1.hvw").arg(i), i + 1));
    const QStringList arRecent = RecentMenuTexts(Frame());
    ASSERT_EQ(arRecent.size(), 4) << "four entries at most";
    EXPECT_TRUE(arRecent[0].endsWith(QStringLiteral("f4.hvw")));
    EXPECT_TRUE(arRecent[3].endsWith(QStringLiteral("f1.hvw")));
    EXPECT_EQ(QSettings().value(QStringLiteral("Recent File List/File1")).toString(),
              m_strDir + QStringLiteral("f4.hvw"));

    // The recent list outlives the run; an entry opens its file.
    CloseAndExit();
    m_pApp.reset();
    ASSERT_TRUE(StartApp());
    ASSERT_EQ(RecentMenuTexts(Frame()).size(), 4);
    DocManager()->OpenDocumentFile(m_strDir + QStringLiteral("first.hvw"));
    EXPECT_EQ(ListCount(), nCaptured);
    EXPECT_TRUE(RecentMenuTexts(Frame())[0].endsWith(QStringLiteral("first.hvw")));
}

// File names are bytes. Qt's file dialog shows those that are not UTF-8 with U+FFFD and
// returns them so; the window reads them back to the file shown, shows them with \xHH, and
// remembers them by their bytes.
TEST_F(DocumentCommands, NamesThatAreNotUtf8AreOpenedSavedAndRememberedByTheirBytes) {
    const QByteArray raw = QFile::encodeName(m_strDir) + "\xff\xfe in.hvw";
    ASSERT_EQ(::rename(QFile::encodeName(WriteDocument(QStringLiteral("in.hvw"), 6)), raw), 0);
    ASSERT_TRUE(StartApp());
    m_script.AnswerFileDialog(QString::fromUtf8(raw));
    ASSERT_TRUE(DocManager()->OnFileOpen());
    EXPECT_EQ(ListCount(), 6);
    EXPECT_EQ(Frame()->windowTitle(), QStringLiteral("Hivewatch - \\xFF\\xFE in.hvw"));
    EXPECT_EQ(PlatformFileNameBytes(DocManager()->GetPathName()), raw);
    ASSERT_EQ(RecentMenuTexts(Frame()).size(), 1);
    EXPECT_TRUE(RecentMenuTexts(Frame())[0].endsWith(QStringLiteral("\\xFF\\xFE in.hvw")))
        << RecentMenuTexts(Frame())[0].toStdString();

    // Save As over it: replacing it is confirmed, and the file keeps its name.
    AppendRecords(*Doc(), 7, 2);
    m_script.AnswerFileDialog(QString::fromUtf8(raw));
    m_script.AnswerMessageBox(QMessageBox::Yes);
    ASSERT_TRUE(DocManager()->OnFileSaveAs());
    ASSERT_EQ(m_script.MessageTexts().size(), 1);
    EXPECT_TRUE(m_script.MessageTexts()[0].startsWith(QStringLiteral("\\xFF\\xFE in.hvw already")))
        << m_script.MessageTexts()[0].toStdString();
    const int fd = PlatformOpenRegularFile(PlatformFileNameFromBytes(raw));
    ASSERT_GE(fd, 0);
    QFile saved;
    ASSERT_TRUE(saved.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
    EXPECT_EQ(saved.read(4), QByteArray::fromHex("08000000"));

    // The recent list outlives the run with the name's bytes.
    CRecentFileList recent;
    recent.ReadList();
    ASSERT_EQ(recent.GetEntries().size(), 1);
    EXPECT_EQ(PlatformFileNameBytes(recent.GetEntries()[0]), raw);
}

TEST_F(DocumentCommands, OpenAsksToSaveUnsavedRecordsFirst) {
    const QString strPath = WriteDocument(QStringLiteral("other.hvw"), 7);
    ASSERT_TRUE(StartApp());
    CaptureRecords(2);
    Command(ID_STOP_CAPTURE)->trigger();
    Frame()->OnRefreshList(); // whatever arrived marks the document modified
    // The file is chosen first, then the prompt asks about the records not yet saved.
    m_script.AnswerFileDialog(strPath);
    m_script.AnswerMessageBox(QMessageBox::Cancel);
    EXPECT_FALSE(DocManager()->OnFileOpen());
    EXPECT_NE(Frame()->windowTitle(), QStringLiteral("Hivewatch - other.hvw"));
    EXPECT_GT(ListCount(), 0) << "Cancel keeps the captured records";
    m_script.AnswerFileDialog(strPath);
    m_script.AnswerMessageBox(QMessageBox::No);
    EXPECT_TRUE(DocManager()->OnFileOpen());
    EXPECT_EQ(ListCount(), 7);
}

// A long open: the progress shows with the rows read so far already in the list, and Cancel
// ends it with those rows kept as a new document; let run, it opens the whole file.
TEST_F(DocumentCommands, ALongOpenShowsItsRowsAsItGoesAndCanBeCancelled) {
    constexpr int COUNT = 5 * int(CHivewatchDoc::LOAD_STEP) + 7;
    const QString strPath = WriteDocument(QStringLiteral("long.hvw"), COUNT);
    ASSERT_TRUE(StartApp());
    m_pApp->GetDocLink()->SetProgressDelay(0);

    qint64 nRowsWhenShown = -1;
    {
        CProgressWatch cancel([&](QProgressDialog* pDlg) {
            nRowsWhenShown = ListCount();
            QTest::mouseClick(pDlg->findChild<QPushButton*>(), Qt::LeftButton);
        });
        m_script.AnswerMessageBox(QMessageBox::Ok);
        EXPECT_FALSE(DocManager()->OpenDocumentFile(strPath));
        EXPECT_EQ(cancel.m_nShown, 1);
        EXPECT_TRUE(cancel.m_bWindowModal);
    }
    EXPECT_GE(nRowsWhenShown, CHivewatchDoc::LOAD_STEP) << "rows show while the file is read";
    ASSERT_EQ(m_script.MessageTexts().size(), 1);
    const QString strText = m_script.MessageTexts()[0];
    EXPECT_TRUE(strText.contains(QStringLiteral("long.hvw was cancelled")))
        << strText.toStdString();
    const int nRead = Doc()->GetRecordCount();
    EXPECT_GT(nRead, 0);
    EXPECT_LT(nRead, COUNT);
    EXPECT_EQ(ListCount(), nRead);
    EXPECT_TRUE(DocManager()->GetPathName().isEmpty()) << "Save must not overwrite the file";
    EXPECT_TRUE(Doc()->IsModified());

    // Not cancelled: every record, under the file's name, and the progress gone.
    m_script.AnswerMessageBox(QMessageBox::No); // the records kept are not saved
    {
        CProgressWatch watch([](QProgressDialog*) {});
        EXPECT_TRUE(DocManager()->OpenDocumentFile(strPath));
        EXPECT_GE(watch.m_nShown, 1);
    }
    EXPECT_EQ(Doc()->GetRecordCount(), COUNT);
    EXPECT_EQ(ListCount(), COUNT);
    EXPECT_EQ(DocManager()->GetPathName(), strPath);
    EXPECT_TRUE(Frame()->findChildren<QProgressDialog*>().isEmpty());
}
