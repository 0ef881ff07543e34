#include "dialogs/NewProgramDlg.h"

#include "dialogs/DataExchange.h"
#include "dialogs/FileChooser.h"
#include "settings/SetObj.h"

#include <QPushButton>

namespace {

enum { IDC_FILE_NAME = 1005, IDC_PARAMETER = 1006, IDC_BROWSE = 1007, IDC_CAPTURE_NOW = 1030 };

} // namespace

CNewProgramDlg::CNewProgramDlg(QWidget* pParent)
    : CDialogEx(QStringLiteral("Open New Program"), 347, 78, pParent) {
    AddEdit(IDC_FILE_NAME, {46, 7, 238, 14});
    auto* pBrowse = AddButton(QStringLiteral("Browse"), IDC_BROWSE, {290, 7, 50, 14});
    AddEdit(IDC_PARAMETER, {46, 23, 238, 14});
    AddCheckBox(QStringLiteral("Capture now"), IDC_CAPTURE_NOW, {7, 45, 57, 10});
    AddButton(QStringLiteral("Open"), IDOK, {233, 56, 50, 14});
    AddButton(QStringLiteral("Cancel"), IDCANCEL, {290, 56, 50, 14});
    AddStatic(QStringLiteral("FileName"), {10, 10, 30, 8});
    AddStatic(QStringLiteral("Parameter"), {7, 28, 34, 8});
    connect(pBrowse, &QPushButton::clicked, this, &CNewProgramDlg::OnBrowse);
}

bool CNewProgramDlg::OnInitDialog() {
    CDialogEx::OnInitDialog();
    m_strProgramFile = g_SetObj.m_strNewProgram;
    m_strParameter = g_SetObj.m_strNewParams;
    m_bCaptureNow = g_SetObj.m_bNewCaptureNow;
    UpdateData(false);
    return true;
}

void CNewProgramDlg::DoDataExchange(CDataExchange& dx) {
    dx.Text(IDC_FILE_NAME, m_strProgramFile);
    dx.Text(IDC_PARAMETER, m_strParameter);
    dx.Check(IDC_CAPTURE_NOW, m_bCaptureNow);
}

void CNewProgramDlg::OnBrowse() {
    UpdateData(true); // keeps the typed parameters and the check box
    const QString strPath = ChooseFile(this, QString::fromLatin1(PROGRAM_FILE_FILTER), false, true);
    if (strPath.isEmpty())
        return;
    m_strProgramFile = strPath;
    UpdateData(false);
}

void CNewProgramDlg::OnOK() {
    UpdateData(true);
    g_SetObj.m_strNewProgram = m_strProgramFile;
    g_SetObj.m_strNewParams = m_strParameter;
    g_SetObj.m_bNewCaptureNow = m_bCaptureNow;
    g_SetObj.StoreCaptureScope(SCOPE_NEW_PROGRAM);
    CDialogEx::OnOK();
}
