// The one place the Export command meets the CSV writer: what happened, in the command's terms.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>

class CHivewatchDoc;

struct SExportOutcome {
    enum EStatus { EXPORT_FINISHED, EXPORT_CANCELLED, EXPORT_NOT_CREATED, EXPORT_NOT_WRITTEN };
    EStatus m_nStatus = EXPORT_NOT_CREATED;
    int m_nCause = 0; // the framework's file-error cause number of a failure
    QString m_strWhy; // the failure in words
    int64_t m_nRecords = 0;
};

// Called now and then with the records walked and the document's count; false cancels.
using ExportProgress = std::function<bool(int64_t nDone, int64_t nTotal)>;

// bShownOnly: the records the event list shows, rather than every record.
SExportOutcome WriteCsv(const CHivewatchDoc& doc, const QString& strPath, int nExportScope,
                        const ExportProgress& fnProgress, bool bShownOnly = false);
