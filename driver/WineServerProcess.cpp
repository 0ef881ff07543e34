#include "driver/WineServerProcess.h"

#include "platform/WineEnvironment.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

extern char** environ;

namespace {

std::vector<std::string> ServerEnvironment(const std::string& strPrefix) {
    std::vector<std::string> arEnv;
    for (char** p = environ; p && *p; ++p) {
        const std::string_view var = *p;
        if (!var.starts_with("WINEPREFIX=") && WineKeepVariable(var))
            arEnv.emplace_back(var);
    }
    arEnv.push_back("WINEPREFIX=" + strPrefix);
    return arEnv;
}

std::string Quoted(const std::string& str) {
    return "\"" + str + "\"";
}

} // namespace

CWineServerProcess::~CWineServerProcess() {
    if (m_pid > 0) {
        RequestEnd();
        WaitEnded(std::chrono::seconds(10));
    }
    if (m_fdTrace >= 0)
        close(m_fdTrace);
}

bool CWineServerProcess::Start(const std::string& strServer, const std::string& strPrefix,
                               std::string& strError, std::chrono::milliseconds timeout) {
    int arPipe[2];
    if (pipe2(arPipe, O_CLOEXEC) != 0) {
        strError = std::string("cannot create a pipe: ") + std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, arPipe[1], 2);
    // Foreground, request trace on, and kept alive while no Wine program runs.
    std::vector<std::string> arArgs = {strServer, "-f", "-d1", "-p"};
    std::vector<std::string> arEnv = ServerEnvironment(strPrefix);
    std::vector<char*> argv, envp;
    for (std::string& s : arArgs)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    for (std::string& s : arEnv)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    // The server must hear SIGINT even when this program ignores or blocks it.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults, none;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGPIPE);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    const int nSpawn =
        posix_spawn(&pid, strServer.c_str(), &actions, &attr, argv.data(), envp.data());
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    close(arPipe[1]);
    if (nSpawn != 0) {
        close(arPipe[0]);
        strError = "cannot run " + strServer + ": " + std::strerror(nSpawn);
        return false;
    }
    m_pid = pid;
    m_fdTrace = arPipe[0];
    fcntl(m_fdTrace, F_SETFL, fcntl(m_fdTrace, F_GETFL) | O_NONBLOCK);

    // Wait for "wineserver: starting", or for the server to give up.
    const auto tmEnd = std::chrono::steady_clock::now() + timeout;
    char buf[4096];
    for (;;) {
        if (m_strStartText.find("wineserver: starting") != std::string::npos)
            return true;
        int nStatus = 0;
        if (Reap(false, &nStatus)) {
            const int nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
            if (nExit == EXIT_ALREADY_RUNNING)
                strError = "a Wine server is already running for the prefix " + strPrefix +
                           " without Hivewatch's trace; close the Wine programs of that prefix, "
                           "or end it with: WINEPREFIX=" +
                           Quoted(strPrefix) + " wineserver -k";
            else
                strError = strServer + " ended at once (status " + std::to_string(nExit) +
                           "): " + m_strStartText.substr(0, 300);
            return false;
        }
        if (std::chrono::steady_clock::now() > tmEnd) {
            strError = strServer + " did not start serving the prefix " + strPrefix;
            RequestEnd();
            WaitEnded(std::chrono::seconds(2));
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

void CWineServerProcess::RequestEnd() {
    // SIGINT is what `wineserver -k` sends: the server ends its programs, saves the registry
    // and exits.
    if (m_pid > 0 && !m_bEndRequested) {
        kill(m_pid, SIGINT);
        m_bEndRequested = true;
    }
}

bool CWineServerProcess::WaitEnded(std::chrono::milliseconds timeout) {
    const auto tmEnd = std::chrono::steady_clock::now() + timeout;
    while (m_pid > 0) {
        if (Reap(false))
            return true;
        if (std::chrono::steady_clock::now() > tmEnd) {
            kill(m_pid, SIGKILL); // our own child, stuck: the last resort
            Reap(true);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

bool CWineServerProcess::Reap(bool bWait, int* pStatus) {
    if (m_pid <= 0)
        return true;
    int nStatus = 0;
    const pid_t r = waitpid(m_pid, &nStatus, bWait ? 0 : WNOHANG);
    if (r == m_pid || (r < 0 && errno == ECHILD)) {
        m_pid = -1;
        if (pStatus)
            *pStatus = nStatus;
        return true;
    }
    return false;
}
