// The signals that ask a program with a window to end (a logout, a service manager, Ctrl-C in
// the terminal that started it), delivered on the event loop instead of ending it at once.
#pragma once

#include <QObject>

#include <csignal>

class QSocketNotifier;

// While one exists, SIGTERM, SIGHUP and SIGINT no longer end the process: each is noted by
// the handler (which only writes to a pipe) and reported by EndRequested on the thread that
// made the object, where anything may be done. One at a time; the destructor puts the
// handlers that were there before back.
class CEndSignals : public QObject {
    Q_OBJECT
public:
    explicit CEndSignals(QObject* pParent = nullptr);
    ~CEndSignals() override;
    CEndSignals(const CEndSignals&) = delete;
    CEndSignals& operator=(const CEndSignals&) = delete;

    bool IsActive() const { return m_pNotifier != nullptr; }

signals:
    void EndRequested(int nSignal);

private:
    void OnReadable();

    static constexpr int SIGNAL_COUNT = 3;
    int m_fdRead = -1;
    int m_fdWrite = -1;
    QSocketNotifier* m_pNotifier = nullptr;
    struct sigaction m_arOld[SIGNAL_COUNT] = {};
};
