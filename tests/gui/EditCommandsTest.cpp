// Edit > Find and Edit > Regedit Jump reaching the view through the main window's commands.
#include "display/BaseHivewatchDlg.h"
#include "display/FindReplaceDialog.h"
#include "display/HivewatchView.h"
#include "display/OutputWnd.h"
#include "frame/CommandIds.h"
#include "frame/MainFrame.h"
#include "framework/DocManager.h"
#include "settings/SetObj.h"
#include "tests/gui/AppFixture.h"

#include <QAction>
#include <QLineEdit>
#include <QTest>

namespace {
class EditCommands : public AppFixture {};
} // namespace

TEST_F(EditCommands, FindOpensTheDialogWhoseMatchShowsItsDetails) {
    const QString strPath = WriteDocument(QStringLiteral("five.hvw"), 5);
    ASSERT_TRUE(StartApp());
    ASSERT_TRUE(DocManager()->OpenDocumentFile(strPath));
    CHivewatchView* pView = Frame()->m_pMainView;
    pView->GetListDlg()->SelectRow(4);

    Command(ID_EDIT_FIND)->trigger();
    const QList<CFindReplaceDialog*> arDialogs = pView->findChildren<CFindReplaceDialog*>();
    ASSERT_EQ(arDialogs.size(), 1);
    CFindReplaceDialog* pDlg = arDialogs[0];
    EXPECT_TRUE(pDlg->isVisible());
    EXPECT_EQ(pDlg->m_clrBackground, g_SetObj.m_clrBackground);
    QTest::keyClicks(pDlg->GetDlgItem(IDC_FIND_WHAT), QStringLiteral("Key5"));
    QTest::keyClick(pDlg->GetDlgItem(IDC_FIND_WHAT), Qt::Key_Return);
    // Down from the bottom row wraps to the top row; the details pane shows its record.
    EXPECT_EQ(pView->GetListDlg()->GetSelectedRow(), 0);
    EXPECT_TRUE(
        Frame()->GetOutputWnd()->GetDetailsText().startsWith(QStringLiteral(" Seqence: 5\r\n")));

    // The jump with nothing selected does nothing.
    pView->GetListDlg()->GetListCtrl().SetSelected(-1);
    Command(ID_REGEDIT_JUMP)->trigger();
    EXPECT_FALSE(pView->GetRegeditJump().IsRunning());
    EXPECT_EQ(m_script.MessageTexts(), QStringList());
}
