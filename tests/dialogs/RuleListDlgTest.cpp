// The Filter and Highlight dialogs as a user meets them: rules added, refused, removed and
// reset, recent filters chosen, the live count, and what OK, Apply and Cancel hand back.
#include "tests/dialogs/DialogTestSupport.h"

#include "dialogs/RuleListDlg.h"
#include "settings/SetObj.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

namespace {

using D = CRuleListDlg;

class RuleListDlg : public DialogTest {
protected:
    // The dialog counts as the document would: one event per rule, of 100.
    void Prepare(CRuleListDlg& dlg) {
        dlg.m_nTotal = 100;
        dlg.m_fnCount = [this](const CFilterRules& rules) {
            ++m_nCounts;
            return 100 - rules.size();
        };
    }
    // The editing row set as a user sets it, then Add clicked.
    void AddRule(CRuleListDlg& dlg, EFilterColumn nColumn, EFilterRelation nRelation,
                 const QString& strValue, EFilterAction nAction = FILTER_INCLUDE) {
        Item<QComboBox>(dlg, D::IDC_RULE_COLUMN)->setCurrentIndex(nColumn);
        Item<QComboBox>(dlg, D::IDC_RULE_RELATION)->setCurrentIndex(nRelation);
        Type(dlg, D::IDC_RULE_VALUE, strValue);
        Item<QComboBox>(dlg, D::IDC_RULE_ACTION)->setCurrentIndex(nAction == FILTER_EXCLUDE);
        Click(dlg, D::IDC_RULE_ADD);
    }
    static QStringList Rows(const CRuleListDlg& dlg) {
        QStringList ar;
        auto* pList = Item<QTreeWidget>(dlg, D::IDC_RULE_LIST);
        for (int i = 0; i < pList->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* p = pList->topLevelItem(i);
            ar << p->text(0) + "|" + p->text(1) + "|" + p->text(2) + "|" + p->text(3);
        }
        return ar;
    }
    int m_nCounts = 0;
};

} // namespace

TEST_F(RuleListDlg, AddRemoveResetWithALiveCount) {
    CRuleListDlg dlg(CRuleListDlg::MODE_FILTER);
    Prepare(dlg);
    dlg.m_rules = {FilterRule(FC_PROCESS, REL_IS, "reg.exe")};
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), "Filter");
    EXPECT_EQ(Rows(dlg), QStringList{"Process Name|is|reg.exe|Include"});
    EXPECT_EQ(dlg.PreviewText(), "99 of 100 events would be shown");

    AddRule(dlg, FC_REQUEST, REL_BEGINS_WITH, "RegSet", FILTER_EXCLUDE);
    EXPECT_EQ(Rows(dlg).value(1), "Request|begins with|RegSet|Exclude");
    EXPECT_TRUE(Text(dlg, D::IDC_RULE_VALUE).isEmpty()) << "ready for the next rule";
    // The count follows a moment later, once.
    const int nBefore = m_nCounts;
    EXPECT_TRUE(QTest::qWaitFor([&] { return dlg.PreviewText().startsWith("98 of"); }, 3000));
    EXPECT_EQ(m_nCounts, nBefore + 1);

    // Return in the value adds the rule; the dialog stays open.
    Item<QComboBox>(dlg, D::IDC_RULE_COLUMN)->setCurrentIndex(FC_PID);
    Item<QComboBox>(dlg, D::IDC_RULE_RELATION)->setCurrentIndex(REL_LESS_THAN);
    Item<QComboBox>(dlg, D::IDC_RULE_ACTION)->setCurrentIndex(0);
    Type(dlg, D::IDC_RULE_VALUE, "400");
    QTest::keyClick(Item<QLineEdit>(dlg, D::IDC_RULE_VALUE), Qt::Key_Return);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(Rows(dlg).size(), 3);
    // The same rule again adds nothing.
    AddRule(dlg, FC_PID, REL_LESS_THAN, "400");
    EXPECT_EQ(Rows(dlg).size(), 3);

    // A rule that cannot be matched is refused with the reason.
    AddRule(dlg, FC_SEQ, REL_MORE_THAN, "ten");
    ASSERT_EQ(m_arMessages.size(), 1u);
    EXPECT_EQ(m_arMessages[0].m_strText,
              "This rule cannot be added: Seq more than needs a whole number, not \"ten\".");
    EXPECT_EQ(Rows(dlg).size(), 3);

    // Selecting a rule puts it into the editing row; Remove takes the selected ones away.
    auto* pList = Item<QTreeWidget>(dlg, D::IDC_RULE_LIST);
    pList->setCurrentItem(pList->topLevelItem(1));
    EXPECT_EQ(Text(dlg, D::IDC_RULE_VALUE), "RegSet");
    EXPECT_EQ(Item<QComboBox>(dlg, D::IDC_RULE_ACTION)->currentText(), "Exclude");
    Click(dlg, D::IDC_RULE_REMOVE);
    EXPECT_EQ(Rows(dlg), (QStringList{"Process Name|is|reg.exe|Include", "PID|less than|400|"
                                                                         "Include"}));
    dlg.UpdatePreviewNow();
    EXPECT_EQ(dlg.PreviewText(), "98 of 100 events would be shown");
    Click(dlg, D::IDC_RULE_RESET);
    EXPECT_TRUE(Rows(dlg).isEmpty());
    dlg.UpdatePreviewNow();
    EXPECT_EQ(dlg.PreviewText(), "100 of 100 events would be shown");
    Click(dlg, IDCANCEL);
}

