// Replacing a file only when the new one is complete: permissions and links kept, nothing
// left behind. (Full disks and refused targets are tested through the document and the tool.)
#include "platform/SafeFile.h"
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

    // A link is followed: the file it names is replaced and the link stays a link.
    ASSERT_TRUE(QFile::link(strPath, strDir + "link"));
    CSafeFile viaLink(strDir + "link");
    ASSERT_TRUE(viaLink.Open());
    viaLink.write("via link");
    ASSERT_TRUE(viaLink.Commit());
    EXPECT_TRUE(QFileInfo(strDir + "link").isSymLink());
    EXPECT_EQ(ReadWholeFile(strPath), QByteArray("via link"));
}
