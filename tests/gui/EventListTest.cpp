// The event list as a user meets it: what the rows show on screen, refreshes that keep the
// selection on its row number, keys and clicks, clearing, long-text tooltips.
#include "display/BaseHivewatchDlg.h"
#include "display/ColorRef.h"
#include "display/MyListCtrl.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "store/RegOperations.h"
#include "tests/gui/GuiTestSupport.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QHeaderView>
#include <QHelpEvent>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>
#include <QVBoxLayout>

#include <cstdint>
#include <vector>

namespace {

constexpr COLORREF LIST_BK = RGB(200, 200, 200);
constexpr COLORREF CREATE_BK = RGB(0, 128, 0);

class EventList : public ::testing::Test {
protected:
    void SetUp() override {
        g_SetObj.ResetDefaults();
        g_SetObj.m_clrBack[OP_CREATE_NEW] = CREATE_BK;
        m_dlg.SetDlgBkColor(LIST_BK);
        m_dlg.resize(700, 420);
        m_dlg.show();
    }
    void TearDown() override { g_SetObj.ResetDefaults(); }

    CMyListCtrl& List() { return m_dlg.GetListCtrl(); }

    // Sequence numbers divisible by 3 are created keys (coloured rows), the rest opened keys.
    void AppendPattern(int nFirst, int nCount) {
        std::vector<CRegInfoObj*> records;
        for (int i = nFirst; i < nFirst + nCount; ++i)
            records.push_back(MakeRecord(i, i % 3 == 0 ? OP_CREATE_NEW : OP_OPEN_KEY));
        m_doc.AppendRecords(records.data(), records.size());
    }

    // The background drawn in each visible row, left of the first column's text.
    std::vector<QColor> RowColours() {
        const QImage image = List().viewport()->grab().toImage();
        std::vector<QColor> colours;
        const int h = List().GetRowHeight();
        for (int y = h / 2; y < image.height(); y += h)
            colours.push_back(image.pixelColor(2, y));
        return colours;
    }

    CHivewatchDoc m_doc;
    CBaseHivewatchDlg m_dlg{&m_doc};
};

} // namespace

TEST_F(EventList, PaintedRowsFollowTheRowRuleAtAnyScrollPosition) {
    AppendPattern(1, 200);
    m_dlg.RefreshItemCount();
    const auto check = [&](qint64 nTop) {
        const std::vector<QColor> colours = RowColours();
        const int nRows = List().GetCountPerPage();
        ASSERT_GE(int(colours.size()), nRows);
        for (int i = 0; i < nRows; ++i) {
            const int nSeq = int(200 - (nTop + i));
            const QColor clrExpected = ColorRefToQColor(nSeq % 3 == 0 ? CREATE_BK : LIST_BK);
            ASSERT_EQ(colours[size_t(i)], clrExpected) << "top " << nTop << ", row " << i;
        }
    };
    check(0);
    List().SetTopIndex(77);
    check(77);
    // New records push the rows down: the top row number stays, its record is newer.
    AppendPattern(201, 4);
    m_dlg.RefreshItemCount();
    EXPECT_EQ(List().GetTopIndex(), 77);
    std::vector<QColor> colours = RowColours();
    EXPECT_EQ(colours[0], ColorRefToQColor((204 - 77) % 3 == 0 ? CREATE_BK : LIST_BK));
    List().SetTopIndex(1'000'000);
    EXPECT_EQ(List().GetTopIndex(), 204 - List().GetCountPerPage());
}

TEST_F(EventList, RefreshKeepsTheSelectionOnItsRowNumber) {
    QSignalSpy details(&m_dlg, &CBaseHivewatchDlg::ShowDetails);
    AppendPattern(1, 5);
    EXPECT_EQ(m_dlg.GetSelectedRow(), -1);
    m_dlg.RefreshItemCount();
    m_dlg.SelectRow(2);
    EXPECT_EQ(details.size(), 1);
    AppendPattern(6, 3);
    EXPECT_EQ(List().GetItemCount(), 5) << "the list follows the document only on refresh";
    m_dlg.RefreshItemCount();
    EXPECT_EQ(List().GetItemCount(), 8);
    EXPECT_EQ(m_dlg.GetSelectedRow(), 2) << "the same row number, now a newer record";
    EXPECT_EQ(details.size(), 1) << "arrivals do not change the details";
    m_dlg.SelectRow(2);
    EXPECT_EQ(details.size(), 2) << "selecting the selected row again shows it again";
    m_dlg.SelectRow(8);
    m_dlg.SelectRow(-1);
    EXPECT_EQ(m_dlg.GetSelectedRow(), 2) << "rows outside the list are ignored";
}