TEST_F(RuleListDlg, RecentFiltersOkApplyAndCancel) {
    CRuleListDlg dlg(CRuleListDlg::MODE_FILTER);
    Prepare(dlg);
    const CFilterRules older = {FilterRule(FC_PATH, REL_CONTAINS, "Run"),
                                FilterRule(FC_RESULT, REL_IS, "SUCCESS", FILTER_EXCLUDE)};
    dlg.m_recent = {{FilterRule(FC_PID, REL_IS, "4")}, older};
    QSignalSpy applied(&dlg, &CRuleListDlg::Applied);
    dlg.show();
    auto* pRecent = Item<QComboBox>(dlg, D::IDC_RULE_RECENT);
    ASSERT_EQ(pRecent->count(), 3);
    EXPECT_EQ(pRecent->itemText(2), "Include Path contains Run; +1 more");
    pRecent->activated(2);
    EXPECT_EQ(Rows(dlg), (QStringList{"Path|contains|Run|Include", "Result|is|SUCCESS|Exclude"}));
    Click(dlg, D::IDC_APPLY_NOW);
    ASSERT_EQ(applied.size(), 1);
    EXPECT_EQ(applied[0][0].value<CFilterRules>(), older);
    EXPECT_TRUE(dlg.isVisible());

    // OK takes a rule typed but not added yet.
    Item<QComboBox>(dlg, D::IDC_RULE_COLUMN)->setCurrentIndex(FC_PROCESS);
    Item<QComboBox>(dlg, D::IDC_RULE_RELATION)->setCurrentIndex(REL_IS);
    Type(dlg, D::IDC_RULE_VALUE, "reg.exe");
    Click(dlg, IDOK);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    ASSERT_EQ(dlg.m_rules.size(), 3);
    EXPECT_EQ(dlg.m_rules[2], FilterRule(FC_PROCESS, REL_IS, "reg.exe"));

    // With no recent filters the list says so and cannot be opened.
    CRuleListDlg fresh(CRuleListDlg::MODE_FILTER);
    fresh.show();
    EXPECT_FALSE(Item<QComboBox>(fresh, D::IDC_RULE_RECENT)->isEnabled());
    Click(fresh, IDCANCEL);
    EXPECT_EQ(fresh.result(), QDialog::Rejected);
}

TEST_F(RuleListDlg, HighlightCountsNothingWithoutRulesAndTakesAColour) {
    CRuleListDlg dlg(CRuleListDlg::MODE_HIGHLIGHT);
    Prepare(dlg);
    dlg.m_clrHighlight = RGB(1, 2, 3);
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), "Highlight");
    EXPECT_EQ(dlg.GetDlgItem(D::IDC_RULE_RECENT), nullptr);
    EXPECT_EQ(dlg.PreviewText(), "0 of 100 events would be highlighted");
    AddRule(dlg, FC_OLD_VALUE, REL_CONTAINS, "REG_SZ");
    dlg.UpdatePreviewNow();
    EXPECT_EQ(dlg.PreviewText(), "99 of 100 events would be highlighted");
    m_crColorAnswer = RGB(250, 240, 10);
    QWidget* pSwatch = dlg.GetDlgItem(D::IDC_RULE_COLOR);
    ASSERT_TRUE(pSwatch);
    QTest::mouseClick(pSwatch, Qt::LeftButton);
    EXPECT_EQ(dlg.m_clrHighlight, RGB(250, 240, 10));
    Click(dlg, IDOK);
    EXPECT_EQ(dlg.m_rules, (CFilterRules{FilterRule(FC_OLD_VALUE, REL_CONTAINS, "REG_SZ")}));
}
