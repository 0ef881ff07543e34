// One opened driver: committed filter, reporting state, event queue and the producing thread.
#pragma once

#include "driver/DriverConfig.h"
#include "driver/EventFilter.h"
#include "driver/EventQueue.h"
#include "driver/EventSource.h"
#include "driver/FloodGenerator.h"
#include "driver/ProcessTree.h"

#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <thread>

// SET_FILTER, SET_TARGET, START and STOP only stage a change; APPLY commits all staged changes
// at once, so the program sees one consistent switch-over. Until a filter is applied nothing is
// reported; reporting itself starts out on. Events are filtered when they are queued; with a
// target, only the events of the target's process tree are.
class CDriverInstance final : public CEventSink {
public:
    CDriverInstance(const SDriverConfig& cfg, std::unique_ptr<CEventSource> pSource);
    ~CDriverInstance() override;
    CDriverInstance(const CDriverInstance&) = delete;
    CDriverInstance& operator=(const CDriverInstance&) = delete;

    // Builds the source the configuration names; nullptr with strError when it cannot.
    static std::unique_ptr<CDriverInstance> Create(const SDriverConfig& cfg, std::string& strError);

    bool IoControl(uint32_t nCode, std::span<const unsigned char> in, std::span<unsigned char> out,
                   uint32_t& nReturned);

    void Post(SDriverEvent&& ev) override;
    size_t Backlog() const override;
    bool IsCapturing() const override;
    void PostSkippedLines(uint64_t nLines) override;
    void ProcessStarted(uint32_t nPid, uint32_t nParent) override;
    void ProcessSeen(uint32_t nPid, uint32_t nParent, uint64_t nStartTime) override;
    bool HasTarget() const override;
    bool InTarget(uint32_t nPid) override;
    void Tell(std::string strMessage) override;

    // The driver's own record telling how many events a full queue dropped and how many lines
    // of a trace could not be read since the last such record.
    static SDriverEvent DroppedEvent(uint64_t nDropped, uint64_t nSkippedLines = 0);

    // Problems kept for GET_MESSAGE; older ones give way beyond this many.
    static constexpr size_t MAX_MESSAGES = 32;

private:
    uint32_t Read(std::span<unsigned char> out);
    uint32_t TakeMessage(std::span<unsigned char> out);
    void CommitTarget(); // holds m_mutex
    // Tells the source when an APPLY is about to switch reporting; false when it cannot follow.
    bool FollowReporting();

    mutable std::mutex m_mutex;
    CEventFilter m_filter;
    CEventFilter m_pendingFilter;
    bool m_bRunning = false;
    bool m_bPendingRunning = false;
    bool m_bApplied = false;
    CEventQueue m_queue;
    uint32_t m_nNextSeq = 1;
    uint64_t m_nSkippedLines = 0;
    CProcessTree m_tree;
    uint32_t m_nPendingTarget = 0;
    std::deque<std::string> m_messages;
    std::unique_ptr<CFloodGenerator> m_pFlood;
    std::unique_ptr<CEventSource> m_pSource;
    std::jthread m_thread;
};
