// Replays a Wine server trace recorded elsewhere (wineserver -f -d1 2>trace.txt) as events.
// Like the CSV replay it holds back until capture is on and pauses while it is off.
#pragma once

#include "driver/EventSource.h"

#include <string>

class CWineTraceReplaySource : public CEventSource {
public:
    // bRealtime: keep the pauses the trace shows between process start-ups (the only times a
    // trace carries); otherwise as fast as the reader takes the events.
    CWineTraceReplaySource(std::string strPath, bool bRealtime);

    // False, with the reason, when the file cannot be read.
    bool IsValid(std::string& strError) const;
    void Run(std::stop_token stop, CEventSink& sink) override;

    static constexpr size_t HIGH_WATER = 32768;
    static constexpr double MAX_GAP_SECONDS = 10;

private:
    std::string m_strPath;
    bool m_bRealtime;
    std::string m_strError;
};
