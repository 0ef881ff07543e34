// The Wine server of one prefix, started by us in the foreground with its request trace
// (wineserver -f -d1 -p) on a pipe, and ended the way `wineserver -k` ends it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

class CWineServerProcess {
public:
    CWineServerProcess() = default;
    ~CWineServerProcess(); // ends the server if it still runs
    CWineServerProcess(const CWineServerProcess&) = delete;
    CWineServerProcess& operator=(const CWineServerProcess&) = delete;

    // Starts strServer for strPrefix and waits until it serves (its "starting" line). False,
    // with a reason that says what to do, when it cannot: another server runs for the prefix,
    // the program cannot be run, or it ends at once. Lines read while waiting are kept.
    bool Start(const std::string& strServer, const std::string& strPrefix, std::string& strError,
               std::chrono::milliseconds timeout = std::chrono::seconds(15));

    // The read end of the trace pipe (non-blocking); -1 when not started.
    int TraceFd() const { return m_fdTrace; }
    // Trace text read while starting, to be parsed before anything read from the pipe.
    std::string TakeStartText() { return std::move(m_strStartText); }

    // Asks the server to end: it tells its programs (they end), writes the registry files and
    // exits. Returns at once.
    void RequestEnd();
    // Waits up to timeout for the server to exit, then kills it; true when it exited by itself.
    bool WaitEnded(std::chrono::milliseconds timeout);
    bool IsRunning() const { return m_pid > 0; }
    bool EndRequested() const { return m_bEndRequested; }

    // A server already running for the prefix makes a new one exit with this status.
    static constexpr int EXIT_ALREADY_RUNNING = 2;

private:
    bool Reap(bool bWait, int* pStatus = nullptr);

    pid_t m_pid = -1;
    int m_fdTrace = -1;
    bool m_bEndRequested = false;
    std::string m_strStartText;
};
