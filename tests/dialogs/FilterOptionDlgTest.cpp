// The Options dialog driven through its controls: what it shows, what Apply stores, and
// what Default, Cancel and a bad depth leave alone.
#include "tests/dialogs/DialogTestSupport.h"

#include "capture/FilterComposer.h"
#include "dialogs/SpinButtonCtrl.h"
#include "settings/FilterOptionDlg.h"
#include "settings/SetObj.h"
#include "utils/ui/SelColor.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QTest>

#include <cstring>

namespace {

enum {
    PROC_INCLUDE = 1008,
    PROC_EXCLUDE = 1020,
    INCLUDE_ROOT = 1021,
    INCLUDE_PATH = 1022,
    INCLUDE_LIST = 1023,
    INCLUDE_ADD = 1024,
    INCLUDE_REMOVE = 1025,
    EXCLUDE_ROOT = 1026,
    EXCLUDE_PATH = 1027,
    EXCLUDE_LIST = 1028,
    EXCLUDE_ADD = 1029,
    EXCLUDE_DEL = 1030,
    DEPTH = 1034,
    DEFAULT_BUTTON = 1036,
};

// Check box of each operation row and the switch byte it edits, as the driver numbers them.
const std::pair<int, int> kCheckSwitch[14] = {
    {1009, 2}, {1019, 13}, {1010, 3},  {1011, 4},  {1013, 6}, {1012, 5}, {1031, 11},
    {1015, 7}, {1032, 15}, {1033, 16}, {1017, 10}, {1016, 9}, {1014, 8}, {1018, 12}};

QStringList Entries(const CDialogEx& dlg, int nId) {
    auto* pList = qobject_cast<QListWidget*>(dlg.GetDlgItem(nId));
    QStringList ar;
    for (int i = 0; pList && i < pList->count(); ++i)
        ar << pList->item(i)->text();
    return ar;
}

int Selected(const CDialogEx& dlg, int nId) {
    auto* pList = qobject_cast<QListWidget*>(dlg.GetDlgItem(nId));
    const auto arItems = pList->selectedItems();
    return arItems.size() == 1 ? pList->row(arItems.first()) : -1 - int(arItems.size());
}

void ChooseRoot(const CDialogEx& dlg, int nId, const char* pName) {
    auto* pCombo = qobject_cast<QComboBox*>(dlg.GetDlgItem(nId));
    pCombo->setCurrentIndex(pCombo->findText(QString::fromLatin1(pName)));
}

class OptionsDialog : public DialogTest {
protected:
    void Open() {
        m_pDlg = std::make_unique<CFilterOptionDlg>();
        m_pDlg->show();
    }
    void Reopen() {
        m_pDlg.reset();
        Open();
    }
    CFilterOptionDlg& Dlg() { return *m_pDlg; }
    bool Accepted() const { return !m_pDlg->isVisible() && m_pDlg->result() == QDialog::Accepted; }

