// The details pane's tab strip: one tab, its page painted in the look's background colour.
#pragma once

#include "settings/SetObj.h"

#include <QTabWidget>

class CMyMFCTabCtrl : public QTabWidget {
    Q_OBJECT
public:
    explicit CMyMFCTabCtrl(QWidget* pParent = nullptr);

    // Gives a page the background colour (and a text colour that reads on it).
    void ApplyBkColor(QWidget* pPage, COLORREF clr);
};
