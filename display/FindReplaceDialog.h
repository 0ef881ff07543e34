// The modeless Find dialog: tells its owner the search text, direction and match options.
#pragma once

#include "dialogs/DialogEx.h"

// Flags of a notification, as the system's common Find dialog sets them.
enum EFindFlags : unsigned {
    FR_DOWN = 0x1,
    FR_WHOLEWORD = 0x2,
    FR_MATCHCASE = 0x4,
    FR_FINDNEXT = 0x8,
    FR_DIALOGTERM = 0x40,
};

// Control IDs, those of the common Find dialog.
enum EFindControls {
    IDC_FIND_WHAT = 1152,
    IDC_FIND_WHOLE_WORD = 1040,
    IDC_FIND_MATCH_CASE = 1041,
    IDC_FIND_UP = 1056,
    IDC_FIND_DOWN = 1057,
};

// Find only (no replace). Find Next (also Enter) sends FindReplace with FR_FINDNEXT and leaves
// the dialog open; Cancel, Escape and the close box send it once more with FR_DIALOGTERM and
// close the dialog, which then deletes itself. The owner sets m_clrBackground before Create.
class CFindReplaceDialog : public CDialogEx {
    Q_OBJECT
public:
    explicit CFindReplaceDialog(QWidget* pParentWnd);

    // Fills the controls from strFindWhat and nFlags (FR_DOWN, FR_MATCHCASE, FR_WHOLEWORD)
    // and shows the dialog without blocking its owner.
    void Create(const QString& strFindWhat, unsigned nFlags);

    QString GetFindString() const;
    bool SearchDown() const;
    bool MatchCase() const;
    bool MatchWholeWord() const;
    // FR_DOWN, FR_MATCHCASE and FR_WHOLEWORD as the controls stand.
    unsigned GetOptionFlags() const;

signals:
    // The notice to the owner: the text in "Find what:" and the flags.
    void FindReplace(const QString& strFindWhat, unsigned nFlags);

protected:
    void OnOK() override;     // Find Next
    void OnCancel() override; // closes and deletes the dialog

private:
    void UpdateFindNext();

    QLineEdit* m_pEditFind;
    QCheckBox* m_pCheckWholeWord;
    QCheckBox* m_pCheckMatchCase;
    QRadioButton* m_pRadioUp;
    QRadioButton* m_pRadioDown;
    QPushButton* m_pButtonFindNext;
    bool m_bTerminating = false;
};
