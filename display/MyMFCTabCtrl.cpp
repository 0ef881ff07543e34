#include "display/MyMFCTabCtrl.h"

#include "display/ColorRef.h"

#include <QAbstractScrollArea>

CMyMFCTabCtrl::CMyMFCTabCtrl(QWidget* pParent) : QTabWidget(pParent) {
    setTabPosition(QTabWidget::South);
    setDocumentMode(true); // the flat style
    setTabsClosable(false);
}

void CMyMFCTabCtrl::ApplyBkColor(QWidget* pPage, COLORREF clr) {
    const QColor clrBack = ColorRefToQColor(clr);
    QPalette pal = pPage->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        pal.setColor(group, QPalette::Base, clrBack);
        pal.setColor(group, QPalette::Window, clrBack);
        pal.setColor(group, QPalette::Text, ReadableTextColor(clrBack));
    }
    pPage->setPalette(pal);
    if (auto* pArea = qobject_cast<QAbstractScrollArea*>(pPage))
        pArea->viewport()->update();
    pPage->update();
}