TEST_F(EventList, UnchangedCountRepaintsTheVisibleRows) {
    AppendPattern(1, 5);
    m_dlg.RefreshItemCount();
    QTest::qWait(50);
    int nPaints = 0;
    struct CPaintCounter : QObject {
        int* pCount;
        bool eventFilter(QObject*, QEvent* pEvent) override {
            if (pEvent->type() == QEvent::Paint)
                ++*pCount;
            return false;
        }
    } counter;
    counter.pCount = &nPaints;
    List().viewport()->installEventFilter(&counter);
    // A trim replaced records without changing the count: the rows must be fetched again.
    g_SetObj.m_nHistoryDepth = 5;
    AppendPattern(6, 1);
    m_dlg.RefreshItemCount();
    EXPECT_TRUE(WaitFor([&] { return nPaints > 0; }, 2000));
    EXPECT_EQ(List().GetItemCount(), 5);
    List().viewport()->removeEventFilter(&counter);
}

TEST_F(EventList, ClearingEmptiesTheControlAtOnce) {
    QSignalSpy details(&m_dlg, &CBaseHivewatchDlg::ShowDetails);
    AppendPattern(1, 5);
    m_dlg.RefreshItemCount();
    m_dlg.SelectRow(1);
    m_dlg.ClearListControl();
    EXPECT_EQ(List().GetItemCount(), 0);
    EXPECT_EQ(m_dlg.GetSelectedRow(), -1);
    EXPECT_EQ(details.size(), 1) << "a deselection sends no details";
    const std::vector<QColor> colours = RowColours();
    EXPECT_EQ(colours[0], ColorRefToQColor(LIST_BK)) << "an empty list shows no rows";
}

TEST_F(EventList, KeysMoveTheSelectionAndEnterOrEscapeCloseNothing) {
    // Hosted in a dialog: without the list consuming them, Escape would close it.
    QDialog host;
    auto* pLayout = new QVBoxLayout(&host);
    CBaseHivewatchDlg* pDlg = new CBaseHivewatchDlg(&m_doc);
    pLayout->addWidget(pDlg);
    host.resize(600, 300);
    host.show();
    QSignalSpy details(pDlg, &CBaseHivewatchDlg::ShowDetails);
    AppendPattern(1, 100);
    pDlg->RefreshItemCount();
    CMyListCtrl& list = pDlg->GetListCtrl();
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_Down);
    EXPECT_EQ(pDlg->GetSelectedRow(), 0);
    QTest::keyClick(&list, Qt::Key_Down);
    EXPECT_EQ(pDlg->GetSelectedRow(), 1);
    QTest::keyClick(&list, Qt::Key_End);
    EXPECT_EQ(pDlg->GetSelectedRow(), 99);
    EXPECT_EQ(list.GetTopIndex(), 100 - list.GetCountPerPage()) << "scrolled into view";
    EXPECT_EQ(details.size(), 3);
    QTest::keyClick(&list, Qt::Key_Escape);
    QTest::keyClick(&list, Qt::Key_Return);
    QTest::keyClick(&list, Qt::Key_Enter);
    QTest::keyClick(pDlg, Qt::Key_Escape);
    EXPECT_TRUE(host.isVisible());
    EXPECT_EQ(host.result(), 0);
    EXPECT_EQ(pDlg->GetSelectedRow(), 99);
}

