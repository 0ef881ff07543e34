// Replacing a file only when the new one is complete: full disks, refused targets, links,
// permissions, and nothing left behind.
#include "platform/SafeFile.h"
#include "platform/FileErrors.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace {

void WriteFile(const QString& strPath, const QByteArray& bytes) {
    QFile f(strPath);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QStringList Entries(const QString& strDir) {
    return QDir(strDir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

} // namespace

TEST(SafeFile, ReplacesOnlyOnCommitAndLeavesNothingBehind) {
    const QString strDir = TestTempDir();
    const QString strPath = strDir + "a.dat";
    WriteFile(strPath, QByteArray(5000, 'o'));
    ASSERT_EQ(chmod(QFile::encodeName(strPath).constData(), 0640), 0);
    {
        CSafeFile file(strPath);
        ASSERT_TRUE(file.Open());
        ASSERT_EQ(file.write("new"), 3);
        EXPECT_EQ(ReadWholeFile(strPath).size(), 5000); // not yet
    }                                                   // destroyed without Commit
    EXPECT_EQ(ReadWholeFile(strPath), QByteArray(5000, 'o'));
    EXPECT_EQ(Entries(strDir), QStringList{"a.dat"});

    CSafeFile file(strPath);
    ASSERT_TRUE(file.Open());
    ASSERT_EQ(file.write("new"), 3);
    ASSERT_TRUE(file.Commit()) << file.ErrorText().toStdString();
    EXPECT_EQ(ReadWholeFile(strPath), QByteArray("new")); // exactly the new bytes
    EXPECT_EQ(Entries(strDir), QStringList{"a.dat"});
    EXPECT_EQ(QFileInfo(strPath).permissions() & 0x7777,
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                  QFileDevice::WriteUser | QFileDevice::ReadGroup);
}

TEST(SafeFile, RefusesTargetsThatAreNotRegularFilesAndFollowsLinks) {
    const QString strDir = TestTempDir();
    const QString strFifo = strDir + "fifo";
    ASSERT_EQ(mkfifo(QFile::encodeName(strFifo).constData(), 0600), 0);
    QDir().mkpath(strDir + "folder");
    struct {
        QString strPath;
        const char* pWhy;
        int nCause;
    } cases[] = {
        {strFifo, "FIFO", FILE_CAUSE_GENERIC},
        {strDir + "folder", "folder", FILE_CAUSE_ACCESS_DENIED},
        {"/dev/null", "device", FILE_CAUSE_GENERIC},
        {strDir + "missing/x", "folder does not exist", FILE_CAUSE_BAD_PATH},
    };
    for (const auto& c : cases) {
        QString strWhy;
        EXPECT_FALSE(CSafeFile::CheckTarget(c.strPath, nullptr, &strWhy));
        EXPECT_TRUE(strWhy.contains(QLatin1String(c.pWhy))) << strWhy.toStdString();
        if (c.strPath.startsWith(QLatin1String("/dev/")))
            continue; // never try to write a device, even in a test
        CSafeFile file(c.strPath);
        EXPECT_FALSE(file.Open());
        EXPECT_EQ(file.ErrorCause(), c.nCause) << c.strPath.toStdString();
        EXPECT_TRUE(file.ErrorText().contains(c.strPath));
    }
    EXPECT_TRUE(QFileInfo(strFifo).isFile() == false && QFileInfo::exists(strFifo));

    // A link is followed: the file it names is replaced and the link stays a link.
    WriteFile(strDir + "real", "old");
    ASSERT_TRUE(QFile::link(strDir + "real", strDir + "link"));
    CSafeFile file(strDir + "link");
    ASSERT_TRUE(file.Open());
    file.write("via link");
    ASSERT_TRUE(file.Commit());
    EXPECT_TRUE(QFileInfo(strDir + "link").isSymLink());
    EXPECT_EQ(ReadWholeFile(strDir + "real"), QByteArray("via link"));
}

TEST(SafeFile, FullDiskFailsAndKeepsTheOldFile) {
    CFullDisk disk;
    if (!disk.Available())
        GTEST_SKIP() << disk.Why().toStdString();
    const QString strPath = disk.Dir() + "a.dat";
    WriteFile(strPath, QByteArray(3000, 'o'));
    disk.Fill();
    // A small write is buffered by nobody but the system: the failure shows at once or at
    // the latest in Commit.
    CSafeFile file(strPath);
    ASSERT_TRUE(file.Open());
    file.write(QByteArray(100, 'n'));
    EXPECT_FALSE(file.Commit());
    EXPECT_EQ(file.ErrorCause(), FILE_CAUSE_DISK_FULL);
    EXPECT_TRUE(file.ErrorText().startsWith("cannot write " + strPath))
        << file.ErrorText().toStdString();
    disk.Release();
    EXPECT_EQ(ReadWholeFile(strPath), QByteArray(3000, 'o'));
    EXPECT_EQ(Entries(disk.Dir()), QStringList{"a.dat"});
}
