// The nine application looks: each one's style, palette, chrome colours and background colour.
#pragma once

#include "settings/SetObj.h"

#include <QString>

#include <array>

struct SAppLook {
    int nId;            // its command ID (210 to 218)
    COLORREF clrLook;   // the background colour of the program's lists, panes and dialogs
    const char* pStyle; // the Qt style it is drawn with
    // Palette: window, base, text, highlight, highlighted text (as "#rrggbb").
    const char* pWindow;
    const char* pBase;
    const char* pText;
    const char* pHighlight;
    const char* pHighlightText;
    // Chrome: toolbar and menu-bar gradient (top, bottom), pane title gradient and its text.
    const char* pBarTop;
    const char* pBarBottom;
    const char* pTitleTop;
    const char* pTitleBottom;
    const char* pTitleText;
};

inline constexpr int APP_LOOK_COUNT = 9;
const std::array<SAppLook, APP_LOOK_COUNT>& GetAppLooks();
// The look of a command ID, or nullptr for an ID outside 210 to 218.
const SAppLook* FindAppLook(int nId);

// Installs a look for the whole program (style, palette, chrome). An unknown ID keeps the
// current colours and draws with the look of the Office 2007 family in force.
void ApplyAppLook(int nId);
