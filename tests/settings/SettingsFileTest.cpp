// setobj.dat: the default file byte for byte, round trips, and damaged files that must leave
// the defaults in force.
#include "platform/FileLock.h"
#include "settings/SetObj.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

namespace {

QByteArray Le32(uint32_t v) {
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char(v >> (8 * i));
    return b;
}

QByteArray WideStr(const char* p) {
    QByteArray b = QByteArray::fromHex("FFFEFF") + char(strlen(p));
    for (const char* c = p; *c; ++c)
        b += QByteArray(1, *c) + '\0';
    return b;
}

// The default file, composed field by field from the documented layout.
QByteArray ExpectedDefaultFile() {
    QByteArray b = Le32(0);
    QByteArray filter(2065, '\0');
    filter[0] = '*';
    const char sw[17] = {1, 1, 0, 0, 0, 0, 0, 0, 1, 1, 1, 0, 1, 0, 0, 0, 0};
    for (int i = 0; i < 17; ++i)
        filter[2048 + i] = sw[i];
    b += filter;
    for (int i = 0; i < 14; ++i) {
        b += Le32(i == 11 ? 0x0000FF : 0);
        b += Le32(i == 11 ? 0x007A7A : 0xE0D2BA);
    }
    b += Le32(0) + Le32(0xE0D2BA) + Le32(215) + Le32(2);
    b += WideStr("") + Le32(0) + Le32(1) + WideStr("") + WideStr("") + Le32(1);
    b += Le32(1) + WideStr("*") + Le32(0) + Le32(1) + WideStr("*") + Le32(0);
    return b;
}

void WriteFile(const QString& strPath, const QByteArray& bytes) {
    QFile f(strPath);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

bool SameAsDefaults(const CSetObj& a) {
    const QString strPath = TestTempDir() + "cmp.dat";
    CSetObj defaults;
    SaveSettingsFile(strPath, &a);
    const QByteArray x = ReadWholeFile(strPath);
    SaveSettingsFile(strPath, &defaults);
    return x == ReadWholeFile(strPath);
}

} // namespace

TEST(SettingsFile, DefaultObjectWritesTheDocumentedBytes) {
    const QString strPath = TestTempDir() + "setobj.dat";
    CSetObj defaults;
    ASSERT_TRUE(SaveSettingsFile(strPath, &defaults));
    const QByteArray bytes = ReadWholeFile(strPath);
    ASSERT_EQ(bytes.size(), 2249);
    EXPECT_EQ(bytes.mid(4, 2), QByteArray::fromHex("2A00"));
    EXPECT_EQ(bytes.right(28),
              QByteArray::fromHex("01000000FFFEFF012A000000000001000000FFFEFF012A0000000000"));
    EXPECT_TRUE(bytes == ExpectedDefaultFile());
}

TEST(SettingsFile, EveryFieldRoundTrips) {
    CSetObj a;
    a.m_nExportScope = EXPORT_MODIFIED;
    a.m_Filter.bSwitch[14] = 1;
    a.m_Filter.bSwitch[0] = 0;
    a.m_clrText[3] = RGB(1, 2, 3);
    a.m_clrBack[13] = RGB(4, 5, 6);
    a.m_clrBackground = RGB(7, 8, 9);
    a.m_nAppLook = 999; // out of range values are kept as stored
    a.m_nCaptureScope = SCOPE_NEW_PROGRAM;
    a.m_strAttachName = QStringLiteral("notepad.exe");
    a.m_nAttachPid = -5;
    a.m_bAttachCaptureNow = 0;
    a.m_strNewProgram = QString(300, QChar(0x00E9));
    a.m_strNewParams = QStringLiteral("-x \"file name.txt\"");
    a.m_bNewCaptureNow = 0;
    a.m_arProcInclude = {QStringLiteral("a.exe"), QStringLiteral("\u4e0a.exe")};
    a.m_arProcExclude = {QStringLiteral("x")};
    a.m_arPathInclude.clear();
    a.m_arPathExclude = {QStringLiteral("HKLM\\SOFTWARE"), QString()};
    a.m_nHistoryDepth = 100000;

    const QString strPath = TestTempDir() + "setobj.dat";
    ASSERT_TRUE(SaveSettingsFile(strPath, &a));
    CSetObj b;
    ASSERT_TRUE(LoadSettingsFile(strPath, &b));
    EXPECT_EQ(b.m_nExportScope, a.m_nExportScope);
    EXPECT_EQ(memcmp(&b.m_Filter, &a.m_Filter, sizeof(FILTER_BLOCK)), 0);
    EXPECT_EQ(b.m_clrText[3], a.m_clrText[3]);
    EXPECT_EQ(b.m_clrBack[13], a.m_clrBack[13]);
    EXPECT_EQ(b.m_clrBackground, a.m_clrBackground);
    EXPECT_EQ(b.m_nAppLook, 999);
    EXPECT_EQ(b.m_nCaptureScope, SCOPE_NEW_PROGRAM);
    EXPECT_EQ(b.m_strAttachName, a.m_strAttachName);
    EXPECT_EQ(b.m_nAttachPid, -5);
    EXPECT_EQ(b.m_bAttachCaptureNow, 0);
    EXPECT_EQ(b.m_strNewProgram, a.m_strNewProgram);
    EXPECT_EQ(b.m_strNewParams, a.m_strNewParams);
    EXPECT_EQ(b.m_bNewCaptureNow, 0);
    EXPECT_EQ(b.m_arProcInclude, a.m_arProcInclude);
    EXPECT_EQ(b.m_arProcExclude, a.m_arProcExclude);
    EXPECT_TRUE(b.m_arPathInclude.isEmpty()); // "*" is not put back on load
    EXPECT_EQ(b.m_arPathExclude, a.m_arPathExclude);
    EXPECT_EQ(b.m_nHistoryDepth, 100000);

    // The 300-character program name uses the 16-bit length form.
    const QByteArray bytes = ReadWholeFile(strPath);
    EXPECT_TRUE(bytes.contains(QByteArray::fromHex("FFFEFFFF2C01")));
}

// Every shorter prefix of a valid file is refused and changes nothing at all.
TEST(SettingsFile, TruncatedFilesKeepTheWholeDefaultObject) {
    const QString strPath = TestTempDir() + "setobj.dat";
    CSetObj changed;
    changed.m_nExportScope = 2;
    changed.m_nHistoryDepth = 7;
    changed.m_arProcExclude = {QStringLiteral("y.exe")};
    ASSERT_TRUE(SaveSettingsFile(strPath, &changed));
    const QByteArray full = ReadWholeFile(strPath);
    for (qsizetype n = 0; n < full.size(); ++n) {
        WriteFile(strPath, full.left(n));
        CSetObj obj;
        QString strError;
        ASSERT_FALSE(LoadSettingsFile(strPath, &obj, &strError)) << "prefix " << n;
        ASSERT_TRUE(SameAsDefaults(obj)) << "prefix " << n;
        ASSERT_FALSE(strError.isEmpty());
    }
}

TEST(SettingsFile, ImpossibleCountsAndEmptyLists) {
    CSetObj defaults;
    const QString strPath = TestTempDir() + "setobj.dat";
    ASSERT_TRUE(SaveSettingsFile(strPath, &defaults));
    QByteArray bytes = ReadWholeFile(strPath);

    QByteArray huge = bytes;
    huge.replace(huge.size() - 28, 4, Le32(0x7FFFFFFF));
    WriteFile(strPath, huge);
    CSetObj obj;
    EXPECT_FALSE(LoadSettingsFile(strPath, &obj));
    EXPECT_TRUE(SameAsDefaults(obj));

    // A zero-entry process include list loads empty, negative counts too.
    QByteArray empty =
        bytes.left(bytes.size() - 28) + Le32(0) + Le32(uint32_t(-3)) + bytes.right(14);
    WriteFile(strPath, empty);
    ASSERT_TRUE(LoadSettingsFile(strPath, &obj));
    EXPECT_TRUE(obj.m_arProcInclude.isEmpty());
    EXPECT_TRUE(obj.m_arProcExclude.isEmpty());
    EXPECT_EQ(obj.m_arPathInclude, QStringList{QStringLiteral("*")});
}

TEST(SettingsFile, ExclusiveAccessAndMissingFile) {
    const QString strPath = TestTempDir() + "setobj.dat";
    CSetObj obj;
    EXPECT_FALSE(LoadSettingsFile(strPath, &obj)); // no file: defaults stay
    ASSERT_TRUE(SaveSettingsFile(strPath, &obj));

    const int fd = ::open(QFile::encodeName(strPath).constData(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(PlatformTryLockExclusive(fd));
    QString strError;
    EXPECT_FALSE(LoadSettingsFile(strPath, &obj, &strError));
    EXPECT_TRUE(strError.contains(QStringLiteral("in use")));
    EXPECT_FALSE(SaveSettingsFile(strPath, &obj));
    EXPECT_EQ(ReadWholeFile(strPath).size(), 2249); // a refused save leaves the file intact
    ::close(fd);
    EXPECT_TRUE(LoadSettingsFile(strPath, &obj));
}
