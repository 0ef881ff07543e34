#include "dialogs/DialogEx.h"

#include "dialogs/DataExchange.h"
#include "settings/SetObj.h"
#include "utils/ui/SelColor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include <cmath>

namespace {

// Pixels a control needs so that its caption shows whole: the width, and the height at the
// given width (a wrapped label needs more lines when narrower). Zero where it does not matter.
QSize CaptionNeed(QWidget* pWidget, int nWidth) {
    const QFontMetrics fm = pWidget->fontMetrics();
    if (auto* pLabel = qobject_cast<QLabel*>(pWidget)) {
        if (pLabel->wordWrap())
            return {0, pLabel->heightForWidth(nWidth)};
        return pLabel->sizeHint();
    }
    if (auto* pButton = qobject_cast<QPushButton*>(pWidget))
        return {fm.horizontalAdvance(pButton->text()) + 2 * fm.averageCharWidth(), fm.height() + 4};
    if (qobject_cast<QCheckBox*>(pWidget) || qobject_cast<QRadioButton*>(pWidget))
        return pWidget->sizeHint();
    if (auto* pGroup = qobject_cast<QGroupBox*>(pWidget))
        return {fm.horizontalAdvance(pGroup->title()) + 4 * fm.averageCharWidth(), 0};
    if (qobject_cast<QComboBox*>(pWidget))
        return {pWidget->sizeHint().width(), pWidget->minimumSizeHint().height()};
    if (qobject_cast<QLineEdit*>(pWidget))
        return {0, pWidget->minimumSizeHint().height()};
    if (qobject_cast<CSelColor*>(pWidget))
        return pWidget->sizeHint();
    return {};
}

} // namespace

CDialogEx::CDialogEx(const QString& strCaption, int nWidth, int nHeight, QWidget* pParent)
    : QDialog(pParent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_clrBackground(g_SetObj.m_clrBackground), m_nWidthUnits(nWidth), m_nHeightUnits(nHeight) {
    setWindowTitle(strCaption);
    setModal(true);
}

int CDialogEx::DoModal() {
    return exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}

bool CDialogEx::UpdateData(bool bSaveAndValidate) {
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(dx);
    return !dx.Failed();
}

QWidget* CDialogEx::GetDlgItem(int nId) const {
    return findChild<QWidget*>(QString::number(nId), Qt::FindDirectChildrenOnly);
}

void CDialogEx::setVisible(bool bVisible) {
    if (bVisible && !m_bInitDone) {
        m_bInitDone = true;
        ApplyBackground();
        LayoutControls();
        OnInitDialog();
    }
    QDialog::setVisible(bVisible);
}

void CDialogEx::reject() {
    OnCancel();
}

bool CDialogEx::OnInitDialog() {
    UpdateData(false);
    return true;
}

void CDialogEx::DoDataExchange(CDataExchange&) {}

void CDialogEx::OnOK() {
    if (UpdateData(true))
        done(QDialog::Accepted);
}

void CDialogEx::OnCancel() {
    QDialog::reject();
}

QLabel* CDialogEx::AddStatic(const QString& strText, const QRect& rc, int nId) {
    auto* pLabel = new QLabel(strText, this);
    pLabel->setTextFormat(Qt::PlainText);
    return AddControl(pLabel, nId, rc);
}

QPushButton* CDialogEx::AddButton(const QString& strText, int nId, const QRect& rc) {
    auto* pButton = new QPushButton(strText, this);
    if (nId == IDOK) {
        pButton->setDefault(true);
        connect(pButton, &QPushButton::clicked, this, [this] { OnOK(); });
    } else if (nId == IDCANCEL) {
        connect(pButton, &QPushButton::clicked, this, [this] { reject(); });
    }
    return AddControl(pButton, nId, rc);
}

QCheckBox* CDialogEx::AddCheckBox(const QString& strText, int nId, const QRect& rc) {
    return AddControl(new QCheckBox(strText, this), nId, rc);
}

QRadioButton* CDialogEx::AddRadioButton(const QString& strText, int nId, const QRect& rc) {
    return AddControl(new QRadioButton(strText, this), nId, rc);
}

QGroupBox* CDialogEx::AddGroupBox(const QString& strText, const QRect& rc) {
    return AddControl(new QGroupBox(strText, this), -1, rc);
}

QLineEdit* CDialogEx::AddEdit(int nId, const QRect& rc) {
    return AddControl(new QLineEdit(this), nId, rc);
}

void CDialogEx::Register(QWidget* pWidget, int nId, const QRect& rc) {
    pWidget->setParent(this);
    if (nId >= 0)
        pWidget->setObjectName(QString::number(nId));
    // Controls join the tab order in the order they are added, which is their parent's
    // child order; a control added after another is also drawn above it.
    m_arControls.push_back({pWidget, rc});
}

void CDialogEx::ApplyBackground() {
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ColorFromRef(m_clrBackground));
    setPalette(pal);
    setAutoFillBackground(true);
}

