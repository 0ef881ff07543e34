// The event list's cells through its item model: row rule, texts, colours, long texts, rows
// without a record, and how count changes are announced.
#include "display/EventListModel.h"
#include "display/ColorRef.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "store/RegOperations.h"
#include "tests/gui/GuiTestSupport.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>

namespace {

// Counts what the model tester reports, so a broken model fails the test instead of only
// printing warnings.
int g_nModelWarnings = 0;
QtMessageHandler g_pPreviousHandler = nullptr;

void CountModelWarnings(QtMsgType type, const QMessageLogContext& context, const QString& str) {
    if (context.category && QByteArray(context.category).startsWith("qt.modeltest"))
        ++g_nModelWarnings;
    if (g_pPreviousHandler)
        g_pPreviousHandler(type, context, str);
}

class EventListModel : public ::testing::Test {
protected:
    void SetUp() override {
        g_SetObj.ResetDefaults();
        g_nModelWarnings = 0;
        g_pPreviousHandler = qInstallMessageHandler(CountModelWarnings);
    }
    void TearDown() override {
        qInstallMessageHandler(g_pPreviousHandler);
        g_SetObj.ResetDefaults();
    }

    QString Cell(int nRow, int nColumn, int nRole = Qt::DisplayRole) {
        return m_model.data(m_model.index(nRow, nColumn), nRole).toString();
    }

    CHivewatchDoc m_doc;
    CEventListModel m_model{&m_doc};
    QAbstractItemModelTester m_tester{&m_model,
                                      QAbstractItemModelTester::FailureReportingMode::Warning};
};

} // namespace

TEST_F(EventListModel, NewestRecordInRowZeroWithEveryColumnsText) {
    AppendRecords(m_doc, 1, 5);
    m_model.SetItemCount(m_doc.GetRecordCount());
    ASSERT_EQ(m_model.rowCount(), 5);
    EXPECT_EQ(Cell(0, 0), QStringLiteral("5"));
    EXPECT_EQ(Cell(4, 0), QStringLiteral("1"));
    EXPECT_EQ(Cell(0, 1), QStringLiteral("10:15:30.005"));
    EXPECT_EQ(Cell(0, 2), QStringLiteral("app.exe"));
    EXPECT_EQ(Cell(0, 3), QStringLiteral("1200"));
    EXPECT_EQ(Cell(0, 4), QStringLiteral("RegOpenKey"));
    EXPECT_EQ(Cell(0, 5), QStringLiteral("HKLM\\SOFTWARE\\Vendor\\Key5"));
    EXPECT_EQ(Cell(0, 6), QStringLiteral("Opened key"));
    const QStringList arTitles = {QStringLiteral("Seq"),          QStringLiteral("Time sample"),
                                  QStringLiteral("Process Name"), QStringLiteral("PID"),
                                  QStringLiteral("Request"),      QStringLiteral("Path"),
                                  QStringLiteral("Description")};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(m_model.headerData(i, Qt::Horizontal).toString(), arTitles[i]);
    EXPECT_EQ(g_nModelWarnings, 0);
}

TEST_F(EventListModel, TextColourByOperationBackgroundOnlyWhenModified) {
    g_SetObj.m_clrText[OP_SET_VALUE] = RGB(200, 0, 0);
    g_SetObj.m_clrBack[OP_SET_VALUE] = RGB(0, 0, 150);
    g_SetObj.m_clrText[OP_CREATE_NEW] = RGB(0, 120, 0);
    g_SetObj.m_clrBack[OP_CREATE_NEW] = RGB(250, 250, 0);
    m_model.SetBkColor(RGB(141, 141, 141));
    CRegInfoObj* records[] = {
        MakeRecord(1, OP_SET_VALUE, {}, QStringLiteral("REG_DWORD: 1"),
                   QStringLiteral("REG_DWORD: 2")), // changed the data
        MakeRecord(2, OP_SET_VALUE, {}, QStringLiteral("REG_DWORD: 2"),
                   QStringLiteral("REG_DWORD: 2")), // wrote the same data
        MakeRecord(3, OP_CREATE_NEW, {}, {}, {}, QStringLiteral("ACCESS DENIED")),
    };
    m_doc.AppendRecords(records, 3);
    m_model.SetItemCount(3);
    const auto colour = [&](int nRow, int nRole) {
        return m_model.data(m_model.index(nRow, 2), nRole).value<QColor>();
    };
    // Row 2 is the oldest record: the set that changed the data.
    EXPECT_EQ(colour(2, Qt::ForegroundRole), QColor(200, 0, 0));
    EXPECT_EQ(colour(2, Qt::BackgroundRole), QColor(0, 0, 150));
    EXPECT_EQ(colour(1, Qt::ForegroundRole), QColor(200, 0, 0));
    EXPECT_EQ(colour(1, Qt::BackgroundRole), QColor(141, 141, 141));
    EXPECT_EQ(colour(0, Qt::ForegroundRole), QColor(0, 120, 0));
    EXPECT_EQ(colour(0, Qt::BackgroundRole), QColor(141, 141, 141)) << "a failed create";

    CEventListModel::SRowCells cells;
    ASSERT_TRUE(m_model.GetRowCells(2, cells));
    EXPECT_EQ(cells.clrText, QColor(200, 0, 0));
    EXPECT_EQ(cells.clrBack, QColor(0, 0, 150));
    EXPECT_EQ(g_nModelWarnings, 0);
}

