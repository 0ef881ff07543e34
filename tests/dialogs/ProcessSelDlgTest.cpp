// The process picker: order, selection, the ways to choose and to cancel, and that the name it
// shows for a running process is the name the driver's records carry.
#include "tests/dialogs/DialogTestSupport.h"

#include "dialogs/ProcessSelDlg.h"
#include "display/MyListCtrl.h"
#include "driver/ProcessScan.h"
#include "tests/TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QTableWidget>
#include <QTest>

namespace {

class ProcessPicker : public DialogTest {
protected:
    void Open() {
        m_pDlg = std::make_unique<CProcessSelDlg>();
        m_pDlg->show();
    }
    QTableWidget* List() { return m_pDlg->m_wndProcList; }
    QString Cell(int nRow, int nColumn) { return List()->item(nRow, nColumn)->text(); }
    QList<int> SelectedRows() {
        QList<int> ar;
        for (const QModelIndex& index : List()->selectionModel()->selectedRows())
            ar << index.row();
        return ar;
    }
    void DoubleClickRow(int nRow) {
        const QRect rc = List()->visualRect(List()->model()->index(nRow, 0));
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, rc.center());
        QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, rc.center());
    }

    std::unique_ptr<CProcessSelDlg> m_pDlg;
};

TEST_F(ProcessPicker, ListsTheLastEnumeratedFirstAndEnterChoosesTheTopRow) {
    m_arProcesses = {{10, "init"}, {20, "bash"}, {30, "notepad.exe"}, {40, "bash"}};
    Open();
    ASSERT_EQ(List()->rowCount(), 4);
    EXPECT_EQ(List()->horizontalHeaderItem(0)->text(), "Process Name");
    EXPECT_EQ(List()->horizontalHeaderItem(1)->text(), "PID");
    EXPECT_EQ(Cell(0, 0), "bash");
    EXPECT_EQ(Cell(0, 1), "40");
    EXPECT_EQ(Cell(3, 0), "init");
    EXPECT_EQ(SelectedRows(), QList<int>{0});
    QTest::keyClick(List(), Qt::Key_Return);
    EXPECT_EQ(m_pDlg->result(), QDialog::Accepted);
    EXPECT_EQ(m_pDlg->m_strProcessName, "bash");
    EXPECT_EQ(m_pDlg->m_nProcessId, 40);
}

// Its rows are as compact as the event list's, at the desktop font and at twice its size.
TEST_F(ProcessPicker, RowsAreAsCompactAsTheEventList) {
    m_arProcesses = {{10, "init"}, {20, "bash"}};
    const QFont font = QApplication::font();
    for (const double dScale : {1.0, 2.0}) {
        QFont scaled = font;
        scaled.setPointSizeF(font.pointSizeF() * dScale);
        QApplication::setFont(scaled);
        Open();
        CMyListCtrl events(nullptr);
        events.setFont(List()->font());
        EXPECT_EQ(List()->rowHeight(0), events.GetRowHeight()) << dScale;
        EXPECT_EQ(List()->rowHeight(1), events.GetRowHeight()) << dScale;
        m_pDlg.reset();
    }
    QApplication::setFont(font);
}

TEST_F(ProcessPicker, RefreshShowsNewProcessesAndDoubleClickChoosesTheRow) {
    m_arProcesses = {{10, "init"}, {20, "bash"}};
    Open();
    List()->selectRow(1);
    m_arProcesses.push_back({55, "gedit"});
    Click(*m_pDlg, 1026);
    ASSERT_EQ(List()->rowCount(), 3);
    EXPECT_EQ(Cell(0, 0), "gedit");
    EXPECT_EQ(SelectedRows(), QList<int>{0});

    // Two instances of one program: the row clicked decides the ID.
    DoubleClickRow(1);
    EXPECT_FALSE(m_pDlg->isVisible());
    EXPECT_EQ(m_pDlg->m_strProcessName, "bash");
    EXPECT_EQ(m_pDlg->m_nProcessId, 20);
}

TEST_F(ProcessPicker, NothingSelectedOrNothingListedChoosesNothing) {
    m_arProcesses = {{10, "init"}};
    Open();
    List()->clearSelection();
    QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, QPoint(5, 150));
    Click(*m_pDlg, IDOK);
    EXPECT_TRUE(m_pDlg->isVisible());

    QTest::keyClick(m_pDlg.get(), Qt::Key_Escape);
    EXPECT_EQ(m_pDlg->result(), QDialog::Rejected);
    EXPECT_EQ(m_pDlg->m_strProcessName, "");
    EXPECT_EQ(m_pDlg->m_nProcessId, 0);

    m_bProcessListFails = true;
    Open();
    EXPECT_EQ(List()->rowCount(), 0);
    Click(*m_pDlg, IDOK);
    EXPECT_TRUE(m_pDlg->isVisible());
}

// The kernel's own short name of a process stops at 15 characters; the picker and the
// substitute driver both name it by its executable, so attaching by the picked name matches.
TEST_F(ProcessPicker, ALongProgramNameIsTheSameInThePickerAndInTheDriver) {
    const QString strExe = TestTempDir() + "hivewatch-sleeper-with-a-long-name";
    ASSERT_TRUE(QFile::copy("/bin/sleep", strExe));
    QFile::setPermissions(strExe, QFile::permissions(strExe) | QFile::ExeOwner);
    QProcess sleeper;
    sleeper.start(strExe, {"30"});
    ASSERT_TRUE(sleeper.waitForStarted());
    const qint64 nPid = sleeper.processId();

    CProcessSelDlg::SetProcessSource({}); // the system's own list
    Open();
    QString strPicked;
    for (int nRow = 0; nRow < List()->rowCount(); ++nRow)
        if (Cell(nRow, 1).toLongLong() == nPid)
            strPicked = Cell(nRow, 0);
    QString strDriver;
    for (const SProcessInfo& info : ScanProcesses())
        if (info.m_nPid == nPid)
            strDriver = QString::fromStdString(info.m_strName);
    QFile comm(QStringLiteral("/proc/%1/comm").arg(nPid));
    ASSERT_TRUE(comm.open(QIODevice::ReadOnly));

    EXPECT_EQ(strPicked, "hivewatch-sleeper-with-a-long-name");
    EXPECT_EQ(strDriver, strPicked);
    EXPECT_EQ(comm.readAll().trimmed(), "hivewatch-sleep");
    sleeper.kill();
    sleeper.waitForFinished();
}

} // namespace
