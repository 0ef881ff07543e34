// Colour values as the settings keep them (red in the lowest byte) and their Qt form.
#pragma once

#include <QColor>

#include <cstdint>

using COLORREF = uint32_t;

inline QColor ColorFromRef(COLORREF cr) {
    return QColor(int(cr & 0xFF), int((cr >> 8) & 0xFF), int((cr >> 16) & 0xFF));
}

inline COLORREF RefFromColor(const QColor& color) {
    return COLORREF(color.red()) | (COLORREF(color.green()) << 8) | (COLORREF(color.blue()) << 16);
}
