#include "utils/ui/SelColor.h"

#include <QColorDialog>
#include <QMouseEvent>
#include <QPainter>

namespace {

CSelColor::ChooseColorFn& ColorChooser() {
    static CSelColor::ChooseColorFn s_fn;
    return s_fn;
}

std::optional<COLORREF> AskWithColorDialog(QWidget* pOwner, COLORREF cr) {
    const QColor color = QColorDialog::getColor(ColorFromRef(cr), pOwner);
    if (!color.isValid())
        return std::nullopt;
    return RefFromColor(color);
}

} // namespace

CSelColor::CSelColor(QWidget* pParent) : QWidget(pParent) {
    setCursor(Qt::PointingHandCursor);
    setToolTip(tr("Click to choose a colour"));
}

void CSelColor::SetColorChooser(ChooseColorFn fn) {
    ColorChooser() = std::move(fn);
}

bool CSelColor::PickColor() {
    COLORREF& crField = m_nSelMode == SEL_BACK ? m_crBack : m_crText;
    const ChooseColorFn& fnChoose = ColorChooser();
    const std::optional<COLORREF> cr =
        fnChoose ? fnChoose(this, crField) : AskWithColorDialog(this, crField);
    if (!cr)
        return false;
    crField = *cr;
    update();
    emit SelColorChanged();
    return true;
}

QSize CSelColor::sizeHint() const {
    const QFontMetrics fm = fontMetrics();
    return {fm.horizontalAdvance(QStringLiteral("Text")) + 8, fm.height() + 2};
}

void CSelColor::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), ColorFromRef(m_crBack));
    painter.setPen(ColorFromRef(m_crText));
    painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("Text"));
}

void CSelColor::mouseReleaseEvent(QMouseEvent* pEvent) {
    if (pEvent->button() == Qt::LeftButton && rect().contains(pEvent->position().toPoint()))
        PickColor();
}
