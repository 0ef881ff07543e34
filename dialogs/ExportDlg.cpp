#include "dialogs/ExportDlg.h"

#include "dialogs/DataExchange.h"
#include "dialogs/FileChooser.h"
#include "dialogs/UserMessage.h"
#include "settings/SetObj.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSettings>

namespace {

enum {
    IDC_FILE_NAME = 1038,
    IDC_BROWSE = 1039,
    IDC_ALL_RECORDS = 1041,
    IDC_WRITE_RECORDS = 1042,
    IDC_MODIFIED_RECORDS = 1043,
    IDC_SHOWN_RECORDS = 1044,
};

} // namespace

CExportDlg::CExportDlg(QWidget* pParent) : CDialogEx(QStringLiteral("Export"), 252, 114, pParent) {
    AddStatic(QStringLiteral("File Name:"), {7, 10, 40, 8});
    AddEdit(IDC_FILE_NAME, {50, 7, 140, 14});
    auto* pBrowse = AddButton(QStringLiteral("Browse..."), IDC_BROWSE, {195, 7, 50, 14});
    // The radio buttons are the dialog's only ones: one group.
    AddRadioButton(QStringLiteral("All Records"), IDC_ALL_RECORDS, {14, 30, 200, 10});
    AddRadioButton(QStringLiteral("Records with Write Operation"), IDC_WRITE_RECORDS,
                   {14, 44, 200, 10});
    AddRadioButton(QStringLiteral("Records Modified the Registry Table"), IDC_MODIFIED_RECORDS,
                   {14, 58, 200, 10});
    AddRadioButton(QStringLiteral("Events shown"), IDC_SHOWN_RECORDS, {14, 72, 200, 10});
    AddButton(QStringLiteral("Export"), IDOK, {140, 93, 50, 14});
    AddButton(QStringLiteral("Cancel"), IDCANCEL, {195, 93, 50, 14});
    connect(pBrowse, &QPushButton::clicked, this, &CExportDlg::OnBrowse);
}

bool CExportDlg::OnInitDialog() {
    CDialogEx::OnInitDialog();
    const bool bShown = QSettings().value(QLatin1String(EXPORT_SHOWN_KEY)).toBool();
    m_nSelection = bShown ? SELECTION_SHOWN : g_SetObj.m_nExportScope;
    UpdateData(false);
    return true;
}

void CExportDlg::DoDataExchange(CDataExchange& dx) {
    dx.Text(IDC_FILE_NAME, m_strFileName);
    dx.Radio({IDC_ALL_RECORDS, IDC_WRITE_RECORDS, IDC_MODIFIED_RECORDS, IDC_SHOWN_RECORDS},
             m_nSelection);
}

void CExportDlg::OnBrowse() {
    const QString strPath = ChooseFile(this, QString::fromLatin1(CSV_FILE_FILTER), true);
    if (strPath.isEmpty())
        return;
    // Only the name changes: a selection the user made meanwhile stays.
    m_strFileName = strPath;
    static_cast<QLineEdit*>(GetDlgItem(IDC_FILE_NAME))->setText(m_strFileName);
}

void CExportDlg::OnOK() {
    UpdateData(true);
    if (m_strFileName.isEmpty()) {
        ShowMessage(this, QStringLiteral("FileName is empty!"), MSG_WARNING);
        return;
    }
    const bool bShown = m_nSelection == SELECTION_SHOWN;
    QSettings().setValue(QLatin1String(EXPORT_SHOWN_KEY), bShown);
    if (!bShown)
        g_SetObj.m_nExportScope = m_nSelection;
    CDialogEx::OnOK();
}
