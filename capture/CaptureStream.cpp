#include "capture/CaptureStream.h"

#include "capture/CsvExport.h"
#include "store/HivewatchDoc.h"
#include "store/RecordLock.h"
#include "utils/Archive.h"
#include "utils/ByteBuffer.h"

#include <algorithm>

namespace {

// The buffer one hold of the record lock fills at most (about eight thousand records).
constexpr int ARCHIVE_BUFFER = 2 << 20;
// Writes between the requests that the system start putting the files on the disk.
constexpr long long WRITEBACK_EVERY = 1 << 18;

} // namespace

CCaptureStream::CCaptureStream(const CHivewatchDoc& doc, QString strHvw, QString strCsv,
                               int nExportScope)
    : m_doc(doc), m_strHvw(std::move(strHvw)), m_strCsv(std::move(strCsv)),
      m_nExportScope(nExportScope) {}

CCaptureStream::~CCaptureStream() {
    Discard();
}

bool CCaptureStream::Open(QString* pStrError) {
    for (const auto& [pPath, pFile] :
         {std::pair{&m_strHvw, &m_pHvw}, std::pair{&m_strCsv, &m_pCsv}}) {
        if (pPath->isEmpty())
            continue;
        *pFile = std::make_unique<CSafeFile>(*pPath);
        if (!(*pFile)->Open()) {
            if (pStrError)
                *pStrError = (*pFile)->ErrorText();
            Discard();
            return false;
        }
    }
    if (m_pHvw && m_pHvw->write("\0\0\0\0", 4) != 4) { // the count, patched in at the end
        if (pStrError)
            *pStrError = m_pHvw->ErrorText();
        Discard();
        return false;
    }
    if (m_pHvw) {
        m_pHvwBehind = std::make_unique<CWriteBehindFile>(*m_pHvw);
        m_pArchive =
            std::make_unique<CArchive>(m_pHvwBehind.get(), CArchive::store, ARCHIVE_BUFFER);
    }
    CAutoLock lock(&g_RecordLock);
    m_nGeneration = m_doc.GetGeneration();
    if (m_pCsv) {
        m_pCsvWriter = std::make_unique<CCsvWriter>(m_doc.m_listRecords); // holds the header
        const qint64 nSize = qint64(m_pCsvWriter->Size());
        if (m_pCsv->write(m_pCsvWriter->Data(), nSize) != nSize) {
            if (pStrError)
                *pStrError = m_pCsv->ErrorText();
            Discard();
            return false;
        }
        m_pCsvWriter->Clear();
        m_pCsvBehind = std::make_unique<CWriteBehindFile>(*m_pCsv);
    }
    return true;
}

// The file's cause is read once its thread has stopped writing to it.
bool CCaptureStream::Fail(CSafeFile& file) {
    for (CWriteBehindFile* p : {m_pHvwBehind.get(), m_pCsvBehind.get()})
        if (p)
            p->Drain();
    m_bFailed = true;
    m_strError = file.ErrorText();
    return false;
}

// Each hold of the lock stores records into the archive's buffer only as far as it has room,
// and the buffer goes to the file after the lock is let go.
bool CCaptureStream::WritePending() {
    if (m_bDiverged || m_bFailed)
        return false;
    const CRecordList& list = m_doc.m_listRecords;
    for (;;) {
        long long nWritten = 0; // in this hold
        {
            CAutoLock lock(&g_RecordLock);
            // Records written and let go of are no longer the document's; any other record
            // that went, or a Clear, ends the stream.
            const long long nHead = list.GetHeadPosition();
            if (m_doc.GetGeneration() != m_nGeneration || nHead != (m_pRelease ? m_nDone : 0) ||
                list.GetCount() < m_nDone - nHead) {
                m_bDiverged = true;
                return false;
            }
            const long long nFirst = m_nDone - nHead; // index of the first record not written
            long long nEnd = std::min(list.GetCount(), nFirst + RECORDS_PER_HOLD);
            if (nEnd == nFirst)
                break;
            if (m_pArchive)
                nEnd = list.StoreInRoom(*m_pArchive, nFirst, nEnd);
            if (m_pCsvWriter)
                for (long long i = nFirst; i < nEnd; ++i) {
                    const SRecordView v = list.View(i);
                    if (IsRecordViewExported(v, m_nExportScope)) {
                        m_pCsvWriter->AppendLine(i, v);
                        ++m_nCsvLines;
                    }
                }
            nWritten = nEnd - nFirst;
            if (m_pRelease)
                m_pRelease->RemoveHeadRecords(nWritten);
        }
        if (m_pArchive) {
            try {
                m_pArchive->Flush();
            } catch (const CArchiveException&) {
                return Fail(*m_pHvw);
            }
        }
        if (m_pCsvWriter) {
            const qint64 nSize = qint64(m_pCsvWriter->Size());
            if (m_pCsvBehind->write(m_pCsvWriter->Data(), nSize) != nSize)
                return Fail(*m_pCsv);
            m_pCsvWriter->Clear();
        }
        m_nSinceWriteback += nWritten;
        m_nDone += nWritten;
        if (m_nSinceWriteback >= WRITEBACK_EVERY) {
            m_nSinceWriteback = 0;
            for (CWriteBehindFile* p : {m_pHvwBehind.get(), m_pCsvBehind.get()})
                if (p)
                    p->StartWriteback();
        }
    }
    return true;
}

bool CCaptureStream::Finish() {
    if (!WritePending()) {
        Discard();
        return false;
    }
    unsigned char count[4];
    StoreLE32(count, uint32_t(int32_t(m_nDone)));
    m_pArchive.reset(); // empty: every hold wrote its buffer out
    if (!DrainFiles()) {
        Discard();
        return false;
    }
    if (m_pHvw && !m_pHvw->PatchAt(0, count, sizeof(count)))
        return Fail(*m_pHvw);
    for (CSafeFile* p : {m_pHvw.get(), m_pCsv.get()})
        if (p && !p->Commit()) {
            Fail(*p);
            Discard();
            return false;
        }
    m_pHvw.reset();
    m_pCsv.reset();
    return true;
}

bool CCaptureStream::DrainFiles() {
    for (const auto& [pBehind, pFile] :
         {std::pair{&m_pHvwBehind, m_pHvw.get()}, std::pair{&m_pCsvBehind, m_pCsv.get()}}) {
        if (!*pBehind)
            continue;
        const bool bOk = (*pBehind)->Drain();
        pBehind->reset(); // the file is used directly from now on
        if (!bOk)
            return Fail(*pFile);
    }
    return true;
}

void CCaptureStream::Discard() {
    m_pCsvWriter.reset();
    m_pArchive.reset(); // before the files it writes to
    m_pHvwBehind.reset();
    m_pCsvBehind.reset();
    for (std::unique_ptr<CSafeFile>* p : {&m_pHvw, &m_pCsv})
        if (*p) {
            (*p)->Discard();
            p->reset();
        }
}
