// Bounded FIFO of formatted records waiting for the reader; drops the oldest when full.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

struct SQueuedEvent {
    uint64_t m_nFileTime = 0;
    std::string m_strText;
    uint32_t m_nPid = 0;
};

// Not synchronised: the driver instance guards it with its own lock.
class CEventQueue {
public:
    static constexpr size_t DEFAULT_MAX_EVENTS = size_t(1) << 16;
    static constexpr size_t DEFAULT_MAX_BYTES = size_t(32) << 20;

    explicit CEventQueue(size_t nMaxEvents = DEFAULT_MAX_EVENTS,
                         size_t nMaxBytes = DEFAULT_MAX_BYTES);

    void Push(uint64_t nFileTime, std::string strText, uint32_t nPid = 0);
    bool Empty() const { return m_events.empty(); }
    size_t Size() const { return m_events.size(); }
    const SQueuedEvent& Front() const { return m_events.front(); }
    void Pop();
    // Events dropped since the last call.
    uint64_t TakeDropped();
    // Removes the events of the processes keep() refuses (not counted as dropped).
    template <class F> void RemoveUnless(F keep) {
        std::erase_if(m_events, [&](const SQueuedEvent& e) {
            if (keep(e.m_nPid))
                return false;
            m_nBytes -= e.m_strText.size();
            return true;
        });
    }

private:
    std::deque<SQueuedEvent> m_events;
    size_t m_nMaxEvents;
    size_t m_nMaxBytes;
    size_t m_nBytes = 0;
    uint64_t m_nDropped = 0;
};
