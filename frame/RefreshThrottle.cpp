#include "frame/RefreshThrottle.h"

CRefreshThrottle::CRefreshThrottle(std::function<void()> fnRefresh, QObject* pParent)
    : QObject(pParent), m_fnRefresh(std::move(fnRefresh)) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &CRefreshThrottle::Fire);
}

void CRefreshThrottle::Notify() {
    if (m_bPending.exchange(true, std::memory_order_acq_rel))
        return;
    QMetaObject::invokeMethod(this, &CRefreshThrottle::OnNotice, Qt::QueuedConnection);
}

void CRefreshThrottle::OnNotice() {
    if (m_timer.isActive())
        return;
    const qint64 nSince = m_clock.isValid() ? m_clock.elapsed() : FRAME_MS;
    if (nSince >= FRAME_MS)
        Fire();
    else
        m_timer.start(int(FRAME_MS - nSince));
}

void CRefreshThrottle::Fire() {
    // Cleared before the refresh reads the count: a notice from now on asks again, so no
    // record filed after this point is left unshown.
    m_bPending.store(false, std::memory_order_release);
    m_clock.start();
    ++m_nRefreshes;
    if (m_fnRefresh)
        m_fnRefresh();
}
