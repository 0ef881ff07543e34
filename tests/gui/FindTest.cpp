// Edit > Find as a user meets it: the real Find dialog driven by typing and clicking, the view's
// search walking the list from the selected row, and a long search with its progress.
#include "display/BaseHivewatchDlg.h"
#include "display/FindReplaceDialog.h"
#include "display/HivewatchView.h"
#include "display/MyListCtrl.h"
#include "display/ViewFrame.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "store/RegOperations.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/gui/ViewTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include <vector>

namespace {

class Find : public ViewFixture {
protected:
    void SetUp() override {
        ViewFixture::SetUp();
        // Records 1 to 5: row 0 shows record 5, row 4 record 1; paths ...\Key1 to ...\Key5.
        AppendRecords(m_doc, 1, 5);
        List().RefreshItemCount();
        m_pDlg = OpenFind();
    }

    // Sets the dialog as a user does: the text typed into "Find what:", the boxes ticked or
    // cleared by clicks, a direction chosen.
    void Set(const QString& strText, bool bDown, bool bMatchCase = false, bool bWholeWord = false) {
        auto* pEdit = Control<QLineEdit>(IDC_FIND_WHAT);
        pEdit->selectAll();
        QTest::keyClick(pEdit, Qt::Key_Delete);
        QTest::keyClicks(pEdit, strText);
        auto* pCase = Control<QCheckBox>(IDC_FIND_MATCH_CASE);
        if (pCase->isChecked() != bMatchCase)
            QTest::mouseClick(pCase, Qt::LeftButton);
        auto* pWord = Control<QCheckBox>(IDC_FIND_WHOLE_WORD);
        if (pWord->isChecked() != bWholeWord)
            QTest::mouseClick(pWord, Qt::LeftButton);
        QTest::mouseClick(Control<QRadioButton>(bDown ? IDC_FIND_DOWN : IDC_FIND_UP),
                          Qt::LeftButton);
    }
    // Set, then Find Next: clicked, or Enter in "Find what:".
    qint64 FindNext(const QString& strText, bool bDown, bool bMatchCase = false,
                    bool bWholeWord = false, bool bEnter = false) {
        Set(strText, bDown, bMatchCase, bWholeWord);
        if (bEnter)
            QTest::keyClick(Control<QLineEdit>(IDC_FIND_WHAT), Qt::Key_Return);
        else
            QTest::mouseClick(Control<QPushButton>(IDOK), Qt::LeftButton);
        return List().GetSelectedRow();
    }
    void Select(qint64 nRow) { List().GetListCtrl().SetSelected(nRow); }
    // Whether a dialog is gone once the event loop has run its deferred deletions.
    static bool Deleted(const QPointer<CFindReplaceDialog>& pDlg) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return pDlg.isNull();
    }

    template <class T> T* Control(int nId) {
        auto* p = qobject_cast<T*>(m_pDlg->GetDlgItem(nId));
        EXPECT_NE(p, nullptr) << nId;
        return p;
    }

    // Replaces the records by ones with these paths (the first is the oldest, the bottom row).
    void ReplaceRecords(const QStringList& arPaths) {
        m_doc.ClearDisplay();
        std::vector<CRegInfoObj*> records;
        for (int i = 0; i < arPaths.size(); ++i)
            records.push_back(MakeRecord(i + 1, OP_OPEN_KEY, arPaths[i]));
        m_doc.AppendRecords(records.data(), records.size());
        List().RefreshItemCount();
    }

    QPointer<CFindReplaceDialog> m_pDlg;
};

} // namespace

TEST_F(Find, DownGoesToOlderRowsUpToNewerOnesAndBothWrap) {
    Select(1);
    EXPECT_EQ(FindNext("app.exe", true), 2) << "every record matches: the next row down";
    Select(1);
    EXPECT_EQ(FindNext("app.exe", false, false, false, true), 0) << "Enter: the next row up";
    // From the bottom row down, only the top row matches: round to the top.
    Select(4);
    EXPECT_EQ(FindNext("Key5", true), 0);
    EXPECT_EQ(FindNext("Key1", false), 4) << "up from the top row: round to the bottom";
    // Repeated Find Next walks on from each match.
    Select(0);
    FindNext("app.exe", true);
    QTest::keyClick(Control<QLineEdit>(IDC_FIND_WHAT), Qt::Key_Return);
    EXPECT_EQ(List().GetSelectedRow(), 2);
}

