// The capture document as the document/view glue sees it.
#pragma once

#include "display/WorkProgress.h"
#include "framework/DocumentLink.h"

class CHivewatchDoc;
class QWidget;

class CHivewatchDocLink : public IDocumentLink {
public:
    explicit CHivewatchDocLink(CHivewatchDoc* pDoc) : m_pDoc(pDoc) {}

    bool OnNewDocument() override;
    // A long open shows its progress, with Cancel, over the window set here (after a moment,
    // nProgressDelayMs), and the rows read so far as it goes.
    bool OnOpenDocument(const QString& strPath, QString* pStrError) override;
    bool OnSaveDocument(const QString& strPath, QString* pStrError) override;
    bool IsModified() const override;
    void SetModifiedFlag(bool bModified) override;

    void SetProgressWindow(QWidget* pWindow) { m_pProgressWindow = pWindow; }
    void SetProgressDelay(int nMs) { m_nProgressDelayMs = nMs; }

private:
    CHivewatchDoc* m_pDoc;
    QWidget* m_pProgressWindow = nullptr;
    int m_nProgressDelayMs = CWorkProgress::DEFAULT_DELAY_MS;
};
