#include "dialogs/Commands.h"

#include "dialogs/RegChangesDlg.h"
#include "store/HivewatchDoc.h"

#include <QApplication>

void RunRegistryChangesCommand(QWidget* pParent, const CHivewatchDoc& doc,
                               const std::vector<long long>* pShownIndices) {
    const QString strScope = pShownIndices
                                 ? QStringLiteral("the %1 events shown").arg(pShownIndices->size())
                                 : QStringLiteral("all %1 events").arg(doc.GetRecordCount());
    // Millions of records take a moment, while the capture waits for the record lock.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::unique_ptr<CRegChanges> pChanges = CRegChanges::FromDocument(doc, pShownIndices);
    QApplication::restoreOverrideCursor();
    CRegChangesDlg dlg(std::move(pChanges), strScope, pParent);
    dlg.exec();
}
