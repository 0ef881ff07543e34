// The Export dialog: the CSV file to write and which records go into it.
#pragma once

#include "dialogs/DialogEx.h"

class CExportDlg : public CDialogEx {
    Q_OBJECT
public:
    explicit CExportDlg(QWidget* pParent = nullptr);

    // "Events shown": the records the event list shows. The choice is kept in the program's
    // own settings (the settings file keeps the last of the three others as it always has).
    static constexpr int32_t SELECTION_SHOWN = 3;

    QString m_strFileName;
    int32_t m_nSelection = 0; // EXPORT_ALL, EXPORT_WRITE, EXPORT_MODIFIED or SELECTION_SHOWN

protected:
    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange& dx) override;
    void OnOK() override; // refuses an empty name, remembers the selection
    void OnBrowse();
};

inline constexpr const char* CSV_FILE_FILTER = "csv(*.csv)|*.csv|All Files (*.*)|*.*||";
// Where the choice of "Events shown" is kept (QSettings).
inline constexpr const char* EXPORT_SHOWN_KEY = "Export/EventsShown";
