// A colour swatch: shows "Text" in one colour on another and lets the user pick either one.
#pragma once

#include "utils/ui/ColorRef.h"

#include <QWidget>

#include <functional>
#include <optional>

// The notice a swatch gives its dialog after the user picked a colour (SelColorChanged).
inline constexpr int WM_SELCOLOR_CHANGED = 0x0400 + 102;

class CSelColor : public QWidget {
    Q_OBJECT
public:
    enum { SEL_TEXT = 0, SEL_BACK = 1 };

    explicit CSelColor(QWidget* pParent = nullptr);

    // How a swatch asks the user for a colour: the initial colour in, the pick out, nothing
    // when the user cancelled. Tests put their own in place of the colour dialog.
    using ChooseColorFn = std::function<std::optional<COLORREF>(QWidget* pOwner, COLORREF cr)>;
    static void SetColorChooser(ChooseColorFn fn); // an empty function restores the dialog

    // Asks for a colour as a click does: the pick goes into the field m_nSelMode selects,
    // then SelColorChanged is emitted. False when the user cancelled.
    bool PickColor();

    QSize sizeHint() const override;

    COLORREF m_crBack = 0xFFFFFF; // fill
    COLORREF m_crText = 0;        // caption
    int m_nSelMode = SEL_TEXT;    // SEL_BACK: a pick changes m_crBack, otherwise m_crText

signals:
    // Sent to the dialog after every pick (WM_SELCOLOR_CHANGED).
    void SelColorChanged();

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
};
