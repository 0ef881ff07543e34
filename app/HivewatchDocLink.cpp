#include "app/HivewatchDocLink.h"

#include "store/HivewatchDoc.h"

bool CHivewatchDocLink::OnNewDocument() {
    return m_pDoc->OnNewDocument();
}

bool CHivewatchDocLink::OnOpenDocument(const QString& strPath, QString* pStrError) {
    return m_pDoc->OnOpenDocument(strPath, pStrError);
}

bool CHivewatchDocLink::OnSaveDocument(const QString& strPath, QString* pStrError) {
    return m_pDoc->OnSaveDocument(strPath, pStrError);
}

bool CHivewatchDocLink::IsModified() const {
    return m_pDoc->IsModified();
}

void CHivewatchDocLink::SetModifiedFlag(bool bModified) {
    m_pDoc->SetModifiedFlag(bModified);
}
