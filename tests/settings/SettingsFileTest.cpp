// setobj.dat: the default file byte for byte, round trips, damaged files that must leave the
// defaults in force and are kept aside, names that are no files, and the locks of readers
// and writers.
#include "platform/FileLock.h"
#include "settings/SetObj.h"
#include "tests/TestSupport.h"
#include "utils/Archive.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

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

QByteArray Stored(const CSetObj& obj) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    CArchive ar(&buffer, CArchive::store);
    obj.Store(ar);
    ar.Close();
    return buffer.data();
}

bool SameAsDefaults(const CSetObj& a) {
    return Stored(a) == Stored(CSetObj());
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

// A program that is saving holds the writer's lock: a reader waits for it a bounded time,
// and a second writer cannot save meanwhile.
TEST(SettingsFile, HeldWriterLockAndMissingFile) {
    const QString strPath = TestTempDir() + "setobj.dat";
    CSetObj obj;
    EXPECT_FALSE(LoadSettingsFile(strPath, &obj)); // no file: defaults stay
    ASSERT_TRUE(SaveSettingsFile(strPath, &obj));

    const int fd = ::open(QFile::encodeName(SettingsLockPath(strPath)).constData(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(PlatformTryLockExclusive(fd));
    QString strError;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(LoadSettingsFile(strPath, &obj, &strError));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1500));
    EXPECT_TRUE(strError.contains(QStringLiteral("in use"))) << strError.toStdString();
    EXPECT_FALSE(SaveSettingsFile(strPath, &obj));
    EXPECT_EQ(ReadWholeFile(strPath).size(), 2249); // a refused save leaves the file intact

    // A writer that finishes within the wait lets the reader in.
    std::thread writer([fd] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::close(fd);
    });
    EXPECT_TRUE(LoadSettingsFile(strPath, &obj, &strError)) << strError.toStdString();
    writer.join();
}

// A program reading the settings holds the lock shared: a save waits for it a bounded time,
// then fails saying so and leaves the file and nothing else; a reader that finishes within
// the wait lets the save through.
TEST(SettingsFile, HeldReaderLockHoldsOffTheWriter) {
    const QString strDir = TestTempDir();
    const QString strPath = strDir + "setobj.dat";
    CSetObj old;
    old.m_nHistoryDepth = 11;
    ASSERT_TRUE(SaveSettingsFile(strPath, &old));
    const QByteArray before = ReadWholeFile(strPath);

    const int fd = ::open(QFile::encodeName(SettingsLockPath(strPath)).constData(), O_RDONLY);
    ASSERT_TRUE(PlatformLockFile(fd, false, 0));
    CSetObj changed;
    changed.m_nHistoryDepth = 22;
    QString strError;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(SaveSettingsFile(strPath, &changed, &strError));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1500));
    EXPECT_EQ(strError, QStringLiteral("%1 is in use by another program that did not finish with "
                                       "it within 2 seconds")
                            .arg(strPath))
        << strError.toStdString();
    EXPECT_EQ(ReadWholeFile(strPath), before);
    EXPECT_EQ(QDir(strDir).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"setobj.dat", "setobj.dat.lock"}));

    std::thread reader([fd] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::close(fd);
    });
    EXPECT_TRUE(SaveSettingsFile(strPath, &changed, &strError)) << strError.toStdString();
    reader.join();
    CSetObj obj;
    ASSERT_TRUE(LoadSettingsFile(strPath, &obj));
    EXPECT_EQ(obj.m_nHistoryDepth, 22);
}

