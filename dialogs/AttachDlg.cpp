#include "dialogs/AttachDlg.h"

#include "dialogs/DataExchange.h"
#include "dialogs/ProcessSelDlg.h"
#include "settings/SetObj.h"

#include <QLineEdit>
#include <QPushButton>

namespace {

enum { IDC_PROCESS = 1003, IDC_BROWSE = 1004, IDC_CAPTURE_NOW = 1029 };

} // namespace

QString ProcessText(const QString& strName, int32_t nPid) {
    return QStringLiteral("%1/PID:%2").arg(strName).arg(nPid);
}

CAttachDlg::CAttachDlg(QWidget* pParent)
    : CDialogEx(QStringLiteral("Attach to Running Program"), 226, 74, pParent) {
    AddEdit(IDC_PROCESS, {41, 7, 121, 14})->setReadOnly(true);
    auto* pBrowse = AddButton(QStringLiteral("Browse"), IDC_BROWSE, {169, 6, 50, 14});
    AddCheckBox(QStringLiteral("Capture now"), IDC_CAPTURE_NOW, {7, 28, 57, 10});
    AddButton(QStringLiteral("Attach"), IDOK, {115, 53, 50, 14});
    AddButton(QStringLiteral("Cancel"), IDCANCEL, {169, 53, 50, 14});
    AddStatic(QStringLiteral("Process"), {9, 8, 26, 8});
    connect(pBrowse, &QPushButton::clicked, this, &CAttachDlg::OnBrowse);
}

bool CAttachDlg::OnInitDialog() {
    CDialogEx::OnInitDialog();
    m_strProcessName = g_SetObj.m_strAttachName;
    m_nProcessId = g_SetObj.m_nAttachPid;
    m_bCaptureNow = g_SetObj.m_bAttachCaptureNow;
    if (!m_strProcessName.isEmpty())
        m_strProcessText = ProcessText(m_strProcessName, m_nProcessId);
    UpdateData(false);
    return true;
}

void CAttachDlg::DoDataExchange(CDataExchange& dx) {
    dx.Text(IDC_PROCESS, m_strProcessText);
    dx.Check(IDC_CAPTURE_NOW, m_bCaptureNow);
}

void CAttachDlg::OnBrowse() {
    UpdateData(true); // keeps the check box as the user left it
    CProcessSelDlg dlg(this);
    dlg.m_clrBackground = g_SetObj.m_clrBackground;
    if (dlg.DoModal() != IDOK)
        return;
    m_strProcessName = dlg.m_strProcessName;
    m_nProcessId = dlg.m_nProcessId;
    m_strProcessText = ProcessText(m_strProcessName, m_nProcessId);
    UpdateData(false);
}

void CAttachDlg::OnOK() {
    UpdateData(true);
    g_SetObj.m_strAttachName = m_strProcessName;
    g_SetObj.m_nAttachPid = m_nProcessId;
    g_SetObj.m_bAttachCaptureNow = m_bCaptureNow;
    g_SetObj.StoreCaptureScope(SCOPE_ATTACHED);
    CDialogEx::OnOK();
}
