// An embedded child panel with a painted background colour that Enter and Escape never close.
#pragma once

#include "settings/SetObj.h"

#include <QWidget>

class CBaseDlg : public QWidget {
    Q_OBJECT
public:
    explicit CBaseDlg(QWidget* pParent = nullptr);

    virtual void SetDlgBkColor(COLORREF clr);
    COLORREF GetDlgBkColor() const { return m_clrDlgBk; }

protected:
    void keyPressEvent(QKeyEvent* pEvent) override;

    COLORREF m_clrDlgBk = DEFAULT_BACKGROUND;
};
