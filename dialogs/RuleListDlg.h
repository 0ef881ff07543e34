// The Filter and Highlight dialogs: a list of display rules to edit, with a live count.
#pragma once

#include "dialogs/DialogEx.h"
#include "store/FilterRule.h"

#include <QList>
#include <QTimer>

#include <functional>

class CSelColor;
class QComboBox;
class QTreeWidget;

// Each rule is column - relation - value - Include/Exclude. Add puts the rule of the editing
// row at the end of the list (a rule that cannot be matched is refused with the reason),
// Remove takes the selected ones away, Reset empties the list. The count of events the rules
// show (or highlight) follows every change, a moment later. Selecting a rule puts it into the
// editing row. OK and Apply hand the list to whoever opened the dialog (Applied); Cancel
// closes without another change.
class CRuleListDlg : public CDialogEx {
    Q_OBJECT
public:
    enum EMode { MODE_FILTER, MODE_HIGHLIGHT };
    enum EControls {
        IDC_RULE_RECENT = 1101,
        IDC_RULE_COLUMN = 1102,
        IDC_RULE_RELATION = 1103,
        IDC_RULE_VALUE = 1104,
        IDC_RULE_ACTION = 1105,
        IDC_RULE_ADD = 1106,
        IDC_RULE_LIST = 1107,
        IDC_RULE_REMOVE = 1108,
        IDC_RULE_RESET = 1109,
        IDC_RULE_PREVIEW = 1110,
        IDC_RULE_COLOR = 1111,
        IDC_APPLY_NOW = 12321,
    };
    static constexpr int PREVIEW_DELAY_MS = 150;

    // How many of the document's events a rule list passes (for the preview).
    using CountFn = std::function<long long(const CFilterRules& rules)>;

    CRuleListDlg(EMode nMode, QWidget* pParent = nullptr);

    // Set before the dialog is shown.
    CFilterRules m_rules;
    QList<CFilterRules> m_recent; // the filter's recent lists, newest first (filter only)
    uint32_t m_clrHighlight = 0;  // the highlight colour (highlight only)
    CountFn m_fnCount;
    long long m_nTotal = 0; // events in the document

    // The editing row as a rule; false with the reason when it cannot be matched.
    bool EditedRule(SFilterRule& rule, QString& strError) const;
    // The preview's text now (it changes only once the delay has passed).
    QString PreviewText() const;
    // Counts at once instead of after the delay.
    void UpdatePreviewNow();

signals:
    void Applied(const CFilterRules& rules);

protected:
    bool OnInitDialog() override;
    void OnOK() override;

private:
    void OnAdd();
    void OnRemove();
    void OnReset();
    void OnRecentChosen(int nItem);
    void OnRuleSelected();
    void OnColor();
    void FillList();
    void RulesChanged();

    EMode m_nMode;
    QComboBox* m_pRecent = nullptr;
    QComboBox* m_pColumn;
    QComboBox* m_pRelation;
    QLineEdit* m_pValue;
    QComboBox* m_pAction;
    QTreeWidget* m_pList;
    QLabel* m_pPreview;
    CSelColor* m_pColor = nullptr;
    QTimer m_previewTimer;
};
