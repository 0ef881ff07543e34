#include "driver/ProcmonCsvReader.h"

#include <algorithm>
#include <string_view>

namespace {

constexpr std::array<std::string_view, 7> COLUMN_NAMES = {
    "Time of Day", "Process Name", "PID", "Operation", "Path", "Result", "Detail"};
constexpr int END = std::char_traits<char>::eof();

void AppendBounded(std::string& str, int c) {
    if (str.size() < CProcmonCsvReader::MAX_FIELD_SIZE)
        str.push_back(char(c));
}

} // namespace

bool CProcmonCsvReader::ReadFields(std::vector<std::string>& arFields) {
    arFields.clear();
    if (!m_bStarted) {
        m_bStarted = true;
        if (Peek() == 0xEF) {
            Get();
            if (Get() != 0xBB || Get() != 0xBF)
                return false;
        }
    }
    if (Peek() == END)
        return false;
    std::string strField;
    bool bQuoted = false, bAfterQuote = false;
    auto endField = [&] {
        if (arFields.size() < MAX_FIELDS)
            arFields.push_back(std::move(strField));
        strField.clear();
        bQuoted = bAfterQuote = false;
    };
    for (int c = Get();; c = Get()) {
        if (c == END) {
            endField();
            return true;
        }
        if (bQuoted) {
            if (c != '"')
                AppendBounded(strField, c);
            else if (Peek() == '"')
                AppendBounded(strField, Get());
            else
                bQuoted = false, bAfterQuote = true;
        } else if (c == ',') {
            endField();
        } else if (c == '\n' || (c == '\r' && Peek() == '\n')) {
            if (c == '\r')
                Get();
            endField();
            return true;
        } else if (c == '"' && strField.empty() && !bAfterQuote) {
            bQuoted = true;
        } else {
            AppendBounded(strField, c); // a stray quote inside a bare field is kept as text
        }
    }
}

bool CProcmonCsvReader::ReadHeader(std::string& strError) {
    if (!ReadFields(m_arFields)) {
        strError = "the trace is empty";
        return false;
    }
    for (size_t i = 0; i < COLUMN_NAMES.size(); ++i) {
        auto it = std::ranges::find(m_arFields, COLUMN_NAMES[i]);
        if (it == m_arFields.end()) {
            strError = "the trace has no \"" + std::string(COLUMN_NAMES[i]) + "\" column";
            return false;
        }
        m_arColumns[i] = int(it - m_arFields.begin());
    }
    return true;
}

bool CProcmonCsvReader::ReadRow(SProcmonRow& row) {
    if (!ReadFields(m_arFields))
        return false;
    std::string* arTargets[] = {&row.m_strTime,      &row.m_strProcess, &row.m_strPid,
                                &row.m_strOperation, &row.m_strPath,    &row.m_strResult,
                                &row.m_strDetail};
    for (size_t i = 0; i < COLUMN_NAMES.size(); ++i) {
        const size_t nColumn = size_t(m_arColumns[i]);
        *arTargets[i] =
            nColumn < m_arFields.size() ? std::move(m_arFields[nColumn]) : std::string();
    }
    return true;
}
