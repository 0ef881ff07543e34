// The whole pipeline with the real driver module: real Process Monitor traces replayed
// through RegDrv.SYS, read, decoded and filed into the document.
#include "capture/CaptureEngine.h"
#include "settings/SetObj.h"
#include "store/DocumentHost.h"
#include "store/HivewatchDoc.h"
#include "store/RecordLock.h"
#include "store/RegOperations.h"
#include "tests/RecordCopies.h"
#include "tests/TestSupport.h"
#include "utils/SystemInfo.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct STrace {
    const char* pFile;
    int nRegRows;
    const char* pFirstTime;
    const char* pFirstProcess;
    int nFirstPid;
    const char* pFirstRequest;
};

// First registry rows as the files hold them; the time is cut to milliseconds.
const STrace kTraces[] = {
    {"procmon_sre_malware.csv", 6718, "07:21:49.115", "malware.exe", 976, "RegOpenKey"},
    {"procmon_akagi64_uacme.csv", 9873, "01:09:44.827", "Akagi64.exe", 11604, "RegOpenKey"},
    {"procmon_lab_os4_postgres.csv", 6230, "14:54:10.547", "parent.exe", 13140, "RegOpenKey"},
    {"procmon_cucsec_excel_resaved.csv", 3640, "00:47:57.900", "1.exe", 4296, "RegQueryValue"},
};

class EndToEnd : public ::testing::TestWithParam<STrace> {
protected:
    void SetUp() override {
        // Local time is UTC here, so the driver's and the decoder's conversions are checked
        // against the trace's own clock text.
        setenv("TZ", "UTC", 1);
        tzset();
        g_SetObj.ResetDefaults();
        for (uint8_t& b : g_SetObj.m_Filter.bSwitch)
            b = 1;
        g_SetObj.m_Filter.bSwitch[14] = 0;
    }
    void TearDown() override {
        unsetenv("HIVEWATCH_DRIVER_SOURCE");
        unsetenv("HIVEWATCH_DRIVER_PACE");
        g_SetObj.ResetDefaults();
    }
};

// Waits until the expected number of records has been filed (or a generous deadline passed),
// then a little longer so that any record beyond it would show up too.
void WaitForRecords(const CCaptureEngine& engine, uint64_t nExpected) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    while (engine.RecordsFiled() < nExpected && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
}

} // namespace

