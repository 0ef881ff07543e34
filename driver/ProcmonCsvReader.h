// Reads the rows of a Process Monitor CSV export (RFC 4180) with bounded memory.
#pragma once

#include <array>
#include <istream>
#include <string>
#include <vector>

// The columns a registry record is built from, by name, in any column order.
struct SProcmonRow {
    std::string m_strTime;
    std::string m_strProcess;
    std::string m_strPid;
    std::string m_strOperation;
    std::string m_strPath;
    std::string m_strResult;
    std::string m_strDetail;
};

class CProcmonCsvReader {
public:
    // Longer fields are cut; extra fields of a row are ignored.
    static constexpr size_t MAX_FIELD_SIZE = size_t(1) << 20;
    static constexpr size_t MAX_FIELDS = 64;

    explicit CProcmonCsvReader(std::istream& in) : m_in(in) {}

    // Reads the header row and finds the columns; false (with strError) when one is missing.
    bool ReadHeader(std::string& strError);
    // Next data row; false at the end of the input. Missing trailing fields read as empty.
    bool ReadRow(SProcmonRow& row);
    // One raw CSV record: quoted or bare fields, CRLF or LF, a leading BOM skipped.
    bool ReadFields(std::vector<std::string>& arFields);

private:
    int Get() { return m_in.rdbuf()->sbumpc(); }
    int Peek() { return m_in.rdbuf()->sgetc(); }

    std::istream& m_in;
    bool m_bStarted = false;
    std::array<int, 7> m_arColumns{};
    std::vector<std::string> m_arFields;
};
