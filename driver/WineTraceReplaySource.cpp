#include "driver/WineTraceReplaySource.h"

#include "driver/LineSplitter.h"
#include "driver/WineTraceParser.h"

#include <fstream>

CWineTraceReplaySource::CWineTraceReplaySource(std::string strPath, bool bRealtime)
    : m_strPath(std::move(strPath)), m_bRealtime(bRealtime) {
    std::ifstream in(m_strPath, std::ios::binary);
    if (!in)
        m_strError = "cannot open the Wine trace " + m_strPath;
}

bool CWineTraceReplaySource::IsValid(std::string& strError) const {
    strError = m_strError;
    return m_strError.empty();
}

void CWineTraceReplaySource::Run(std::stop_token stop, CEventSink& sink) {
    std::ifstream in(m_strPath, std::ios::binary);
    // No prefix files came with the trace: old values are known once the trace shows them.
    CWineShadowRegistry shadow;
    CWineTraceParser parser(&shadow);
    parser.SetStartListener(
        [&sink](uint32_t nPid, uint32_t nParent) { sink.ProcessStarted(nPid, nParent); });
    CLineSplitter splitter;
    std::vector<SDriverEvent> arEvents;
    uint64_t nTooLong = 0, nReported = 0;
    double dPacedTo = 0;
    bool bStopped = false;
    const auto waitForReader = [&] {
        while (!sink.IsCapturing() || (!m_bRealtime && sink.Backlog() > HIGH_WATER))
            if (!SleepUnlessStopped(stop, std::chrono::milliseconds(2)))
                return false;
        return true;
    };
    const auto onLine = [&](std::string_view line, bool bTooLong) {
        if (bStopped)
            return;
        if (bTooLong) {
            ++nTooLong;
            return;
        }
        arEvents.clear();
        parser.ParseLine(line, arEvents);
        if (m_bRealtime && parser.TraceSeconds() > dPacedTo) {
            const double dGap = std::min(parser.TraceSeconds() - dPacedTo, MAX_GAP_SECONDS);
            dPacedTo = parser.TraceSeconds();
            if (!SleepUnlessStopped(stop, std::chrono::duration_cast<std::chrono::nanoseconds>(
                                              std::chrono::duration<double>(dGap)))) {
                bStopped = true;
                return;
            }
        }
        for (SDriverEvent& ev : arEvents) {
            if (!waitForReader()) {
                bStopped = true;
                return;
            }
            sink.Post(std::move(ev));
        }
        const uint64_t nSkipped = parser.SkippedLines() + nTooLong;
        if (nSkipped > nReported && waitForReader()) {
            sink.PostSkippedLines(nSkipped - nReported);
            nReported = nSkipped;
        }
    };
    if (!waitForReader())
        return;
    std::vector<char> buf(size_t(1) << 16);
    while (!bStopped && in) {
        in.read(buf.data(), std::streamsize(buf.size()));
        const std::streamsize n = in.gcount();
        if (n <= 0)
            break;
        splitter.Feed(std::string_view(buf.data(), size_t(n)), onLine);
    }
    if (!bStopped)
        splitter.Finish(onLine);
}
