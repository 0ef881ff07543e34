#include "driver/ReplaySource.h"

#include "driver/ProcmonRowMapper.h"

namespace {

// The local date the replayed times are placed on.
std::tm Today() {
    const std::time_t t = std::time(nullptr);
    std::tm tmNow{};
    localtime_r(&t, &tmNow);
    return tmNow;
}

} // namespace

CReplaySource::CReplaySource(const std::string& strPath, bool bRealtime)
    : m_strPath(strPath), m_bRealtime(bRealtime) {
    std::ifstream in(strPath, std::ios::binary);
    CProcmonCsvReader reader(in);
    if (!in)
        m_strError = "cannot open " + strPath;
    else if (!reader.ReadHeader(m_strError))
        m_strError = strPath + ": " + m_strError;
}

bool CReplaySource::IsValid(std::string& strError) const {
    strError = m_strError;
    return m_strError.empty();
}

void CReplaySource::Run(std::stop_token stop, CEventSink& sink) {
    std::ifstream in(m_strPath, std::ios::binary);
    CProcmonCsvReader reader(in);
    std::string strError;
    if (!reader.ReadHeader(strError))
        return;
    std::tm tmDate = Today();
    SProcmonRow row;
    int nPrevMillis = -1;
    while (!stop.stop_requested() && reader.ReadRow(row)) {
        std::optional<SDriverEvent> ev = CProcmonRowMapper::Map(row, tmDate);
        if (!ev)
            continue;
        const int nMillis = CProcmonRowMapper::ParseTimeOfDay(row.m_strTime)->TotalMillis();
        if (nPrevMillis >= 0 && nMillis + 3600 * 1000 < nPrevMillis) {
            ++tmDate.tm_mday; // the trace ran past midnight
            ev = CProcmonRowMapper::Map(row, tmDate);
        }
        if (m_bRealtime && nPrevMillis >= 0 && nMillis > nPrevMillis) {
            const int nGap = std::min(nMillis - nPrevMillis, MAX_GAP_MS);
            if (!SleepUnlessStopped(stop, std::chrono::milliseconds(nGap)))
                return;
        }
        nPrevMillis = nMillis;
        while (!sink.IsCapturing() || (!m_bRealtime && sink.Backlog() > HIGH_WATER))
            if (!SleepUnlessStopped(stop, std::chrono::milliseconds(2)))
                return;
        sink.Post(std::move(*ev));
    }
}
