#include "driver/WineServerProcess.h"

#include "platform/WineEnvironment.h"
#include "platform/WinePrograms.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

extern char** environ;

namespace {

constexpr auto FORMER_SERVER_WAIT = std::chrono::seconds(5);
constexpr auto END_WAIT = std::chrono::seconds(10);

std::vector<std::string> ChildEnvironment(const std::string& strPrefix, const char* pszMark) {
    std::vector<std::string> arEnv;
    for (char** p = environ; p && *p; ++p) {
        const std::string_view var = *p;
        if (!var.starts_with("WINEPREFIX=") && !var.starts_with("HIVEWATCH_WINE_") &&
            WineKeepVariable(var))
            arEnv.emplace_back(var);
    }
    arEnv.push_back("WINEPREFIX=" + strPrefix);
    arEnv.emplace_back(pszMark);
    return arEnv;
}

// Starts a program in a session of its own with the given standard input and error (-1:
// /dev/null) and the default handling of the signals that end it. 0 or the spawn's error.
int Spawn(std::vector<std::string> arArgs, std::vector<std::string> arEnv, int fdIn, int fdErr,
          pid_t& pid) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (fdIn >= 0)
        posix_spawn_file_actions_adddup2(&actions, fdIn, 0);
    else
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (fdErr >= 0)
        posix_spawn_file_actions_adddup2(&actions, fdErr, 2);
    else
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv, envp;
    for (std::string& s : arArgs)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    for (std::string& s : arEnv)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    // The child must hear SIGINT and SIGTERM even when this program ignores or blocks them.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults, none;
    sigemptyset(&defaults);
    for (int nSignal : {SIGINT, SIGTERM, SIGPIPE, SIGHUP})
        sigaddset(&defaults, nSignal);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr,
                             POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSID);
    const int nSpawn = posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), envp.data());
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    return nSpawn;
}

std::string Quoted(const std::string& str) {
    return "\"" + str + "\"";
}

// Servers and keepers let go of while still running: reaped once they have ended, whenever a
// later one starts or is let go of (no thread waits for them).
std::mutex g_leftMutex;
std::vector<pid_t> g_left;

void ReapLeft(pid_t pidNew = -1) {
    std::lock_guard lock(g_leftMutex);
    std::erase_if(g_left, [](pid_t pid) {
        const pid_t r = waitpid(pid, nullptr, WNOHANG);
        return r == pid || (r < 0 && errno == ECHILD);
    });
    if (pidNew > 0)
        g_left.push_back(pidNew);
}

