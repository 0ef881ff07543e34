#include "display/FindReplaceDialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

// The layout of the common Find dialog, in dialog units.
CFindReplaceDialog::CFindReplaceDialog(QWidget* pParentWnd)
    : CDialogEx(QStringLiteral("Find"), 236, 62, pParentWnd) {
    setObjectName(QStringLiteral("FindReplaceDialog"));
    // Modeless, with a close box, and the owner stays usable while it is open.
    setModal(false);
    setWindowFlag(Qt::WindowCloseButtonHint, true);

    QLabel* pLabel = AddStatic(QStringLiteral("Fi&nd what:"), QRect(4, 8, 42, 8));
    m_pEditFind = AddEdit(IDC_FIND_WHAT, QRect(47, 7, 128, 12));
    pLabel->setBuddy(m_pEditFind);
    m_pCheckWholeWord = AddCheckBox(QStringLiteral("Match &whole word only"), IDC_FIND_WHOLE_WORD,
                                    QRect(4, 26, 100, 12));
    m_pCheckMatchCase =
        AddCheckBox(QStringLiteral("Match &case"), IDC_FIND_MATCH_CASE, QRect(4, 42, 64, 12));
    AddGroupBox(QStringLiteral("Direction"), QRect(107, 26, 68, 28));
    m_pRadioUp = AddRadioButton(QStringLiteral("&Up"), IDC_FIND_UP, QRect(111, 38, 25, 12));
    m_pRadioDown = AddRadioButton(QStringLiteral("&Down"), IDC_FIND_DOWN, QRect(138, 38, 35, 12));
    m_pButtonFindNext = AddButton(QStringLiteral("&Find Next"), IDOK, QRect(182, 5, 50, 14));
    AddButton(QStringLiteral("Cancel"), IDCANCEL, QRect(182, 23, 50, 14));
    m_pRadioDown->setChecked(true);

    connect(m_pEditFind, &QLineEdit::textChanged, this, &CFindReplaceDialog::UpdateFindNext);
    UpdateFindNext();
}

void CFindReplaceDialog::Create(const QString& strFindWhat, unsigned nFlags) {
    m_pEditFind->setText(strFindWhat);
    m_pCheckWholeWord->setChecked(nFlags & FR_WHOLEWORD);
    m_pCheckMatchCase->setChecked(nFlags & FR_MATCHCASE);
    (nFlags & FR_DOWN ? m_pRadioDown : m_pRadioUp)->setChecked(true);
    show();
    raise();
    activateWindow();
    m_pEditFind->setFocus(Qt::OtherFocusReason);
    m_pEditFind->selectAll();
}

QString CFindReplaceDialog::GetFindString() const {
    return m_pEditFind->text();
}

bool CFindReplaceDialog::SearchDown() const {
    return m_pRadioDown->isChecked();
}

bool CFindReplaceDialog::MatchCase() const {
    return m_pCheckMatchCase->isChecked();
}

bool CFindReplaceDialog::MatchWholeWord() const {
    return m_pCheckWholeWord->isChecked();
}

unsigned CFindReplaceDialog::GetOptionFlags() const {
    return (SearchDown() ? FR_DOWN : 0u) | (MatchCase() ? FR_MATCHCASE : 0u) |
           (MatchWholeWord() ? FR_WHOLEWORD : 0u);
}

// An empty "Find what:" has nothing to find: Find Next (and so Enter) does nothing then.
void CFindReplaceDialog::UpdateFindNext() {
    m_pButtonFindNext->setEnabled(!m_pEditFind->text().isEmpty());
}

void CFindReplaceDialog::OnOK() {
    if (m_bTerminating || GetFindString().isEmpty())
        return;
    emit FindReplace(GetFindString(), FR_FINDNEXT | GetOptionFlags());
}

// Reached from Cancel, Escape and the close box (whose close event rejects the dialog).
void CFindReplaceDialog::OnCancel() {
    if (!m_bTerminating) {
        m_bTerminating = true;
        emit FindReplace(GetFindString(), FR_DIALOGTERM | GetOptionFlags());
    }
    CDialogEx::OnCancel();
    deleteLater();
}
