#include "platform/EndSignals.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

// The pipe's writing end, for the handler; -1 while no CEndSignals exists.
std::atomic<int> g_fdEndSignalPipe{-1};

void OnEndSignal(int nSignal) {
    const int nSavedErrno = errno;
    const int fd = g_fdEndSignalPipe.load();
    if (fd >= 0) {
        const unsigned char c = static_cast<unsigned char>(nSignal);
        [[maybe_unused]] const ssize_t n = ::write(fd, &c, 1);
    }
    errno = nSavedErrno;
}

} // namespace

CEndSignals::CEndSignals(QObject* pParent) : QObject(pParent) {
    int fds[2];
    if (g_fdEndSignalPipe.load() >= 0 || pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // the signals keep their default: ending the process
    m_fdRead = fds[0];
    m_fdWrite = fds[1];
    g_fdEndSignalPipe = m_fdWrite;
    m_pNotifier = new QSocketNotifier(m_fdRead, QSocketNotifier::Read, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, &CEndSignals::OnReadable);
    for (int i = 0; i < SIGNAL_COUNT; ++i) {
        struct sigaction action {};
        action.sa_handler = OnEndSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(kSignals[i], &action, &m_arOld[i]);
    }
}

CEndSignals::~CEndSignals() {
    if (!m_pNotifier)
        return;
    for (int i = 0; i < SIGNAL_COUNT; ++i)
        sigaction(kSignals[i], &m_arOld[i], nullptr);
    g_fdEndSignalPipe = -1;
    delete m_pNotifier; // before the descriptor it watches goes
    ::close(m_fdWrite);
    ::close(m_fdRead);
}

void CEndSignals::OnReadable() {
    unsigned char sz[16];
    ssize_t n;
    while ((n = ::read(m_fdRead, sz, sizeof(sz))) > 0) {
        for (ssize_t i = 0; i < n; ++i)
            emit EndRequested(int(sz[i]));
    }
}
