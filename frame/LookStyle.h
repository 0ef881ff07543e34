// Draws a look's chrome (toolbar, menu bar, status bar, pane titles) over a standard Qt style.
#pragma once

#include "frame/AppLook.h"

#include <QProxyStyle>

// Palettes set on single widgets keep working under it, unlike under a style sheet.
class CLookStyle : public QProxyStyle {
    Q_OBJECT
public:
    CLookStyle(const QString& strBaseStyle, const SAppLook& look);

    int LookId() const { return m_look.nId; }

    void drawControl(ControlElement element, const QStyleOption* pOption, QPainter* pPainter,
                     const QWidget* pWidget = nullptr) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* pOption, QPainter* pPainter,
                       const QWidget* pWidget = nullptr) const override;

private:
    void FillBar(QPainter* pPainter, const QRect& rc) const;
    bool HasChrome() const { return m_look.pBarTop != nullptr; }

    SAppLook m_look;
};