// Programs that start while another saves all read complete settings, never the defaults
// for want of a lock; every save replaces the file with exactly its own bytes.
TEST(SettingsFile, ReadersRunningWithAWriterAllReadCompleteSettings) {
    const QString strPath = TestTempDir() + "setobj.dat";
    QFile junk(strPath);
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(9000, 'j')); // longer than any settings file
    junk.close();
    CSetObj a, b;
    a.m_nHistoryDepth = 111;
    b.m_nHistoryDepth = 222;
    b.m_arProcExclude = QStringList(40, QStringLiteral("longer.exe"));
    ASSERT_TRUE(SaveSettingsFile(strPath, &a));
    EXPECT_EQ(ReadWholeFile(strPath).size(), 2249);

    std::atomic<bool> bStop{false};
    std::atomic<int> nSaved{0};
    std::thread writer([&] {
        for (int i = 0; !bStop; ++i) {
            EXPECT_TRUE(SaveSettingsFile(strPath, i % 2 ? &b : &a));
            ++nSaved;
        }
    });
    std::vector<std::thread> readers;
    std::atomic<int> nFailed{0}, nRead{0};
    for (int r = 0; r < 4; ++r) {
        readers.emplace_back([&] {
            for (int i = 0; i < 50 || nSaved < 20; ++i) {
                CSetObj obj;
                obj.m_nHistoryDepth = -1;
                QString strError;
                if (!LoadSettingsFile(strPath, &obj, &strError) ||
                    (obj.m_nHistoryDepth != 111 && obj.m_nHistoryDepth != 222) ||
                    (obj.m_nHistoryDepth == 222) != (obj.m_arProcExclude.size() == 40))
                    ++nFailed;
                ++nRead;
                std::this_thread::sleep_for(std::chrono::milliseconds(2)); // programs, not a spin
            }
        });
    }
    for (std::thread& t : readers)
        t.join();
    bStop = true;
    writer.join();
    EXPECT_GE(nRead, 200);
    EXPECT_EQ(nFailed, 0);
    EXPECT_EQ(QDir(QFileInfo(strPath).path()).entryList(QDir::Files | QDir::Hidden).size(), 2)
        << "only setobj.dat and its lock file remain";
}

TEST(SettingsFile, SaveOnAFullDiskKeepsTheOldFile) {
    CFullDisk disk;
    if (!disk.Available())
        GTEST_SKIP() << disk.Why().toStdString();
    const QString strPath = disk.Dir() + "setobj.dat";
    CSetObj old;
    old.m_nHistoryDepth = 42;
    ASSERT_TRUE(SaveSettingsFile(strPath, &old));
    const QByteArray before = ReadWholeFile(strPath);
    disk.Fill();
    CSetObj changed;
    QString strError;
    EXPECT_FALSE(SaveSettingsFile(strPath, &changed, &strError));
    disk.Release();
    EXPECT_TRUE(strError.contains(strPath)) << strError.toStdString();
    EXPECT_EQ(ReadWholeFile(strPath), before);
}

// Stored values outside their ranges go back to their defaults, each on its own, and are
// reported; the look is kept for the window to judge.
TEST(SettingsFile, OutOfRangeValuesTakeTheirDefaultsFieldByField) {
    CSetObj bad;
    bad.m_nExportScope = 9;
    bad.m_nCaptureScope = -4;
    bad.m_nHistoryDepth = -100;
    bad.m_nAppLook = 300;
    bad.m_clrBackground = RGB(1, 2, 3);
    const QString strPath = TestTempDir() + "setobj.dat";
    ASSERT_TRUE(SaveSettingsFile(strPath, &bad));
    CSetObj obj;
    QStringList notes;
    ASSERT_TRUE(LoadSettingsFile(strPath, &obj, nullptr, &notes));
    EXPECT_EQ(obj.m_nExportScope, EXPORT_ALL);
    EXPECT_EQ(obj.m_nCaptureScope, SCOPE_ALL);
    EXPECT_EQ(obj.m_nHistoryDepth, 0);
    EXPECT_EQ(obj.m_nAppLook, 300);
    EXPECT_EQ(obj.m_clrBackground, RGB(1, 2, 3));
    ASSERT_EQ(notes.size(), 3) << notes.join('\n').toStdString();
    EXPECT_TRUE(notes.join('\n').contains(QStringLiteral("capture scope -4")));

    // In range: nothing to report. A negative list count is reported and reads as empty.
    CSetObj good;
    good.m_nCaptureScope = SCOPE_ATTACHED;
    ASSERT_TRUE(SaveSettingsFile(strPath, &good));
    QByteArray bytes = ReadWholeFile(strPath);
    bytes = bytes.left(bytes.size() - 28) + Le32(uint32_t(-2)) + bytes.right(18); // no "*"
    WriteFile(strPath, bytes);
    notes.clear();
    ASSERT_TRUE(LoadSettingsFile(strPath, &obj, nullptr, &notes));
    EXPECT_EQ(obj.m_nCaptureScope, SCOPE_ATTACHED);
    EXPECT_TRUE(obj.m_arProcInclude.isEmpty());
    ASSERT_EQ(notes.size(), 1);
    EXPECT_TRUE(notes[0].contains(QStringLiteral("negative count")));
}

