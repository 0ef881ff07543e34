// Refresh notices from a capture thread: coalesced to one refresh per frame, none lost.
#include "frame/RefreshThrottle.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <thread>

namespace {

int g_argc = 1;
char g_arg0[] = "test";
char* g_argv[] = {g_arg0, nullptr};

QCoreApplication& App() {
    static QCoreApplication* s_pApp = QCoreApplication::instance()
                                          ? QCoreApplication::instance()
                                          : new QCoreApplication(g_argc, g_argv);
    return *s_pApp;
}

void Pump(const std::function<bool()>& fnDone, int nTimeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!fnDone() && clock.elapsed() < nTimeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}

} // namespace

TEST(RefreshThrottle, AFloodOfNoticesRefreshesAtMostOncePerFrameAndShowsTheLastCount) {
    App();
    std::atomic<int> nFiled{0};
    int nShown = -1;
    CRefreshThrottle throttle([&] { nShown = nFiled.load(); });
    std::atomic<bool> bDone{false};
    QElapsedTimer clock;
    clock.start();
    std::thread capture([&] {
        // As a capture thread in a flood: file records and notify, never waiting.
        const auto start = std::chrono::steady_clock::now();
        while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(400)) {
            nFiled.fetch_add(1);
            throttle.Notify();
        }
        bDone = true;
    });
    Pump([&] { return bDone.load(); }, 10000);
    capture.join();
    Pump([&] { return nShown == nFiled.load(); }, 2000);
    const qint64 nElapsed = clock.elapsed();
    EXPECT_EQ(nShown, nFiled.load()) << "the last notice was not lost";
    EXPECT_GE(throttle.RefreshCount(), 2);
    EXPECT_LE(throttle.RefreshCount(), nElapsed / CRefreshThrottle::FRAME_MS + 2)
        << "refreshes in " << nElapsed << " ms";
}

TEST(RefreshThrottle, ASingleNoticeAfterAQuietSpellRefreshesAtOnce) {
    App();
    int nRefreshes = 0;
    CRefreshThrottle throttle([&] { ++nRefreshes; });
    QThread::msleep(CRefreshThrottle::FRAME_MS + 5);
    throttle.Notify();
    throttle.Notify();
    QCoreApplication::processEvents();
    EXPECT_EQ(nRefreshes, 1) << "no frame to wait for, and one refresh for both notices";
    throttle.Notify();
    Pump([&] { return nRefreshes == 2; }, 2000);
    EXPECT_EQ(nRefreshes, 2) << "a notice within the frame is held back, not dropped";
}
