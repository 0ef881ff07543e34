// The main window's dialog commands as a user meets them: Open New Program and Attach with and
// without "Capture now", Options while capturing, and Export from the File menu.
#include "frame/CommandIds.h"
#include "frame/MainFrame.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "tests/TestSupport.h"
#include "tests/gui/AppFixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <unistd.h>

namespace {

class DialogCommands : public AppFixture {
protected:
    // Fills the dialog's controls by their IDs and presses one of its buttons.
    static void SetText(QDialog* pDlg, const char* pszId, const QString& strText) {
        auto* pEdit = pDlg->findChild<QLineEdit*>(QLatin1String(pszId));
        ASSERT_TRUE(pEdit) << pszId;
        pEdit->setText(strText);
    }
    static void SetCheck(QDialog* pDlg, const char* pszId, bool bChecked) {
        auto* pBox = pDlg->findChild<QCheckBox*>(QLatin1String(pszId));
        ASSERT_TRUE(pBox) << pszId;
        pBox->setChecked(bChecked);
    }
    static void Press(QDialog* pDlg, const char* pszId) {
        auto* pButton = pDlg->findChild<QAbstractButton*>(QLatin1String(pszId));
        ASSERT_TRUE(pButton) << pszId;
        QTest::mouseClick(pButton, Qt::LeftButton);
    }
};

} // namespace

TEST_F(DialogCommands, OpenNewProgramWithCaptureNowLaunchesAndCapturesInOneStep) {
    ASSERT_TRUE(StartApp());
    const QString strProgram = QStringLiteral(HW_BIN_DIR "/hw_argdump");
    const QString strOut = m_strDir + QStringLiteral("args.txt");
    QString strCaption;
    m_script.AnswerDialog([&](QDialog* pDlg) {
        strCaption = pDlg->windowTitle();
        SetText(pDlg, "1005", strProgram);
        SetText(pDlg, "1006", strOut + QStringLiteral(" \"two words\""));
        SetCheck(pDlg, "1030", true);
        Press(pDlg, "1");
    });
    Command(ID_OPEN_NEW_PROGRAM)->trigger();
    EXPECT_EQ(strCaption, QStringLiteral("Open New Program"));
    EXPECT_EQ(Frame()->m_engine.m_bCapturing, 1);
    EXPECT_EQ(g_SetObj.m_strNewProgram, strProgram);
    EXPECT_EQ(g_SetObj.m_nCaptureScope, SCOPE_ALL) << "the launch succeeded";
    EXPECT_GT(Frame()->m_engine.m_nTargetPid, 0);
    EXPECT_FALSE(Command(ID_OPEN_NEW_PROGRAM)->isEnabled());
    EXPECT_FALSE(Command(ID_ATTACH)->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return QFileInfo(strOut).size() > 0; }));
    QTest::qWait(100);
    EXPECT_EQ(QString::fromLocal8Bit(ReadWholeFile(strOut)).split('\n', Qt::SkipEmptyParts),
              (QStringList{strProgram, strOut, "two words"}));
}

TEST_F(DialogCommands, AttachWithoutCaptureNowOnlyStoresTheTargetForTheNextStart) {
    ASSERT_TRUE(StartApp());
    const int nOwnPid = int(getpid());
    g_SetObj.m_strAttachName = QStringLiteral("hw_frame_tests");
    g_SetObj.m_nAttachPid = nOwnPid;
    QString strShown;
    m_script.AnswerDialog([&](QDialog* pDlg) {
        strShown = pDlg->findChild<QLineEdit*>(QStringLiteral("1003"))->text();
        SetCheck(pDlg, "1029", false);
        Press(pDlg, "1");
    });
    Command(ID_ATTACH)->trigger();
    EXPECT_EQ(strShown, QStringLiteral("hw_frame_tests/PID:%1").arg(nOwnPid));
    EXPECT_EQ(Frame()->m_engine.m_bCapturing, 0) << "nothing starts without Capture now";
    EXPECT_EQ(g_SetObj.m_nCaptureScope, SCOPE_ATTACHED);
    EXPECT_EQ(g_SetObj.m_bAttachCaptureNow, 0);

    Command(ID_START_CAPTURE)->trigger();
    EXPECT_EQ(Frame()->m_engine.m_bCapturing, 1);
    EXPECT_EQ(Frame()->m_engine.m_nTargetPid, nOwnPid) << "the attached process is watched";
    EXPECT_EQ(g_SetObj.m_nCaptureScope, SCOPE_ALL);
}

