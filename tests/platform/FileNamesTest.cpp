// File names as bytes: text that turns back into the same bytes, and their readable form.
#include "platform/FileNames.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

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
