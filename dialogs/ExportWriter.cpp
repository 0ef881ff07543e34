#include "dialogs/ExportWriter.h"

#include "capture/CsvExport.h"

SExportOutcome WriteCsv(const CHivewatchDoc& doc, const QString& strPath, int nExportScope,
                        const ExportProgress& fnProgress, bool bShownOnly) {
    const SExportResult result = ExportCsv(doc, strPath, nExportScope, fnProgress, bShownOnly);
    SExportOutcome outcome;
    outcome.m_nRecords = result.nRecords;
    outcome.m_nCause = result.nCause;
    outcome.m_strWhy = result.strError;
    if (result.bOk)
        outcome.m_nStatus = SExportOutcome::EXPORT_FINISHED;
    else if (result.bCancelled)
        outcome.m_nStatus = SExportOutcome::EXPORT_CANCELLED;
    else if (!result.bCreated)
        outcome.m_nStatus = SExportOutcome::EXPORT_NOT_CREATED;
    else
        outcome.m_nStatus = SExportOutcome::EXPORT_NOT_WRITTEN;
    return outcome;
}
