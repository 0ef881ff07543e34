#include "capture/CsvExport.h"

#include "platform/AnsiCodePage.h"
#include "platform/Clock.h"
#include "platform/SafeFile.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "store/RecordLock.h"
#include "store/Wtf8.h"

#include <charconv>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr size_t CHUNK_BYTES = size_t(1) << 20;
constexpr int64_t PROGRESS_CHECK_EVERY = 1024; // records between looks at the clock
constexpr int64_t PROGRESS_MAX_RECORDS = 100000;
constexpr uint32_t PROGRESS_INTERVAL_MS = 100;

// Calls the progress callback about ten times a second, or every PROGRESS_MAX_RECORDS.
class CProgressPacer {
public:
    CProgressPacer(const ExportProgressFn& fn, int64_t nTotal) : m_fn(fn), m_nTotal(nTotal) {}

    // False when the user cancelled.
    bool Step(int64_t nDone) {
        if (!m_fn || nDone % PROGRESS_CHECK_EVERY != 0)
            return true;
        const uint32_t nNow = PlatformTickCount();
        if (nDone - m_nLastDone < PROGRESS_MAX_RECORDS &&
            uint32_t(nNow - m_nLastTick) < PROGRESS_INTERVAL_MS)
            return true;
        m_nLastDone = nDone;
        m_nLastTick = nNow;
        return m_fn(nDone, m_nTotal);
    }
    void Finish() {
        if (m_fn)
            m_fn(m_nTotal, m_nTotal);
    }

private:
    const ExportProgressFn& m_fn;
    int64_t m_nTotal;
    int64_t m_nLastDone = 0;
    uint32_t m_nLastTick = PlatformTickCount();
};

bool IsViewExported(const SRecordView& v, int nExportScope) {
    switch (nExportScope) {
    case EXPORT_WRITE:
        return IsWriteFunType(v.nFunType) && CRecordList::Modified(v);
    case EXPORT_MODIFIED:
        return CRecordList::Modified(v) != 0;
    default:
        return true;
    }
}

// Whether CsvField quotes the field: it holds a comma, a quote, CR or LF.
bool NeedsQuotes(std::string_view s) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i comma = _mm_set1_epi8(','), quote = _mm_set1_epi8('"');
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
    for (; i + 16 <= s.size(); i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + i));
        const __m128i m =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, comma), _mm_cmpeq_epi8(v, quote)),
                         _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
        if (_mm_movemask_epi8(m) != 0)
            return true;
    }
#endif
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c == ',' || c == '"' || c == '\r' || c == '\n')
            return true;
    }
    return false;
}

// One field as CsvField quotes it, in bytes.
void AppendCsvField(std::string& out, std::string_view s) {
    if (!NeedsQuotes(s)) {
        out.append(s);
        return;
    }
    out += '"';
    for (char c : s) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

void AppendNumber(std::string& out, int32_t n) {
    char sz[16];
    const auto result = std::to_chars(sz, sz + sizeof(sz), n);
    out.append(sz, size_t(result.ptr - sz));
}

// The record's line in the narrow code page, as Utf16ToAnsi(GetCVSLine()) gives it. ASCII
// records are written straight from the stored bytes, which are the same in every form.
void AppendCsvLine(std::string& out, const CRecordList& list, long long nIndex,
                   const SRecordView& v, CTimeTextFormatter& formatter) {
    char szTime[TIME_TEXT_LENGTH];
    const std::string_view time = CRecordList::TimeText(v, formatter, szTime);
    if (!list.IsTupleAscii(v) || !IsAsciiText(v.path) || !IsAsciiText(v.oldValue) ||
        !IsAsciiText(v.newValue) || !IsAsciiText(time)) {
        CRegInfoObj record;
        list.GetRecord(nIndex, record);
        const QByteArray line = Utf16ToAnsi(record.GetCVSLine());
        out.append(line.constData(), size_t(line.size()));
        return;
    }
    AppendNumber(out, v.nSeq);
    out += ',';
    AppendCsvField(out, time);
    out += ',';
    AppendCsvField(out, v.process);
    out += ',';
    AppendNumber(out, v.nPid);
    out += ',';
    AppendCsvField(out, v.request);
    out += ',';
    AppendCsvField(out, v.path);
    out += ',';
    AppendCsvField(out, v.oldValue);
    out += ',';
    AppendCsvField(out, v.newValue);
    out += "\r\n";
}

} // namespace

bool IsRecordExported(const CRegInfoObj& record, int nExportScope) {
    switch (nExportScope) {
    case EXPORT_WRITE:
        return record.IsWriteOpt() && record.Modified();
    case EXPORT_MODIFIED:
        return record.Modified() != 0;
    default:
        return true;
    }
}

SExportResult ExportCsv(const CHivewatchDoc& doc, const QString& strPath, int nExportScope) {
    return ExportCsv(doc, strPath, nExportScope, {});
}

SExportResult ExportCsv(const CHivewatchDoc& doc, const QString& strPath, int nExportScope,
                        const ExportProgressFn& fnProgress) {
    SExportResult result;
    CSafeFile file(strPath);
    if (!file.Open()) {
        result.nCause = file.ErrorCause();
        result.strError = QStringLiteral("File could not be created: %1 (%2)")
                              .arg(result.nCause)
                              .arg(file.ErrorText());
        return result;
    }
    std::string chunk(CSV_HEADER);
    chunk.reserve(CHUNK_BYTES + (CHUNK_BYTES >> 2));
    auto writeChunk = [&]() {
        const bool bOk = file.write(chunk.data(), qint64(chunk.size())) == qint64(chunk.size());
        chunk.clear();
        return bOk;
    };
    bool bWriteOk = true;
    {
        CAutoLock lock(&g_RecordLock);
        const CRecordList& list = doc.m_listRecords;
        const long long nCount = list.GetCount();
        CProgressPacer progress(fnProgress, nCount);
        CTimeTextFormatter formatter;
        for (long long i = 0; i < nCount; ++i) {
            if (!progress.Step(i)) {
                result.bCancelled = true;
                break;
            }
            const SRecordView v = list.View(i);
            if (!IsViewExported(v, nExportScope))
                continue;
            AppendCsvLine(chunk, list, i, v, formatter);
            ++result.nRecords;
            if (chunk.size() >= CHUNK_BYTES && !(bWriteOk = writeChunk()))
                break;
        }
        if (bWriteOk && !result.bCancelled)
            progress.Finish();
    }
    if (result.bCancelled) {
        file.Discard();
        result.strError =
            QStringLiteral("The export was cancelled; %1 was left as it was.").arg(strPath);
        return result;
    }
    if (bWriteOk)
        bWriteOk = writeChunk();
    if (!bWriteOk || !file.Commit()) {
        file.Discard();
        result.nCause = file.ErrorCause();
        QString strWhy = file.ErrorText();
        if (strWhy.isEmpty())
            strWhy = QStringLiteral("cannot write %1").arg(strPath);
        strWhy[0] = strWhy[0].toUpper();
        result.strError = strWhy;
        return result;
    }
    result.bOk = true;
    return result;
}
