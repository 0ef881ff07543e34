#include "dialogs/DataExchange.h"

#include "dialogs/DialogEx.h"
#include "dialogs/UserMessage.h"

#include <QAbstractButton>
#include <QLineEdit>

QWidget* CDataExchange::Control(int nId) const {
    QWidget* pControl = m_pDlg->GetDlgItem(nId);
    Q_ASSERT_X(pControl, "CDataExchange", "no control with this ID");
    return pControl;
}

void CDataExchange::Fail(QWidget* pControl, const QString& strMessage) {
    m_bFailed = true;
    ShowMessage(m_pDlg, strMessage, MSG_WARNING);
    pControl->setFocus(Qt::OtherFocusReason);
    if (auto* pEdit = qobject_cast<QLineEdit*>(pControl))
        pEdit->selectAll();
}

void CDataExchange::Text(int nId, QString& str) {
    auto* pEdit = qobject_cast<QLineEdit*>(Control(nId));
    if (m_bFailed || !pEdit)
        return;
    if (m_bSaveAndValidate)
        str = pEdit->text();
    else
        pEdit->setText(str);
}

void CDataExchange::Text(int nId, int32_t& n) {
    auto* pEdit = qobject_cast<QLineEdit*>(Control(nId));
    if (m_bFailed || !pEdit)
        return;
    if (!m_bSaveAndValidate) {
        pEdit->setText(QString::number(n));
        return;
    }
    bool bOk = false;
    const int nValue = pEdit->text().trimmed().toInt(&bOk);
    if (!bOk) {
        Fail(pEdit, QStringLiteral("Please enter a whole number."));
        return;
    }
    n = nValue;
}

void CDataExchange::Check(int nId, int32_t& b) {
    auto* pButton = qobject_cast<QAbstractButton*>(Control(nId));
    if (m_bFailed || !pButton)
        return;
    if (m_bSaveAndValidate)
        b = pButton->isChecked() ? 1 : 0;
    else
        pButton->setChecked(b != 0);
}

void CDataExchange::Radio(std::initializer_list<int> arIds, int32_t& n) {
    if (m_bFailed)
        return;
    int nIndex = 0;
    if (m_bSaveAndValidate) {
        n = -1;
        for (int nId : arIds) {
            auto* pButton = qobject_cast<QAbstractButton*>(Control(nId));
            if (pButton && pButton->isChecked()) {
                n = nIndex;
                break;
            }
            ++nIndex;
        }
        return;
    }
    for (int nId : arIds) {
        auto* pButton = qobject_cast<QAbstractButton*>(Control(nId));
        if (!pButton)
            continue;
        // Exclusive buttons refuse to be unticked one by one.
        const bool bExclusive = pButton->autoExclusive();
        pButton->setAutoExclusive(false);
        pButton->setChecked(nIndex++ == n);
        pButton->setAutoExclusive(bExclusive);
    }
}
