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
    if (!strExe.isEmpty())
        ASSERT_EQ(symlink(strExe.toLocal8Bit().constData(), (strDir + "/exe").toLocal8Bit()), 0);
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

TEST(ProcessList, NamesThisProcessByItsExecutable) {
    EXPECT_EQ(ProcessImageName(uint32_t(getpid())), "hw_platform_tests");
}

} // namespace
