#include "platform/HeldProcess.h"

#include "platform/Processes.h"
#include "platform/WineLaunch.h"

#include <QFile>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

extern char** environ;

namespace {

bool Fail(QString* pStrError, const QString& str) {
    if (pStrError)
        *pStrError = str;
    return false;
}

void CloseFd(int& fd) {
    if (fd >= 0)
        close(fd);
    fd = -1;
}

ssize_t ReadFully(int fd, void* p, size_t n) {
    ssize_t r;
    do
        r = read(fd, p, n);
    while (r < 0 && errno == EINTR);
    return r;
}

// The held process, between fork and exec: only calls that are safe after a fork of a
// program with threads.
[[noreturn]] void RunHeld(const char* pszPath, char* const* argv, char* const* envp, int fdGate,
                          int fdError) {
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    for (int nSignal = 1; nSignal < NSIG; ++nSignal)
        sigaction(nSignal, &sa, nullptr); // what this program ignores, the program must not
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    const int fdNull = open("/dev/null", O_RDONLY);
    if (fdNull > 0) {
        dup2(fdNull, 0);
        close(fdNull);
    }
    char c = 0;
    if (ReadFully(fdGate, &c, 1) != 1)
        _exit(127); // never released
    execve(pszPath, argv, envp);
    const int nErrno = errno;
    (void)!write(fdError, &nErrno, sizeof(nErrno));
    _exit(127);
}

} // namespace

CHeldProcess::~CHeldProcess() {
    CloseFd(m_fdGate);
    CloseFd(m_fdError);
}

bool CHeldProcess::Start(const QString& strProgram, const QStringList& arArgs, QString* pStrError) {
    QString strPath;
    QList<QByteArray> arArgBytes, arEnv;
    SWineLaunch wine;
    const bool bWine = WineLaunchFor(strProgram, arArgs, wine);
    if (!PlatformResolveProgram(bWine ? wine.m_strProgram : strProgram, strPath, pStrError))
        return false;
    arArgBytes.append(QFile::encodeName(strPath));
    for (const QString& strArg : bWine ? wine.m_arArgs : arArgs)
        arArgBytes.append(strArg.toLocal8Bit());
    if (bWine)
        for (const QString& strVar : wine.m_env.toStringList())
            arEnv.append(strVar.toLocal8Bit());
    m_strPath = strPath;
    return Fork(QFile::encodeName(strPath), arArgBytes, arEnv, pStrError);
}

// Two forks: the middle process starts a session and the held one, reports its ID and ends at
// once, so the program belongs to no one here and never becomes a zombie of this program.
bool CHeldProcess::Fork(const QByteArray& path, const QList<QByteArray>& arArgs,
                        const QList<QByteArray>& arEnv, QString* pStrError) {
    std::vector<char*> argv, envp;
    for (const QByteArray& arg : arArgs)
        argv.push_back(const_cast<char*>(arg.constData()));
    argv.push_back(nullptr);
    for (const QByteArray& var : arEnv)
        envp.push_back(const_cast<char*>(var.constData()));
    envp.push_back(nullptr);
    char* const* ppEnv = arEnv.isEmpty() ? environ : envp.data();
    int arGate[2], arError[2], arPid[2];
    if (pipe2(arGate, O_CLOEXEC) != 0)
        return Fail(pStrError, QStringLiteral("cannot start %1: %2")
                                   .arg(m_strPath, QString::fromLocal8Bit(std::strerror(errno))));
    if (pipe2(arError, O_CLOEXEC) != 0 || pipe2(arPid, O_CLOEXEC) != 0) {
        const int nErrno = errno;
        close(arGate[0]);
        close(arGate[1]);
        return Fail(pStrError, QStringLiteral("cannot start %1: %2")
                                   .arg(m_strPath, QString::fromLocal8Bit(std::strerror(nErrno))));
    }
    const pid_t middle = fork();
    if (middle == 0) {
        close(arGate[1]);
        close(arError[0]);
        close(arPid[0]);
        setsid();
        const pid_t held = fork();
        if (held == 0) {
            close(arPid[1]);
            RunHeld(path.constData(), argv.data(), ppEnv, arGate[0], arError[1]);
        }
        const int32_t nPid = held;
        (void)!write(arPid[1], &nPid, sizeof(nPid));
        _exit(0);
    }
    const int nForkErrno = errno;
    close(arGate[0]);
    close(arError[1]);
    close(arPid[1]);
    int32_t nPid = -1;
    if (middle > 0) {
        while (waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
        }
        if (ReadFully(arPid[0], &nPid, sizeof(nPid)) != ssize_t(sizeof(nPid)))
            nPid = -1;
    }
    close(arPid[0]);
    if (nPid <= 0) {
        close(arGate[1]);
        close(arError[0]);
        return Fail(pStrError, QStringLiteral("cannot start %1: %2")
                                   .arg(m_strPath, QString::fromLocal8Bit(std::strerror(
                                                       middle < 0 ? nForkErrno : EAGAIN))));
    }
    m_pid = pid_t(nPid);
    m_fdGate = arGate[1];
    m_fdError = arError[0];
    return true;
}

bool CHeldProcess::Release(QString* pStrError) {
    if (m_fdGate < 0)
        return Fail(pStrError, QStringLiteral("no program is waiting to run"));
    const char c = 'g';
    (void)!write(m_fdGate, &c, 1);
    CloseFd(m_fdGate);
    int nErrno = 0;
    const ssize_t n = ReadFully(m_fdError, &nErrno, sizeof(nErrno));
    CloseFd(m_fdError);
    if (n == ssize_t(sizeof(nErrno)))
        return Fail(pStrError, QStringLiteral("%1 could not be started: %2")
                                   .arg(m_strPath, QString::fromLocal8Bit(std::strerror(nErrno))));
    return true;
}
