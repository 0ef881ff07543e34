#include "platform/Processes.h"

#include "platform/WineEnvironment.h"
#include "platform/WineLaunch.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

QString PlatformProcessName(int nPid) {
    if (nPid <= 0)
        return {};
    const QString strProc = QStringLiteral("/proc/%1/").arg(nPid);
    // The executable's own name; the kernel's short name (15 characters) when the link
    // cannot be read (another user's process).
    const QString strExe = QFileInfo(strProc + QStringLiteral("exe")).symLinkTarget();
    if (const std::string strWine = WineProcessImageName(uint32_t(nPid)); !strWine.empty())
        return QString::fromStdString(strWine); // a Windows program: its image name
    if (!strExe.isEmpty())
        return QFileInfo(strExe).fileName();
    QFile comm(strProc + QStringLiteral("comm"));
    if (!comm.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(comm.readAll()).trimmed();
}

int PlatformStartProcess(const QString& strProgram, const QString& strParams, QString* pStrError) {
    qint64 nPid = -1;
    QProcess process;
    process.setProgram(strProgram);
    process.setArguments(QProcess::splitCommand(strParams));
    process.setStandardInputFile(QProcess::nullDevice());
    PlatformPrepareWineLaunch(process);
    if (!process.startDetached(&nPid)) {
        if (pStrError)
            *pStrError = process.errorString();
        return -1;
    }
    return int(nPid);
}
