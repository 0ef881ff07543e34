// Colours as the settings keep them (COLORREF, red in the lowest byte) and as Qt paints them.
#pragma once

#include "settings/SetObj.h"

#include <QColor>

#include <cmath>

inline QColor ColorRefToQColor(COLORREF clr) {
    return QColor(int(clr & 0xFF), int((clr >> 8) & 0xFF), int((clr >> 16) & 0xFF));
}

inline COLORREF QColorToColorRef(const QColor& clr) {
    return RGB(unsigned(clr.red()), unsigned(clr.green()), unsigned(clr.blue()));
}

// Black or white, whichever reads better on the given background.
inline QColor ReadableTextColor(const QColor& clrBack) {
    // Relative luminance of sRGB, as contrast guidelines define it.
    const auto linear = [](int c) {
        const double v = c / 255.0;
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    const double lum = 0.2126 * linear(clrBack.red()) + 0.7152 * linear(clrBack.green()) +
                       0.0722 * linear(clrBack.blue());
    const double onBlack = (lum + 0.05) / 0.05;
    const double onWhite = 1.05 / (lum + 0.05);
    return onBlack >= onWhite ? QColor(Qt::black) : QColor(Qt::white);
}
