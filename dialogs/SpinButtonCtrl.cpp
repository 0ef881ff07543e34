#include "dialogs/SpinButtonCtrl.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

#include <algorithm>

namespace {

QToolButton* MakeArrow(QWidget* pParent, Qt::ArrowType nArrow) {
    auto* pButton = new QToolButton(pParent);
    pButton->setArrowType(nArrow);
    pButton->setAutoRepeat(true);
    pButton->setFocusPolicy(Qt::NoFocus);
    return pButton;
}

} // namespace

CSpinButtonCtrl::CSpinButtonCtrl(QWidget* pParent) : QWidget(pParent) {
    auto* pUp = MakeArrow(this, Qt::UpArrow);
    auto* pDown = MakeArrow(this, Qt::DownArrow);
    pUp->setObjectName(QStringLiteral("up"));
    pDown->setObjectName(QStringLiteral("down"));
    connect(pUp, &QToolButton::clicked, this, [this] { Step(1); });
    connect(pDown, &QToolButton::clicked, this, [this] { Step(-1); });
    m_pUp = pUp;
    m_pDown = pDown;
}

void CSpinButtonCtrl::SetBuddy(QLineEdit* pBuddy) {
    if (m_pBuddy)
        m_pBuddy->removeEventFilter(this);
    m_pBuddy = pBuddy;
    if (m_pBuddy)
        m_pBuddy->installEventFilter(this);
}

void CSpinButtonCtrl::SetRange(int nLower, int nUpper) {
    m_nLower = std::min(nLower, nUpper);
    m_nUpper = std::max(nLower, nUpper);
    m_nPos = std::clamp(m_nPos, m_nLower, m_nUpper);
}

void CSpinButtonCtrl::SetPos(int nPos) {
    m_nPos = std::clamp(nPos, m_nLower, m_nUpper);
}

void CSpinButtonCtrl::Step(int nDelta) {
    bool bOk = false;
    const int nTyped = m_pBuddy ? m_pBuddy->text().trimmed().toInt(&bOk) : 0;
    const int nFrom = bOk ? std::clamp(nTyped, m_nLower, m_nUpper) : m_nPos;
    m_nPos = std::clamp(nFrom + nDelta, m_nLower, m_nUpper);
    if (m_pBuddy)
        m_pBuddy->setText(QString::number(m_nPos));
}

bool CSpinButtonCtrl::eventFilter(QObject* pObject, QEvent* pEvent) {
    if (pObject == m_pBuddy && pEvent->type() == QEvent::KeyPress) {
        const int nKey = static_cast<QKeyEvent*>(pEvent)->key();
        if (nKey == Qt::Key_Up || nKey == Qt::Key_Down) {
            Step(nKey == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(pObject, pEvent);
}

void CSpinButtonCtrl::resizeEvent(QResizeEvent*) {
    const int nHalf = height() / 2;
    m_pUp->setGeometry(0, 0, width(), nHalf);
    m_pDown->setGeometry(0, nHalf, width(), height() - nHalf);
}