TEST_F(Find, NothingSelectedStartsNextToTheTopRowWhichComesLast) {
    // Records 2 and 5 (rows 3 and 0) hold the word.
    ReplaceRecords({"HKLM\\A", "HKLM\\Shared\\B", "HKLM\\C", "HKLM\\D", "HKLM\\Shared\\E"});
    EXPECT_EQ(FindNext("Shared", true), 3) << "row 0 is examined last going down";
    Select(-1);
    EXPECT_EQ(FindNext("Shared", false), 3) << "up starts at the bottom row";
    Select(-1);
    EXPECT_EQ(FindNext("HKLM", true), 1);
    Select(-1);
    EXPECT_EQ(FindNext("HKLM", false), 4);
    Select(-1);
    EXPECT_EQ(FindNext("Shared\\E", true), 0) << "the top row, found last";
}

TEST_F(Find, TheSelectedRecordIsFoundLastAndNoMatchChangesNothing) {
    Select(2);
    const size_t nShown = m_frame.m_arShown.size();
    EXPECT_EQ(FindNext("Key3", true), 2);
    EXPECT_EQ(FindNext("Key3", false), 2);
    EXPECT_EQ(m_frame.m_arShown.size(), nShown + 2) << "found again, its details shown again";

    const qint64 nTop = List().GetListCtrl().GetTopIndex();
    EXPECT_EQ(FindNext("no such text", true), 2);
    EXPECT_EQ(FindNext("no such text", false), 2);
    EXPECT_EQ(m_frame.m_arShown.size(), nShown + 2);
    EXPECT_EQ(List().GetListCtrl().GetTopIndex(), nTop);
    EXPECT_TRUE(m_arMessages.isEmpty()) << "no message";
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    // An empty document: nothing to find, nothing happens.
    m_doc.ClearDisplay();
    EXPECT_EQ(m_view.OnFindReplace(QStringLiteral("app.exe"), FR_FINDNEXT | FR_DOWN), -1);
}

TEST_F(Find, MatchCaseAndWholeWordReachTheSearch) {
    // Rows: 0 "Vendor" inside a word, 1 "vendor" as a word, 2 "Vendor" as a word.
    ReplaceRecords({"HKCU\\Software\\Vendor\\Z", "HKCU\\Software\\vendor\\Y",
                    "HKCU\\Software\\VendorTools\\X"});
    QSignalSpy notices(m_pDlg.data(), &CFindReplaceDialog::FindReplace);
    EXPECT_EQ(FindNext("Vendor", true), 1);
    Select(-1);
    EXPECT_EQ(FindNext("Vendor", true, true), 2) << "match case skips \"vendor\"";
    EXPECT_EQ(FindNext("Vendor", true, false, true), 1)
        << "whole word skips \"VendorTools\" and wraps";
    EXPECT_EQ(FindNext("Vendor", true, true, true), 2);
    EXPECT_EQ(FindNext("Vendor", true, true, true), 2) << "the only match is the selected row";
    Select(2);
    EXPECT_EQ(FindNext("vendortools", false), 0);
    EXPECT_EQ(FindNext("vendortools", false, true), 0) << "no match: the selection stays";

    ASSERT_EQ(notices.size(), 7);
    EXPECT_EQ(notices[0][1].toUInt(), unsigned(FR_FINDNEXT | FR_DOWN));
    EXPECT_EQ(notices[3][1].toUInt(),
              unsigned(FR_FINDNEXT | FR_DOWN | FR_MATCHCASE | FR_WHOLEWORD));
    EXPECT_EQ(notices[6][1].toUInt(), unsigned(FR_FINDNEXT | FR_MATCHCASE));
    EXPECT_EQ(notices[6][0].toString(), QStringLiteral("vendortools"));
}

TEST_F(Find, TheDialogClosesAndDeletesItselfAndEachFindOpensANewOne) {
    QPointer<CFindReplaceDialog> pSecond = OpenFind();
    ASSERT_TRUE(pSecond);
    EXPECT_NE(pSecond.data(), m_pDlg.data());
    for (CFindReplaceDialog* pDlg : {m_pDlg.data(), pSecond.data()}) {
        EXPECT_TRUE(pDlg->isVisible());
        EXPECT_FALSE(pDlg->isModal());
        EXPECT_TRUE(pDlg->SearchDown()) << "Down is preset";
        EXPECT_TRUE(pDlg->GetFindString().isEmpty());
        EXPECT_EQ(pDlg->palette().color(QPalette::Window), QColor(1, 2, 3))
            << "the look's background";
    }
    // Nothing to find: Find Next is greyed and Enter does nothing.
    EXPECT_FALSE(Control<QPushButton>(IDOK)->isEnabled());
    Select(1);
    QTest::keyClick(Control<QLineEdit>(IDC_FIND_WHAT), Qt::Key_Return);
    EXPECT_EQ(List().GetSelectedRow(), 1);

    // Escape closes the first; its closing notice carries the text but finds nothing.
    QSignalSpy notices(m_pDlg.data(), &CFindReplaceDialog::FindReplace);
    Set("app.exe", true);
    EXPECT_TRUE(Control<QPushButton>(IDOK)->isEnabled());
    QTest::keyClick(Control<QLineEdit>(IDC_FIND_WHAT), Qt::Key_Escape);
    ASSERT_EQ(notices.size(), 1);
    EXPECT_EQ(notices[0][1].toUInt() & (FR_FINDNEXT | FR_DIALOGTERM), unsigned(FR_DIALOGTERM));
    EXPECT_EQ(List().GetSelectedRow(), 1) << "the closing notice is no search";
    EXPECT_TRUE(Deleted(m_pDlg)) << "deleted once closed";

    // Cancel closes the second; a third Find opens yet another.
    m_pDlg = pSecond;
    Set("app.exe", true);
    QTest::mouseClick(Control<QPushButton>(IDCANCEL), Qt::LeftButton);
    EXPECT_TRUE(Deleted(pSecond));
    EXPECT_EQ(List().GetSelectedRow(), 1);
    m_pDlg = OpenFind();
    EXPECT_TRUE(m_pDlg && m_pDlg->isVisible());
    EXPECT_EQ(m_view.findChildren<CFindReplaceDialog*>().size(), 1);
}

