// The whole pipeline with the real driver module: real Process Monitor traces replayed
// through RegDrv.SYS, read, decoded and filed into the document.
#include "capture/CaptureEngine.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "store/RecordLock.h"
#include "store/RegOperations.h"
#include "tests/TestSupport.h"
#include "utils/SystemInfo.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

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
    CAutoLock lock(&g_RecordLock);
    const CRegInfoObj* pFirst = doc.GetRecordAt(0);
    EXPECT_EQ(pFirst->m_strTime, QString::fromLatin1(t.pFirstTime));
    EXPECT_EQ(pFirst->m_strProcessName, QString::fromLatin1(t.pFirstProcess));
    EXPECT_EQ(pFirst->m_nPid, t.nFirstPid);
    EXPECT_EQ(pFirst->m_strRequest, QString::fromLatin1(t.pFirstRequest));
    for (int i = 0; i < doc.GetRecordCount(); ++i) {
        const CRegInfoObj* p = doc.GetRecordAt(i);
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

TEST(DriverInstall, StartDriverReplacesTheCopiedDriverAndVersionChecks) {
    CHivewatchDoc doc;
    CCaptureEngine engine(&doc);
    ASSERT_EQ(engine.StartDriver(), 1) << engine.LastError().toStdString();
    ASSERT_TRUE(engine.m_hCaptureThread.joinable());
    engine.StopDriver();

    // A stale file in the drivers folder is overwritten at every start. It is put there by
    // renaming, as an installer would: the loaded copy stays mapped and must stay intact.
    const QString strTarget = g_ExtSysInfo.GetSysPath() + QStringLiteral("drivers/RegDrv.SYS");
    ASSERT_TRUE(QFileInfo::exists(strTarget));
    QFile stale(strTarget + QStringLiteral(".stale"));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly | QIODevice::Truncate));
    stale.write("not a driver");
    stale.close();
    ASSERT_EQ(std::rename(QFile::encodeName(stale.fileName()).constData(),
                          QFile::encodeName(strTarget).constData()),
              0);
    ASSERT_EQ(QFileInfo(strTarget).size(), 12);
    CCaptureEngine again(&doc);
    EXPECT_EQ(again.StartDriver(), 1) << again.LastError().toStdString();
    EXPECT_EQ(QFileInfo(strTarget).size(),
              QFileInfo(QStringLiteral(HW_BIN_DIR "/RegDrv.SYS")).size());
    again.StopDriver();
}
