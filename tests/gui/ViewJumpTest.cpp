// Regedit Jump from the event view, end to end: the selected row's key and value shown by the
// real hivewatch-regedit, which the jump starts and then reuses.
#include "display/MyListCtrl.h"
#include "settings/SetObj.h"
#include "store/RegOperations.h"
#include "tests/TestSupport.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/gui/ViewTestSupport.h"
#include "tests/tools/RegeditAsk.h"
#include "utils/SystemInfo.h"
#include "winereg/WineRegistry.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTest>

#include <vector>

namespace {

bool WaitCursorShown() {
    return QApplication::overrideCursor() &&
           QApplication::overrideCursor()->shape() == Qt::WaitCursor;
}

class ViewJump : public ViewFixture {
protected:
    void SetUp() override {
        ViewFixture::SetUp();
        // The substitute driver's registry, as the driver saves it.
        CWineRegistry reg;
        CWineRegKey* pJump = reg.CreateKey(u"HKLM\\SOFTWARE\\Hivewatch\\Jump");
        for (const char* pName : {"Alpha", "Answer", "Beta"})
            pJump->SetValue({QString::fromUtf8(pName), REG_SZ, RegStringData(u"x")});
        reg.CreateKey(u"HKCU\\Software\\Other");
        QStringList arErrors;
        ASSERT_TRUE(reg.SaveFolder(g_ExtSysInfo.GetSysPath() + "config/", arErrors))
            << arErrors.join('\n').toStdString();
        // Row 1: a value set under the key; row 0: another key opened.
        std::vector<CRegInfoObj*> records = {
            MakeRecord(1, OP_SET_VALUE, QStringLiteral("HKLM\\SOFTWARE\\Hivewatch\\Jump\\Answer")),
            MakeRecord(2, OP_OPEN_KEY, QStringLiteral("HKCU\\Software\\Other"))};
        m_doc.AppendRecords(records.data(), records.size());
        List().RefreshItemCount();
        m_view.GetRegeditJump().SetPrefix({});
        m_view.GetRegeditJump().SetValuePause(50);
    }

    void TearDown() override {
        // End the editor this test started, and make sure it is gone.
        if (!QuitRegeditAndWait())
            ADD_FAILURE() << "the editor did not quit";
        ViewFixture::TearDown();
    }

    // Waits for the running jump to end; false when it does not within 30 s.
    bool WaitForJump(QSignalSpy& spy, int nCount) {
        return WaitFor([&] { return spy.size() >= nCount; }, 30000);
    }
    void Select(qint64 nRow) { List().GetListCtrl().SetSelected(nRow); }
};

} // namespace

TEST_F(ViewJump, ShowsTheSelectedKeyAndValueAndReusesTheEditor) {
    QSignalSpy finished(&m_view.GetRegeditJump(), &CRegeditJump::finished);
    Select(1);
    m_view.JumpToRegedit();
    EXPECT_TRUE(m_view.GetRegeditJump().IsRunning()) << "the window is not held up";
    EXPECT_TRUE(WaitCursorShown());
    Select(0);
    m_view.JumpToRegedit(); // a jump already running is not started again
    ASSERT_TRUE(WaitForJump(finished, 1));
    ASSERT_TRUE(finished[0][0].toBool()) << finished[0][1].toString().toStdString();
    EXPECT_FALSE(QApplication::overrideCursor()) << "the wait cursor ends with the jump";
    EXPECT_TRUE(m_view.GetRegeditJump().StartedEditor());
    QStringList arState = AskRegedit("STATE");
    ASSERT_EQ(arState.size(), 5) << arState.join('|').toStdString();
    EXPECT_EQ(arState[0], QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Hivewatch\\Jump"));
    EXPECT_EQ(arState[1], QStringLiteral("Answer"));
    const QString strPid = AskRegedit("HELLO").value(1);
    QTest::qWait(300);
    EXPECT_EQ(finished.size(), 1) << "the second command started nothing";

    // A double-click on row 0, a key without a value: the same editor shows it.
    CMyListCtrl& ctrl = List().GetListCtrl();
    QTest::mouseDClick(ctrl.viewport(), Qt::LeftButton, Qt::NoModifier,
                       QPoint(20, ctrl.GetRowHeight() / 2));
    EXPECT_EQ(List().GetSelectedRow(), 0);
    ASSERT_TRUE(WaitForJump(finished, 2));
    ASSERT_TRUE(finished[1][0].toBool()) << finished[1][1].toString().toStdString();
    EXPECT_FALSE(m_view.GetRegeditJump().StartedEditor());
    EXPECT_EQ(AskRegedit("HELLO").value(1), strPid) << "no second editor";
    EXPECT_EQ(AskRegedit("STATE").value(0), QStringLiteral("HKEY_CURRENT_USER\\Software\\Other"));
    EXPECT_TRUE(m_arMessages.isEmpty()) << m_arMessages.join('\n').toStdString();
}

TEST_F(ViewJump, ARowWithoutARecordDoesNothing) {
    m_view.JumpToRegedit(); // nothing selected
    EXPECT_FALSE(m_view.GetRegeditJump().IsRunning());
    // Row 1 loses its record to the history depth; the list shows it until the next refresh.
    Select(1);
    g_SetObj.m_nHistoryDepth = 1;
    AppendRecords(m_doc, 3, 1);
    ASSERT_EQ(List().GetListCtrl().GetItemCount(), 2);
    m_view.JumpToRegedit();
    EXPECT_FALSE(m_view.GetRegeditJump().IsRunning());
    EXPECT_FALSE(QApplication::overrideCursor());
    QTest::qWait(200);
    EXPECT_EQ(AskRegedit("HELLO").value(0), QStringLiteral("ERR no editor"));
    EXPECT_TRUE(m_arMessages.isEmpty());
}

TEST_F(ViewJump, AnEditorThatCannotStartIsReportedInAMessage) {
    CRegeditJump& jump = m_view.GetRegeditJump();
    jump.SetSocketPath(TestTempDir() + "RegEdit_RegEdit");
    jump.SetEditorProgram(QStringLiteral("/nonexistent/hivewatch-regedit"));
    QSignalSpy finished(&jump, &CRegeditJump::finished);
    Select(0);
    m_view.JumpToRegedit();
    ASSERT_TRUE(WaitForJump(finished, 1));
    EXPECT_FALSE(QApplication::overrideCursor());
    ASSERT_EQ(m_arMessages.size(), 1);
    EXPECT_TRUE(m_arMessages[0].contains(QLatin1String("/nonexistent/hivewatch-regedit")) &&
                m_arMessages[0].contains(QLatin1String("cannot be found")))
        << m_arMessages[0].toStdString();

    // An editor that starts but never listens ends the jump at the limit, also in a message.
    jump.SetEditorProgram(QStringLiteral("/bin/true"));
    jump.SetTimeout(800);
    m_view.JumpToRegedit();
    EXPECT_TRUE(WaitCursorShown());
    ASSERT_TRUE(WaitForJump(finished, 2));
    EXPECT_FALSE(QApplication::overrideCursor());
    ASSERT_EQ(m_arMessages.size(), 2);
    EXPECT_TRUE(m_arMessages[1].contains(QLatin1String("did not start listening")))
        << m_arMessages[1].toStdString();
}