TEST_F(DialogCommands, CancelledTargetDialogsChangeNothing) {
    ASSERT_TRUE(StartApp());
    const CSetObj before = g_SetObj;
    for (int nId : {ID_ATTACH, ID_OPEN_NEW_PROGRAM, ID_OPTIONS}) {
        m_script.AnswerDialog([&](QDialog* pDlg) {
            if (auto* pEdit = pDlg->findChild<QLineEdit*>(QStringLiteral("1005")))
                pEdit->setText(QStringLiteral("/bin/true"));
            Press(pDlg, "2");
        });
        Command(nId)->trigger();
        EXPECT_EQ(m_script.PendingAnswers(), 0) << nId;
    }
    EXPECT_EQ(Frame()->m_engine.m_bCapturing, 0);
    EXPECT_EQ(g_SetObj.m_nCaptureScope, before.m_nCaptureScope);
    EXPECT_EQ(g_SetObj.m_strNewProgram, before.m_strNewProgram);
    EXPECT_EQ(g_SetObj.m_arProcInclude, before.m_arProcInclude);
}

// Options stays available while capturing; the capture goes on with the filter it started with.
TEST_F(DialogCommands, OptionsAppliedWhileCapturingChangeTheSettingsNotTheCapture) {
    ASSERT_TRUE(StartApp());
    CaptureRecords(1);
    ASSERT_TRUE(Command(ID_OPTIONS)->isEnabled());
    m_script.AnswerDialog([&](QDialog* pDlg) {
        SetText(pDlg, "1008", QStringLiteral("a.exe;b.exe"));
        Press(pDlg, "1");
    });
    Command(ID_OPTIONS)->trigger();
    EXPECT_EQ(g_SetObj.m_arProcInclude, (QStringList{"b.exe", "a.exe"}));
    EXPECT_EQ(Frame()->m_engine.m_bCapturing, 1);
    const int nBefore = Doc()->GetRecordCount();
    ASSERT_TRUE(WaitFor([&] { return Doc()->GetRecordCount() > nBefore; }))
        << "records of every process keep arriving until the next Start Capture";
}

TEST_F(DialogCommands, ExportFromTheFileMenuWritesTheChosenRecordsAndSaysFinished) {
    ASSERT_TRUE(StartApp());
    AppendRecords(*Doc(), 1, 5);
    const QString strCsv = m_strDir + QStringLiteral("export.csv");
    m_script.AnswerDialog([&](QDialog* pDlg) {
        EXPECT_EQ(pDlg->windowTitle(), QStringLiteral("Export"));
        SetText(pDlg, "1038", strCsv);
        Press(pDlg, "1");
    });
    m_script.AnswerMessageBox(QMessageBox::Ok);
    Command(ID_FILE_EXPORT)->trigger();
    EXPECT_EQ(m_script.MessageTexts(), QStringList{QStringLiteral("Finished")});
    const QList<QByteArray> arLines = ReadWholeFile(strCsv).split('\n');
    ASSERT_EQ(arLines.size(),
              7); // header, five records, and the empty rest after the last line end
    EXPECT_EQ(arLines[0], QByteArray("Seq,Time,ProcessName,PID,Request,Path,OldValue,NewValue\r"));
    EXPECT_TRUE(arLines[1].startsWith("1,")) << "oldest first";
    EXPECT_TRUE(arLines[5].startsWith("5,"));
}

// Tools > Registry Changes after a simulated capture: the window sums up every record it was
// opened over, and closes again.
TEST_F(DialogCommands, RegistryChangesSumsUpTheCapture) {
    ASSERT_TRUE(StartApp());
    CaptureRecords(20);
    Command(ID_STOP_CAPTURE)->trigger();
    QString strCaption, strScope;
    m_script.AnswerDialog([&](QDialog* pDlg) {
        strCaption = pDlg->windowTitle();
        for (const QLabel* pLabel : pDlg->findChildren<QLabel*>())
            if (pLabel->text().startsWith(QStringLiteral("From the first to the last of")))
                strScope = pLabel->text();
        pDlg->reject();
    });
    Command(ID_REGISTRY_CHANGES)->trigger();
    EXPECT_EQ(m_script.PendingAnswers(), 0);
    EXPECT_EQ(strCaption, QStringLiteral("Registry Changes"));
    EXPECT_TRUE(strScope.contains(QStringLiteral("all %1 events").arg(Doc()->GetRecordCount())))
        << strScope.toStdString();
}
