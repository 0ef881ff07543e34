#include "dialogs/RuleListDlg.h"

#include "dialogs/UserMessage.h"
#include "utils/ui/SelColor.h"

#include <QComboBox>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <algorithm>
#include <functional>

namespace {

constexpr int DIALOG_WIDTH = 340;
constexpr int DIALOG_HEIGHT = 200;

// Return in the value adds the rule instead of closing the dialog.
class CReturnAdds : public QObject {
public:
    CReturnAdds(QObject* pParent, std::function<void()> fnAdd)
        : QObject(pParent), m_fnAdd(std::move(fnAdd)) {}

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override {
        if (pEvent->type() == QEvent::KeyPress) {
            const int nKey = static_cast<QKeyEvent*>(pEvent)->key();
            if (nKey == Qt::Key_Return || nKey == Qt::Key_Enter) {
                m_fnAdd();
                return true;
            }
        }
        return QObject::eventFilter(pWatched, pEvent);
    }

private:
    std::function<void()> m_fnAdd;
};

} // namespace

CRuleListDlg::CRuleListDlg(EMode nMode, QWidget* pParent)
    : CDialogEx(nMode == MODE_FILTER ? QStringLiteral("Filter") : QStringLiteral("Highlight"),
                DIALOG_WIDTH, DIALOG_HEIGHT, pParent),
      m_nMode(nMode) {
    if (nMode == MODE_FILTER) {
        AddStatic(QStringLiteral("Recent filters:"), {7, 10, 58, 8});
        m_pRecent = AddControl(new QComboBox(this), IDC_RULE_RECENT, {68, 7, 265, 14});
    } else {
        AddStatic(QStringLiteral("Highlight colour:"), {7, 10, 58, 8});
        m_pColor = AddControl(new CSelColor(this), IDC_RULE_COLOR, {68, 8, 40, 12});
        m_pColor->m_nSelMode = CSelColor::SEL_BACK;
    }
    m_pColumn = AddControl(new QComboBox(this), IDC_RULE_COLUMN, {7, 27, 72, 14});
    m_pRelation = AddControl(new QComboBox(this), IDC_RULE_RELATION, {82, 27, 56, 14});
    m_pValue = AddEdit(IDC_RULE_VALUE, {141, 27, 114, 14});
    m_pAction = AddControl(new QComboBox(this), IDC_RULE_ACTION, {258, 27, 46, 14});
    auto* pAdd = AddButton(QStringLiteral("Add"), IDC_RULE_ADD, {307, 27, 26, 14});
    m_pList = AddControl(new QTreeWidget(this), IDC_RULE_LIST, {7, 46, 326, 110});
    auto* pRemove = AddButton(QStringLiteral("Remove"), IDC_RULE_REMOVE, {7, 160, 50, 14});
    auto* pReset = AddButton(QStringLiteral("Reset"), IDC_RULE_RESET, {60, 160, 50, 14});
    m_pPreview = AddStatic(QString(), {115, 163, 218, 8}, IDC_RULE_PREVIEW);
    AddButton(QStringLiteral("OK"), IDOK, {173, 179, 50, 14});
    AddButton(QStringLiteral("Cancel"), IDCANCEL, {228, 179, 50, 14});
    auto* pApply = AddButton(QStringLiteral("Apply"), IDC_APPLY_NOW, {283, 179, 50, 14});

    for (int c = 0; c < FILTER_COLUMN_COUNT; ++c)
        m_pColumn->addItem(FilterColumnTitle(EFilterColumn(c)));
    m_pColumn->setCurrentIndex(FC_PROCESS);
    for (int n = 0; n < FILTER_RELATION_COUNT; ++n)
        m_pRelation->addItem(FilterRelationWord(EFilterRelation(n)));
    m_pAction->addItem(FilterActionWord(FILTER_INCLUDE));
    m_pAction->addItem(FilterActionWord(FILTER_EXCLUDE));
    m_pValue->setMaxLength(MAX_FILTER_VALUE_LENGTH);
    m_pValue->installEventFilter(new CReturnAdds(this, [this] { OnAdd(); }));

    m_pList->setColumnCount(4);
    m_pList->setHeaderLabels({QStringLiteral("Column"), QStringLiteral("Relation"),
                              QStringLiteral("Value"), QStringLiteral("Action")});
    m_pList->setRootIsDecorated(false);
    m_pList->setUniformRowHeights(true);
    m_pList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pList->header()->setStretchLastSection(false);
    m_pList->header()->setSectionResizeMode(2, QHeaderView::Stretch);

    m_previewTimer.setSingleShot(true);
    m_previewTimer.setInterval(PREVIEW_DELAY_MS);
    connect(&m_previewTimer, &QTimer::timeout, this, &CRuleListDlg::UpdatePreviewNow);
    connect(pAdd, &QPushButton::clicked, this, &CRuleListDlg::OnAdd);
    connect(pRemove, &QPushButton::clicked, this, &CRuleListDlg::OnRemove);
    connect(pReset, &QPushButton::clicked, this, &CRuleListDlg::OnReset);
    connect(pApply, &QPushButton::clicked, this, [this] { emit Applied(m_rules); });
    connect(m_pList, &QTreeWidget::itemSelectionChanged, this, &CRuleListDlg::OnRuleSelected);
    if (m_pRecent)
        connect(m_pRecent, &QComboBox::activated, this, &CRuleListDlg::OnRecentChosen);
    if (m_pColor)
        connect(m_pColor, &CSelColor::SelColorChanged, this, &CRuleListDlg::OnColor);
}

