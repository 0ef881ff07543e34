// The interface between event producers and the driver instance that filters and queues events.
#pragma once

#include "driver/DriverEvent.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>
#include <string>

// Receives produced events; implemented by the driver instance.
class CEventSink {
public:
    virtual ~CEventSink() = default;
    virtual void Post(SDriverEvent&& ev) = 0;
    // Events queued and not yet read; producers that must not lose events wait while it is high.
    virtual size_t Backlog() const = 0;
    // True once a filter has been applied and while reporting is on.
    virtual bool IsCapturing() const = 0;
    // Input lines a trace source could not read and skipped; the bookkeeping record counts them.
    virtual void PostSkippedLines(uint64_t /*nLines*/) {}

    // Process starts, for the process tree a capture may watch (see CProcessTree): nPid was
    // started by nParent (0: by something the source cannot see).
    virtual void ProcessStarted(uint32_t /*nPid*/, uint32_t /*nParent*/) {}
    // One entry of the system's process table, read again and again (the simulation).
    virtual void ProcessSeen(uint32_t /*nPid*/, uint32_t /*nParent*/, uint64_t /*nStartTime*/) {}
    // Whether a process tree is watched, and whether nPid belongs to it (every process does
    // when none is watched).
    virtual bool HasTarget() const { return false; }
    virtual bool InTarget(uint32_t /*nPid*/) { return true; }

    // A problem the program must hear of (a file that could not be saved, a server that could
    // not be started); the program fetches it with GET_MESSAGE and shows it.
    virtual void Tell(std::string /*strMessage*/) {}
};

// A producer that runs on the driver instance's own thread.
class CEventSource {
public:
    virtual ~CEventSource() = default;
    // Produces until stop is requested or the source has nothing more to give.
    virtual void Run(std::stop_token stop, CEventSink& sink) = 0;
    // Reporting is about to be switched on or off (an APPLY that changes it). A source that
    // cannot follow says why and returns false; the switch then does not happen.
    virtual bool OnReportingChanged(bool /*bOn*/, std::string& /*strError*/) { return true; }
};

// Sleeps for d unless stop is requested first; returns false when stopping.
inline bool SleepUnlessStopped(std::stop_token stop, std::chrono::nanoseconds d) {
    std::mutex mutex;
    std::condition_variable_any cv;
    std::unique_lock lock(mutex);
    cv.wait_for(lock, stop, d, [] { return false; });
    return !stop.stop_requested();
}
