// The capture document as the document/view glue sees it.
#pragma once

#include "framework/DocumentLink.h"

class CHivewatchDoc;

class CHivewatchDocLink : public IDocumentLink {
public:
    explicit CHivewatchDocLink(CHivewatchDoc* pDoc) : m_pDoc(pDoc) {}

    bool OnNewDocument() override;
    bool OnOpenDocument(const QString& strPath, QString* pStrError) override;
    bool OnSaveDocument(const QString& strPath, QString* pStrError) override;
    bool IsModified() const override;
    void SetModifiedFlag(bool bModified) override;

private:
    CHivewatchDoc* m_pDoc;
};
