// "Open New Program": the program the next capture launches and watches, and "Capture now".
#pragma once

#include "dialogs/DialogEx.h"

class CNewProgramDlg : public CDialogEx {
    Q_OBJECT
public:
    explicit CNewProgramDlg(QWidget* pParent = nullptr);

    QString m_strProgramFile;
    QString m_strParameter;
    int32_t m_bCaptureNow = 0;

protected:
    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange& dx) override;
    void OnOK() override; // stores the program and selects the launched-program scope
    void OnBrowse();
};

// The chooser's filter; programs without an extension are offered as well.
inline constexpr const char* PROGRAM_FILE_FILTER = "EXE Files (*.exe)|*.exe|All Files (*.*)|*.*||";
