// The base of the program's dialogs: a background colour, controls placed in dialog units that
// grow with the font, and the data exchange between the controls and the dialog's members.
#pragma once

#include "utils/ui/ColorRef.h"

#include <QDialog>
#include <QRect>

#include <vector>

class CDataExchange;
class QAbstractButton;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

class CDialogEx : public QDialog {
    Q_OBJECT
public:
    // A dialog of nWidth x nHeight dialog units with the given caption, without a close box.
    CDialogEx(const QString& strCaption, int nWidth, int nHeight, QWidget* pParent = nullptr);

    // Shows the dialog modally; IDOK or IDCANCEL.
    int DoModal();
    // Controls to members (bSaveAndValidate) or members to controls. False when a control
    // held something its member cannot take; the user has then been told.
    bool UpdateData(bool bSaveAndValidate = true);
    // The control whose object name is the ID, or nullptr.
    QWidget* GetDlgItem(int nId) const;

    // Dialog units to pixels with the current font (x: a quarter of the average character
    // width, y: an eighth of the character height), after any growth that keeps captions whole.
    QRect MapDialogRect(const QRect& rcDialogUnits) const;
    double BaseUnitX() const { return m_dBaseX; }

    // Painted behind the dialog, its labels, check boxes, radio buttons and group boxes;
    // the caller sets it before showing the dialog.
    COLORREF m_clrBackground;

    void setVisible(bool bVisible) override;
    void reject() override;

protected:
    // Runs once, just before the dialog is first shown. The base fills the controls from the
    // members; overrides call it first.
    virtual bool OnInitDialog();
    virtual void DoDataExchange(CDataExchange& dx);
    // The default button: controls to members, then the dialog closes with IDOK.
    virtual void OnOK();
    // Escape and Cancel: the dialog closes with IDCANCEL, nothing is read back.
    virtual void OnCancel();

    // Controls are added in tab order; each carries its ID as object name (none: -1).
    template <class T> T* AddControl(T* pWidget, int nId, const QRect& rcDialogUnits) {
        Register(pWidget, nId, rcDialogUnits);
        return pWidget;
    }
    QLabel* AddStatic(const QString& strText, const QRect& rc, int nId = -1);
    QPushButton* AddButton(const QString& strText, int nId, const QRect& rc);
    QCheckBox* AddCheckBox(const QString& strText, int nId, const QRect& rc);
    QRadioButton* AddRadioButton(const QString& strText, int nId, const QRect& rc);
    QGroupBox* AddGroupBox(const QString& strText, const QRect& rc);
    QLineEdit* AddEdit(int nId, const QRect& rc);

    void changeEvent(QEvent* pEvent) override;

private:
    struct SControl {
        QWidget* m_pWidget;
        QRect m_rcUnits;
    };
    void Register(QWidget* pWidget, int nId, const QRect& rc);
    void ApplyBackground();
    void LayoutControls();
    void ComputeBaseUnits();
    // The dialog's room on its screen, less its window frame; empty without a screen.
    QSize ScreenRoom() const;
    static bool FitsIn(const QSize& size, const QSize& room);

    static constexpr int MAX_FIT_STEPS = 12;
    static constexpr double MIN_FIT_POINTS = 6.0;
    static constexpr int MIN_FIT_PIXELS = 8;
    static constexpr int FRAME_ALLOWANCE = 16;

    int m_nWidthUnits;
    int m_nHeightUnits;
    std::vector<SControl> m_arControls;
    double m_dBaseX = 6;
    double m_dBaseY = 13;
    bool m_bInitDone = false;
    bool m_bFitting = false; // the font is being made smaller to fit the screen
};