// Waits for a process that is not our child to end.
bool WaitGone(pid_t pid, std::chrono::milliseconds timeout) {
    const auto tmEnd = std::chrono::steady_clock::now() + timeout;
    while (kill(pid, 0) == 0 || errno != ESRCH) {
        if (std::chrono::steady_clock::now() > tmEnd)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

} // namespace

CWineServerProcess::~CWineServerProcess() {
    if (m_fdKeeper >= 0)
        close(m_fdKeeper); // the keeper ends
    if (m_pid > 0 && IsRunning() && WinePrefixPrograms(m_strPrefix).empty())
        End(END_WAIT); // nobody left to serve: the registry files are written now
    if (m_fdTrace >= 0)
        close(m_fdTrace);
    // The server goes on for the prefix's programs; it and the keeper are reaped later.
    ReapLeft(m_pid);
    ReapLeft(m_keeperPid);
}

bool CWineServerProcess::Start(const std::string& strServer, const std::string& strLoader,
                               const std::string& strPrefix, std::string& strError,
                               std::chrono::milliseconds timeout) {
    m_strPrefix = strPrefix;
    ReapLeft();
    // A server of ours that an earlier run left with no program to serve ends within seconds
    // (or is ended now); any other server of the prefix is left alone and named.
    for (int nAttempt = 0; nAttempt < 2; ++nAttempt) {
        int arPipe[2];
        if (pipe2(arPipe, O_CLOEXEC) != 0) {
            strError = std::string("cannot create a pipe: ") + std::strerror(errno);
            return false;
        }
        pid_t pid = -1;
        const int nSpawn = Spawn({strServer, "-f", "-d1"},
                                 ChildEnvironment(strPrefix, WINE_SERVER_MARK), -1, arPipe[1], pid);
        close(arPipe[1]);
        if (nSpawn != 0) {
            close(arPipe[0]);
            strError = "cannot run " + strServer + ": " + std::strerror(nSpawn);
            return false;
        }
        m_pid = pid;
        m_fdTrace = arPipe[0];
        fcntl(m_fdTrace, F_SETFL, fcntl(m_fdTrace, F_GETFL) | O_NONBLOCK);
        m_strStartText.clear();
        m_bOtherServer = false;
        if (WaitServing(strServer, strPrefix, timeout, strError)) {
            if (!StartKeeper(strLoader, strPrefix))
                strError.clear(); // the server still serves; it just ends with its programs
            return true;
        }
        close(m_fdTrace);
        m_fdTrace = -1;
        if (!m_bOtherServer)
            return false;
        // A server with no program left ends within seconds by itself (unless it was started
        // to persist); one an earlier run of ours left behind is ended if it does not.
        const SWineServerInfo former = WinePrefixServer(strPrefix);
        if (nAttempt > 0 || former.m_nPid == 0 || !WinePrefixPrograms(strPrefix).empty() ||
            (!WaitGone(pid_t(former.m_nPid), FORMER_SERVER_WAIT) && !former.m_bOurs)) {
            strError = AlreadyRunning(strPrefix);
            return false;
        }
        if (kill(pid_t(former.m_nPid), 0) == 0) {
            kill(pid_t(former.m_nPid), SIGINT);
            WaitGone(pid_t(former.m_nPid), FORMER_SERVER_WAIT);
        }
    }
    strError = AlreadyRunning(strPrefix);
    return false;
}

// Waits for "wineserver: starting", or for the server to give up.
bool CWineServerProcess::WaitServing(const std::string& strServer, const std::string& strPrefix,
                                     std::chrono::milliseconds timeout, std::string& strError) {
    const auto tmEnd = std::chrono::steady_clock::now() + timeout;
    char buf[4096];
    for (;;) {
        if (m_strStartText.find("wineserver: starting") != std::string::npos)
            return true;
        int nStatus = 0;
        if (Reap(m_pid, false, &nStatus)) {
            const int nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
            m_bOtherServer = nExit == EXIT_ALREADY_RUNNING;
            strError = strServer + " ended at once (status " + std::to_string(nExit) +
                       "): " + m_strStartText.substr(0, 300);
            return false;
        }
        if (std::chrono::steady_clock::now() > tmEnd) {
            strError = strServer + " did not start serving the prefix " + strPrefix;
            End(std::chrono::seconds(2));
            return false;
        }
        pollfd pfd{m_fdTrace, POLLIN, 0};
        if (poll(&pfd, 1, 50) > 0) {
            const ssize_t n = read(m_fdTrace, buf, sizeof(buf));
            if (n > 0 && m_strStartText.size() < (size_t(1) << 20))
                m_strStartText.append(buf, size_t(n));
        }
    }
}

std::string CWineServerProcess::AlreadyRunning(const std::string& strPrefix) const {
    const SWineServerInfo server = WinePrefixServer(strPrefix);
    const std::vector<SWineProgram> arPrograms = WinePrefixPrograms(strPrefix);
    const std::string strKill = "WINEPREFIX=" + Quoted(strPrefix) + " wineserver -k";
    std::string str =
        "a Wine server" +
        (server.m_nPid ? " (process " + std::to_string(server.m_nPid) + ")" : std::string()) +
        " already runs for the prefix " + strPrefix;
    if (!arPrograms.empty())
        return str + " and serves " + WineDescribePrograms(arPrograms) +
               "; Hivewatch watches a prefix only through a server it starts itself: close " +
               (arPrograms.size() == 1 ? "that program" : "those programs") +
               " (or end them all with: " + strKill + ") and try again";
    return str +
           ", started outside Hivewatch, with no Windows program running; end it with: " + strKill +
           " and try again";
}

// The keeper: cmd.exe waiting for a key on a pipe that only we write to. It ends when the pipe
// closes, whether we close it or end.
bool CWineServerProcess::StartKeeper(const std::string& strLoader, const std::string& strPrefix) {
    int arPipe[2];
    if (strLoader.empty() || pipe2(arPipe, O_CLOEXEC) != 0)
        return false;
    std::vector<std::string> arEnv = ChildEnvironment(strPrefix, WINE_KEEPER_MARK);
    arEnv.emplace_back("WINEDEBUG=-all");
    pid_t pid = -1;
    const int nSpawn = Spawn({strLoader, "C:\\windows\\system32\\cmd.exe", "/c", "pause"}, arEnv,
                             arPipe[0], -1, pid);
    close(arPipe[0]);
    if (nSpawn != 0) {
        close(arPipe[1]);
        return false;
    }
    m_keeperPid = pid;
    m_fdKeeper = arPipe[1];
    return true;
}

bool CWineServerProcess::IsRunning() {
    return m_pid > 0 && !Reap(m_pid, false);
}

bool CWineServerProcess::End(std::chrono::milliseconds timeout) {
    if (m_pid <= 0)
        return true;
    // SIGINT is what `wineserver -k` sends: the server ends its programs, saves the registry
    // and exits.
    kill(m_pid, SIGINT);
    const auto tmEnd = std::chrono::steady_clock::now() + timeout;
    while (!Reap(m_pid, false)) {
        if (std::chrono::steady_clock::now() > tmEnd) {
            kill(m_pid, SIGKILL); // our own child, stuck: the last resort
            Reap(m_pid, true);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

bool CWineServerProcess::Reap(pid_t& pid, bool bWait, int* pStatus) {
    if (pid <= 0)
        return true;
    int nStatus = 0;
    const pid_t r = waitpid(pid, &nStatus, bWait ? 0 : WNOHANG);
    if (r == pid || (r < 0 && errno == ECHILD)) {
        pid = -1;
        if (pStatus)
            *pStatus = nStatus;
        return true;
    }
    return false;
}
