// The display filter through the window, as a new user meets it: Edit > Filter narrows the list
// and the status bar says so, View > Filter Off sets it aside, a cell's menu adds quick rules,
// and the rules come back at the next start, also while capturing.
#include "frame/FilterCommands.h"
#include "dialogs/RegChangesDlg.h"
#include "dialogs/RuleListDlg.h"
#include "display/BaseHivewatchDlg.h"
#include "display/HivewatchView.h"
#include "filter/DisplayRulesFile.h"
#include "frame/CommandIds.h"
#include "frame/MainFrame.h"
#include "store/HivewatchDoc.h"
#include "store/RegOperations.h"
#include "tests/gui/AppFixture.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStatusBar>
#include <QTest>

#include <memory>

namespace {

class FilterCommands : public AppFixture {
protected:
    // Records 1..n: odd ones by a.exe, even ones by b.exe.
    void AddRecords(int nCount) {
        std::vector<CRegInfoObj*> records;
        for (int i = 1; i <= nCount; ++i) {
            CRegInfoObj* p = MakeRecord(i, i % 3 ? OP_OPEN_KEY : OP_SET_VALUE);
            p->m_strProcessName = i % 2 ? QStringLiteral("a.exe") : QStringLiteral("b.exe");
            records.push_back(p);
        }
        Doc()->AppendRecords(records.data(), records.size());
        Frame()->RefreshItemCount();
    }
    CBaseHivewatchDlg& List() { return *Frame()->m_pMainView->GetListDlg(); }
    int SeqInRow(qint64 nRow) {
        CRegInfoObj r;
        return Doc()->CopyRecordAtRow(nRow, r) ? r.m_nSeq : -1;
    }
    // Edit > Filter answered with one rule typed into the editing row, then OK.
    void FilterBy(EFilterColumn nColumn, EFilterRelation nRelation, const QString& strValue) {
        m_script.AnswerDialog([=](QDialog* pDlg) {
            auto* p = qobject_cast<CRuleListDlg*>(pDlg);
            ASSERT_TRUE(p);
            p->findChild<QComboBox*>("1102")->setCurrentIndex(nColumn);
            p->findChild<QComboBox*>("1103")->setCurrentIndex(nRelation);
            p->findChild<QLineEdit*>("1104")->setText(strValue);
            QTest::mouseClick(p->findChild<QWidget*>("1"), Qt::LeftButton);
        });
        Command(ID_EDIT_FILTER)->trigger();
    }
    QString Status() {
        QLabel* pPane = Frame()->GetFilterPane();
        return pPane->isVisibleTo(Frame()) ? pPane->text() : QString();
    }
    QStringList MenuTexts(QMenu* pMenu) {
        QStringList ar;
        for (QAction* p : pMenu->actions())
            ar << (p->isSeparator() ? QStringLiteral("-") : p->text());
        return ar;
    }
    void SetUp() override {
        AppFixture::SetUp();
        QFile::remove(CDisplayRulesFile::DefaultPath()); // rules an earlier test kept
    }
    void TearDown() override {
        AppFixture::TearDown();
        QFile::remove(CDisplayRulesFile::DefaultPath());
    }
};

} // namespace

