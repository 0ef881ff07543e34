// Writes the document's records to a CSV file: the header line, then one line per record.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>

class CHivewatchDoc;
class CRegInfoObj;
struct SRecordView;

inline constexpr const char* CSV_HEADER =
    "Seq,Time,ProcessName,PID,Request,Path,OldValue,NewValue\r\n";

// Whether a record goes into an export of the given scope (EXPORT_ALL, EXPORT_WRITE,
// EXPORT_MODIFIED; any other value exports everything).
bool IsRecordExported(const CRegInfoObj& record, int nExportScope);
// The same for a stored record.
bool IsRecordViewExported(const SRecordView& v, int nExportScope);

struct SExportResult {
    bool bOk = false;
    bool bCancelled = false; // the progress callback asked to stop
    bool bCreated = false;   // the file could be created; a failure came later, while writing
    int64_t nRecords = 0;    // lines written after the header
    int nCause = 0;          // the framework's file-error cause number of a failure
    QString strError;        // what failed, naming the file and the cause in words
};

// Called about ten times a second (and at least every 100000 records) with the records
// walked so far and the document's record count; returning false cancels the export.
using ExportProgressFn = std::function<bool(int64_t nDone, int64_t nTotal)>;

// Writes the file in the narrow code page, oldest record first, into a temporary file beside
// it that replaces the old file only when everything was written; a failure or a cancel
// leaves the old file as it was. The record lock is held for the whole walk, so the capture
// waits and then goes on. bShownOnly: only the records the event list shows (those its
// display filter passes) are walked; the scope then narrows them further.
SExportResult ExportCsv(const CHivewatchDoc& doc, const QString& strPath, int nExportScope);
SExportResult ExportCsv(const CHivewatchDoc& doc, const QString& strPath, int nExportScope,
                        const ExportProgressFn& fnProgress, bool bShownOnly = false);