TEST_F(EventListModel, LongTextsAreShownAndGivenWholeAsTooltip) {
    const QString strLong = QStringLiteral("HKLM\\") + QString(295, QLatin1Char('k'));
    const QString strEdge = QStringLiteral("HKLM\\") + QString(250, QLatin1Char('k'));
    CRegInfoObj* records[] = {MakeRecord(1, OP_OPEN_KEY, strEdge),
                              MakeRecord(2, OP_OPEN_KEY, strLong)};
    m_doc.AppendRecords(records, 2);
    m_model.SetItemCount(2);
    ASSERT_EQ(strLong.size(), 300);
    EXPECT_EQ(Cell(0, 5), strLong) << "300 characters are shown, not left blank";
    EXPECT_EQ(Cell(0, 5, Qt::ToolTipRole), strLong);
    EXPECT_EQ(Cell(0, 2), QStringLiteral("app.exe")) << "the other cells are unaffected";
    EXPECT_EQ(Cell(1, 5), strEdge);
    EXPECT_TRUE(m_model.data(m_model.index(1, 5), Qt::ToolTipRole).isNull())
        << "255 characters fit and need no tooltip";
}

TEST_F(EventListModel, RowsPastTheRecordsAnswerNothing) {
    AppendRecords(m_doc, 1, 5);
    m_model.SetItemCount(5);
    // The history depth trims the document before the next refresh tells the list.
    g_SetObj.m_nHistoryDepth = 3;
    AppendRecords(m_doc, 6, 1);
    ASSERT_EQ(m_doc.GetRecordCount(), 3);
    EXPECT_EQ(Cell(0, 0), QStringLiteral("6")) << "rows follow the count read now";
    EXPECT_EQ(Cell(2, 0), QStringLiteral("4"));
    CEventListModel::SRowCells cells;
    cells.arText[0] = QStringLiteral("unchanged");
    EXPECT_FALSE(m_model.GetRowCells(3, cells));
    EXPECT_EQ(cells.arText[0], QStringLiteral("unchanged"));
    for (const int nRole : {int(Qt::DisplayRole), int(Qt::ForegroundRole), int(Qt::BackgroundRole),
                            int(Qt::ToolTipRole)})
        EXPECT_FALSE(m_model.data(m_model.index(4, 0), nRole).isValid());
    m_doc.ClearDisplay();
    EXPECT_FALSE(m_model.data(m_model.index(0, 0)).isValid());
    EXPECT_EQ(g_nModelWarnings, 0);
}