TEST_F(FilterCommands, FilterNarrowsTheListAndFilterOffSetsItAside) {
    ASSERT_TRUE(StartApp());
    EXPECT_EQ(Command(ID_EDIT_FILTER)->shortcut(), QKeySequence(QStringLiteral("Ctrl+L")));
    EXPECT_FALSE(Command(ID_VIEW_FILTER_OFF)->isEnabled()) << "no rules to set aside yet";
    AddRecords(10);
    List().SelectRow(1); // Seq 9, by a.exe
    FilterBy(FC_PROCESS, REL_IS, "A.EXE");
    EXPECT_EQ(ListCount(), 5);
    EXPECT_EQ(Status(), "Showing 5 of 10 events");
    EXPECT_EQ(SeqInRow(0), 9);
    EXPECT_EQ(List().GetSelectedRow(), 0) << "the selected event stays selected";

    // Filter Off: every event, the rules kept; and back.
    ASSERT_TRUE(Command(ID_VIEW_FILTER_OFF)->isEnabled());
    Command(ID_VIEW_FILTER_OFF)->trigger();
    EXPECT_TRUE(Command(ID_VIEW_FILTER_OFF)->isChecked());
    EXPECT_EQ(ListCount(), 10);
    EXPECT_TRUE(Status().isEmpty());
    EXPECT_EQ(List().GetSelectedRow(), 1);
    Command(ID_VIEW_FILTER_OFF)->trigger();
    EXPECT_EQ(ListCount(), 5);
    EXPECT_EQ(Frame()->GetFilterCommands()->Rules().filter.size(), 1);

    // New records are tested as they arrive; Clear Display keeps the rules.
    std::vector<CRegInfoObj*> more = {MakeRecord(11, OP_OPEN_KEY), MakeRecord(12, OP_OPEN_KEY)};
    more[1]->m_strProcessName = QStringLiteral("a.exe");
    Doc()->AppendRecords(more.data(), more.size());
    Frame()->OnRefreshList();
    EXPECT_EQ(ListCount(), 6);
    EXPECT_EQ(Status(), "Showing 6 of 12 events");
    Command(ID_CLEAR_DISPLAY)->trigger();
    EXPECT_EQ(ListCount(), 0);
    EXPECT_EQ(Status(), "Showing 0 of 0 events");
}

// Tools > Registry Changes looks at the events shown while a filter is in force.
TEST_F(FilterCommands, RegistryChangesAreThoseOfTheShownEvents) {
    ASSERT_TRUE(StartApp());
    AddRecords(10);
    FilterBy(FC_PROCESS, REL_IS, "b.exe");
    long long nLookedAt = -1;
    auto count = [&](QDialog* pDlg) {
        auto* p = qobject_cast<CRegChangesDlg*>(pDlg);
        ASSERT_TRUE(p);
        nLookedAt = p->Changes().Counts().m_nRecords;
        p->reject();
    };
    m_script.AnswerDialog(count);
    Command(ID_REGISTRY_CHANGES)->trigger();
    EXPECT_EQ(nLookedAt, 5);
    Command(ID_VIEW_FILTER_OFF)->trigger();
    m_script.AnswerDialog(count);
    Command(ID_REGISTRY_CHANGES)->trigger();
    EXPECT_EQ(nLookedAt, 10);
}

TEST_F(FilterCommands, ACellsMenuAddsQuickRules) {
    ASSERT_TRUE(StartApp());
    AddRecords(10);
    std::unique_ptr<QMenu> pMenu(Frame()->GetFilterCommands()->BuildCellMenu(3, 2, Frame()));
    ASSERT_TRUE(pMenu);
    // Row 3 is Seq 7, by a.exe.
    EXPECT_EQ(
        MenuTexts(pMenu.get()),
        (QStringList{"Include 'a.exe'", "Exclude 'a.exe'", "-", "Exclude events before this one",
                     "Exclude events after this one", "-", "Filter &Off"}));
    pMenu->actions()[1]->trigger();
    EXPECT_EQ(ListCount(), 5);
    EXPECT_EQ(SeqInRow(0), 10);

    // Row 1 is now Seq 8: nothing after it, then nothing before Seq 4 either.
    pMenu.reset(Frame()->GetFilterCommands()->BuildCellMenu(1, 0, Frame()));
    pMenu->actions()[4]->trigger();
    EXPECT_EQ(ListCount(), 4);
    EXPECT_EQ(SeqInRow(0), 8);
    pMenu.reset(Frame()->GetFilterCommands()->BuildCellMenu(2, 5, Frame()));
    EXPECT_TRUE(pMenu->actions()[0]->text().startsWith("Include 'HKLM\\SOFTWARE\\Vendor\\Key4"));
    pMenu->actions()[3]->trigger();
    EXPECT_EQ(ListCount(), 3);
    EXPECT_EQ(Status(), "Showing 3 of 10 events");
    EXPECT_EQ(Frame()->GetFilterCommands()->Rules().filter.size(), 3);
    // A row without an event has no menu.
    EXPECT_EQ(Frame()->GetFilterCommands()->BuildCellMenu(3, 0, Frame()), nullptr);

    // A long text is cut short in the menu, its '&' shown as it is.
    Command(ID_VIEW_FILTER_OFF)->trigger();
    std::vector<CRegInfoObj*> longPath = {
        MakeRecord(11, OP_OPEN_KEY, QStringLiteral("HKCU\\A&B\\") + QString(100, 'x'))};
    Doc()->AppendRecords(longPath.data(), 1);
    Frame()->RefreshItemCount();
    pMenu.reset(Frame()->GetFilterCommands()->BuildCellMenu(0, 5, Frame()));
    EXPECT_EQ(pMenu->actions()[0]->text(), "Include 'HKCU\\A&&B\\" +
                                               QString(CFilterCommands::MENU_TEXT_CHARS - 12, 'x') +
                                               "...'");
}

