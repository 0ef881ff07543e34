// Builds the lines of a CSV export in one buffer, from the record store's own bytes.
#pragma once

#include "store/RecordList.h"
#include "store/TimeText.h"

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

inline constexpr size_t CSV_CHUNK_BYTES = size_t(1) << 20;

// The header line first, then AppendLine for each record; the caller writes Data() out and
// Clears it now and then. ASCII records are written straight from the stored bytes, which are
// the same in every form; any other record goes through the record class, as
// Utf16ToAnsi(GetCVSLine()). Whether a text needs quotes and whether it is ASCII are learnt in
// one pass over it, for a shared text once, also for texts the store takes in while the writer
// is in use. Used under the record lock.
class CCsvWriter {
public:
    explicit CCsvWriter(const CRecordList& list);

    void AppendLine(long long nIndex, const SRecordView& v);

    size_t Size() const { return m_nSize; }
    const char* Data() const { return m_pBuffer.get(); }
    void Clear() { m_nSize = 0; }

private:
    char* Reserve(size_t n);
    void Append(const char* pData, size_t n);
    static char* PutNumber(char* p, int32_t n);
    // CsvScan of a text; nId is its shared text's id, if it has one.
    unsigned Scan(std::string_view s, uint32_t nId);
    // One field as CsvField quotes it, when bQuote.
    static char* PutField(char* p, std::string_view s, bool bQuote);

    const CRecordList& m_list;
    const CTextTable& m_texts;
    std::vector<int8_t> m_scans; // CsvScan by text id: -1 not known yet
    CTimeTextFormatter m_formatter;
    std::unique_ptr<char[]> m_pBuffer;
    size_t m_nSize = 0, m_nCapacity = 0;
};

// What a text needs in a CSV line: CSV_QUOTES when CsvField quotes it (it holds a comma, a
// quote, CR or LF), CSV_NOT_ASCII when a byte is above 0x7F.
inline constexpr unsigned CSV_QUOTES = 1, CSV_NOT_ASCII = 2;
unsigned CsvScan(std::string_view s);
inline bool CsvNeedsQuotes(std::string_view s) {
    return (CsvScan(s) & CSV_QUOTES) != 0;
}
