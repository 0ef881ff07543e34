#include "capture/CsvExport.h"

#include "platform/AnsiCodePage.h"
#include "platform/Clock.h"
#include "platform/SafeFile.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "store/RecordLock.h"
#include "store/Wtf8.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

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

// Lines of the export built as bytes in a growing buffer written out in large pieces. ASCII
// records are written straight from the stored bytes, which are the same in every form; any
// other record goes through the record class, as Utf16ToAnsi(GetCVSLine()). Whether a shared
// text needs quotes is worked out once per text.
class CCsvWriter {
public:
    explicit CCsvWriter(const CRecordList& list)
        : m_list(list), m_texts(list.Texts()), m_quotes(m_texts.TextCount(), -1) {
        Reserve(CHUNK_BYTES + (CHUNK_BYTES >> 3));
        Append(CSV_HEADER, std::strlen(CSV_HEADER));
    }

    void AppendLine(long long nIndex, const SRecordView& v) {
        char szTime[TIME_TEXT_LENGTH];
        const std::string_view time = CRecordList::TimeText(v, m_formatter, szTime);
        if (!m_list.IsTupleAscii(v) || !IsAsciiText(v.path) || !IsAsciiText(v.oldValue) ||
            !IsAsciiText(v.newValue) || !IsAsciiText(time)) {
            CRegInfoObj record;
            m_list.GetRecord(nIndex, record);
            const QByteArray line = Utf16ToAnsi(record.GetCVSLine());
            Append(line.constData(), size_t(line.size()));
            return;
        }
        const STextTuple* pTuple =
            v.nTuple != CTextTable::NOT_SHARED ? &m_texts.Tuple(v.nTuple) : nullptr;
        const size_t nBound = 64 + 2 * (time.size() + v.process.size() + v.request.size() +
                                        v.path.size() + v.oldValue.size() + v.newValue.size());
        char* p = Reserve(nBound);
        p = PutNumber(p, v.nSeq);
        *p++ = ',';
        p = PutField(p, time, CTextTable::NOT_SHARED);
        *p++ = ',';
        p = PutField(p, v.process, pTuple ? pTuple->nProcess : CTextTable::NOT_SHARED);
        *p++ = ',';
        p = PutNumber(p, v.nPid);
        *p++ = ',';
        p = PutField(p, v.request, pTuple ? pTuple->nRequest : CTextTable::NOT_SHARED);
        *p++ = ',';
        p = PutField(p, v.path, CTextTable::NOT_SHARED);
        *p++ = ',';
        p = PutField(p, v.oldValue, v.nOld);
        *p++ = ',';
        p = PutField(p, v.newValue, v.nNew);
        *p++ = '\r';
        *p++ = '\n';
        m_nSize = size_t(p - m_pBuffer.get());
    }

    size_t Size() const { return m_nSize; }
    const char* Data() const { return m_pBuffer.get(); }
    void Clear() { m_nSize = 0; }

private:
    char* Reserve(size_t n) {
        if (m_nSize + n > m_nCapacity) {
            const size_t nCapacity = std::max(m_nCapacity * 2, m_nSize + n);
            auto pNew = std::make_unique_for_overwrite<char[]>(nCapacity);
            if (m_nSize > 0)
                std::memcpy(pNew.get(), m_pBuffer.get(), m_nSize);
            m_pBuffer = std::move(pNew);
            m_nCapacity = nCapacity;
        }
        return m_pBuffer.get() + m_nSize;
    }
    void Append(const char* pData, size_t n) {
        std::memcpy(Reserve(n), pData, n);
        m_nSize += n;
    }
    static char* PutNumber(char* p, int32_t n) { return std::to_chars(p, p + 12, n).ptr; }
    // One field as CsvField quotes it; nId is its shared text's id, if it has one.
    char* PutField(char* p, std::string_view s, uint32_t nId) {
        bool bQuote;
        if (nId == CTextTable::NOT_SHARED) {
            bQuote = NeedsQuotes(s);
        } else {
            int8_t& nQuote = m_quotes[nId];
            if (nQuote < 0)
                nQuote = NeedsQuotes(s) ? 1 : 0;
            bQuote = nQuote != 0;
        }
        if (!bQuote) {
            if (!s.empty())
                std::memcpy(p, s.data(), s.size());
            return p + s.size();
        }
        *p++ = '"';
        for (char c : s) {
            if (c == '"')
                *p++ = '"';
            *p++ = c;
        }
        *p++ = '"';
        return p;
    }

    const CRecordList& m_list;
    const CTextTable& m_texts;
    std::vector<int8_t> m_quotes; // by text id: -1 not known yet
    CTimeTextFormatter m_formatter;
    std::unique_ptr<char[]> m_pBuffer;
    size_t m_nSize = 0, m_nCapacity = 0;
};

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
                        const ExportProgressFn& fnProgress, bool bShownOnly) {
    SExportResult result;
    CSafeFile file(strPath);
    if (!file.Open()) {
        result.nCause = file.ErrorCause();
        result.strError = QStringLiteral("File could not be created: %1 (%2)")
                              .arg(result.nCause)
                              .arg(file.ErrorText());
        return result;
    }
    result.bCreated = true;
    bool bWriteOk = true;
    {
        CAutoLock lock(&g_RecordLock);
        const CRecordList& list = doc.m_listRecords;
        CCsvWriter writer(list);
        auto writeChunk = [&]() {
            const bool bOk =
                file.write(writer.Data(), qint64(writer.Size())) == qint64(writer.Size());
            writer.Clear();
            return bOk;
        };
        const long long nCount = bShownOnly ? doc.GetShownCount() : list.GetCount();
        CProgressPacer progress(fnProgress, nCount);
        long long nWalked = 0;
        // False ends the walk: a cancel or a write error.
        const auto exportOne = [&](long long i) {
            if (!progress.Step(nWalked++)) {
                result.bCancelled = true;
                return false;
            }
            const SRecordView v = list.View(i);
            if (!IsViewExported(v, nExportScope))
                return true;
            writer.AppendLine(i, v);
            ++result.nRecords;
            return writer.Size() < CHUNK_BYTES || (bWriteOk = writeChunk());
        };
        if (bShownOnly) {
            doc.ForEachShownIndex(exportOne);
        } else {
            for (long long i = 0; i < nCount; ++i) {
                if (!exportOne(i))
                    break;
            }
        }
        if (bWriteOk && !result.bCancelled) {
            progress.Finish();
            bWriteOk = writeChunk();
        }
    }
    if (result.bCancelled) {
        file.Discard();
        result.strError =
            QStringLiteral("The export was cancelled; %1 was left as it was.").arg(strPath);
        return result;
    }
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