TEST_F(EventList, ClicksSelectAndDoubleClickAsksForTheJump) {
    QSignalSpy jump(&m_dlg, &CBaseHivewatchDlg::RegeditJump);
    QSignalSpy details(&m_dlg, &CBaseHivewatchDlg::ShowDetails);
    AppendPattern(1, 3);
    m_dlg.RefreshItemCount();
    const int h = List().GetRowHeight();
    QTest::mouseClick(List().viewport(), Qt::LeftButton, {}, QPoint(30, h + h / 2));
    EXPECT_EQ(m_dlg.GetSelectedRow(), 1);
    QTest::mouseDClick(List().viewport(), Qt::LeftButton, {}, QPoint(30, h / 2));
    EXPECT_EQ(m_dlg.GetSelectedRow(), 0);
    EXPECT_EQ(jump.size(), 1);
    // Below the last row: the selection goes and no details are sent for it.
    const int nDetails = int(details.size());
    QTest::mouseClick(List().viewport(), Qt::LeftButton, {}, QPoint(30, 10 * h));
    EXPECT_EQ(m_dlg.GetSelectedRow(), -1);
    EXPECT_EQ(details.size(), nDetails);
    QTest::mouseDClick(List().viewport(), Qt::LeftButton, {}, QPoint(30, 10 * h));
    EXPECT_EQ(jump.size(), 1);
}

TEST_F(EventList, LongCellsShowTheirWholeTextAsTooltip) {
    const QString strLong = QStringLiteral("HKLM\\SOFTWARE\\") + QString(300, QLatin1Char('x'));
    CRegInfoObj* records[] = {MakeRecord(1, OP_OPEN_KEY, strLong)};
    m_doc.AppendRecords(records, 1);
    m_dlg.RefreshItemCount();
    QHeaderView* pHeader = List().GetHeader();
    const QPoint ptPath(pHeader->sectionViewportPosition(5) + 10, List().GetRowHeight() / 2);
    QHelpEvent help(QEvent::ToolTip, ptPath, List().viewport()->mapToGlobal(ptPath));
    QApplication::sendEvent(List().viewport(), &help);
    EXPECT_TRUE(QToolTip::isVisible());
    QString strShown = QToolTip::text();
    strShown.remove(QLatin1Char('\n'));
    EXPECT_EQ(strShown, strLong);
    // A short cell that fits shows no tooltip.
    const QPoint ptPid(pHeader->sectionViewportPosition(3) + 5, List().GetRowHeight() / 2);
    QHelpEvent shortHelp(QEvent::ToolTip, ptPid, List().viewport()->mapToGlobal(ptPid));
    QApplication::sendEvent(List().viewport(), &shortHelp);
    EXPECT_TRUE(WaitFor([] { return !QToolTip::isVisible(); }, 2000));
}

// The Seq column shows every sequence number whole, the widest a 32-bit count gives
// included, at the desktop font and at twice its size ("119..." past 99,999 events).
TEST_F(EventList, TheSeqColumnShowsEverySequenceNumberWhole) {
    const QFont font = QApplication::font();
    for (const double dScale : {1.0, 2.0}) {
        QFont scaled = font;
        scaled.setPointSizeF(font.pointSizeF() * dScale);
        QApplication::setFont(scaled);
        CHivewatchDoc doc;
        CBaseHivewatchDlg dlg(&doc);
        dlg.resize(900, 300);
        dlg.show();
        CRegInfoObj* records[] = {MakeRecord(INT32_MIN, OP_OPEN_KEY),
                                  MakeRecord(119999, OP_OPEN_KEY),
                                  MakeRecord(INT32_MAX, OP_OPEN_KEY)};
        doc.AppendRecords(records, 3);
        dlg.RefreshItemCount();
        CMyListCtrl& list = dlg.GetListCtrl();
        for (int nRow = 0; nRow < 3; ++nRow) {
            // A text the column cuts short is offered whole as a tooltip; none is.
            const QPoint pt(list.GetHeader()->sectionViewportPosition(0) + 4,
                            nRow * list.GetRowHeight() + list.GetRowHeight() / 2);
            QHelpEvent help(QEvent::ToolTip, pt, list.viewport()->mapToGlobal(pt));
            QApplication::sendEvent(list.viewport(), &help);
            EXPECT_FALSE(QToolTip::isVisible())
                << "row " << nRow << " at " << dScale << ": " << QToolTip::text().toStdString();
            QToolTip::hideText();
        }
    }
    QApplication::setFont(font);
}
