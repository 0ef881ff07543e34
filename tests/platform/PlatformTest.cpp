// The platform layer: file-error causes and folders private to the user. (Safe files, locks,
// same-file checks and program starts are tested through the document, the settings, the
// engine and the tool.)
#include "platform/FileErrors.h"
#include "platform/Paths.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>

#include <cerrno>
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
    EXPECT_FALSE(PlatformMakePrivateDir(strLink + "/", &strWhy)) << "named with a trailing '/'";
    EXPECT_FALSE(PlatformMakePrivateDir(QStringLiteral("relative/dir"), &strWhy));

    if (geteuid() == 0) {
        const QString strOther = TestTempDir() + "other/";
        ASSERT_TRUE(PlatformMakePrivateDir(strOther));
        ASSERT_EQ(chown(QFile::encodeName(strOther).constData(), 65534, 65534), 0);
        EXPECT_FALSE(PlatformMakePrivateDir(strOther, &strWhy));
        EXPECT_TRUE(strWhy.contains(QLatin1String("another user")));
    }
}
