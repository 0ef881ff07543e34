// Every dialog at the desktop font and at one and a half and two times its size: no caption
// cut, no control outside the dialog, no two controls on top of each other; and the dialog's
// colour behind labels and check boxes.
#include "tests/dialogs/DialogTestSupport.h"

#include "dialogs/AttachDlg.h"
#include "dialogs/ExportDlg.h"
#include "dialogs/NewProgramDlg.h"
#include "dialogs/ProcessSelDlg.h"
#include "dialogs/RuleListDlg.h"
#include "settings/FilterOptionDlg.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include <memory>

namespace {

constexpr int DIALOG_KINDS = 7;

std::unique_ptr<CDialogEx> MakeDialog(int nKind) {
    switch (nKind) {
    case 0:
        return std::make_unique<CFilterOptionDlg>();
    case 1:
        return std::make_unique<CProcessSelDlg>();
    case 2:
        return std::make_unique<CAttachDlg>();
    case 3:
        return std::make_unique<CNewProgramDlg>();
    case 5:
        return std::make_unique<CRuleListDlg>(CRuleListDlg::MODE_FILTER);
    case 6:
        return std::make_unique<CRuleListDlg>(CRuleListDlg::MODE_HIGHLIGHT);
    default:
        return std::make_unique<CExportDlg>();
    }
}

// Why the control's caption does not show whole, or empty.
QString CaptionCut(QWidget* pWidget) {
    const QFontMetrics fm = pWidget->fontMetrics();
    const QSize size = pWidget->size();
    if (auto* pLabel = qobject_cast<QLabel*>(pWidget)) {
        const QRect rc = pLabel->contentsRect();
        if (pLabel->wordWrap())
            return pLabel->heightForWidth(rc.width()) > rc.height() ? pLabel->text() : QString();
        if (fm.horizontalAdvance(pLabel->text()) > rc.width() || fm.height() > rc.height())
            return pLabel->text();
    } else if (auto* pButton = qobject_cast<QPushButton*>(pWidget)) {
        if (fm.horizontalAdvance(pButton->text()) + 4 > size.width() || fm.height() > size.height())
            return pButton->text();
    } else if (auto* pButton = qobject_cast<QAbstractButton*>(pWidget)) {
        const QSize need = pButton->sizeHint();
        if (need.width() > size.width() || need.height() > size.height())
            return pButton->text();
    } else if (auto* pGroup = qobject_cast<QGroupBox*>(pWidget)) {
        if (fm.horizontalAdvance(pGroup->title()) > size.width())
            return pGroup->title();
    }
    return {};
}

class DialogLayout : public DialogTest, public ::testing::WithParamInterface<double> {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        m_font = QApplication::font();
        QFont font = m_font;
        font.setPointSizeF(m_font.pointSizeF() * GetParam());
        QApplication::setFont(font);
    }
    void TearDown() override {
        QApplication::setFont(m_font);
        DialogTest::TearDown();
    }

    QFont m_font;
};

TEST_P(DialogLayout, CaptionsShowWholeAndControlsKeepApart) {
    m_arProcesses = {{1, "init"}};
    for (int nKind = 0; nKind < DIALOG_KINDS; ++nKind) {
        std::unique_ptr<CDialogEx> pDlg = MakeDialog(nKind);
        pDlg->show();
        const std::string strDialog = pDlg->windowTitle().toStdString();
        std::vector<QWidget*> arControls;
        for (QWidget* pChild : pDlg->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (pChild->isVisible())
                arControls.push_back(pChild);
        EXPECT_GE(arControls.size(), 4u) << strDialog;
        for (QWidget* pControl : arControls) {
            EXPECT_EQ(CaptionCut(pControl), QString()) << strDialog;
            EXPECT_TRUE(pDlg->rect().contains(pControl->geometry())) << strDialog;
            for (QWidget* pOther : arControls) {
                if (pOther == pControl || qobject_cast<QGroupBox*>(pOther) ||
                    qobject_cast<QGroupBox*>(pControl))
                    continue;
                EXPECT_FALSE(pControl->geometry().intersects(pOther->geometry()))
                    << strDialog << ": " << pControl->objectName().toStdString() << " "
                    << pOther->objectName().toStdString();
            }
        }
    }
}

// However large the desktop font, every dialog fits its screen with its buttons in reach
// (Options at twice the font was 1,538 x 1,060 pixels on a 1,000-pixel screen).
TEST_P(DialogLayout, EveryDialogFitsTheScreen) {
    m_arProcesses = {{1, "init"}};
    for (int nKind = 0; nKind < DIALOG_KINDS; ++nKind) {
        std::unique_ptr<CDialogEx> pDlg = MakeDialog(nKind);
        pDlg->show();
        const QRect rcScreen = pDlg->screen()->availableGeometry();
        EXPECT_LE(pDlg->width(), rcScreen.width()) << pDlg->windowTitle().toStdString();
        EXPECT_LE(pDlg->height(), rcScreen.height()) << pDlg->windowTitle().toStdString();
        for (QPushButton* pButton : pDlg->findChildren<QPushButton*>())
            EXPECT_TRUE(pDlg->rect().contains(pButton->geometry()))
                << pButton->text().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(FontScale, DialogLayout, ::testing::Values(1.0, 1.5, 2.0));

TEST_F(DialogTest, LabelsAndCheckBoxesShowTheDialogColour) {
    CAttachDlg dlg;
    dlg.m_clrBackground = 0x1EC80A; // RGB(10, 200, 30)
    dlg.show();
    const QImage image = dlg.grab().toImage();
    const QColor colour(10, 200, 30);
    EXPECT_EQ(image.pixelColor(2, 2), colour);
    auto* pCheck = dlg.findChild<QCheckBox*>("1029");
    const QRect rcCheck = pCheck->geometry();
    EXPECT_EQ(image.pixelColor(rcCheck.right() - 1, rcCheck.top() + 1), colour);
    for (auto* pLabel : dlg.findChildren<QLabel*>())
        EXPECT_EQ(image.pixelColor(pLabel->geometry().topRight()), colour);
    auto* pEdit = dlg.findChild<QLineEdit*>("1003");
    EXPECT_NE(image.pixelColor(pEdit->geometry().center()), colour);
}

} // namespace
