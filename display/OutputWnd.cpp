#include "display/OutputWnd.h"

#include <QIcon>

COutputWnd::COutputWnd(QWidget* pParent)
    : QDockWidget(QStringLiteral("Information"), pParent), m_wndTabs(this) {
    setObjectName(QStringLiteral("OutputWnd"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/information.svg")));
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                QDockWidget::DockWidgetFloatable);
    m_wndDetails.setObjectName(QStringLiteral("Details"));
    m_wndDetails.setReadOnly(true);
    m_wndDetails.setLineWrapMode(QPlainTextEdit::NoWrap);
    m_wndDetails.setFrameShape(QFrame::NoFrame);
    m_wndTabs.addTab(&m_wndDetails, QIcon(QStringLiteral(":/icons/information.svg")),
                     QStringLiteral("Information"));
    setWidget(&m_wndTabs);
    UpdateColors();
}

void COutputWnd::SetDetailsText(const QString& strText) {
    m_strText = strText;
    QString strShown = strText;
    strShown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_wndDetails.setPlainText(strShown);
}

void COutputWnd::UpdateColors() {
    m_wndTabs.ApplyBkColor(&m_wndDetails, g_SetObj.m_clrBackground);
}
