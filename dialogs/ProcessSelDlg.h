// The process picker "Attach to Process": the running processes by name and ID, one to choose.
#pragma once

#include "dialogs/DialogEx.h"
#include "platform/ProcessList.h"

#include <functional>
#include <vector>

class QTableWidget;

class CProcessSelDlg : public CDialogEx {
    Q_OBJECT
public:
    explicit CProcessSelDlg(QWidget* pParent = nullptr);

    // The choice after Attach; "" and 0 otherwise.
    QString m_strProcessName;
    int32_t m_nProcessId = 0;
    QTableWidget* m_wndProcList;

    // Lists the processes again, the one the system lists last at the top, and selects the
    // top row. A process whose executable cannot be read is left out.
    void FillProcessList();

    // Where the picker learns the running processes; tests list their own. An empty
    // function restores the system's list.
    using ListProcessesFn = std::function<bool(std::vector<SRunningProcess>&)>;
    static void SetProcessSource(ListProcessesFn fn);

protected:
    bool OnInitDialog() override;
    void OnOK() override; // Attach, Enter, double click
    void OnDblclkProcList();
    bool eventFilter(QObject* pObject, QEvent* pEvent) override;
};
