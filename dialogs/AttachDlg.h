// "Attach to Running Program": the process the next capture watches, and "Capture now".
#pragma once

#include "dialogs/DialogEx.h"

class CAttachDlg : public CDialogEx {
    Q_OBJECT
public:
    explicit CAttachDlg(QWidget* pParent = nullptr);

    QString m_strProcessName;
    int32_t m_nProcessId = 0;
    QString m_strProcessText; // "name/PID:id" as the Process box shows it, or empty
    int32_t m_bCaptureNow = 0;

protected:
    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange& dx) override;
    void OnOK() override; // stores the choice and selects the attached scope
    void OnBrowse();
};

// The Process box's text for a chosen process.
QString ProcessText(const QString& strName, int32_t nPid);
