// The Wine server of one prefix, started by us in the foreground with its request trace
// (wineserver -f -d1) on a pipe, and a keeper program that holds it running while we need it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>

// The server ends as Wine servers do, a few seconds after the prefix's last program; the keeper
// (a Windows program waiting on a pipe only we write to) counts as one, so the server serves
// programs started at any time while the driver is loaded. Letting go closes the pipe: the
// keeper ends, and the server with the prefix's last program. If this process dies, the pipe
// closes all the same, so the server never outlives the programs. Both run in a session of
// their own, so a Ctrl-C meant for us does not reach them.
class CWineServerProcess {
public:
    CWineServerProcess() = default;
    // Lets go (see above). A server left without programs is ended at once, so the registry
    // files are written before this returns.
    ~CWineServerProcess();
    CWineServerProcess(const CWineServerProcess&) = delete;
    CWineServerProcess& operator=(const CWineServerProcess&) = delete;

    // Starts strServer for strPrefix and waits until it serves (its "starting" line), then starts
    // the keeper with the loader strLoader. False, with a reason that says what to do, when the
    // server cannot be started. Lines read while waiting are kept.
    bool Start(const std::string& strServer, const std::string& strLoader,
               const std::string& strPrefix, std::string& strError,
               std::chrono::milliseconds timeout = std::chrono::seconds(15));

    // The read end of the trace pipe (non-blocking); -1 when not started.
    int TraceFd() const { return m_fdTrace; }
    // Trace text read while starting, to be parsed before anything read from the pipe.
    std::string TakeStartText() { return std::move(m_strStartText); }
    // The keeper's process ID (its events are the driver's own), 0 when it could not start.
    pid_t KeeperPid() const { return m_keeperPid > 0 ? m_keeperPid : 0; }
    pid_t ServerPid() const { return m_pid; }

    // Whether the server still runs (it ends when someone runs `wineserver -k`, say).
    bool IsRunning();
    // Ends the server the way `wineserver -k` does: its programs are told to end, the registry
    // files are written. Waits up to timeout, then kills it; true when it ended by itself.
    bool End(std::chrono::milliseconds timeout);

    // A server already running for the prefix makes a new one exit with this status.
    static constexpr int EXIT_ALREADY_RUNNING = 2;

private:
    bool StartKeeper(const std::string& strLoader, const std::string& strPrefix);
    bool WaitServing(const std::string& strServer, const std::string& strPrefix,
                     std::chrono::milliseconds timeout, std::string& strError);
    std::string AlreadyRunning(const std::string& strPrefix) const;
    bool Reap(pid_t& pid, bool bWait, int* pStatus = nullptr);

    pid_t m_pid = -1;
    pid_t m_keeperPid = -1;
    int m_fdTrace = -1;
    int m_fdKeeper = -1; // the keeper's standard input: it runs until this closes
    std::string m_strPrefix;
    std::string m_strStartText;
    bool m_bOtherServer = false; // the last start found a server running for the prefix
};
