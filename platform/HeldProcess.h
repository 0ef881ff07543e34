// A program started but held before it runs its first instruction, so that a watch on its
// process ID is in place before it can do anything.
#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

// The process is detached from this program (never waited for, not ended with it) and runs in
// a session of its own, so a Ctrl-C or a hang-up meant for this program does not reach it.
// Its standard input is /dev/null; it inherits standard output and error.
class CHeldProcess {
public:
    CHeldProcess() = default;
    // A process never released ends without having run the program.
    ~CHeldProcess();
    CHeldProcess(const CHeldProcess&) = delete;
    CHeldProcess& operator=(const CHeldProcess&) = delete;

    // Starts the program the way every program Hivewatch starts is started (a Windows program
    // under Wine while the driver watches a Wine prefix, see PlatformStartProcessArgs), held.
    // False with the reason when the program cannot be found or run.
    bool Start(const QString& strProgram, const QStringList& arArgs, QString* pStrError);
    // The process ID: the program's own once it runs (a Windows program's is Wine's loader,
    // which becomes the program).
    int Pid() const { return m_pid; }
    // Lets it run. False, with the reason, when the program could not be run after all.
    bool Release(QString* pStrError);

private:
    bool Fork(const QByteArray& path, const QList<QByteArray>& arArgs,
              const QList<QByteArray>& arEnv, QString* pStrError);

    pid_t m_pid = -1;
    int m_fdGate = -1;  // closing it without a byte ends the held process
    int m_fdError = -1; // the exec's error number arrives here; end of file: it runs
    QString m_strPath;
};