TEST_F(FilterCommands, RulesComeBackAtTheNextStartAndNarrowACapture) {
    ASSERT_TRUE(StartApp());
    FilterBy(FC_REQUEST, REL_IS, "RegSetValueKey");
    FilterBy(FC_PATH, REL_CONTAINS, "Vendor");
    EXPECT_EQ(Frame()->GetFilterCommands()->Rules().recent.size(), 2);
    Command(ID_VIEW_FILTER_OFF)->trigger();
    const SDisplayRules kept = Frame()->GetFilterCommands()->Rules();
    EXPECT_EQ(kept.filter.size(), 2);
    m_pApp.reset();

    ASSERT_TRUE(StartApp());
    EXPECT_EQ(Frame()->GetFilterCommands()->Rules(), kept);
    EXPECT_TRUE(Command(ID_VIEW_FILTER_OFF)->isChecked());
    EXPECT_FALSE(Doc()->IsFiltered());
    Command(ID_VIEW_FILTER_OFF)->trigger();
    ASSERT_TRUE(Doc()->IsFiltered());

    // A capture: only the writes show, as they arrive.
    SFilterRule writes;
    writes.nColumn = FC_REQUEST;
    writes.nRelation = REL_IS;
    writes.strValue = QStringLiteral("RegSetValueKey");
    ASSERT_TRUE(Frame()->GetFilterCommands()->ApplyFilter({writes}));
    Frame()->OnStartCapture();
    ASSERT_EQ(Frame()->m_engine.m_bCapturing, 1);
    // The simulated source may start with a run of writes: wait for a hidden record too.
    ASSERT_TRUE(WaitFor(
        [&] { return ListCount() >= 3 && Doc()->GetRecordCount() > Doc()->GetShownCount(); },
        30000))
        << "records filed: " << Doc()->GetRecordCount();
    Frame()->OnStopCapture();
    Frame()->RefreshItemCount();
    EXPECT_EQ(ListCount(), Doc()->GetShownCount());
    EXPECT_LT(ListCount(), Doc()->GetRecordCount());
    for (qint64 nRow = 0; nRow < ListCount(); ++nRow) {
        CRegInfoObj r;
        ASSERT_TRUE(Doc()->CopyRecordAtRow(nRow, r));
        EXPECT_EQ(r.GetFunType(), OP_SET_VALUE) << r.m_strRequest.toStdString();
    }
    EXPECT_EQ(Status(), QStringLiteral("Showing %1 of %2 events")
                            .arg(Doc()->GetShownCount())
                            .arg(Doc()->GetRecordCount()));
    m_script.AnswerMessageBox(QMessageBox::No);
    CloseAndExit();
}

TEST_F(FilterCommands, ADamagedRulesFileIsToldAndKeptAside) {
    const QString strPath = CDisplayRulesFile::DefaultPath();
    QFile file(strPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("{ not json");
    file.close();
    ASSERT_TRUE(StartApp());
    EXPECT_TRUE(Frame()->statusBar()->currentMessage().contains("are damaged"))
        << Frame()->statusBar()->currentMessage().toStdString();
    EXPECT_TRUE(QFile::exists(strPath + ".damaged"));
    EXPECT_FALSE(Doc()->IsFiltered());
    QFile::remove(strPath + ".damaged");
}
