#include "frame/LookStyle.h"

#include <QLinearGradient>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOption>

CLookStyle::CLookStyle(const QString& strBaseStyle, const SAppLook& look)
    : QProxyStyle(QStyleFactory::create(strBaseStyle)), m_look(look) {}

void CLookStyle::FillBar(QPainter* pPainter, const QRect& rc) const {
    QLinearGradient gradient(rc.topLeft(), rc.bottomLeft());
    gradient.setColorAt(0, QColor(QLatin1String(m_look.pBarTop)));
    gradient.setColorAt(1, QColor(QLatin1String(m_look.pBarBottom)));
    pPainter->fillRect(rc, gradient);
}

void CLookStyle::drawControl(ControlElement element, const QStyleOption* pOption,
                             QPainter* pPainter, const QWidget* pWidget) const {
    switch (element) {
    case CE_ToolBar:
    case CE_MenuBarEmptyArea:
        if (HasChrome()) {
            FillBar(pPainter, pOption->rect);
            return;
        }
        break;
    case CE_MenuBarItem:
        if (HasChrome()) {
            const auto* pItem = qstyleoption_cast<const QStyleOptionMenuItem*>(pOption);
            if (!pItem)
                break;
            FillBar(pPainter, pItem->rect);
            const bool bHot = (pItem->state & State_Selected) || (pItem->state & State_Sunken);
            QPalette::ColorRole role = QPalette::ButtonText;
            if (bHot && (pItem->state & State_Enabled)) {
                pPainter->fillRect(pItem->rect.adjusted(1, 1, -1, -1), pItem->palette.highlight());
                role = QPalette::HighlightedText;
            }
            drawItemText(pPainter, pItem->rect,
                         Qt::AlignCenter | Qt::TextShowMnemonic | Qt::TextSingleLine,
                         pItem->palette, pItem->state & State_Enabled, pItem->text, role);
            return;
        }
        break;
    case CE_DockWidgetTitle: {
        const auto* pDock = qstyleoption_cast<const QStyleOptionDockWidget*>(pOption);
        if (!pDock)
            break;
        QLinearGradient gradient(pDock->rect.topLeft(), pDock->rect.bottomLeft());
        gradient.setColorAt(0, QColor(QLatin1String(m_look.pTitleTop)));
        gradient.setColorAt(1, QColor(QLatin1String(m_look.pTitleBottom)));
        pPainter->fillRect(pDock->rect, gradient);
        const QRect rcText = subElementRect(SE_DockWidgetTitleBarText, pDock, pWidget);
        pPainter->save();
        pPainter->setPen(QColor(QLatin1String(m_look.pTitleText)));
        pPainter->drawText(
            rcText, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
            pPainter->fontMetrics().elidedText(pDock->title, Qt::ElideRight, rcText.width()));
        pPainter->restore();
        return;
    }
    default:
        break;
    }
    QProxyStyle::drawControl(element, pOption, pPainter, pWidget);
}

void CLookStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* pOption,
                               QPainter* pPainter, const QWidget* pWidget) const {
    if (element == PE_PanelStatusBar && HasChrome()) {
        pPainter->fillRect(pOption->rect, QColor(QLatin1String(m_look.pBarBottom)));
        return;
    }
    QProxyStyle::drawPrimitive(element, pOption, pPainter, pWidget);
}
