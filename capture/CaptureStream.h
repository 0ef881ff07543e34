// Writes a capture's records to its files while they arrive, so the files are complete a moment
// after the capture ends.
#pragma once

#include "capture/CsvLineWriter.h"
#include "platform/WriteBehindFile.h"
#include "platform/SafeFile.h"

#include <QString>

#include <cstdint>
#include <memory>

class CArchive;
class CHivewatchDoc;

// The .hvw file gets a count that is patched in at the end, then every record as it is filed;
// the CSV file its header, then the line of every record the export scope takes. Both are
// exactly the files a save and an export of the document at the end would write, as long as
// the document keeps every record (nothing trimmed from its head, no Clear, no Open): once it
// does not, the stream stops (Diverged) and the caller saves the usual way. The records are
// read under the record lock, a few thousand at a time, into buffers that are written outside
// it, so the capture thread never waits for the disk; a thread of each file's own copies them
// into it, so the reading goes on meanwhile. Files are replaced only whole (the checked atomic
// writer).
class CCaptureStream {
public:
    static constexpr long long RECORDS_PER_HOLD = 8192;

    // An empty path: no such file.
    CCaptureStream(const CHivewatchDoc& doc, QString strHvw, QString strCsv, int nExportScope);
    ~CCaptureStream();

    // Creates the temporary files; false with the reason.
    bool Open(QString* pStrError);
    // From now on the records written go from the document (which must be the one this stream
    // reads), so that a long capture needs memory only for the records not yet written: for a
    // caller that has no other use for them. Only without a history depth, which must trim
    // the records the document keeps, not the ones written.
    void ReleaseWrittenRecords(CHivewatchDoc& doc) { m_pRelease = &doc; }
    // Writes the records filed since the last call. False once the stream has diverged from
    // the document or a write failed.
    bool WritePending();
    // Writes the rest, the count, flushes and puts the files in place. False when it could not:
    // Diverged() (nothing was replaced; save the usual way) or a write failed (ErrorText()).
    bool Finish();

    bool Diverged() const { return m_bDiverged; }
    QString ErrorText() const { return m_strError; }
    long long RecordsWritten() const { return m_nDone; }
    long long CsvLines() const { return m_nCsvLines; }

private:
    bool Fail(CSafeFile& file);
    // Waits for both files' queued bytes; false, failed with the cause, when a write failed.
    bool DrainFiles();
    void Discard();

    const CHivewatchDoc& m_doc;
    CHivewatchDoc* m_pRelease = nullptr; // the same document, when written records go
    QString m_strHvw, m_strCsv;
    int m_nExportScope;
    std::unique_ptr<CSafeFile> m_pHvw, m_pCsv;
    std::unique_ptr<CWriteBehindFile> m_pHvwBehind, m_pCsvBehind; // write to the two above
    std::unique_ptr<CArchive> m_pArchive;                         // over m_pHvwBehind
    std::unique_ptr<CCsvWriter> m_pCsvWriter;
    uint64_t m_nGeneration = 0;
    long long m_nDone = 0; // records written: positions 0 .. m_nDone - 1 in the document
    long long m_nCsvLines = 0;
    long long m_nSinceWriteback = 0;
    bool m_bDiverged = false;
    bool m_bFailed = false;
    QString m_strError;
};
