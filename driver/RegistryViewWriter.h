// Keeps the registry files of a live registry view in step with the driver's registry, so the
// registry editor shows what programs wrote a moment ago.
#pragma once

#include "driver/WineShadowRegistry.h"

#include <chrono>
#include <string>

class CEventSink;

// Writes the Wine registry files (system.reg, user.reg, userdef.reg, users.reg) of the
// registry to a folder of its own: all of them at first, then those a change touched, at most
// once per interval. Each file goes through the checked, atomic writer; a failure is told to
// the program once, until a write succeeds again. All calls come from the thread that owns the
// registry.
class CRegistryViewWriter {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds INTERVAL{200};

    // strDir empty: nothing is written.
    explicit CRegistryViewWriter(std::string strDir, std::chrono::milliseconds interval = INTERVAL);

    const std::string& Folder() const { return m_strDir; }
    // Writes what changed when the interval has passed since the last write (everything the
    // first time).
    void Tick(CWineShadowRegistry& shadow, CEventSink& sink, Clock::time_point tmNow);
    // Writes what changed now.
    void Flush(CWineShadowRegistry& shadow, CEventSink& sink);

    int WriteCount() const { return m_nWrites; }

private:
    std::string m_strDir;
    std::chrono::milliseconds m_interval;
    Clock::time_point m_tmWritten{};
    bool m_bWrittenOnce = false;
    unsigned m_nPending = 0; // hives whose write failed, tried again next time
    std::string m_strLastError;
    int m_nWrites = 0;
};