TEST_P(EndToEnd, ReplayedTraceLandsInTheDocument) {
    const STrace& t = GetParam();
    const QString strTrace = TestDataPath(t.pFile);
    ASSERT_TRUE(QFileInfo::exists(strTrace));
    setenv("HIVEWATCH_DRIVER_SOURCE", ("replay:" + strTrace.toStdString()).c_str(), 1);
    setenv("HIVEWATCH_DRIVER_PACE", "fast", 1);

    CHivewatchDoc doc;
    CCaptureEngine engine(&doc);
    ASSERT_EQ(engine.StartDriver(), 1) << engine.LastError().toStdString();
    ASSERT_TRUE(engine.StartCapture());
    ASSERT_EQ(engine.m_bCapturing, 1);
    WaitForRecords(engine, uint64_t(t.nRegRows));
    engine.StopDriver();

    ASSERT_EQ(doc.GetRecordCount(), t.nRegRows);
    const std::vector<CRegInfoObj> records = CopyRecords(doc);
    const CRegInfoObj* pFirst = &records[0];
    EXPECT_EQ(pFirst->m_strTime, QString::fromLatin1(t.pFirstTime));
    EXPECT_EQ(pFirst->m_strProcessName, QString::fromLatin1(t.pFirstProcess));
    EXPECT_EQ(pFirst->m_nPid, t.nFirstPid);
    EXPECT_EQ(pFirst->m_strRequest, QString::fromLatin1(t.pFirstRequest));
    for (int i = 0; i < doc.GetRecordCount(); ++i) {
        const CRegInfoObj* p = &records[size_t(i)];
        ASSERT_EQ(p->m_nSeq, i + 1) << "records arrive in order, none lost";
        ASSERT_EQ(p->m_strTime.size(), 12);
        const std::string strRequest = p->m_strRequest.toStdString();
        ASSERT_EQ(g_RegOperationNames[size_t(p->GetFunType())], strRequest) << "row " << i;
        ASSERT_TRUE(p->m_strPath.startsWith(QLatin1String("HK"))) << p->m_strPath.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(ProcmonTraces, EndToEnd, ::testing::ValuesIn(kTraces),
                         [](const ::testing::TestParamInfo<STrace>& info) {
                             std::string strName = info.param.pFile;
                             strName = strName.substr(0, strName.find('.'));
                             for (char& c : strName)
                                 c = std::isalnum(uint8_t(c)) ? c : '_';
                             return strName;
                         });

namespace {

ino_t InodeOf(const QString& strPath) {
    struct stat st {};
    return stat(QFile::encodeName(strPath).constData(), &st) == 0 ? st.st_ino : 0;
}

// Puts a file in place of strTarget by renaming, as an installer would: a copy that is loaded
// stays mapped and must stay intact.
void PlaceByRename(const QString& strTarget, const QByteArray& bytes) {
    QFile other(strTarget + QStringLiteral(".other"));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(other.write(bytes), bytes.size());
    other.close();
    ASSERT_EQ(std::rename(QFile::encodeName(other.fileName()).constData(),
                          QFile::encodeName(strTarget).constData()),
              0);
}

} // namespace

// The copy of the driver is made once and used again while it is identical, so a start on a
// full disk works; a copy that differs in any byte is replaced.
TEST(DriverInstall, StartDriverKeepsAnIdenticalCopyAndReplacesAnyOther) {
    CHivewatchDoc doc;
    CCaptureEngine engine(&doc);
    ASSERT_EQ(engine.StartDriver(), 1) << engine.LastError().toStdString();
    ASSERT_TRUE(engine.m_hCaptureThread.joinable());
    engine.StopDriver();
    const QString strTarget = g_ExtSysInfo.GetSysPath() + QStringLiteral("drivers/RegDrv.SYS");
    const QByteArray driver = ReadWholeFile(QStringLiteral(HW_BIN_DIR "/RegDrv.SYS"));
    ASSERT_EQ(ReadWholeFile(strTarget), driver);
    const ino_t nCopy = InodeOf(strTarget);

    {
        // With no file allowed to grow, only a start that writes nothing works.
        qputenv("HW_TEST_FULL_DISK", "limit");
        CFullDisk disk;
        qunsetenv("HW_TEST_FULL_DISK");
        if (!disk.Available())
            GTEST_SKIP() << disk.Why().toStdString();
        disk.Fill();
        CCaptureEngine again(&doc);
        const int nStarted = again.StartDriver();
        disk.Release(); // before the driver unloads: it may save its registry then
        again.StopDriver();
        EXPECT_EQ(nStarted, 1) << again.LastError().toStdString();
        EXPECT_EQ(InodeOf(strTarget), nCopy) << "the identical copy was used as it is";
    }

    // A copy of the same size with one byte changed, and a stale file of another size.
    QByteArray changed = driver;
    changed[changed.size() / 2] = char(changed[changed.size() / 2] ^ 1);
    for (const QByteArray& bytes : {changed, QByteArray("not a driver")}) {
        PlaceByRename(strTarget, bytes);
        CCaptureEngine again(&doc);
        EXPECT_EQ(again.StartDriver(), 1) << again.LastError().toStdString();
        again.StopDriver();
        EXPECT_TRUE(ReadWholeFile(strTarget) == driver) << bytes.size();
    }
    // A copy that other users may write is never used, even when identical.
    const QByteArray target = QFile::encodeName(strTarget);
    ASSERT_EQ(chmod(target.constData(), 0666), 0);
    const ino_t nWritable = InodeOf(strTarget);
    CCaptureEngine again(&doc);
    EXPECT_EQ(again.StartDriver(), 1) << again.LastError().toStdString();
    again.StopDriver();
    EXPECT_NE(InodeOf(strTarget), nWritable);
}

// The driver runs with the program's rights: it is loaded only from the copy in a folder
// private to the user, and never from the current folder.
TEST(DriverInstall, DriverIsLoadedOnlyFromTheCopyInAPrivateFolder) {
    CHivewatchDoc doc;
    {
        CCaptureEngine engine(&doc);
        ASSERT_EQ(engine.StartDriver(), 1) << engine.LastError().toStdString();
        engine.StopDriver();
    }
    const QString strSys = g_ExtSysInfo.GetSysPath();
    const QByteArray sys = QFile::encodeName(strSys);
    struct stat st {};
    ASSERT_EQ(stat(sys.constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    ASSERT_EQ(stat(QFile::encodeName(strSys + "drivers").constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);

    ASSERT_EQ(chmod(sys.constData(), 0777), 0);
    {
        CCaptureEngine engine(&doc);
        EXPECT_EQ(engine.StartDriver(), 0);
        EXPECT_TRUE(engine.LastError().contains(QStringLiteral("other users")))
            << engine.LastError().toStdString();
    }
    ASSERT_EQ(chmod(sys.constData(), 0700), 0);

    // No per-user folder at all: the start fails and says why; the current folder is not used.
    const QByteArray home = qgetenv("HOME"), data = qgetenv("XDG_DATA_HOME");
    char szCwd[4096];
    ASSERT_TRUE(getcwd(szCwd, sizeof(szCwd)));
    const QString strCwd = TestTempDir();
    ASSERT_EQ(chdir(QFile::encodeName(strCwd).constData()), 0);
    unsetenv("HOME");
    unsetenv("XDG_DATA_HOME");
    {
        CCaptureEngine engine(&doc);
        EXPECT_EQ(engine.StartDriver(), 0);
        EXPECT_TRUE(engine.LastError().contains(QStringLiteral("HOME")))
            << engine.LastError().toStdString();
    }
    qputenv("HOME", home);
    qputenv("XDG_DATA_HOME", data);
    EXPECT_EQ(chdir(szCwd), 0);
    EXPECT_TRUE(QDir(strCwd).isEmpty()) << "nothing is copied into the current folder";
}

namespace {

struct CEngineDocHost : IDocumentHost {
    explicit CEngineDocHost(CCaptureEngine& engine) : m_engine(engine) {}
    void SwitchCaptureOff() override { m_engine.SwitchCaptureOff(); }
    void ClearListControl() override {}
    bool HasListView() const override { return false; }
    void RefreshItemCount() override {}
    CCaptureEngine& m_engine;
};

} // namespace

// Opening a document while a flood capture runs: the capture thread may hold decoded records
// that it has not appended yet, but none of them may join the loaded records.
TEST(FloodCapture, OpeningADocumentShowsExactlyItsRecords) {
    g_SetObj.ResetDefaults();
    g_SetObj.StoreHistoryDepth(200000);
    const QString strPath = TestTempDir() + "five.hvw";
    {
        CHivewatchDoc file;
        for (int i = 1; i <= 5; ++i) {
            auto* p = new CRegInfoObj;
            p->m_nSeq = 900000 + i;
            p->m_strProcessName = QStringLiteral("file.exe");
            file.AppendRecord(p);
        }
        ASSERT_TRUE(file.OnSaveDocument(strPath));
    }
    setenv("HIVEWATCH_DRIVER_SOURCE", "flood", 1);
    CHivewatchDoc doc;
    CCaptureEngine engine(&doc);
    CEngineDocHost host(engine);
    doc.SetHost(&host);
    ASSERT_EQ(engine.StartDriver(), 1) << engine.LastError().toStdString();
    int nWrong = 0;
    for (int n = 0; n < 30; ++n) {
        ASSERT_TRUE(engine.StartCapture());
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (doc.GetRecordCount() < 2000 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_TRUE(doc.OnOpenDocument(strPath));
        // Whatever the capture thread held has arrived by now, or never will.
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        const std::vector<CRegInfoObj> records = CopyRecords(doc);
        bool bExact = records.size() == 5;
        for (int i = 0; bExact && i < 5; ++i)
            bExact = records[size_t(i)].m_nSeq == 900001 + i;
        nWrong += bExact ? 0 : 1;
    }
    engine.StopDriver();
    doc.SetHost(nullptr);
    unsetenv("HIVEWATCH_DRIVER_SOURCE");
    g_SetObj.ResetDefaults();
    EXPECT_EQ(nWrong, 0) << "opens that showed records decoded before them";
}
