// Listing processes from a process folder: every one of them, in the folder's order, each
// named by its executable, and the ones whose executable cannot be read left out.
#include "platform/ProcessList.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <unistd.h>

namespace {

void MakeProcess(const QString& strRoot, int nPid, const QString& strExe) {
    const QString strDir = strRoot + QString::number(nPid);
    ASSERT_TRUE(QDir().mkpath(strDir));
    if (!strExe.isEmpty()) {
        ASSERT_EQ(symlink(strExe.toLocal8Bit().constData(), (strDir + "/exe").toLocal8Bit()), 0);
    }
}

void WriteCmdline(const QString& strRoot, int nPid, const QByteArray& cmdline) {
    QFile file(strRoot + QString::number(nPid) + "/cmdline");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(cmdline);
}

TEST(ProcessList, ListsEveryProcessInTheFoldersOrderNamedByItsExecutable) {
    const QString strRoot = TestTempDir();
    // More processes than a fixed 1024-entry table holds.
    for (int nPid = 100; nPid < 1600; ++nPid)
        MakeProcess(strRoot, nPid, QStringLiteral("/usr/bin/prog%1").arg(nPid));
    MakeProcess(strRoot, 7, ""); // a kernel thread: no executable link
    MakeProcess(strRoot, 8, "/opt/app/replaced-while-running (deleted)");
    MakeProcess(strRoot, 9, QString(300, 'n') + "/" + QString(400, 'x'));
    QDir().mkpath(strRoot + "self");
    QDir().mkpath(strRoot + "12abc");
    QDir().mkpath(strRoot + "0");

    std::vector<uint32_t> arPids;
    ASSERT_TRUE(EnumProcessIds(arPids, strRoot.toStdString()));
    EXPECT_EQ(arPids.size(), 1503u);
    std::vector<SRunningProcess> arProcesses;
    ASSERT_TRUE(ListRunningProcesses(arProcesses, strRoot.toStdString()));
    ASSERT_EQ(arProcesses.size(), 1502u);
    size_t nAt = 0;
    for (uint32_t nPid : arPids) {
        if (nPid == 7)
            continue;
        EXPECT_EQ(arProcesses[nAt++].m_nPid, nPid);
    }
    for (const SRunningProcess& process : arProcesses) {
        if (process.m_nPid == 8)
            EXPECT_EQ(process.m_strName, "replaced-while-running");
        else if (process.m_nPid == 9)
            EXPECT_EQ(process.m_strName, std::string(400, 'x'));
        else
            EXPECT_EQ(process.m_strName, "prog" + std::to_string(process.m_nPid));
    }

    EXPECT_FALSE(ListRunningProcesses(arProcesses, (strRoot + "missing").toStdString()));
    EXPECT_TRUE(arProcesses.empty());
}

// The picker, PlatformProcessName and the driver's records all name a Windows program under
// Wine by its image, never by Wine's loader, so attaching to it by name captures its records.
TEST(ProcessList, NamesWineProgramsByTheirWindowsImage) {
    const QString strRoot = TestTempDir();
    MakeProcess(strRoot, 20, "/usr/lib/wine/wine64-preloader");
    static const char s_szNotepad[] = "C:\\windows\\system32\\notepad.exe\0file.txt";
    WriteCmdline(strRoot, 20, QByteArray(s_szNotepad, sizeof(s_szNotepad)));
    MakeProcess(strRoot, 21, "/usr/lib/wine/wine64");
    static const char s_szSetup[] = "/usr/lib/wine/wine64\0C:\\Tools\\setup.exe";
    WriteCmdline(strRoot, 21, QByteArray(s_szSetup, sizeof(s_szSetup)));
    MakeProcess(strRoot, 22, "/usr/lib/wine/wine64-preloader"); // no readable command line
    EXPECT_EQ(ProcessImageName(20, strRoot.toStdString()), "notepad.exe");
    EXPECT_EQ(ProcessImageName(21, strRoot.toStdString()), "setup.exe");
    EXPECT_EQ(ProcessImageName(22, strRoot.toStdString()), "wine64-preloader");
}

TEST(ProcessList, NamesThisProcessByItsExecutable) {
    EXPECT_EQ(ProcessImageName(uint32_t(getpid())), "hw_platform_tests");
}

} // namespace
