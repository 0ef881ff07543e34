#include "dialogs/Commands.h"

#include "dialogs/AttachDlg.h"
#include "dialogs/ExportDlg.h"
#include "dialogs/NewProgramDlg.h"
#include "settings/FilterOptionDlg.h"
#include "settings/SetObj.h"

void RunOptionsCommand(QWidget* pParent) {
    CFilterOptionDlg dlg(pParent);
    dlg.m_clrBackground = g_SetObj.m_clrBackground;
    dlg.DoModal();
}

bool RunAttachCommand(QWidget* pParent) {
    CAttachDlg dlg(pParent);
    dlg.m_clrBackground = g_SetObj.m_clrBackground;
    return dlg.DoModal() == IDOK && dlg.m_bCaptureNow;
}

bool RunOpenNewProgramCommand(QWidget* pParent) {
    CNewProgramDlg dlg(pParent);
    dlg.m_clrBackground = g_SetObj.m_clrBackground;
    return dlg.DoModal() == IDOK && dlg.m_bCaptureNow;
}

void RunExportCommand(QWidget* pParent, const CHivewatchDoc& doc) {
    CExportDlg dlg(pParent);
    dlg.m_clrBackground = g_SetObj.m_clrBackground;
    if (dlg.DoModal() != IDOK)
        return;
    // "Events shown" writes every record the list shows; the others every record of their kind.
    const bool bShown = dlg.m_nSelection == CExportDlg::SELECTION_SHOWN;
    WriteExportFile(pParent, doc, dlg.m_strFileName,
                    bShown ? int(EXPORT_ALL) : g_SetObj.m_nExportScope, EXPORT_PROGRESS_THRESHOLD,
                    bShown);
}
