#include "framework/DocManager.h"

#include "framework/DocumentLink.h"
#include "framework/FileDialogs.h"
#include "platform/FileNames.h"
#include "platform/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

CDocManager::CDocManager(IDocumentLink* pDoc, const CDocTemplate& docTemplate, QObject* pParent)
    : QObject(pParent), m_pDoc(pDoc), m_template(docTemplate) {
    m_recentFiles.ReadList();
}

bool CDocManager::InitialNewDocument() {
    if (!m_pDoc->OnNewDocument())
        return false;
    m_pDoc->SetModifiedFlag(false);
    SetPathName(QString(), false);
    emit ContentsReplaced();
    return true;
}

bool CDocManager::OnFileNew() {
    if (!SaveModified())
        return false;
    return InitialNewDocument();
}

bool CDocManager::OnFileOpen() {
    const QString strPath = PromptForFileName(true);
    if (strPath.isEmpty())
        return false;
    return OpenDocumentFile(strPath);
}

bool CDocManager::OpenDocumentFile(const QString& strPath) {
    if (!SaveModified())
        return false;
    return OpenWithoutPrompt(strPath);
}

bool CDocManager::OpenWithoutPrompt(const QString& strPath) {
    // A file that cannot be opened is reported before the document is touched; a FIFO or
    // a device is refused without waiting on it.
    QString strWhy;
    if (!PlatformCanReadRegularFile(strPath, &strWhy)) {
        ReportError(QStringLiteral("Cannot open %1: %2.").arg(strPath, strWhy));
        m_recentFiles.Remove(strPath);
        m_recentFiles.WriteList();
        emit RecentFileListChanged();
        return false;
    }
    QString strError;
    if (!m_pDoc->OnOpenDocument(strPath, &strError)) {
        // The document now holds what could be read of the file; it is no longer that file,
        // so a later Save asks for a name instead of overwriting the damaged original.
        SetPathName(QString(), false);
        emit ContentsReplaced();
        ReportError(strError.isEmpty() ? QStringLiteral("Cannot read %1.").arg(strPath) : strError);
        return false;
    }
    m_pDoc->SetModifiedFlag(false);
    SetPathName(strPath, true);
    emit ContentsReplaced();
    return true;
}

bool CDocManager::OpenAsUntitled(const QString& strPath) {
    QString strError;
    const bool bRead = m_pDoc->OnOpenDocument(strPath, &strError);
    SetPathName(QString(), false);
    m_pDoc->SetModifiedFlag(true);
    emit ContentsReplaced();
    if (!bRead)
        ReportError(strError.isEmpty() ? QStringLiteral("Cannot read %1.").arg(strPath) : strError);
    return bRead;
}

bool CDocManager::OnFileSave() {
    return DoSave(m_strPathName);
}

bool CDocManager::OnFileSaveAs() {
    return DoSave(QString());
}

bool CDocManager::DoSave(const QString& strPathName) {
    QString strPath = strPathName;
    if (strPath.isEmpty()) {
        strPath = PromptForFileName(false);
        if (strPath.isEmpty())
            return false;
    }
    QString strError;
    if (!m_pDoc->OnSaveDocument(strPath, &strError)) {
        ReportError(strError.isEmpty() ? QStringLiteral("Cannot write %1.").arg(strPath)
                                       : strError);
        return false;
    }
    SetPathName(strPath, true);
    return true;
}

bool CDocManager::SaveModified() {
    if (!m_pDoc->IsModified())
        return true;
    const QString strName = m_strPathName.isEmpty() ? GetTitle() : m_strPathName;
    QMessageBox box(QMessageBox::Question, m_template.GetDocString(CDocTemplate::windowTitle),
                    PlatformReadableFileName(QStringLiteral("Save changes to %1?").arg(strName)),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, m_pDialogParent);
    box.setDefaultButton(QMessageBox::Yes);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return OnFileSave();
    case QMessageBox::No:
        return true;
    default:
        return false;
    }
}

QString CDocManager::GetTitle() const {
    if (m_strPathName.isEmpty())
        return m_template.GetUntitledTitle();
    return QFileInfo(m_strPathName).fileName();
}

QString CDocManager::GetCaption() const {
    return m_template.GetDocString(CDocTemplate::windowTitle) + QStringLiteral(" - ") +
           PlatformReadableFileName(GetTitle());
}

void CDocManager::SetPathName(const QString& strPath, bool bAddToRecent) {
    m_strPathName = PlatformAbsoluteFileName(strPath);
    if (bAddToRecent && !m_strPathName.isEmpty()) {
        m_recentFiles.Add(m_strPathName);
        m_recentFiles.WriteList();
        RememberFolder(m_strPathName);
        emit RecentFileListChanged();
    }
    emit TitleChanged(GetCaption());
}

void CDocManager::RememberFolder(const QString& strPath) {
    m_strLastFolder = QFileInfo(strPath).absolutePath();
}

void CDocManager::ReportError(const QString& strText) {
    QMessageBox box(QMessageBox::Warning, m_template.GetDocString(CDocTemplate::windowTitle),
                    PlatformReadableFileName(strText), QMessageBox::Ok, m_pDialogParent);
    box.exec();
}

QString CDocManager::PromptForFileName(bool bOpen) {
    const QString strFilter = m_template.GetFileDialogFilter() + QStringLiteral(";;All Files (*)");
    CFileDialog dialog(m_pDialogParent, bOpen ? QStringLiteral("Open") : QStringLiteral("Save As"),
                       QString(), strFilter);
    dialog.setObjectName(QStringLiteral("DocFileDialog"));
    dialog.setAcceptMode(bOpen ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(bOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setDefaultSuffix(m_template.GetExtension().mid(1));
    PrepareFileDialog(dialog, m_strLastFolder.isEmpty() ? QStringLiteral(".") : m_strLastFolder);
    if (!bOpen)
        dialog.selectFile(ShownFileName(m_template.WithDefaultExtension(GetTitle())));
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QString strPath = ChosenFileName(dialog);
    if (strPath.isEmpty())
        return {};
    RememberFolder(strPath);
    return bOpen ? strPath : m_template.WithDefaultExtension(strPath);
}
