// Replacing a file only when the new one is complete: permissions, owner and links kept,
// failures of every step reported with their cause, nothing left behind, not even by a writer
// that was killed. (Refused targets are tested through the document and the tool.)
#include "platform/SafeFile.h"
#include "platform/FileErrors.h"
#include "platform/FileLock.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

// The temporary files beside a target.
QStringList TempFiles(const QString& strDir) {
    return QDir(strDir).entryList({QStringLiteral(".*.tmp")}, QDir::Files | QDir::Hidden);
}

// A process ID that no process has any more.
pid_t EndedProcessId() {
    const pid_t pid = fork();
    if (pid == 0)
        _exit(0);
    waitpid(pid, nullptr, 0);
    return pid;
}

// A child process that is killed when the test ends, however it ends.
struct CChildProcess {
    pid_t m_pid = -1;
    ~CChildProcess() { Kill(); }
    void Kill() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        m_pid = -1;
    }
};

struct CFailingSync {
    CFailingSync() {
        CSafeFile::SetSyncFunction([](int) {
            errno = EIO;
            return -1;
        });
    }
    ~CFailingSync() { CSafeFile::SetSyncFunction(nullptr); }
};

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

    // A link is followed: the file it names is replaced and the link stays a link.
    ASSERT_TRUE(QFile::link(strPath, strDir + "link"));
    CSafeFile viaLink(strDir + "link");
    ASSERT_TRUE(viaLink.Open());
    viaLink.write("via link");
    ASSERT_TRUE(viaLink.Commit());
    EXPECT_TRUE(QFileInfo(strDir + "link").isSymLink());
    EXPECT_EQ(ReadWholeFile(strPath), QByteArray("via link"));
}

// The disk fills in the middle of a block: the write is short, then fails. The failure is
// reported with its cause, a commit by a caller that never looked at the write fails too, and
// the old file stays.
TEST(SafeFile, RunningOutOfRoomMidBlockFailsTheCommitWithItsCause) {
    CFullDisk disk;
    if (!disk.Available())
        GTEST_SKIP() << disk.Why().toStdString();
    const QString strPath = disk.Dir() + "a.dat";
    const QByteArray old(3000, 'o');
    WriteFile(strPath, old);
    disk.Fill(4096);
    CSafeFile file(strPath);
    ASSERT_TRUE(file.Open()) << file.ErrorText().toStdString();
    EXPECT_EQ(file.write(QByteArray(3 * 4096, 'n')), -1);
    const QStringList temps = TempFiles(disk.Dir());
    ASSERT_EQ(temps.size(), 1);
    const qint64 nWritten = QFileInfo(disk.Dir() + temps[0]).size();
    EXPECT_GT(nWritten, 0) << "part of the block was written";
    EXPECT_LT(nWritten, 3 * 4096);
    const int nCause = disk.IsMounted() ? ENOSPC : EFBIG;
    EXPECT_EQ(file.ErrorNumber(), nCause);
    EXPECT_EQ(file.ErrorText(),
              QStringLiteral("cannot write %1: %2").arg(strPath, PlatformFileErrorWords(nCause)));
    if (disk.IsMounted()) {
        EXPECT_TRUE(file.ErrorText().endsWith(QStringLiteral("the disk is full")));
    }
    disk.Release();
    file.write("more, now that there is room"); // unchecked, as a careless caller does
    EXPECT_FALSE(file.Commit());
    EXPECT_EQ(file.ErrorNumber(), nCause) << "the first failure is the one reported";
    EXPECT_EQ(ReadWholeFile(strPath), old);
    EXPECT_TRUE(TempFiles(disk.Dir()).isEmpty());
}

// A device that cannot put the data on disk reports it only at the flush: the save fails.
TEST(SafeFile, AFailingFlushToDiskFailsTheSave) {
    const QString strDir = TestTempDir();
    const QString strPath = strDir + "a.dat";
    WriteFile(strPath, "old");
    {
        const CFailingSync failing;
        CSafeFile file(strPath);
        ASSERT_TRUE(file.Open());
        ASSERT_EQ(file.write("new"), 3);
        EXPECT_FALSE(file.Commit());
        EXPECT_EQ(file.ErrorNumber(), EIO);
        EXPECT_TRUE(file.ErrorText().contains(PlatformFileErrorWords(EIO)));
    }
    EXPECT_EQ(ReadWholeFile(strPath), QByteArray("old"));
    EXPECT_EQ(Entries(strDir), QStringList{"a.dat"});
}

