// Coalesces refresh notices from the capture thread into at most one refresh per frame.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <functional>

class CRefreshThrottle : public QObject {
    Q_OBJECT
public:
    static constexpr int FRAME_MS = 16;

    // fnRefresh runs on the thread this object lives in (the window's).
    explicit CRefreshThrottle(std::function<void()> fnRefresh, QObject* pParent = nullptr);

    // Any thread, never blocks: asks for a refresh. A notice while one is pending adds
    // nothing, so a flood of notices costs one queued call per refresh.
    void Notify();

    ~CRefreshThrottle() override;

    // Refreshes carried out so far (for measurements).
    int RefreshCount() const { return m_nRefreshes; }

protected:
    bool event(QEvent* pEvent) override;

private:
    void OnNotice();
    void Fire();

    std::function<void()> m_fnRefresh;
    std::atomic<bool> m_bPending{false};
    QElapsedTimer m_clock; // since the last refresh
    QTimer m_timer;        // holds a refresh back until a frame has passed
    int m_nRefreshes = 0;
};
