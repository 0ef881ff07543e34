// The document/view glue: New, Open, Save and Save As with the save prompt, the file dialogs,
// the caption, the recent-file list and the reports of files that cannot be read or written.
#pragma once

#include "framework/DocTemplate.h"
#include "framework/RecentFileList.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

class IDocumentLink;

class CDocManager : public QObject {
    Q_OBJECT
public:
    CDocManager(IDocumentLink* pDoc, const CDocTemplate& docTemplate, QObject* pParent = nullptr);

    // The window that owns the prompts and file dialogs.
    void SetDialogParent(QWidget* pParent) { m_pDialogParent = pParent; }

    // The document of a fresh start: emptied, untitled, unmodified; nothing is asked.
    bool InitialNewDocument();

    // File commands. Each returns true when it was carried out, false when the user
    // cancelled or it failed (the failure has been reported).
    bool OnFileNew();
    bool OnFileOpen();
    bool OnFileSave();
    bool OnFileSaveAs();
    // Opens a file named elsewhere (command line, recent files, a drop, another start):
    // asks to save a modified document first.
    bool OpenDocumentFile(const QString& strPath);

    // Reads a file into the document as a document of its own without a name (a capture
    // kept when the program was ended): untitled, modified, not in the recent files. False,
    // reported, when it could not be read whole; what could be read stays.
    bool OpenAsUntitled(const QString& strPath);

    // Asks "Save changes to ...?" when the document is modified: Yes saves (asking for a
    // name if it has none), No goes on, Cancel stops. True when the caller may go on.
    bool SaveModified();

    QString GetPathName() const { return m_strPathName; }
    // The file name, or "Untitled" for a document without a file.
    QString GetTitle() const;
    // "Hivewatch - " and the title.
    QString GetCaption() const;

    const CDocTemplate& GetDocTemplate() const { return m_template; }
    const CRecentFileList& GetRecentFileList() const { return m_recentFiles; }

signals:
    void TitleChanged(const QString& strCaption);
    // The document's contents were replaced (new, opened, or partly read from a damaged file).
    void ContentsReplaced();
    void RecentFileListChanged();

private:
    bool OpenWithoutPrompt(const QString& strPath);
    bool DoSave(const QString& strPathName);
    void SetPathName(const QString& strPath, bool bAddToRecent);
    void ReportError(const QString& strText);
    QString PromptForFileName(bool bOpen);
    void RememberFolder(const QString& strPath);

    IDocumentLink* m_pDoc;
    CDocTemplate m_template;
    CRecentFileList m_recentFiles;
    QPointer<QWidget> m_pDialogParent;
    QString m_strPathName;
    QString m_strLastFolder;
};
