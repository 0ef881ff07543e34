#include "frame/RefreshThrottle.h"

#include <QCoreApplication>
#include <QEvent>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

namespace {

// Qt's event queue hands a posted event to the receiving thread under Qt's own lock, which
// ThreadSanitizer cannot see since Qt is not built for it. These two calls tell it what the
// queue guarantees: whatever the capture thread did before posting a notice happens before
// the window thread handles (or discards) it. Without the sanitizer they compile to nothing.
inline void HappensBefore(void* pSync) {
#if defined(__SANITIZE_THREAD__)
    __tsan_release(pSync);
#else
    (void)pSync;
#endif
}

inline void HappensAfter(void* pSync) {
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(pSync);
#else
    (void)pSync;
#endif
}

QEvent::Type NoticeEventType() {
    static const QEvent::Type s_type = QEvent::Type(QEvent::registerEventType());
    return s_type;
}

} // namespace

CRefreshThrottle::CRefreshThrottle(std::function<void()> fnRefresh, QObject* pParent)
    : QObject(pParent), m_fnRefresh(std::move(fnRefresh)) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &CRefreshThrottle::Fire);
}

CRefreshThrottle::~CRefreshThrottle() {
    HappensAfter(this); // a notice still queued is discarded after this
}

void CRefreshThrottle::Notify() {
    if (m_bPending.exchange(true, std::memory_order_acq_rel))
        return;
    auto* pNotice = new QEvent(NoticeEventType());
    HappensBefore(this);
    QCoreApplication::postEvent(this, pNotice);
}

bool CRefreshThrottle::event(QEvent* pEvent) {
    HappensAfter(this);
    if (pEvent->type() != NoticeEventType())
        return QObject::event(pEvent);
    OnNotice();
    return true;
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
