// The platform layer: file-error causes, private folders, same-file checks, locks, and
// starting programs with exact arguments.
#include "platform/FileErrors.h"
#include "platform/FileLock.h"
#include "platform/FileOps.h"
#include "platform/Paths.h"
#include "platform/Processes.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TEST(FileErrors, SystemErrorsMapToTheFrameworkCausesAndWords) {
    struct {
        int nErrno;
        bool bCreating;
        int nCause;
        const char* pWords;
    } cases[] = {
        {ENOENT, false, 2, "the file does not exist"},
        {ENOENT, true, 3, "the folder does not exist"},
        {ENOTDIR, true, 3, "not a folder"},
        {EMFILE, false, 4, "too many files"},
        {EACCES, true, 5, "permission denied"},
        {EROFS, false, 5, "read-only"},
        {EISDIR, true, 5, "folder"},
        {ETXTBSY, false, 11, "in use"},
        {ENOSPC, false, 13, "the disk is full"},
        {EDQUOT, false, 13, "the disk is full"},
        {EFBIG, false, 13, "size"},
        {EIO, false, 1, "input/output"},
        {0, false, 1, "not be written completely"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PlatformFileErrorCause(c.nErrno, c.bCreating), c.nCause) << c.nErrno;
        const QString strWords = PlatformFileErrorWords(c.nErrno, c.bCreating);
        EXPECT_TRUE(strWords.contains(QLatin1String(c.pWords))) << strWords.toStdString();
        EXPECT_FALSE(strWords.contains(QLatin1String("Unknown"), Qt::CaseInsensitive));
    }
}

TEST(Paths, PrivateFolderIsMadeForTheUserAloneAndCheckedWhenItExists) {
    const QString strDir = TestTempDir() + "private/";
    QString strWhy;
    ASSERT_TRUE(PlatformMakePrivateDir(strDir, &strWhy)) << strWhy.toStdString();
    struct stat st {};
    ASSERT_EQ(stat(QFile::encodeName(strDir).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);

    ASSERT_EQ(chmod(QFile::encodeName(strDir).constData(), 0770), 0);
    EXPECT_FALSE(PlatformMakePrivateDir(strDir, &strWhy));
    EXPECT_TRUE(strWhy.contains(QLatin1String("other users"))) << strWhy.toStdString();

    const QString strLink = TestTempDir() + "link";
    ASSERT_TRUE(QFile::link(TestTempDir(), strLink));
    EXPECT_FALSE(PlatformMakePrivateDir(strLink, &strWhy));
    EXPECT_FALSE(PlatformMakePrivateDir(QStringLiteral("relative/dir"), &strWhy));

    if (geteuid() == 0) {
        const QString strOther = TestTempDir() + "other/";
        ASSERT_TRUE(PlatformMakePrivateDir(strOther));
        ASSERT_EQ(chown(QFile::encodeName(strOther).constData(), 65534, 65534), 0);
        EXPECT_FALSE(PlatformMakePrivateDir(strOther, &strWhy));
        EXPECT_TRUE(strWhy.contains(QLatin1String("another user")));
    }
}

TEST(FileOps, SameFileSeesThroughLinksAndSpellings) {
    const QString strDir = TestTempDir();
    QFile f(strDir + "a.csv");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    ASSERT_EQ(link(QFile::encodeName(strDir + "a.csv").constData(),
                   QFile::encodeName(strDir + "hard.csv").constData()),
              0);
    ASSERT_TRUE(QFile::link(strDir + "a.csv", strDir + "soft.csv"));
    EXPECT_TRUE(PlatformSameFile(strDir + "a.csv", strDir + "hard.csv"));
    EXPECT_TRUE(PlatformSameFile(strDir + "a.csv", strDir + "soft.csv"));
    EXPECT_TRUE(PlatformSameFile(strDir + "a.csv", strDir + "./sub/../a.csv"));
    EXPECT_TRUE(PlatformSameFile(strDir + "new.hvw", strDir + "./new.hvw")); // not created yet
    EXPECT_FALSE(PlatformSameFile(strDir + "new.hvw", strDir + "new.csv"));
    EXPECT_FALSE(PlatformSameFile(strDir + "a.csv", strDir + "new.csv"));
}

TEST(FileLock, ReadersShareAndAWriterWaitsBoundedly) {
    const QByteArray path = QFile::encodeName(TestTempDir() + "x.lock");
    const int a = ::open(path.constData(), O_RDWR | O_CREAT, 0600);
    const int b = ::open(path.constData(), O_RDWR);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_TRUE(PlatformLockFile(a, false, 0));
    EXPECT_TRUE(PlatformLockFile(b, false, 0));
    EXPECT_FALSE(PlatformLockFile(b, true, 50)); // a still reads
    PlatformUnlockFile(a);
    EXPECT_TRUE(PlatformLockFile(b, true, 50));
    EXPECT_FALSE(PlatformLockFile(a, false, 50));
    ::close(a);
    ::close(b);
}

TEST(Processes, ParentOfAProcessAndOfNone) {
    EXPECT_EQ(PlatformParentPid(int(getpid())), int(getppid()));
    EXPECT_EQ(PlatformParentPid(0), -1);
    EXPECT_EQ(PlatformParentPid(999999999), -1);
    EXPECT_FALSE(PlatformOwnProcessName().isEmpty());
}

TEST(Processes, ArgumentsArriveExactlyAsGiven) {
    const QString strOut = TestTempDir() + "args.txt";
    const QStringList args = {
        "-c",         "for a in \"$@\"; do printf '[%s]' \"$a\"; done > \"$0\"",
        strOut,       "two words",
        "\"quoted\"", "",
        "tab\there",  "it's"};
    ASSERT_GT(PlatformStartProcessArgs(QStringLiteral("/bin/sh"), args), 0);
    for (int i = 0; i < 500 && QFileInfo(strOut).size() == 0; ++i)
        QThread::msleep(10);
    QThread::msleep(50);
    EXPECT_EQ(ReadWholeFile(strOut), QByteArray("[two words][\"quoted\"][][tab\there][it's]"));

    // The parameter text of the window is split at spaces, double quotes grouping words.
    const QString strOut2 = TestTempDir() + "params.txt";
    ASSERT_GT(
        PlatformStartProcess(QStringLiteral("sh"), "-c \"echo $# > $0\" " + strOut2 + " \"a b\" c"),
        0);
    for (int i = 0; i < 500 && QFileInfo(strOut2).size() == 0; ++i)
        QThread::msleep(10);
    QThread::msleep(50);
    EXPECT_EQ(ReadWholeFile(strOut2), QByteArray("2\n"));
}

TEST(Processes, FailedStartsSayWhy) {
    const QString strDir = TestTempDir();
    QFile plain(strDir + "plain.txt");
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    struct {
        QString strProgram;
        const char* pWhy;
    } cases[] = {{strDir + "missing", "was not found"},
                 {"no-such-program-hw", "was not found"},
                 {strDir + "plain.txt", "is not executable"},
                 {strDir, "is a folder"},
                 {"", "no program"}};
    for (const auto& c : cases) {
        QString strWhy;
        EXPECT_EQ(PlatformStartProcessArgs(c.strProgram, {}, &strWhy), -1);
        EXPECT_TRUE(strWhy.contains(QLatin1String(c.pWhy))) << strWhy.toStdString();
    }
}
