#include "dialogs/ExportWriter.h"

#include "capture/CsvExport.h"

SExportOutcome WriteCsv(const CHivewatchDoc& doc, const QString& strPath, int nExportScope,
                        const ExportProgress& fnProgress) {
    const SExportResult result = ExportCsv(doc, strPath, nExportScope);
    SExportOutcome outcome;
    outcome.m_nRecords = result.nRecords;
    outcome.m_strWhy = result.strError;
    if (result.bOk)
        outcome.m_nStatus = SExportOutcome::EXPORT_FINISHED;
    else if (result.strError.startsWith(QStringLiteral("File could not be created")))
        outcome.m_nStatus = SExportOutcome::EXPORT_NOT_CREATED;
    else
        outcome.m_nStatus = SExportOutcome::EXPORT_NOT_WRITTEN;
    outcome.m_nCause = 1;
    return outcome;
}