// A damaged file is never replaced without a word: it is moved aside, never over an earlier
// copy, and the defaults stay in force with a message that says what was wrong and where the
// copy is. A file that cannot be kept aside, or read, stays and may not be written over.
TEST(SettingsFile, DamagedSettingsAreKeptAsideAndTheDefaultsUsed) {
    const QString strDir = TestTempDir();
    const QString strPath = strDir + "setobj.dat";
    CSetObj own;
    own.m_nHistoryDepth = 777;
    own.m_arProcExclude = {QStringLiteral("a.exe"), QStringLiteral("b.exe")};
    own.m_arPathExclude = {QStringLiteral("HKLM\\X")};
    ASSERT_TRUE(SaveSettingsFile(strPath, &own));
    const QByteArray full = ReadWholeFile(strPath);
    const QByteArray damaged = full.left(full.size() - 3);

    for (const QString& strCopy : {strPath + ".damaged", strPath + ".damaged-2"}) {
        WriteFile(strPath, damaged);
        CSetObj obj;
        const SSettingsStart start = StartWithSettingsFile(strPath, &obj);
        EXPECT_FALSE(start.bRefused);
        EXPECT_TRUE(start.bMayReplace);
        EXPECT_EQ(start.strKeptAs, strCopy);
        EXPECT_TRUE(start.strMessage.startsWith(strPath + " is damaged (") &&
                    start.strMessage.endsWith(
                        QStringLiteral("); it was kept as %1, and the default settings are used")
                            .arg(strCopy)))
            << start.strMessage.toStdString();
        EXPECT_TRUE(SameAsDefaults(obj));
        EXPECT_FALSE(QFileInfo::exists(strPath));
        EXPECT_EQ(ReadWholeFile(strCopy), damaged);
    }
    EXPECT_EQ(ReadWholeFile(strPath + ".damaged"), damaged) << "the first copy stays as it was";
    CSetObj obj;
    EXPECT_TRUE(StartWithSettingsFile(strPath, &obj).strMessage.isEmpty()) << "told once";

    // No free name left beside it: the damaged file stays and may not be replaced.
    for (int n = 3; n <= 100; ++n)
        WriteFile(strPath + QStringLiteral(".damaged-%1").arg(n), "older");
    WriteFile(strPath, damaged);
    const SSettingsStart full100 = StartWithSettingsFile(strPath, &obj);
    EXPECT_FALSE(full100.bMayReplace);
    EXPECT_TRUE(full100.strKeptAs.isEmpty());
    EXPECT_TRUE(full100.strMessage.contains(QStringLiteral("could not be kept aside")))
        << full100.strMessage.toStdString();
    EXPECT_EQ(ReadWholeFile(strPath), damaged);

    // Held by a program that never finishes saving: not read, and not to be replaced.
    ASSERT_TRUE(SaveSettingsFile(strPath, &own));
    const int fd = ::open(QFile::encodeName(SettingsLockPath(strPath)).constData(), O_RDONLY);
    ASSERT_TRUE(PlatformTryLockExclusive(fd));
    const SSettingsStart busy = StartWithSettingsFile(strPath, &obj);
    ::close(fd);
    EXPECT_FALSE(busy.bRefused);
    EXPECT_FALSE(busy.bMayReplace);
    EXPECT_TRUE(busy.strMessage.contains(QStringLiteral("in use")))
        << busy.strMessage.toStdString();
    EXPECT_EQ(ReadWholeFile(strPath), full);
}