bool CRuleListDlg::OnInitDialog() {
    CDialogEx::OnInitDialog();
    if (m_pRecent) {
        m_pRecent->addItem(m_recent.isEmpty() ? QStringLiteral("(none yet)")
                                              : QStringLiteral("(choose one to edit it)"));
        for (const CFilterRules& rules : m_recent)
            m_pRecent->addItem(FilterRulesSummary(rules));
        m_pRecent->setEnabled(!m_recent.isEmpty());
    }
    if (m_pColor) {
        m_pColor->m_crBack = m_clrHighlight;
        m_pColor->m_crText = 0;
    }
    FillList();
    UpdatePreviewNow();
    m_pValue->setFocus();
    return true;
}

void CRuleListDlg::FillList() {
    m_pList->clear();
    for (const SFilterRule& rule : m_rules) {
        auto* pItem = new QTreeWidgetItem(m_pList);
        pItem->setText(0, FilterColumnTitle(rule.nColumn));
        pItem->setText(1, FilterRelationWord(rule.nRelation));
        pItem->setText(2, rule.strValue);
        pItem->setText(3, FilterActionWord(rule.nAction));
    }
    m_pList->resizeColumnToContents(0);
    m_pList->resizeColumnToContents(1);
}

bool CRuleListDlg::EditedRule(SFilterRule& rule, QString& strError) const {
    rule.nColumn = EFilterColumn(m_pColumn->currentIndex());
    rule.nRelation = EFilterRelation(m_pRelation->currentIndex());
    rule.strValue = m_pValue->text();
    rule.nAction = m_pAction->currentIndex() == 1 ? FILTER_EXCLUDE : FILTER_INCLUDE;
    return CheckFilterRule(rule, strError);
}

void CRuleListDlg::OnAdd() {
    SFilterRule rule;
    QString strError;
    if (!EditedRule(rule, strError)) {
        ShowMessage(this, QStringLiteral("This rule cannot be added: %1.").arg(strError),
                    MSG_WARNING);
        return;
    }
    if (m_rules.contains(rule))
        return;
    if (m_rules.size() >= MAX_FILTER_RULES) {
        ShowMessage(this,
                    QStringLiteral("A list holds at most %1 rules; remove one first.")
                        .arg(MAX_FILTER_RULES),
                    MSG_WARNING);
        return;
    }
    m_rules.append(rule);
    m_pValue->clear();
    FillList();
    RulesChanged();
}

void CRuleListDlg::OnRemove() {
    QList<int> arRows;
    for (QTreeWidgetItem* pItem : m_pList->selectedItems())
        arRows << m_pList->indexOfTopLevelItem(pItem);
    std::sort(arRows.begin(), arRows.end(), std::greater<int>());
    for (int nRow : arRows)
        m_rules.removeAt(nRow);
    if (arRows.isEmpty())
        return;
    m_pValue->clear();
    FillList();
    RulesChanged();
}

void CRuleListDlg::OnReset() {
    if (m_rules.isEmpty())
        return;
    m_rules.clear();
    m_pValue->clear();
    FillList();
    RulesChanged();
}

void CRuleListDlg::OnRecentChosen(int nItem) {
    if (nItem <= 0 || nItem > m_recent.size())
        return;
    m_rules = m_recent[nItem - 1];
    m_pRecent->setCurrentIndex(0);
    m_pValue->clear();
    FillList();
    RulesChanged();
}

void CRuleListDlg::OnRuleSelected() {
    const QList<QTreeWidgetItem*> selected = m_pList->selectedItems();
    if (selected.size() != 1)
        return;
    const SFilterRule& rule = m_rules[m_pList->indexOfTopLevelItem(selected.front())];
    m_pColumn->setCurrentIndex(rule.nColumn);
    m_pRelation->setCurrentIndex(rule.nRelation);
    m_pValue->setText(rule.strValue);
    m_pAction->setCurrentIndex(rule.nAction == FILTER_EXCLUDE ? 1 : 0);
}

void CRuleListDlg::OnColor() {
    m_clrHighlight = m_pColor->m_crBack;
}

void CRuleListDlg::RulesChanged() {
    m_pPreview->setText(QStringLiteral("Counting..."));
    m_previewTimer.start();
}

QString CRuleListDlg::PreviewText() const {
    return m_pPreview->text();
}

void CRuleListDlg::UpdatePreviewNow() {
    m_previewTimer.stop();
    long long nCount = m_nTotal;
    if (m_nMode == MODE_HIGHLIGHT && m_rules.isEmpty())
        nCount = 0;
    else if (m_fnCount)
        nCount = m_fnCount(m_rules);
    m_pPreview->setText(
        QStringLiteral("%1 of %2 events would be %3")
            .arg(nCount)
            .arg(m_nTotal)
            .arg(m_nMode == MODE_FILTER ? QStringLiteral("shown") : QStringLiteral("highlighted")));
}

// A rule typed but not added yet is taken too, when it can be.
void CRuleListDlg::OnOK() {
    SFilterRule rule;
    QString strError;
    if (!m_pValue->text().isEmpty() && EditedRule(rule, strError) && !m_rules.contains(rule) &&
        m_rules.size() < MAX_FILTER_RULES)
        m_rules.append(rule);
    CDialogEx::OnOK();
}