TEST_F(EventListModel, CountChangesAreRowsAddedOrRemovedAtTheEnd) {
    QSignalSpy inserted(&m_model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&m_model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy reset(&m_model, &QAbstractItemModel::modelReset);
    AppendRecords(m_doc, 1, 8);
    m_model.SetItemCount(5);
    m_model.SetItemCount(8);
    m_model.SetItemCount(8);
    m_model.SetItemCount(2);
    m_model.SetItemCount(-4);
    ASSERT_EQ(inserted.size(), 2);
    EXPECT_EQ(inserted[1][1].toInt(), 5);
    EXPECT_EQ(inserted[1][2].toInt(), 7);
    ASSERT_EQ(removed.size(), 2);
    EXPECT_EQ(removed[0][1].toInt(), 2);
    EXPECT_EQ(removed[0][2].toInt(), 7);
    EXPECT_EQ(m_model.GetItemCount(), 0) << "a negative count is no rows";
    EXPECT_EQ(reset.size(), 0);
    EXPECT_EQ(g_nModelWarnings, 0);
}

namespace {

SFilterRule SeqRule(EFilterRelation nRelation, int n, EFilterAction nAction = FILTER_INCLUDE) {
    SFilterRule r;
    r.nColumn = FC_SEQ;
    r.nRelation = nRelation;
    r.strValue = QString::number(n);
    r.nAction = nAction;
    return r;
}

} // namespace

// The list's count follows the shown records through every change a capture brings; the
// tester checks every announcement and every cell the model gives meanwhile.
TEST_F(EventListModel, FilteredRowsStayConsistentThroughAppendsTrimsAndClears) {
    // Every third record is hidden.
    SFilterRule hide;
    hide.nColumn = FC_PATH;
    hide.nRelation = REL_ENDS_WITH;
    hide.nAction = FILTER_EXCLUDE;
    ASSERT_TRUE(m_doc.SetDisplayFilter({SeqRule(REL_MORE_THAN, 0)}));
    g_SetObj.m_nHistoryDepth = 50;
    int nNext = 1;
    const auto refresh = [&] {
        m_model.SetItemCount(m_doc.GetShownCount());
        // Every shown row has its record; the one past the end has none.
        for (int nRow = 0; nRow < m_model.rowCount(); ++nRow)
            ASSERT_FALSE(Cell(nRow, 0).isEmpty()) << nRow;
        ASSERT_FALSE(m_model.data(m_model.index(m_model.rowCount(), 0)).isValid());
    };
    for (int nRound = 0; nRound < 6; ++nRound) {
        std::vector<CRegInfoObj*> batch;
        for (int i = 0; i < 17; ++i, ++nNext)
            batch.push_back(MakeRecord(nNext, nNext % 3 ? OP_OPEN_KEY : OP_SET_VALUE,
                                       QStringLiteral("HKLM\\K\\%1").arg(nNext % 3)));
        m_doc.AppendRecords(batch.data(), batch.size());
        refresh();
        if (nRound == 2) {
            hide.strValue = QStringLiteral("0");
            ASSERT_TRUE(m_doc.SetDisplayFilter({hide}));
            refresh();
        }
    }
    // 50 records kept, those ending in \0 hidden: the newest first.
    EXPECT_EQ(m_doc.GetRecordCount(), 50);
    EXPECT_EQ(m_model.rowCount(), int(m_doc.GetShownCount()));
    EXPECT_EQ(m_doc.GetShownCount(), 33);
    EXPECT_EQ(Cell(0, 0), QStringLiteral("101"));
    EXPECT_EQ(Cell(1, 0), QStringLiteral("100")); // 99 is hidden
    EXPECT_EQ(Cell(2, 0), QStringLiteral("98"));

    // A lower depth trims before the list hears of it: rows past the end answer nothing.
    g_SetObj.m_nHistoryDepth = 5;
    AppendRecords(m_doc, nNext, 1);
    EXPECT_FALSE(m_model.data(m_model.index(m_model.rowCount() - 1, 0)).isValid());
    refresh();
    m_doc.ClearDisplay();
    refresh();
    EXPECT_EQ(m_model.rowCount(), 0);
    AppendRecords(m_doc, 501, 2);
    refresh();
    EXPECT_EQ(m_model.rowCount(), 2);
    ASSERT_TRUE(m_doc.SetDisplayFilter({}));
    refresh();
    g_SetObj.m_nHistoryDepth = 0;
    EXPECT_EQ(g_nModelWarnings, 0);
}

TEST_F(EventListModel, HighlightedRowsTakeTheHighlightColourOverTheOperations) {
    g_SetObj.m_clrBack[OP_SET_VALUE] = RGB(0, 0, 150);
    m_model.SetBkColor(RGB(141, 141, 141));
    m_model.SetHighlightColor(RGB(255, 255, 0));
    CRegInfoObj* records[] = {
        MakeRecord(1, OP_SET_VALUE, {}, QStringLiteral("a"), QStringLiteral("b")),
        MakeRecord(2, OP_OPEN_KEY),
        MakeRecord(3, OP_OPEN_KEY),
    };
    m_doc.AppendRecords(records, 3);
    m_model.SetItemCount(3);
    m_doc.SetHighlightRules({SeqRule(REL_LESS_THAN, 3)});
    const auto back = [&](int nRow) {
        return m_model.data(m_model.index(nRow, 0), Qt::BackgroundRole).value<QColor>();
    };
    EXPECT_EQ(back(0), QColor(141, 141, 141));
    EXPECT_EQ(back(1), QColor(255, 255, 0));
    EXPECT_EQ(back(2), QColor(255, 255, 0)) << "over the set's own background";
    CEventListModel::SRowCells cells;
    ASSERT_TRUE(m_model.GetRowCells(2, cells));
    EXPECT_EQ(cells.clrBack, QColor(255, 255, 0));
    EXPECT_EQ(cells.clrText, QColor(ColorRefToQColor(g_SetObj.m_clrText[OP_SET_VALUE])));
    m_doc.SetHighlightRules({});
    EXPECT_EQ(back(2), QColor(0, 0, 150));
}
