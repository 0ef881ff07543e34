// One registry operation as the driver sees it, before it becomes a packed record.
#pragma once

#include "store/RegOperations.h"

#include <cstdint>
#include <ctime>
#include <string>

struct SDriverEvent {
    uint32_t m_nPid = 0;
    std::string m_strProcess;
    int m_nOperation = OP_OPEN_KEY;
    std::string m_strPath;
    std::string m_strResult{RESULT_SUCCESS};
    std::string m_strOldValue;
    std::string m_strNewValue;
    uint64_t m_nFileTime = 0;

    // Only a plain SUCCESS counts as succeeded; every other status goes to the failed switch.
    bool Succeeded() const { return m_strResult == RESULT_SUCCESS; }
};

// Longest text one field may carry; longer fields are cut so a record always fits a read.
inline constexpr size_t MAX_FIELD_TEXT = 4096;

// The seven TAB-separated fields of the record text. TAB, CR, LF and other control
// characters inside a field become spaces so the field count never changes.
std::string FormatRecordText(const SDriverEvent& ev);

// Current UTC time as a file time (100 ns units since 1601).
uint64_t CurrentFileTime();

// File time of a local wall-clock moment: the date of tmDate, at h:m:s.ms local time.
uint64_t LocalFileTime(const std::tm& tmDate, int nHour, int nMinute, int nSecond, int nMilli);
