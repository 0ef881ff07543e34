#include "driver/DriverEvent.h"

#include "driver/RegDrvContract.h"

#include <chrono>

namespace {

void AppendField(std::string& str, const std::string& strField) {
    const size_t nLen = std::min(strField.size(), MAX_FIELD_TEXT);
    for (size_t i = 0; i < nLen; ++i) {
        const unsigned char c = static_cast<unsigned char>(strField[i]);
        str.push_back(c < 0x20 || c == 0x7F ? ' ' : char(c));
    }
}

} // namespace

std::string FormatRecordText(const SDriverEvent& ev) {
    std::string str;
    str.reserve(96 + ev.m_strPath.size() + ev.m_strOldValue.size() + ev.m_strNewValue.size());
    str += std::to_string(ev.m_nPid);
    str += '\t';
    AppendField(str, ev.m_strProcess);
    str += '\t';
    const bool bKnownOp = ev.m_nOperation >= 0 && ev.m_nOperation < REG_OPERATION_COUNT;
    str += bKnownOp ? g_RegOperationNames[ev.m_nOperation] : g_RegOperationNames[OP_QUERY_KEY];
    for (const std::string* pField :
         {&ev.m_strPath, &ev.m_strResult, &ev.m_strOldValue, &ev.m_strNewValue}) {
        str += '\t';
        AppendField(str, *pField);
    }
    return str;
}

uint64_t CurrentFileTime() {
    using namespace std::chrono;
    const auto n100ns = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()) / 100;
    return FILETIME_UNIX_EPOCH + uint64_t(n100ns.count());
}

uint64_t LocalFileTime(const std::tm& tmDate, int nHour, int nMinute, int nSecond, int nMilli) {
    std::tm tmLocal{};
    tmLocal.tm_year = tmDate.tm_year;
    tmLocal.tm_mon = tmDate.tm_mon;
    tmLocal.tm_mday = tmDate.tm_mday;
    tmLocal.tm_hour = nHour;
    tmLocal.tm_min = nMinute;
    tmLocal.tm_sec = nSecond;
    tmLocal.tm_isdst = -1;
    const std::time_t t = std::mktime(&tmLocal);
    if (t == std::time_t(-1) || t < 0)
        return FILETIME_UNIX_EPOCH;
    return FILETIME_UNIX_EPOCH + uint64_t(t) * 10000000ull + uint64_t(nMilli) * 10000ull;
}
