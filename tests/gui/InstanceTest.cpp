// The single-instance folder and socket: private to the user, never a folder another user
// owns or may write to; and the hand-over line, which carries any file name's bytes.
#include "app/SingleInstance.h"
#include "platform/FileNames.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Without XDG_RUNTIME_DIR, with the temporary folder in a test folder of its own.
class InstanceFolder : public ::testing::Test {
protected:
    void SetUp() override {
        m_runtime = qgetenv("XDG_RUNTIME_DIR");
        m_tmp = qgetenv("TMPDIR");
        qunsetenv("XDG_RUNTIME_DIR");
        m_strTemp = TestTempDir();
        qputenv("TMPDIR", QFile::encodeName(m_strTemp));
        m_strShared = m_strTemp + QStringLiteral("hivewatch-%1/").arg(ulong(getuid()));
    }
    void TearDown() override {
        qputenv("XDG_RUNTIME_DIR", m_runtime);
        if (m_tmp.isEmpty())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", m_tmp);
    }

    static mode_t ModeOf(const QString& strPath) {
        struct stat st {};
        EXPECT_EQ(lstat(QFile::encodeName(strPath).constData(), &st), 0);
        return st.st_mode;
    }
    // The folder is passed over for a private one in the user's data folder, where the
    // instance can be taken; nothing is made in the folder passed over.
    void ExpectPassedOver(const char* pWhy) {
        QString strNote;
        const QString strDir = CSingleInstance::DefaultDir(&strNote);
        EXPECT_NE(strDir, m_strShared) << pWhy;
        EXPECT_TRUE(strDir.startsWith(qEnvironmentVariable("XDG_DATA_HOME"))) << pWhy;
        EXPECT_TRUE(strNote.contains(m_strShared)) << strNote.toStdString();
        EXPECT_EQ(ModeOf(strDir) & 07777, 0700u);
        CSingleInstance instance;
        EXPECT_EQ(instance.Acquire(), CSingleInstance::FIRST_INSTANCE) << pWhy;
        EXPECT_EQ(instance.Dir(), strDir);
        if (QFileInfo(m_strShared).isDir() && !QFileInfo(m_strShared).isSymLink()) {
            EXPECT_TRUE(QDir(m_strShared)
                            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden |
                                       QDir::System)
                            .isEmpty())
                << pWhy;
        }
    }

    QByteArray m_runtime, m_tmp;
    QString m_strTemp, m_strShared;
};

} // namespace

TEST_F(InstanceFolder, TheTemporaryFolderIsMadePrivateAndItsSocketIsTheUsersAlone) {
    CSingleInstance instance;
    EXPECT_EQ(instance.Dir(), m_strShared);
    ASSERT_EQ(instance.Acquire(), CSingleInstance::FIRST_INSTANCE)
        << instance.ErrorText().toStdString();
    EXPECT_EQ(ModeOf(m_strShared) & 07777, 0700u);
    // The socket carries the paths of the documents the user opens: no one else may connect.
    const mode_t socketMode = ModeOf(instance.SocketPath());
    EXPECT_TRUE(S_ISSOCK(socketMode));
    EXPECT_EQ(socketMode & 077, 0u) << std::oct << (socketMode & 0777);
    instance.Release();

    // A folder of the user's own that others may read (not write) is closed to them.
    ASSERT_EQ(chmod(QFile::encodeName(m_strShared).constData(), 0755), 0);
    EXPECT_EQ(CSingleInstance::DefaultDir(), m_strShared);
    EXPECT_EQ(ModeOf(m_strShared) & 07777, 0700u);
}

TEST_F(InstanceFolder, AFolderOthersMayWriteToOrALinkIsPassedOver) {
    ASSERT_TRUE(QDir().mkpath(m_strShared));
    ASSERT_EQ(chmod(QFile::encodeName(m_strShared).constData(), 0777), 0);
    ExpectPassedOver("writable by others: their files may already be in it");
    EXPECT_EQ(ModeOf(m_strShared) & 07777, 0777u) << "left as it was";

    ASSERT_TRUE(QDir(m_strShared).removeRecursively());
    ASSERT_TRUE(QFile::link(TestTempDir(), m_strShared.chopped(1)));
    ExpectPassedOver("a link to a folder elsewhere");
}

TEST_F(InstanceFolder, AFolderAnotherUserOwnsIsNeverUsed) {
    if (geteuid() != 0)
        GTEST_SKIP() << "giving a folder to another user needs root (chown nobody)";
    // Another user made the folder first, open to all, and listens in it.
    ASSERT_TRUE(QDir().mkpath(m_strShared));
    ASSERT_EQ(chmod(QFile::encodeName(m_strShared).constData(), 0777), 0);
    ASSERT_EQ(chown(QFile::encodeName(m_strShared).constData(), 65534, 65534), 0);
    ExpectPassedOver("owned by nobody");
    EXPECT_EQ(ModeOf(m_strShared) & 07777, 0777u) << "another user's folder is not touched";

    // Also when it is closed to everyone but that user.
    ASSERT_EQ(chmod(QFile::encodeName(m_strShared).constData(), 0700), 0);
    ExpectPassedOver("owned by nobody, private to them");
}

TEST(HandOverLine, CarriesAnyNameAndLeavesOrdinaryNamesReadable) {
    const QString strPlain = QStringLiteral("/home/u/my captures/a.hvw");
    EXPECT_EQ(CSingleInstance::EncodeHandOver(strPlain), QFile::encodeName(strPlain) + '\n');
    const QByteArray names[] = {"/t/\xff\xfe in.hvw", "/t/line\nbreak%41.hvw",
                                "/t/\xc3\xa9t\xc3\xa9\r.hvw", "/t/trailing space "};
    for (const QByteArray& name : names) {
        const QByteArray line = CSingleInstance::EncodeHandOver(PlatformFileNameFromBytes(name));
        EXPECT_EQ(line.count('\n'), 1) << "one line, whatever the name holds";
        EXPECT_TRUE(line.endsWith('\n'));
        EXPECT_EQ(PlatformFileNameBytes(CSingleInstance::DecodeHandOver(line)), name);
    }
}
