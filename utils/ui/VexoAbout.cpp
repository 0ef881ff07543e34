#include "utils/ui/VexoAbout.h"

#include <QDialogButtonBox>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

#ifndef HW_VERSION
#define HW_VERSION "0.0"
#endif

namespace {

QColor ToQColor(COLORREF clr) {
    return QColor(int(clr & 0xFF), int((clr >> 8) & 0xFF), int((clr >> 16) & 0xFF));
}

QLabel* AddLabel(QVBoxLayout* pLayout, const QString& strText, const char* pName) {
    auto* pLabel = new QLabel(strText);
    pLabel->setObjectName(QLatin1String(pName));
    pLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    pLabel->setWordWrap(true);
    pLayout->addWidget(pLabel);
    return pLabel;
}

} // namespace

CVexoAboutDlg::CVexoAboutDlg(const QString& strExePath, COLORREF clrLook, QWidget* pParent)
    : QDialog(pParent) {
    setObjectName(QStringLiteral("AboutDlg"));
    setWindowTitle(QStringLiteral("About Hivewatch"));
    const QColor clrBack = ToQColor(clrLook);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, clrBack);
    pal.setColor(QPalette::WindowText, clrBack.lightness() < 128 ? Qt::white : Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);

    auto* pLayout = new QVBoxLayout(this);
    auto* pIcon = new QLabel;
    pIcon->setPixmap(QIcon(QStringLiteral(":/icons/hivewatch.svg")).pixmap(48, 48));
    pLayout->addWidget(pIcon, 0, Qt::AlignHCenter);
    QLabel* pName = AddLabel(pLayout, QStringLiteral("Hivewatch"), "Name");
    QFont font = pName->font();
    font.setPointSizeF(font.pointSizeF() * 1.5);
    font.setBold(true);
    pName->setFont(font);
    pName->setAlignment(Qt::AlignHCenter);
    AddLabel(pLayout, QStringLiteral("Version %1").arg(QLatin1String(HW_VERSION)), "Version")
        ->setAlignment(Qt::AlignHCenter);
    AddLabel(pLayout, QStringLiteral("A registry-activity monitor."), "Purpose")
        ->setAlignment(Qt::AlignHCenter);
    AddLabel(pLayout, QStringLiteral("Program: %1").arg(strExePath), "ExePath");
    auto* pSwatch = new QFrame;
    pSwatch->setFrameShape(QFrame::Box);
    pSwatch->setFixedSize(16, 16);
    QPalette swatch = pSwatch->palette();
    swatch.setColor(QPalette::Window, clrBack);
    pSwatch->setPalette(swatch);
    pSwatch->setAutoFillBackground(true);
    auto* pColourRow = new QHBoxLayout;
    pColourRow->addWidget(new QLabel(QStringLiteral("Look colour:")));
    pColourRow->addWidget(pSwatch);
    auto* pColour = new QLabel(QStringLiteral("RGB(%1, %2, %3)")
                                   .arg(clrBack.red())
                                   .arg(clrBack.green())
                                   .arg(clrBack.blue()));
    pColour->setObjectName(QStringLiteral("LookColour"));
    pColourRow->addWidget(pColour);
    pColourRow->addStretch();
    pLayout->addLayout(pColourRow);
    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    pLayout->addWidget(pButtons);
}

void VexoAbout(const QString& strExePath, COLORREF clrLook, QWidget* pParent) {
    CVexoAboutDlg dlg(strExePath, clrLook, pParent);
    dlg.exec();
}
