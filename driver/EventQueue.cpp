#include "driver/EventQueue.h"

#include <algorithm>

CEventQueue::CEventQueue(size_t nMaxEvents, size_t nMaxBytes)
    : m_nMaxEvents(std::max<size_t>(nMaxEvents, 1)), m_nMaxBytes(nMaxBytes) {}

void CEventQueue::Push(uint64_t nFileTime, std::string strText, uint32_t nPid) {
    m_nBytes += strText.size();
    m_events.push_back({nFileTime, std::move(strText), nPid});
    while (m_events.size() > 1 && (m_events.size() > m_nMaxEvents || m_nBytes > m_nMaxBytes)) {
        Pop();
        ++m_nDropped;
    }
}

void CEventQueue::Pop() {
    m_nBytes -= m_events.front().m_strText.size();
    m_events.pop_front();
}

uint64_t CEventQueue::TakeDropped() {
    const uint64_t n = m_nDropped;
    m_nDropped = 0;
    return n;
}
