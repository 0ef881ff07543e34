// File names as bytes: text that turns back into the same bytes, their readable form, and
// opening files to read that must be regular files.
#include "platform/FileNames.h"
#include "platform/RegularFile.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Creates a file by its bytes, which Qt's own file classes cannot do.
void CreateRawFile(const QByteArray& path, const QByteArray& data = "x") {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0) << path.toStdString();
    ASSERT_EQ(::write(fd, data.constData(), size_t(data.size())), data.size());
    ::close(fd);
}

} // namespace

TEST(FileNames, EveryByteStringComesBackAsItWas) {
    const QByteArray names[] = {
        "plain.hvw",
        "\xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x90\x9d.csv", // valid UTF-8, 2 to 4 bytes
        "\xff\xfe bad.csv",                                    // bytes that never start UTF-8
        "\xc0\xaf overlong",                                   // an overlong '/'
        "\xed\xa0\x80 surrogate",                              // a surrogate spelled in UTF-8
        "cut \xe2\x82",                                        // a sequence cut at the end
        "\xf4\x90\x80\x80 past U+10FFFF",
        "\x80 lone continuation \xbf",
    };
    for (const QByteArray& name : names) {
        const QString str = PlatformFileNameFromBytes(name);
        EXPECT_EQ(PlatformFileNameBytes(str), name) << name.toStdString();
        // Valid UTF-8 is plain text; anything else is marked as holding raw bytes.
        EXPECT_EQ(PlatformFileNameHasRawBytes(str), QString::fromUtf8(name).toUtf8() != name)
            << name.toStdString();
    }
    EXPECT_EQ(PlatformFileNameFromBytes("\xc3\xa9"), QString(QChar(0xE9)));
    EXPECT_EQ(PlatformReadableFileName(PlatformFileNameFromBytes("/t/\xff\xfe bad.csv")),
              QStringLiteral("/t/\\xFF\\xFE bad.csv"));
    // A real pair of surrogates (a character beyond the basic plane) is not a raw byte.
    const QString strBee = QString::fromUtf8("\xf0\x9f\x90\x9d");
    EXPECT_FALSE(PlatformFileNameHasRawBytes(strBee));
    EXPECT_EQ(PlatformReadableFileName(strBee), strBee);
}

TEST(FileNames, RelativeNamesBecomeAbsoluteWithTheCurrentFolderBytesKept) {
    const QByteArray base = PlatformFileNameBytes(TestTempDir());
    const QByteArray dir = base + "\xfe cwd";
    ASSERT_EQ(mkdir(dir.constData(), 0700), 0);
    char szOld[4096];
    ASSERT_NE(getcwd(szOld, sizeof(szOld)), nullptr);
    ASSERT_EQ(chdir(dir.constData()), 0);
    const QString strAbsolute = PlatformAbsoluteFileName(QStringLiteral("sub/../a.hvw"));
    ASSERT_EQ(chdir(szOld), 0);
    EXPECT_EQ(PlatformFileNameBytes(strAbsolute), dir + "/a.hvw");
    EXPECT_EQ(PlatformAbsoluteFileName(QStringLiteral("/x/./y/../z")), QStringLiteral("/x/z"));
}

TEST(FileNames, ANameShownByQtIsReadBackToTheFileItShows) {
    const QString strDir = TestTempDir();
    const QByteArray dir = PlatformFileNameBytes(strDir) + "\xff folder";
    ASSERT_EQ(mkdir(dir.constData(), 0700), 0);
    CreateRawFile(dir + "/\xfe\xfd in.hvw");
    // Qt shows each odd byte as U+FFFD and returns the name so.
    const QString strShown = QString::fromUtf8(dir + "/\xfe\xfd in.hvw");
    ASSERT_TRUE(strShown.contains(QChar(0xFFFD)));
    EXPECT_EQ(PlatformFileNameBytes(PlatformResolveShownFileName(strShown)),
              dir + "/\xfe\xfd in.hvw");
    // A new name typed into a save dialog stays as typed, its folder read back.
    const QString strNew = QString::fromUtf8(dir + "/new \xef\xbf\xbd.csv");
    EXPECT_EQ(PlatformFileNameBytes(PlatformResolveShownFileName(strNew)),
              dir + "/new \xef\xbf\xbd.csv");
    // Two entries Qt shows alike cannot be told apart: the name stays as Qt gave it (its
    // folder still read back).
    CreateRawFile(dir + "/\xfc\xfd in.hvw");
    EXPECT_EQ(PlatformFileNameBytes(PlatformResolveShownFileName(strShown)),
              dir + "/" + QString::fromUtf8("\xfe\xfd in.hvw").toUtf8());
}

TEST(RegularFile, FifosDevicesAndFoldersAreRefusedWithoutWaiting) {
    const QString strDir = TestTempDir();
    const QString strFifo = strDir + QStringLiteral("fifo.hvw");
    ASSERT_EQ(mkfifo(PlatformFileNameBytes(strFifo).constData(), 0600), 0);
    struct {
        QString strPath;
        const char* pWhy;
    } cases[] = {
        {strFifo, "FIFO"},           {QStringLiteral("/dev/null"), "device"},
        {strDir, "folder"},          {strDir + QStringLiteral("none.hvw"), "does not exist"},
        {QString(), "no file name"},
    };
    for (const auto& c : cases) {
        QString strWhy;
        EXPECT_EQ(PlatformOpenRegularFile(c.strPath, &strWhy), -1) << c.strPath.toStdString();
        EXPECT_TRUE(strWhy.contains(QLatin1String(c.pWhy))) << strWhy.toStdString();
    }
    const QByteArray raw = PlatformFileNameBytes(strDir) + "\xff.hvw";
    CreateRawFile(raw, "data");
    const int fd = PlatformOpenRegularFile(PlatformFileNameFromBytes(raw));
    ASSERT_GE(fd, 0);
    char sz[8] = {};
    EXPECT_EQ(::read(fd, sz, sizeof(sz)), 4) << "reads block again once it is open";
    EXPECT_EQ(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    ::close(fd);
}