TEST_F(Find, ASelectedRowWhoseRecordWasTrimmedCountsAsTheTopRow) {
    Select(4);
    // The history depth drops to 3: records 4, 5 and 6 stay, the list still shows 5 rows.
    g_SetObj.m_nHistoryDepth = 3;
    AppendRecords(m_doc, 6, 1);
    ASSERT_EQ(m_doc.GetRecordCount(), 3);
    ASSERT_EQ(List().GetListCtrl().GetItemCount(), 5);
    EXPECT_EQ(FindNext("no such text", true), 4) << "no match: nothing changes";
    EXPECT_EQ(FindNext("app.exe", true), 1) << "down from the top row";
    EXPECT_EQ(List().GetListCtrl().GetItemCount(), 3) << "the list shows the records there are";
}

namespace {

class CPaintCounter : public QObject {
public:
    bool eventFilter(QObject*, QEvent* pEvent) override {
        m_nPaints += pEvent->type() == QEvent::Paint;
        return false;
    }
    int m_nPaints = 0;
};

class LongFind : public Find {
protected:
    // Enough records for the search to report its progress several times; only the
    // oldest (the bottom row) holds the word. The progress shows at once.
    static constexpr int COUNT = 600'000;
    void SetUp() override {
        Find::SetUp();
        m_doc.ClearDisplay();
        const std::unique_ptr<CRegInfoObj> pProto(MakeRecord(2, OP_OPEN_KEY));
        std::vector<CRegInfoObj*> records;
        records.reserve(COUNT);
        records.push_back(MakeRecord(1, OP_OPEN_KEY, QStringLiteral("HKLM\\Needle")));
        for (int i = 1; i < COUNT; ++i)
            records.push_back(new CRegInfoObj(*pProto));
        m_doc.AppendRecords(records.data(), records.size());
        List().RefreshItemCount();
        m_view.SetFindProgressDelay(0);
        Select(0);
    }
};

} // namespace

TEST_F(LongFind, ShowsProgressKeepsPaintingAndFinds) {
    CPaintCounter paints;
    CProgressWatch repaint([&](QProgressDialog*) { List().GetListCtrl().viewport()->update(); });
    QTest::qWait(50);
    List().GetListCtrl().viewport()->installEventFilter(&paints);
    EXPECT_EQ(FindNext("needle", true), COUNT - 1);
    List().GetListCtrl().viewport()->removeEventFilter(&paints);
    EXPECT_GE(repaint.m_nShown, 1);
    EXPECT_TRUE(repaint.m_bWindowModal);
    EXPECT_GE(paints.m_nPaints, 1) << "the list painted during the search";
    EXPECT_TRUE(m_view.window()->findChildren<QProgressDialog*>().isEmpty()) << "gone at the end";
}

TEST_F(LongFind, CancelledOrOutdatedSearchSelectsNothing) {
    {
        CProgressWatch cancel([](QProgressDialog* pDlg) {
            QTest::mouseClick(pDlg->findChild<QPushButton*>(), Qt::LeftButton);
        });
        EXPECT_EQ(FindNext("needle", true), 0) << "cancelled: the selection stays";
        EXPECT_EQ(cancel.m_nShown, 1);
    }
    {
        // The records go while the search lets the window work (a document handed over by
        // a second start): the search must stop rather than read them.
        CProgressWatch clear([this](QProgressDialog*) { m_doc.ClearDisplay(); });
        EXPECT_EQ(m_view.OnFindReplace(QStringLiteral("needle"), FR_FINDNEXT | FR_DOWN), -1);
        EXPECT_EQ(clear.m_nShown, 1);
        EXPECT_EQ(List().GetSelectedRow(), 0);
    }
}
