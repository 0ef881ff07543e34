#include "frame/FilterCommands.h"

#include "dialogs/RuleListDlg.h"
#include "dialogs/UserMessage.h"
#include "display/BaseHivewatchDlg.h"
#include "display/EventListModel.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"

#include <QAction>
#include <QGuiApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QStatusBar>

namespace {

constexpr int NOTE_MS = 15000;

// A cell's text in a menu entry: cut short, and its '&' not taken for a mnemonic.
QString MenuText(const QString& strText) {
    QString str = strText.size() > CFilterCommands::MENU_TEXT_CHARS
                      ? strText.left(CFilterCommands::MENU_TEXT_CHARS - 3) + QStringLiteral("...")
                      : strText;
    return str.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

SFilterRule MakeRule(EFilterColumn nColumn, EFilterRelation nRelation, const QString& strValue,
                     EFilterAction nAction) {
    SFilterRule rule;
    rule.nColumn = nColumn;
    rule.nRelation = nRelation;
    rule.strValue = strValue;
    rule.nAction = nAction;
    return rule;
}

} // namespace

CFilterCommands::CFilterCommands(CHivewatchDoc* pDoc, QMainWindow* pWindow,
                                 std::function<CBaseHivewatchDlg*()> fnList, QLabel* pStatus,
                                 QAction* pFilterOff, const QString& strRulesPath)
    : QObject(pWindow), m_pDoc(pDoc), m_pWindow(pWindow), m_fnList(std::move(fnList)),
      m_pStatus(pStatus), m_pFilterOff(pFilterOff), m_file(strRulesPath) {
    m_pStatus->setVisible(false);
}

void CFilterCommands::ShowNote(const QString& strText) {
    m_pWindow->statusBar()->showMessage(strText, NOTE_MS);
}

void CFilterCommands::Start() {
    QString strMessage;
    m_file.Load(m_rules, strMessage);
    if (!strMessage.isEmpty())
        ShowNote(strMessage);
    m_pDoc->SetHighlightRules(m_rules.highlight);
    if (CBaseHivewatchDlg* pList = m_fnList())
        pList->GetListCtrl().GetModel()->SetHighlightColor(m_rules.clrHighlight);
    PutFilterInForce();
}

void CFilterCommands::Save() {
    QString strError;
    if (!m_file.Save(m_rules, strError))
        ShowNote(
            QStringLiteral("The filters could not be kept for the next run: %1.").arg(strError));
}

void CFilterCommands::UpdateActions() {
    m_pFilterOff->setEnabled(!m_rules.filter.isEmpty());
    m_pFilterOff->setChecked(m_rules.bFilterOff && !m_rules.filter.isEmpty());
}

void CFilterCommands::UpdateStatus() {
    const bool bFiltered = m_pDoc->IsFiltered();
    if (bFiltered)
        m_pStatus->setText(QStringLiteral("Showing %1 of %2 events")
                               .arg(m_pDoc->GetShownCount())
                               .arg(m_pDoc->GetRecordCount()));
    m_pStatus->setVisible(bFiltered);
}

bool CFilterCommands::PutFilterInForce() {
    const CFilterRules rules = m_rules.bFilterOff ? CFilterRules() : m_rules.filter;
    CBaseHivewatchDlg* pList = m_fnList();
    // The selected event, to select it again in its new row.
    const qint64 nSelRow = pList ? pList->GetSelectedRow() : -1;
    const long long nSelIndex = nSelRow >= 0 ? m_pDoc->IndexAtRow(nSelRow) : -1;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const bool bOk = m_pDoc->SetDisplayFilter(rules);
    QGuiApplication::restoreOverrideCursor();
    if (!bOk)
        ShowMessage(m_pWindow,
                    QStringLiteral("There is not enough memory to filter %1 events; the list "
                                   "stays as it was. Close other programs, or clear the display "
                                   "first.")
                        .arg(m_pDoc->GetRecordCount()),
                    MSG_ERROR);
    if (pList) {
        pList->RefreshItemCount();
        const long long nRow = nSelIndex >= 0 ? m_pDoc->RowOfIndex(nSelIndex) : -1;
        if (nRow >= 0)
            pList->SelectRow(nRow);
        else
            pList->GetListCtrl().SetSelected(-1);
    }
    UpdateActions();
    UpdateStatus();
    return bOk;
}

bool CFilterCommands::ApplyFilter(const CFilterRules& rules) {
    m_rules.filter = rules;
    m_rules.bFilterOff = false;
    RememberRecentFilter(m_rules.recent, rules);
    const bool bOk = PutFilterInForce();
    Save();
    return bOk;
}

void CFilterCommands::OnFilterOff(bool bOff) {
    if (m_rules.bFilterOff == bOff)
        return;
    m_rules.bFilterOff = bOff;
    PutFilterInForce();
    Save();
}

void CFilterCommands::ApplyHighlight(const CFilterRules& rules, uint32_t clrHighlight) {
    m_rules.highlight = rules;
    m_rules.clrHighlight = clrHighlight;
    m_pDoc->SetHighlightRules(rules);
    if (CBaseHivewatchDlg* pList = m_fnList()) {
        pList->GetListCtrl().GetModel()->SetHighlightColor(clrHighlight);
        pList->GetListCtrl().viewport()->update();
    }
    Save();
}

void CFilterCommands::OnFilter() {
    CRuleListDlg dlg(CRuleListDlg::MODE_FILTER, m_pWindow);
    dlg.m_clrBackground = g_SetObj.m_clrBackground;
    dlg.m_rules = m_rules.filter;
    dlg.m_recent = m_rules.recent;
    dlg.m_nTotal = m_pDoc->GetRecordCount();
    dlg.m_fnCount = [this](const CFilterRules& rules) { return m_pDoc->CountShownBy(rules); };
    connect(&dlg, &CRuleListDlg::Applied, this,
            [this](const CFilterRules& rules) { ApplyFilter(rules); });
    if (dlg.DoModal() == IDOK)
        ApplyFilter(dlg.m_rules);
}

void CFilterCommands::OnHighlight() {
    CRuleListDlg dlg(CRuleListDlg::MODE_HIGHLIGHT, m_pWindow);
    dlg.m_clrBackground = g_SetObj.m_clrBackground;
    dlg.m_rules = m_rules.highlight;
    dlg.m_clrHighlight = m_rules.clrHighlight;
    dlg.m_nTotal = m_pDoc->GetRecordCount();
    dlg.m_fnCount = [this](const CFilterRules& rules) { return m_pDoc->CountShownBy(rules); };
    connect(&dlg, &CRuleListDlg::Applied, this,
            [this, &dlg](const CFilterRules& rules) { ApplyHighlight(rules, dlg.m_clrHighlight); });
    if (dlg.DoModal() == IDOK)
        ApplyHighlight(dlg.m_rules, dlg.m_clrHighlight);
}

// The rule joins the filter's rules, which come back into force if Filter Off had set them
// aside.
void CFilterCommands::AddQuickRule(const SFilterRule& rule) {
    CFilterRules rules = m_rules.filter;
    if (!rules.contains(rule))
        rules.append(rule);
    ApplyFilter(rules);
}

QMenu* CFilterCommands::BuildCellMenu(qint64 nRow, int nColumn, QWidget* pParent) {
    CRegInfoObj record;
    if (nColumn < 0 || nColumn >= CEventListModel::COLUMN_COUNT ||
        !m_pDoc->CopyRecordAtRow(nRow, record))
        return nullptr;
    const QString strText = CEventListModel::CellText(record, nColumn);
    const auto column = EFilterColumn(nColumn);
    auto* pMenu = new QMenu(pParent);
    pMenu->setObjectName(QStringLiteral("CellMenu"));
    const bool bUsable = strText.size() <= MAX_FILTER_VALUE_LENGTH;
    for (const EFilterAction nAction : {FILTER_INCLUDE, FILTER_EXCLUDE}) {
        QAction* pAction = pMenu->addAction(
            QStringLiteral("%1 '%2'").arg(FilterActionWord(nAction), MenuText(strText)));
        pAction->setEnabled(bUsable);
        const SFilterRule rule = MakeRule(column, REL_IS, strText, nAction);
        connect(pAction, &QAction::triggered, this, [this, rule] { AddQuickRule(rule); });
    }
    pMenu->addSeparator();
    const QString strSeq = QString::number(record.m_nSeq);
    const std::pair<const char*, EFilterRelation> bounds[] = {
        {"Exclude events before this one", REL_LESS_THAN},
        {"Exclude events after this one", REL_MORE_THAN}};
    for (const auto& [pText, nRelation] : bounds) {
        QAction* pAction = pMenu->addAction(QString::fromLatin1(pText));
        const SFilterRule rule = MakeRule(FC_SEQ, nRelation, strSeq, FILTER_EXCLUDE);
        connect(pAction, &QAction::triggered, this, [this, rule] { AddQuickRule(rule); });
    }
    pMenu->addSeparator();
    pMenu->addAction(m_pFilterOff);
    return pMenu;
}

void CFilterCommands::OnCellMenu(qint64 nRow, int nColumn, const QPoint& ptGlobal) {
    QMenu* pMenu = BuildCellMenu(nRow, nColumn, m_pWindow);
    if (!pMenu)
        return;
    pMenu->setAttribute(Qt::WA_DeleteOnClose);
    pMenu->popup(ptGlobal);
}
