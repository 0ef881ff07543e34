#include "platform/Processes.h"

#include "platform/HeldProcess.h"
#include "platform/ProcessList.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool Fail(QString* pStrError, const QString& str) {
    if (pStrError)
        *pStrError = str;
    return false;
}

} // namespace

// The file a program name stands for: a path as given, or a bare name looked up in PATH.
bool PlatformResolveProgram(const QString& strProgram, QString& strPath, QString* pStrError) {
    if (strProgram.isEmpty())
        return Fail(pStrError, QStringLiteral("no program was named"));
    strPath = strProgram;
    if (!strProgram.contains(QLatin1Char('/'))) {
        strPath = QStandardPaths::findExecutable(strProgram);
        if (strPath.isEmpty())
            return Fail(pStrError,
                        QStringLiteral("%1 was not found in the folders of PATH").arg(strProgram));
    }
    const QByteArray native = QFile::encodeName(strPath);
    struct stat st {};
    if (stat(native.constData(), &st) != 0)
        return Fail(pStrError,
                    errno == ENOENT
                        ? QStringLiteral("%1 was not found").arg(strProgram)
                        : QStringLiteral("%1 cannot be reached: %2")
                              .arg(strProgram, QString::fromLocal8Bit(std::strerror(errno))));
    if (S_ISDIR(st.st_mode))
        return Fail(pStrError, QStringLiteral("%1 is a folder, not a program").arg(strProgram));
    if (!S_ISREG(st.st_mode) || access(native.constData(), X_OK) != 0)
        return Fail(pStrError, QStringLiteral("%1 is not executable").arg(strProgram));
    return true;
}

QString PlatformProcessName(int nPid) {
    if (nPid <= 0)
        return {};
    // The same rule the process picker and the driver's records use.
    const std::string strName = ProcessNameOrShortName(uint32_t(nPid));
    return QString::fromLocal8Bit(strName.data(), qsizetype(strName.size()));
}

QString PlatformOwnProcessName() {
    return PlatformProcessName(int(getpid()));
}

int PlatformParentPid(int nPid) {
    if (nPid <= 0)
        return -1;
    char szPath[32];
    std::snprintf(szPath, sizeof(szPath), "/proc/%d/stat", nPid);
    FILE* pFile = std::fopen(szPath, "re");
    if (!pFile)
        return -1;
    char szStat[512];
    const size_t n = std::fread(szStat, 1, sizeof(szStat) - 1, pFile);
    std::fclose(pFile);
    szStat[n] = '\0';
    // "pid (name) state ppid ...": the name may hold spaces and parentheses, so the fields
    // after it are found from its last closing parenthesis.
    const char* pClose = std::strrchr(szStat, ')');
    char cState = 0;
    int nParent = -1;
    if (!pClose || std::sscanf(pClose + 1, " %c %d", &cState, &nParent) != 2)
        return -1;
    return nParent;
}

int PlatformStartProcess(const QString& strProgram, const QString& strParams, QString* pStrError) {
    return PlatformStartProcessArgs(strProgram, QProcess::splitCommand(strParams), pStrError);
}

// Every program Hivewatch starts goes through here, so a rule for how a kind of program is
// run (an interpreter in front of it, say) belongs in one place: CHeldProcess::Start.
int PlatformStartProcessArgs(const QString& strProgram, const QStringList& arArgs,
                             QString* pStrError) {
    CHeldProcess process;
    if (!process.Start(strProgram, arArgs, pStrError) || !process.Release(pStrError))
        return -1;
    return process.Pid();
}
