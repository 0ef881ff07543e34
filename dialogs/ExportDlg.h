// The Export dialog: the CSV file to write and which records go into it.
#pragma once

#include "dialogs/DialogEx.h"

class CExportDlg : public CDialogEx {
    Q_OBJECT
public:
    explicit CExportDlg(QWidget* pParent = nullptr);

    QString m_strFileName;
    int32_t m_nSelection = 0; // EXPORT_ALL, EXPORT_WRITE, EXPORT_MODIFIED

protected:
    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange& dx) override;
    void OnOK() override; // refuses an empty name, remembers the selection
    void OnBrowse();
};

inline constexpr const char* CSV_FILE_FILTER = "csv(*.csv)|*.csv|All Files (*.*)|*.*||";
