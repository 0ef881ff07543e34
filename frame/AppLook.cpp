#include "frame/AppLook.h"

#include "frame/CommandIds.h"
#include "frame/LookStyle.h"

#include <QApplication>
#include <QPalette>

namespace {

// The Office 2007 look last installed: an unknown ID keeps drawing with it.
int g_nLast2007Look = ID_VIEW_APPLOOK_OFF_2007_BLUE;

const std::array<SAppLook, APP_LOOK_COUNT> kLooks = {{
    // Classic: grey 3D chrome, navy selection, no gradients.
    {ID_VIEW_APPLOOK_WIN_2000, RGB(224, 224, 224), "Windows", "#d4d0c8", "#ffffff", "#000000",
     "#0a246a", "#ffffff", nullptr, nullptr, "#0a246a", "#a6caf0", "#ffffff"},
    // Flat light chrome with a pale blue-grey selection.
    {ID_VIEW_APPLOOK_OFF_XP, RGB(224, 224, 224), "Windows", "#f0efea", "#ffffff", "#000000",
     "#b6bdd2", "#000000", "#faf9f6", "#e6e4dc", "#d8d5cc", "#c8c4b8", "#000000"},
    // Beige themed chrome with the blue title bars and selection.
    {ID_VIEW_APPLOOK_WIN_XP, RGB(248, 248, 248), "Fusion", "#ece9d8", "#ffffff", "#000000",
     "#316ac5", "#ffffff", "#fefefb", "#e3dfcb", "#0058ee", "#3a93ff", "#ffffff"},
    // Blue gradient bars with a warm orange selection.
    {ID_VIEW_APPLOOK_OFF_2003, RGB(186, 210, 224), "Fusion", "#c3daf9", "#ffffff", "#000000",
     "#ffc56f", "#000000", "#ddecfe", "#81a9e2", "#c3daf9", "#8aaee6", "#000000"},
    // Warm grey bars and a blue tool-window title.
    {ID_VIEW_APPLOOK_VS_2005, RGB(236, 236, 236), "Fusion", "#eeede5", "#ffffff", "#000000",
     "#c1d2ee", "#000000", "#faf9f5", "#d7d2c3", "#4e7cbe", "#2f5597", "#ffffff"},
    // Light blue ribbon-like bars, golden selection.
    {ID_VIEW_APPLOOK_OFF_2007_BLUE, RGB(186, 210, 224), "Fusion", "#bfdbff", "#ffffff", "#15283f",
     "#ffe28a", "#000000", "#e3efff", "#afd2ff", "#c4ddff", "#a3c3f0", "#15428b"},
    // Dark chrome with light text; golden selection.
    {ID_VIEW_APPLOOK_OFF_2007_BLACK, RGB(141, 141, 141), "Fusion", "#353535", "#2a2a2a", "#e8e8e8",
     "#f0b441", "#000000", "#5c5c5c", "#383838", "#4a4a4a", "#2e2e2e", "#f0f0f0"},
    // Cool silver-grey bars.
    {ID_VIEW_APPLOOK_OFF_2007_SILVER, RGB(204, 204, 204), "Fusion", "#d0d4dd", "#ffffff", "#2b2b2b",
     "#ffd36b", "#000000", "#f3f4f6", "#c3c8d2", "#e6e8ec", "#b8bec9", "#333333"},
    // Bright sea-blue bars and selection.
    {ID_VIEW_APPLOOK_OFF_2007_AQUA, RGB(218, 218, 218), "Fusion", "#cde3f3", "#ffffff", "#0d2a40",
     "#7fc3f0", "#000000", "#e4f1fb", "#a9d1f0", "#b8dcf5", "#7cb8e3", "#0d2a40"},
}};

QPalette BuildPalette(const SAppLook& look) {
    const QColor clrWindow(QLatin1String(look.pWindow));
    const QColor clrText(QLatin1String(look.pText));
    // The two-colour constructor derives the light and shadow shades from the button face.
    QPalette pal(clrWindow, clrWindow);
    pal.setColor(QPalette::WindowText, clrText);
    pal.setColor(QPalette::ButtonText, clrText);
    pal.setColor(QPalette::Text, clrText);
    pal.setColor(QPalette::Base, QColor(QLatin1String(look.pBase)));
    pal.setColor(QPalette::AlternateBase, clrWindow.lighter(110));
    pal.setColor(QPalette::ToolTipBase, QColor(0xff, 0xff, 0xe1));
    pal.setColor(QPalette::ToolTipText, Qt::black);
    pal.setColor(QPalette::Highlight, QColor(QLatin1String(look.pHighlight)));
    pal.setColor(QPalette::HighlightedText, QColor(QLatin1String(look.pHighlightText)));
    pal.setColor(QPalette::PlaceholderText, QColor(0x80, 0x80, 0x80));
    const bool bDark = clrWindow.lightness() < 128;
    pal.setColor(QPalette::Link, bDark ? QColor(0x8a, 0xb8, 0xff) : QColor(0x00, 0x4a, 0xb5));
    pal.setColor(QPalette::BrightText, bDark ? Qt::white : Qt::red);
    // Greyed commands stay distinguishable from enabled ones on either kind of chrome.
    const QColor clrDisabled = bDark ? QColor(0x80, 0x80, 0x80) : QColor(0x8c, 0x8c, 0x8c);
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        pal.setColor(QPalette::Disabled, role, clrDisabled);
    return pal;
}

} // namespace

const std::array<SAppLook, APP_LOOK_COUNT>& GetAppLooks() {
    return kLooks;
}

const SAppLook* FindAppLook(int nId) {
    for (const SAppLook& look : kLooks) {
        if (look.nId == nId)
            return &look;
    }
    return nullptr;
}

void ApplyAppLook(int nId) {
    const SAppLook* pLook = FindAppLook(nId);
    if (!pLook)
        pLook = FindAppLook(g_nLast2007Look);
    else if (nId >= ID_VIEW_APPLOOK_OFF_2007_BLUE)
        g_nLast2007Look = nId;
    // Style and palette only, no style sheet: palettes that windows set on their own
    // widgets (background colours of lists, panes and dialogs) stay in force.
    const auto* pCurrent = qobject_cast<const CLookStyle*>(QApplication::style());
    if (!pCurrent || pCurrent->LookId() != pLook->nId)
        QApplication::setStyle(new CLookStyle(QLatin1String(pLook->pStyle), *pLook));
    QApplication::setPalette(BuildPalette(*pLook));
}