    std::unique_ptr<CFilterOptionDlg> m_pDlg;
};

TEST_F(OptionsDialog, OpensWithTheDefaultsAndSortedRootKeys) {
    Open();
    EXPECT_EQ(Text(Dlg(), PROC_INCLUDE), "*;");
    EXPECT_EQ(Text(Dlg(), PROC_EXCLUDE), "");
    EXPECT_EQ(Entries(Dlg(), INCLUDE_LIST), QStringList{"*"});
    EXPECT_TRUE(Entries(Dlg(), EXCLUDE_LIST).isEmpty());
    EXPECT_EQ(Text(Dlg(), DEPTH), "0");
    for (const auto& [nCheck, nSwitch] : kCheckSwitch) {
        const bool bOn = nCheck == 1017 || nCheck == 1016 || nCheck == 1014 || nCheck == 1018;
        EXPECT_EQ(Checked(Dlg(), nCheck), bOn) << nCheck;
    }
    for (int nId : {INCLUDE_ROOT, EXCLUDE_ROOT}) {
        auto* pCombo = Item<QComboBox>(Dlg(), nId);
        QStringList arShown;
        for (int i = 0; i < pCombo->count(); ++i)
            arShown << pCombo->itemText(i);
        EXPECT_EQ(arShown, (QStringList{"HKEY_CLASSES_ROOT", "HKEY_CURRENT_CONFIG",
                                        "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS"}));
        EXPECT_EQ(pCombo->currentText(), "HKEY_CURRENT_USER");
    }
    // Background swatches of rows 0 to 9 are hidden yet hold their row's colours.
    for (int nRow = 0; nRow < 14; ++nRow) {
        EXPECT_EQ(Dlg().m_selBack[nRow]->isVisible(), nRow >= 10) << nRow;
        EXPECT_EQ(Dlg().m_selBack[nRow]->m_crBack, g_SetObj.m_clrBack[nRow]);
        EXPECT_EQ(Dlg().m_selBack[nRow]->m_crText, g_SetObj.m_clrText[nRow]);
        EXPECT_EQ(Dlg().m_selText[nRow]->m_crText, g_SetObj.m_clrText[nRow]);
    }
}

TEST_F(OptionsDialog, ProcessPatternsSplitLastTypedFirstAndReopenAsTyped) {
    Open();
    Type(Dlg(), PROC_INCLUDE, "a;b;c");
    Type(Dlg(), PROC_EXCLUDE, " x ; y ;z ");
    Click(Dlg(), IDOK);
    ASSERT_TRUE(Accepted());
    EXPECT_EQ(g_SetObj.m_arProcInclude, (QStringList{"c", "b", "a"}));
    // The first piece keeps the white space before its ";".
    EXPECT_EQ(g_SetObj.m_arProcExclude, (QStringList{"z", "y", "x "}));
    Reopen();
    EXPECT_EQ(Text(Dlg(), PROC_INCLUDE), "a;b;c;");
    EXPECT_EQ(Text(Dlg(), PROC_EXCLUDE), "x ;y;z;");

    // Nothing but separators: every process is included and none excluded.
    Type(Dlg(), PROC_INCLUDE, ";;");
    Type(Dlg(), PROC_EXCLUDE, " ; ");
    Click(Dlg(), IDOK);
    EXPECT_EQ(g_SetObj.m_arProcInclude, QStringList{"*"});
    EXPECT_TRUE(g_SetObj.m_arProcExclude.isEmpty());
}

// Lists that do not fit the driver's filter are refused with the room left for them, and
// nothing is applied; lists that fill the room exactly are applied.
TEST_F(OptionsDialog, ListsThatDoNotFitTheDriversFilterAreRefused) {
    g_SetObj.m_nCaptureScope = SCOPE_ATTACHED;
    Open();
    // The program's own exclusion, always sent, takes its room first.
    CSetObj probe;
    const QString strKept = ComposeFilterTexts(probe).strExcludeKept;
    const int nRoom = 1023 - int(strKept.size()) - 1;
    Type(Dlg(), PROC_EXCLUDE, QString(nRoom + 17, QLatin1Char('p')) + ";q.exe");
    Click(Dlg(), IDOK);
    ASSERT_EQ(m_arMessages.size(), 1u);
    EXPECT_TRUE(m_arMessages[0].m_strText.contains(
        QStringLiteral("entries take %1 bytes, but only %2 bytes are left for them (%3 too many)")
            .arg(nRoom + 23)
            .arg(nRoom)
            .arg(23)))
        << m_arMessages[0].m_strText.toStdString();
    EXPECT_TRUE(Dlg().isVisible());
    EXPECT_TRUE(g_SetObj.m_arProcExclude.isEmpty());
    EXPECT_EQ(g_SetObj.m_nCaptureScope, SCOPE_ATTACHED) << "nothing was applied";

    Type(Dlg(), PROC_EXCLUDE, QString(nRoom, QLatin1Char('p')));
    Click(Dlg(), IDOK);
    ASSERT_TRUE(Accepted());
    EXPECT_EQ(m_arMessages.size(), 1u);
    EXPECT_EQ(g_SetObj.m_arProcExclude, QStringList{QString(nRoom, QLatin1Char('p'))});
}

TEST_F(OptionsDialog, AddSkipsEntriesThatBeginAlikeAndKeepsTheExcludeListSorted) {
    g_SetObj.m_arPathInclude = {"*", "HKLM\\Software\\Classes", "HKCU\\Console"};
    g_SetObj.m_arPathExclude = {"HKU\\S-1", "HKCC\\System"};
    Open();
    EXPECT_EQ(Entries(Dlg(), EXCLUDE_LIST), (QStringList{"HKCC\\System", "HKU\\S-1"}));

    ChooseRoot(Dlg(), INCLUDE_ROOT, "HKEY_LOCAL_MACHINE");
    Type(Dlg(), INCLUDE_PATH, "software");
    Click(Dlg(), INCLUDE_ADD);
    EXPECT_EQ(Entries(Dlg(), INCLUDE_LIST).size(), 3);
    EXPECT_EQ(Selected(Dlg(), INCLUDE_LIST), 1);

    ChooseRoot(Dlg(), INCLUDE_ROOT, "HKEY_USERS");
    Type(Dlg(), INCLUDE_PATH, "");
    Click(Dlg(), INCLUDE_ADD);
    EXPECT_EQ(Entries(Dlg(), INCLUDE_LIST).last(), "HKU");
    EXPECT_EQ(Selected(Dlg(), INCLUDE_LIST), 3);

    // The path goes in as typed; the sorted list selects its last entry, not the new one.
    ChooseRoot(Dlg(), EXCLUDE_ROOT, "HKEY_CLASSES_ROOT");
    Type(Dlg(), EXCLUDE_PATH, " Sub Key");
    Click(Dlg(), EXCLUDE_ADD);
    EXPECT_EQ(Entries(Dlg(), EXCLUDE_LIST),
              (QStringList{"HKCC\\System", "HKCR\\ Sub Key", "HKU\\S-1"}));
    EXPECT_EQ(Selected(Dlg(), EXCLUDE_LIST), 2);

    Click(Dlg(), IDOK);
    EXPECT_EQ(g_SetObj.m_arPathInclude,
              (QStringList{"*", "HKLM\\Software\\Classes", "HKCU\\Console", "HKU"}));
    EXPECT_EQ(g_SetObj.m_arPathExclude,
              (QStringList{"HKCC\\System", "HKCR\\ Sub Key", "HKU\\S-1"}));
}

TEST_F(OptionsDialog, RemoveAndDelSelectANeighbourAndAnEmptyIncludeListStoresStar) {
    g_SetObj.m_arPathInclude = {"HKCU\\A", "HKCU\\B", "HKCU\\C"};
    g_SetObj.m_arPathExclude = {"HKLM\\A", "HKLM\\B", "HKLM\\C"};
    Open();
    auto* pInclude = Item<QListWidget>(Dlg(), INCLUDE_LIST);
    auto* pExclude = Item<QListWidget>(Dlg(), EXCLUDE_LIST);

    Click(Dlg(), INCLUDE_REMOVE); // nothing selected: nothing removed
    EXPECT_EQ(pInclude->count(), 3);

    pInclude->setCurrentRow(1);
    Click(Dlg(), INCLUDE_REMOVE);
    EXPECT_EQ(Entries(Dlg(), INCLUDE_LIST), (QStringList{"HKCU\\A", "HKCU\\C"}));
    EXPECT_EQ(Selected(Dlg(), INCLUDE_LIST), 0);

    pExclude->setCurrentRow(0);
    Click(Dlg(), EXCLUDE_DEL);
    EXPECT_EQ(Entries(Dlg(), EXCLUDE_LIST), (QStringList{"HKLM\\B", "HKLM\\C"}));
    EXPECT_EQ(Selected(Dlg(), EXCLUDE_LIST), 0);
    Click(Dlg(), EXCLUDE_DEL);
    Click(Dlg(), EXCLUDE_DEL);
    EXPECT_EQ(pExclude->count(), 0);

    Click(Dlg(), INCLUDE_REMOVE);
    Click(Dlg(), INCLUDE_REMOVE);
    EXPECT_EQ(pInclude->count(), 0);
    Click(Dlg(), IDOK);
    EXPECT_EQ(g_SetObj.m_arPathInclude, QStringList{"*"});
    EXPECT_TRUE(g_SetObj.m_arPathExclude.isEmpty());
}

TEST_F(OptionsDialog, DefaultResetsOnlyTheControlsAndCancelWritesNothing) {
    g_SetObj.m_arProcInclude = {"b", "a"};
    g_SetObj.m_arPathExclude = {"HKLM\\X"};
    g_SetObj.StoreHistoryDepth(500);
    for (COLORREF& cr : g_SetObj.m_clrBack)
        cr = RGB(1, 2, 3);
    for (uint8_t& b : g_SetObj.m_Filter.bSwitch)
        b = 1;
    g_SetObj.m_nCaptureScope = SCOPE_ATTACHED;
    const CSetObj before = g_SetObj;
    Open();
    ChooseRoot(Dlg(), INCLUDE_ROOT, "HKEY_USERS");
    Click(Dlg(), DEFAULT_BUTTON);

    EXPECT_EQ(Text(Dlg(), PROC_INCLUDE), "*");
    EXPECT_EQ(Entries(Dlg(), INCLUDE_LIST), QStringList{"*"});
    EXPECT_TRUE(Entries(Dlg(), EXCLUDE_LIST).isEmpty());
    EXPECT_EQ(Text(Dlg(), DEPTH), "0");
    EXPECT_EQ(Item<QComboBox>(Dlg(), INCLUDE_ROOT)->currentText(), "HKEY_USERS");
    for (const auto& [nCheck, nSwitch] : kCheckSwitch)
        EXPECT_EQ(Checked(Dlg(), nCheck),
                  nSwitch == 8 || nSwitch == 9 || nSwitch == 10 || nSwitch == 12)
            << nCheck;
    for (int nRow = 0; nRow < 14; ++nRow) {
        const COLORREF crText = nRow == 11 ? RGB(255, 0, 0) : RGB(0, 0, 0);
        EXPECT_EQ(Dlg().m_selText[nRow]->m_crText, crText);
        EXPECT_EQ(Dlg().m_selBack[nRow]->m_crText, crText);
        EXPECT_EQ(Dlg().m_selBack[nRow]->m_crBack,
                  nRow == 11 ? RGB(122, 122, 0) : g_SetObj.m_clrBackground);
    }

    QTest::keyClick(&Dlg(), Qt::Key_Escape);
    EXPECT_FALSE(Dlg().isVisible());
    EXPECT_EQ(Dlg().result(), QDialog::Rejected);
    EXPECT_EQ(g_SetObj.m_arProcInclude, before.m_arProcInclude);
    EXPECT_EQ(g_SetObj.m_arPathExclude, before.m_arPathExclude);
    EXPECT_EQ(g_SetObj.m_nHistoryDepth, 500);
    EXPECT_EQ(0, std::memcmp(g_SetObj.m_clrBack, before.m_clrBack, sizeof(before.m_clrBack)));
    EXPECT_EQ(0, std::memcmp(&g_SetObj.m_Filter, &before.m_Filter, sizeof(before.m_Filter)));
    EXPECT_EQ(g_SetObj.m_nCaptureScope, SCOPE_ATTACHED);
}

TEST_F(OptionsDialog, EmptyDepthRefusesApplyButNotAdd) {
    g_SetObj.StoreHistoryDepth(77);
    Open();
    Type(Dlg(), PROC_INCLUDE, "x");
    Type(Dlg(), DEPTH, "");
    Click(Dlg(), IDOK);
    ASSERT_EQ(m_arMessages.size(), 1u);
    EXPECT_TRUE(m_arMessages[0].m_strText.contains("whole number"));
    EXPECT_TRUE(Dlg().isVisible());
    EXPECT_EQ(g_SetObj.m_arProcInclude, QStringList{"*"});
    EXPECT_EQ(g_SetObj.m_nHistoryDepth, 77);
    EXPECT_EQ(Dlg().m_strProcInclude, "x"); // read before the depth failed

    // Add warns the same way and still adds.
    Click(Dlg(), INCLUDE_ADD);
    EXPECT_EQ(m_arMessages.size(), 2u);
    EXPECT_EQ(Entries(Dlg(), INCLUDE_LIST), (QStringList{"*", "HKCU"}));

    // Digits only; the up-down steps within 0..32767, a typed number is stored as typed.
    Type(Dlg(), DEPTH, "4-x0a0");
    EXPECT_EQ(Text(Dlg(), DEPTH), "400");
    Type(Dlg(), DEPTH, "32767");
    Dlg().m_spinDepth->Step(1);
    EXPECT_EQ(Text(Dlg(), DEPTH), "32767");
    QTest::keyClick(Item<QLineEdit>(Dlg(), DEPTH), Qt::Key_Down);
    EXPECT_EQ(Text(Dlg(), DEPTH), "32766");
    Type(Dlg(), DEPTH, "40000");
    Click(Dlg(), IDOK);
    ASSERT_TRUE(Accepted());
    EXPECT_EQ(g_SetObj.LoadHistoryDepth(), 40000);
}

TEST_F(OptionsDialog, ApplyStoresSwitchesColoursAndTheAllProcessScope) {
    g_SetObj.m_Filter.bSwitch[0] = 7;
    g_SetObj.m_Filter.bSwitch[1] = 0;
    g_SetObj.m_Filter.bSwitch[14] = 1;
    g_SetObj.m_Filter.bSwitch[13] = 5; // any nonzero byte ticks its box
    g_SetObj.m_clrBack[3] = RGB(9, 9, 9);
    g_SetObj.m_nCaptureScope = SCOPE_NEW_PROGRAM;
    Open();
    EXPECT_TRUE(Checked(Dlg(), 1019));
    Click(Dlg(), 1009); // RegOpenKey on
    Click(Dlg(), 1016); // RegSetValueKey off
    Click(Dlg(), 1033); // RegUnloadKey on

    // A text colour picked in row 3 shows at once in that row's (hidden) background swatch.
    QSignalSpy spy(Dlg().m_selText[3], &CSelColor::SelColorChanged);
    m_crColorAnswer = RGB(10, 20, 30);
    QTest::mouseClick(Dlg().m_selText[3], Qt::LeftButton);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(Dlg().m_selText[3]->m_crText, RGB(10, 20, 30));
    EXPECT_EQ(Dlg().m_selBack[3]->m_crText, RGB(10, 20, 30));
    EXPECT_EQ(Dlg().m_selBack[3]->m_crBack, RGB(9, 9, 9));
    m_crColorAnswer = RGB(40, 50, 60);
    QTest::mouseClick(Dlg().m_selBack[12], Qt::LeftButton);
    EXPECT_EQ(Dlg().m_selBack[12]->m_crBack, RGB(40, 50, 60));
    m_crColorAnswer.reset(); // a cancelled pick changes nothing
    QTest::mouseClick(Dlg().m_selText[12], Qt::LeftButton);
    EXPECT_EQ(Dlg().m_selText[12]->m_crText, RGB(0, 0, 0));

    Click(Dlg(), IDOK);
    ASSERT_TRUE(Accepted());
    const uint8_t expected[17] = {7, 0, 1, 0, 0, 0, 0, 0, 1, 0, 1, 0, 1, 1, 1, 0, 1};
    EXPECT_EQ(0, std::memcmp(g_SetObj.m_Filter.bSwitch, expected, 17));
    EXPECT_EQ(g_SetObj.m_clrText[3], RGB(10, 20, 30));
    EXPECT_EQ(g_SetObj.m_clrBack[3], RGB(9, 9, 9));
    EXPECT_EQ(g_SetObj.m_clrBack[12], RGB(40, 50, 60));
    EXPECT_EQ(g_SetObj.m_clrText[11], RGB(255, 0, 0));
    EXPECT_EQ(g_SetObj.m_nCaptureScope, SCOPE_ALL);
}

} // namespace
