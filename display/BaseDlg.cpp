#include "display/BaseDlg.h"

#include "display/ColorRef.h"

#include <QKeyEvent>

CBaseDlg::CBaseDlg(QWidget* pParent) : QWidget(pParent) {
    setAutoFillBackground(true);
}

void CBaseDlg::SetDlgBkColor(COLORREF clr) {
    m_clrDlgBk = clr;
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ColorRefToQColor(clr));
    setPalette(pal);
    update();
}

void CBaseDlg::keyPressEvent(QKeyEvent* pEvent) {
    switch (pEvent->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        pEvent->accept(); // consumed: an embedded panel is never closed by them
        return;
    default:
        QWidget::keyPressEvent(pEvent);
    }
}
