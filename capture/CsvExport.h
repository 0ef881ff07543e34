// Writes the document's records to a CSV file: the header line, then one line per record.
#pragma once

#include <QString>

#include <cstdint>

class CHivewatchDoc;
class CRegInfoObj;

inline constexpr const char* CSV_HEADER =
    "Seq,Time,ProcessName,PID,Request,Path,OldValue,NewValue\r\n";

// Whether a record goes into an export of the given scope (EXPORT_ALL, EXPORT_WRITE,
// EXPORT_MODIFIED; any other value exports everything).
bool IsRecordExported(const CRegInfoObj& record, int nExportScope);

struct SExportResult {
    bool bOk = false;
    int64_t nRecords = 0; // lines written after the header
    QString strError;     // what failed, for the user
};

// Creates or empties the file and writes it in the narrow code page, oldest record first.
// The record lock is held for the whole walk, so the capture waits and then goes on.
SExportResult ExportCsv(const CHivewatchDoc& doc, const QString& strPath, int nExportScope);
