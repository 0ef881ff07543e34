#include "app/HivewatchDocLink.h"

#include "platform/FileNames.h"
#include "store/HivewatchDoc.h"

#include <QFileInfo>

bool CHivewatchDocLink::OnNewDocument() {
    return m_pDoc->OnNewDocument();
}

bool CHivewatchDocLink::OnOpenDocument(const QString& strPath, QString* pStrError) {
    if (!m_pProgressWindow)
        return m_pDoc->OnOpenDocument(strPath, pStrError);
    CWorkProgress progress(
        m_pProgressWindow, QStringLiteral("Open"),
        PlatformReadableFileName(
            QStringLiteral("Opening %1...").arg(QFileInfo(strPath).fileName().left(120))),
        m_nProgressDelayMs);
    return m_pDoc->OnOpenDocument(strPath, pStrError, [&](long long nDone, long long nTotal) {
        return progress.Continue(nDone, nTotal);
    });
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