void CDialogEx::ComputeBaseUnits() {
    ensurePolished();
    const QFontMetricsF fm(font());
    const double dAlphabet = fm.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_dBaseX = std::max(1.0, dAlphabet / 52.0);
    m_dBaseY = std::max(1.0, fm.height());
    // A font whose captions run wider or taller than the dialog units allow grows the units,
    // so every control keeps its place relative to the others and no caption is cut.
    for (const SControl& control : m_arControls) {
        if (control.m_rcUnits.width() > 0) {
            const int nNeed = CaptionNeed(control.m_pWidget, 0).width();
            m_dBaseX = std::max(m_dBaseX, nNeed * 4.0 / control.m_rcUnits.width());
        }
    }
    for (const SControl& control : m_arControls) {
        if (control.m_rcUnits.height() > 0) {
            const int nWidth = MapDialogRect(control.m_rcUnits).width();
            const int nNeed = CaptionNeed(control.m_pWidget, nWidth).height();
            m_dBaseY = std::max(m_dBaseY, nNeed * 8.0 / control.m_rcUnits.height());
        }
    }
}

QRect CDialogEx::MapDialogRect(const QRect& rc) const {
    auto x = [this](int n) { return int(std::ceil(n * m_dBaseX / 4.0 - 1e-9)); };
    auto y = [this](int n) { return int(std::ceil(n * m_dBaseY / 8.0 - 1e-9)); };
    const int nLeft = x(rc.x()), nTop = y(rc.y());
    return QRect(nLeft, nTop, x(rc.x() + rc.width()) - nLeft, y(rc.y() + rc.height()) - nTop);
}

void CDialogEx::LayoutControls() {
    ComputeBaseUnits();
    QSize size = MapDialogRect(QRect(0, 0, m_nWidthUnits, m_nHeightUnits)).size();
    // A dialog larger than the screen (a large desktop font on a small screen) would leave
    // its buttons out of reach: its font is made smaller, step by step, until it fits. The
    // controls keep their places relative to each other and their captions stay whole.
    const QSize room = ScreenRoom();
    if (!m_bFitting && !room.isEmpty()) {
        m_bFitting = true;
        for (int nStep = 0; nStep < MAX_FIT_STEPS && !FitsIn(size, room); ++nStep) {
            QFont smaller = font();
            const double dRatio =
                qMin(double(room.width()) / size.width(), double(room.height()) / size.height());
            const double dFactor = qBound(0.5, dRatio, 0.95);
            if (smaller.pointSizeF() > 0) {
                if (smaller.pointSizeF() <= MIN_FIT_POINTS)
                    break;
                smaller.setPointSizeF(qMax(MIN_FIT_POINTS, smaller.pointSizeF() * dFactor));
            } else {
                if (smaller.pixelSize() <= MIN_FIT_PIXELS)
                    break;
                smaller.setPixelSize(qMax(MIN_FIT_PIXELS, int(smaller.pixelSize() * dFactor)));
            }
            setFont(smaller);
            ComputeBaseUnits();
            size = MapDialogRect(QRect(0, 0, m_nWidthUnits, m_nHeightUnits)).size();
        }
        m_bFitting = false;
    }
    for (const SControl& control : m_arControls)
        control.m_pWidget->setGeometry(MapDialogRect(control.m_rcUnits));
    setFixedSize(size);
}

QSize CDialogEx::ScreenRoom() const {
    const QWidget* pParent = parentWidget();
    QScreen* pScreen = pParent && pParent->screen() ? pParent->screen() : screen();
    if (!pScreen)
        pScreen = QGuiApplication::primaryScreen();
    if (!pScreen)
        return {};
    // Room for the window's frame and title bar, which are not the dialog's own.
    const int nTitle = 2 * QFontMetrics(font()).height();
    return pScreen->availableGeometry().size() - QSize(FRAME_ALLOWANCE, FRAME_ALLOWANCE + nTitle);
}

bool CDialogEx::FitsIn(const QSize& size, const QSize& room) {
    return size.width() <= room.width() && size.height() <= room.height();
}

void CDialogEx::changeEvent(QEvent* pEvent) {
    QDialog::changeEvent(pEvent);
    if (pEvent->type() == QEvent::FontChange && m_bInitDone && !m_bFitting)
        LayoutControls();
}