// A writer killed in the middle of a save leaves its temporary file; the next save of the same
// target removes it. Files of a writer that still runs, or whose lock is still held (a writer
// whose process ID means nothing here), and files of other targets stay.
TEST(SafeFile, TemporaryFilesOfKilledWritersGoAtTheNextSave) {
    const QString strDir = TestTempDir();
    const QString strPath = strDir + "a.dat";
    WriteFile(strPath, "old");
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    CChildProcess child;
    const pid_t writer = child.m_pid = fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        CSafeFile file(strPath);
        const bool bWritten = file.Open() && file.write(QByteArray(100000, 'k')) == 100000;
        const char c = bWritten ? 'w' : 'x';
        if (::write(fds[1], &c, 1) != 1 || !bWritten)
            _exit(1);
        for (;;)
            pause();
    }
    char c = 0;
    ASSERT_EQ(::read(fds[0], &c, 1), 1);
    ASSERT_EQ(c, 'w');
    ::close(fds[0]);
    ::close(fds[1]);
    const QStringList killedWriters = TempFiles(strDir);
    ASSERT_EQ(killedWriters.size(), 1);
    EXPECT_TRUE(killedWriters[0].startsWith(QStringLiteral(".a.dat.%1.").arg(writer)))
        << killedWriters[0].toStdString();

    // Left by writers that ended: one still locked, one of another target, and names that are
    // not a temporary file of a.dat.
    const pid_t ended = EndedProcessId();
    const QString strLocked = QStringLiteral(".a.dat.%1.00beef.tmp").arg(ended);
    const QStringList others = {strLocked, QStringLiteral(".b.dat.%1.00beef.tmp").arg(ended),
                                QStringLiteral(".a.dat.%1.beef.tmp").arg(ended)};
    for (const QString& strName : others)
        WriteFile(strDir + strName, "left");
    const int lockFd = ::open(QFile::encodeName(strDir + strLocked).constData(), O_RDONLY);
    ASSERT_TRUE(PlatformTryLockExclusive(lockFd));

    const auto save = [&](const char* pData) {
        CSafeFile file(strPath);
        ASSERT_TRUE(file.Open());
        file.write(pData);
        ASSERT_TRUE(file.Commit()) << file.ErrorText().toStdString();
    };
    save("while the writer runs");
    EXPECT_TRUE(QFile::exists(strDir + killedWriters[0])) << "its writer still runs";
    child.Kill();
    save("after the writer was killed");
    EXPECT_FALSE(QFile::exists(strDir + killedWriters[0]));
    for (const QString& strName : others)
        EXPECT_TRUE(QFile::exists(strDir + strName)) << strName.toStdString();
    ::close(lockFd);
    save("once the lock is gone");
    EXPECT_FALSE(QFile::exists(strDir + strLocked));
    EXPECT_EQ(ReadWholeFile(strPath), QByteArray("once the lock is gone"));
}

// Root replacing another user's file keeps it that user's, with its group and permissions.
TEST(SafeFile, ReplacingAnotherUsersFileKeepsItsOwner) {
    if (geteuid() != 0)
        GTEST_SKIP() << "only root may give a file to another user";
    const QString strPath = TestTempDir() + "theirs.dat";
    WriteFile(strPath, "theirs");
    const QByteArray path = QFile::encodeName(strPath);
    ASSERT_EQ(chown(path.constData(), 65534, 65534), 0);
    ASSERT_EQ(chmod(path.constData(), 0640), 0);
    CSafeFile file(strPath);
    ASSERT_TRUE(file.Open());
    file.write("replaced by root");
    ASSERT_TRUE(file.Commit());
    struct stat st {};
    ASSERT_EQ(stat(path.constData(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(ReadWholeFile(strPath), QByteArray("replaced by root"));
}
