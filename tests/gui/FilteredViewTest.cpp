// The event view under a display filter: its rows, keys, details and Find act on the events
// shown; a cell's menu is asked for with its row and column.
#include "display/FindReplaceDialog.h"
#include "display/MyListCtrl.h"
#include "store/RegOperations.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/gui/ViewTestSupport.h"

#include <gtest/gtest.h>

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>

namespace {

class FilteredView : public ViewFixture {
protected:
    void SetUp() override {
        ViewFixture::SetUp();
        // Records 1 to 6; the filter hides odd ones (rows 0, 1, 2: Seq 6, 4, 2).
        AppendRecords(m_doc, 1, 6);
        SFilterRule odd;
        odd.nColumn = FC_PATH;
        odd.nRelation = REL_ENDS_WITH;
        odd.nAction = FILTER_EXCLUDE;
        CFilterRules rules;
        for (const char* p : {"1", "3", "5", "7", "9"}) {
            odd.strValue = QString::fromLatin1(p);
            rules << odd;
        }
        ASSERT_TRUE(m_doc.SetDisplayFilter(rules));
        List().RefreshItemCount();
    }

    // The sequence number of the record whose details the last selection showed.
    int ShownSeq() {
        if (m_frame.m_arShown.empty())
            return -1;
        CRegInfoObj r;
        if (!m_doc.CopyRecordAtRow(m_frame.m_arShown.back(), r))
            return -1;
        return r.m_nSeq;
    }
    CMyListCtrl& Ctrl() { return List().GetListCtrl(); }
};

} // namespace

TEST_F(FilteredView, RowsKeysAndDetailsAreTheShownEvents) {
    ASSERT_EQ(Ctrl().GetItemCount(), 3);
    Ctrl().setFocus();
    QTest::keyClick(&Ctrl(), Qt::Key_Home);
    EXPECT_EQ(ShownSeq(), 6);
    QTest::keyClick(&Ctrl(), Qt::Key_Down);
    EXPECT_EQ(ShownSeq(), 4);
    QTest::keyClick(&Ctrl(), Qt::Key_End);
    EXPECT_EQ(Ctrl().GetFirstSelected(), 2);
    EXPECT_EQ(ShownSeq(), 2);
    QTest::keyClick(&Ctrl(), Qt::Key_Down); // the last shown row: no further
    EXPECT_EQ(Ctrl().GetFirstSelected(), 2);

    // New records: a hidden one adds no row, a shown one comes in at the top.
    AppendRecords(m_doc, 7, 2);
    List().RefreshItemCount();
    EXPECT_EQ(Ctrl().GetItemCount(), 4);
    CRegInfoObj r;
    ASSERT_TRUE(m_doc.CopyRecordAtRow(0, r));
    EXPECT_EQ(r.m_nSeq, 8);
}

TEST_F(FilteredView, FindWalksTheShownRowsOnly) {
    CFindReplaceDialog* pDlg = OpenFind();
    ASSERT_TRUE(pDlg);
    Ctrl().SetSelected(0);
    // Key3 is in a hidden record: not found, nothing changes.
    EXPECT_EQ(m_view.OnFindReplace(QStringLiteral("Key3"), FR_FINDNEXT | FR_DOWN), -1);
    EXPECT_EQ(Ctrl().GetFirstSelected(), 0);
    EXPECT_EQ(m_view.OnFindReplace(QStringLiteral("Key"), FR_FINDNEXT | FR_DOWN), 1);
    EXPECT_EQ(ShownSeq(), 4);
    EXPECT_EQ(m_view.OnFindReplace(QStringLiteral("Key2"), FR_FINDNEXT | FR_DOWN), 2);
    EXPECT_EQ(m_view.OnFindReplace(QStringLiteral("Key6"), FR_FINDNEXT | FR_DOWN), 0)
        << "down from the bottom row wraps to the top";
    pDlg->close();
}

TEST_F(FilteredView, ACellsMenuIsAskedForWithItsRowAndColumn) {
    QSignalSpy spy(&List(), &CBaseHivewatchDlg::CellMenuRequested);
    QWidget* pViewport = Ctrl().viewport();
    const int x = Ctrl().GetHeader()->sectionViewportPosition(2) + 5;
    const int y = Ctrl().GetRowHeight() + Ctrl().GetRowHeight() / 2; // row 1
    const QPoint pt(x, y);
    QTest::mouseClick(pViewport, Qt::RightButton, {}, pt);
    QContextMenuEvent mouseMenu(QContextMenuEvent::Mouse, pt, pViewport->mapToGlobal(pt));
    QCoreApplication::sendEvent(pViewport, &mouseMenu);
    ASSERT_EQ(spy.size(), 1);
    EXPECT_EQ(spy[0][0].toLongLong(), 1);
    EXPECT_EQ(spy[0][1].toInt(), 2);
    EXPECT_EQ(Ctrl().GetFirstSelected(), 1) << "the right button selects the row first";

    // Below the last row: no menu. The menu key: the selected row's first column.
    const QPoint below(x, 10 * Ctrl().GetRowHeight());
    QContextMenuEvent none(QContextMenuEvent::Mouse, below, pViewport->mapToGlobal(below));
    QCoreApplication::sendEvent(pViewport, &none);
    EXPECT_EQ(spy.size(), 1);
    QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(0, 0), QPoint(0, 0));
    QCoreApplication::sendEvent(&Ctrl(), &key);
    ASSERT_EQ(spy.size(), 2);
    EXPECT_EQ(spy[1][0].toLongLong(), 1);
    EXPECT_EQ(spy[1][1].toInt(), 0);
}
