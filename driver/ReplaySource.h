// Replays the registry rows of a Process Monitor CSV export as driver events.
// Replay holds back while nothing is captured (no filter applied yet, or stopped), so a
// trace is never lost to a reader that has not configured the driver yet.
#pragma once

#include "driver/EventSource.h"

#include <fstream>
#include <string>

class CReplaySource : public CEventSource {
public:
    // bRealtime: wait between rows as the trace's times did; otherwise as fast as read.
    CReplaySource(const std::string& strPath, bool bRealtime);

    // False, with the reason, when the file cannot be opened or is not such an export.
    bool IsValid(std::string& strError) const;
    void Run(std::stop_token stop, CEventSink& sink) override;

    // The backlog above which fast replay waits for the reader instead of dropping events.
    static constexpr size_t HIGH_WATER = 32768;
    // Longest pause realtime replay keeps between two rows.
    static constexpr int MAX_GAP_MS = 10000;

private:
    std::string m_strPath;
    bool m_bRealtime;
    std::string m_strError;
};
