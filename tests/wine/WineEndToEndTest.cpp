// The real driver watching a real Wine prefix: registry changes of Windows programs reach the
// document with their old and new data, and the process filter and target work on them.
#include "capture/CaptureEngine.h"
#include "platform/Processes.h"
#include "platform/WineEnvironment.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "store/RecordLock.h"
#include "store/RegOperations.h"
#include "tests/RecordCopies.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>

#include <chrono>
#include <functional>
#include <thread>
#include <unistd.h>

namespace {

class WineEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        const char* pszPrefix = std::getenv("HW_TEST_WINEPREFIX");
        m_strWine = WineFindProgram("wine");
        if (m_strWine.empty() || !pszPrefix ||
            !QFileInfo::exists(QString(pszPrefix) + "/system.reg"))
            GTEST_SKIP() << "Wine is not installed (or its test prefix was not made): "
                            "install wine64 to run the Wine end-to-end tests";
        m_strPrefix = pszPrefix;
        setenv("HIVEWATCH_DRIVER_SOURCE", ("wine:" + m_strPrefix).c_str(), 1);
        setenv("WINEDEBUG", "-all", 1);
        unsetenv("LD_PRELOAD");
        g_SetObj.ResetDefaults();
        for (uint8_t& b : g_SetObj.m_Filter.bSwitch)
            b = 1;
        g_SetObj.m_Filter.bSwitch[14] = 0;
        m_strKey = "HKCU\\Software\\HwE2E" + std::to_string(getpid());
    }
    void TearDown() override {
        unsetenv("HIVEWATCH_DRIVER_SOURCE");
        g_SetObj.ResetDefaults();
    }

    // Runs a Windows program in the prefix to its end.
    void RunWine(const QStringList& arArgs) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("WINEPREFIX", QString::fromStdString(m_strPrefix));
        process.setProcessEnvironment(env);
        process.start(QString::fromStdString(m_strWine), arArgs);
        ASSERT_TRUE(process.waitForFinished(120000)) << arArgs.join(' ').toStdString();
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    }

    // Waits until some record satisfies pred (or a minute passes), then a little longer.
    bool WaitFor(CHivewatchDoc& doc, const std::function<bool(const CRegInfoObj&)>& pred) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline) {
            for (const CRegInfoObj& r : CopyRecords(doc))
                if (pred(r))
                    return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    std::string m_strWine, m_strPrefix, m_strKey;
};

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

TEST_F(WineEndToEnd, CreateSetAndDeleteArriveWithOldAndNewData) {
    CHivewatchDoc doc;
    CCaptureEngine engine(&doc);
    ASSERT_EQ(engine.StartDriver(), 1) << engine.LastError().toStdString();
    ASSERT_TRUE(engine.StartCapture());
    const QString strReg = QStringLiteral("C:\\windows\\system32\\reg.exe");
    RunWine({strReg, "add", Q(m_strKey), "/v", "Answer", "/t", "REG_DWORD", "/d", "42", "/f"});
    RunWine({strReg, "add", Q(m_strKey), "/v", "Answer", "/t", "REG_DWORD", "/d", "43", "/f"});
    RunWine({strReg, "delete", Q(m_strKey), "/f"});
    const QString strKey = Q(m_strKey);
    EXPECT_TRUE(WaitFor(doc, [&](const CRegInfoObj& r) {
        return r.GetFunType() == OP_DELETE_KEY && r.m_strPath == strKey;
    }));
    engine.StopDriver();

    const std::vector<CRegInfoObj> records = CopyRecords(doc);
    std::vector<const CRegInfoObj*> ar;
    for (const CRegInfoObj& r : records)
        if (r.m_strPath.startsWith(strKey))
            ar.push_back(&r);
    const auto find = [&](int nOp, const QString& strPath, const QString& strNew) {
        for (const CRegInfoObj* p : ar)
            if (p->GetFunType() == nOp && p->m_strPath == strPath &&
                (strNew.isNull() || p->m_strNewValue == strNew))
                return p;
        return static_cast<const CRegInfoObj*>(nullptr);
    };
    const CRegInfoObj* pCreate = find(OP_CREATE_NEW, strKey, QString());
    ASSERT_NE(pCreate, nullptr);
    EXPECT_EQ(pCreate->m_strProcessName, QStringLiteral("reg.exe"));
    EXPECT_EQ(pCreate->m_strResult, QStringLiteral("SUCCESS"));
    const CRegInfoObj* pFirst =
        find(OP_SET_VALUE, strKey + "\\Answer", "REG_DWORD: 0x0000002a (42)");
    ASSERT_NE(pFirst, nullptr);
    EXPECT_EQ(pFirst->m_strOldValue, QString());
    const CRegInfoObj* pSecond =
        find(OP_SET_VALUE, strKey + "\\Answer", "REG_DWORD: 0x0000002b (43)");
    ASSERT_NE(pSecond, nullptr);
    EXPECT_EQ(pSecond->m_strOldValue, QStringLiteral("REG_DWORD: 0x0000002a (42)"));
    EXPECT_EQ(pSecond->Modified(), 1);
    const CRegInfoObj* pDelete = find(OP_DELETE_KEY, strKey, QString());
    ASSERT_NE(pDelete, nullptr);
    EXPECT_EQ(pDelete->m_strResult, QStringLiteral("SUCCESS"));
    EXPECT_GT(pDelete->m_nPid, 0);
}

// Open New Program with reg.exe runs it under Wine; its process is the target, and the filter
// that names it lets nothing else through.
TEST_F(WineEndToEnd, LaunchedWindowsProgramIsTheTarget) {
    g_SetObj.m_strNewProgram = QStringLiteral("reg.exe");
    g_SetObj.m_strNewParams = Q("add " + m_strKey + "L /v Launched /t REG_SZ /d yes /f");
    g_SetObj.StoreCaptureScope(SCOPE_NEW_PROGRAM);
    CHivewatchDoc doc;
    CCaptureEngine engine(&doc);
    ASSERT_EQ(engine.StartDriver(), 1) << engine.LastError().toStdString();
    QString strError;
    ASSERT_TRUE(engine.StartCapture(&strError)) << strError.toStdString();
    const int nTarget = engine.m_nTargetPid;
    ASSERT_GT(nTarget, 0);
    const QString strValue = Q(m_strKey + "L\\Launched");
    EXPECT_TRUE(WaitFor(doc, [&](const CRegInfoObj& r) { return r.m_strPath == strValue; }));
    engine.StopDriver();
    ASSERT_GT(doc.GetRecordCount(), 0);
    for (const CRegInfoObj& r : CopyRecords(doc)) {
        EXPECT_EQ(r.m_strProcessName, QStringLiteral("reg.exe"));
        EXPECT_EQ(r.m_nPid, nTarget);
    }
}

// A running Windows program is found by its Linux process ID under its image name, and
// attaching to it captures its operations only.
TEST_F(WineEndToEnd, AttachToARunningWineProgram) {
    CHivewatchDoc doc;
    CCaptureEngine engine(&doc);
    ASSERT_EQ(engine.StartDriver(), 1) << engine.LastError().toStdString();
    QProcess ping;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("WINEPREFIX", Q(m_strPrefix));
    ping.setProcessEnvironment(env);
    ping.start(Q(m_strWine), {"C:\\windows\\system32\\ping.exe", "-n", "3", "127.0.0.1"});
    ASSERT_TRUE(ping.waitForStarted());
    const int nPid = int(ping.processId());
    QString strName;
    for (int i = 0; i < 100 && strName != QLatin1String("ping.exe"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        strName = PlatformProcessName(nPid);
    }
    ASSERT_EQ(strName, QStringLiteral("ping.exe"));
    g_SetObj.m_strAttachName = strName;
    g_SetObj.m_nAttachPid = nPid;
    g_SetObj.StoreCaptureScope(SCOPE_ATTACHED);
    ASSERT_TRUE(engine.StartCapture());
    EXPECT_TRUE(WaitFor(doc, [&](const CRegInfoObj& r) { return r.m_nPid == nPid; }));
    ping.waitForFinished(60000);
    engine.StopDriver();
    for (const CRegInfoObj& r : CopyRecords(doc)) {
        EXPECT_EQ(r.m_nPid, nPid);
        EXPECT_EQ(r.m_strProcessName, QStringLiteral("ping.exe"));
    }
}

// A Wine server of the prefix that is not ours is left alone and named in the reason.
TEST_F(WineEndToEnd, ForeignServerMakesLoadingFail) {
    QProcess server;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("WINEPREFIX", Q(m_strPrefix));
    server.setProcessEnvironment(env);
    server.start(Q(WineFindProgram("wineserver")), {"-f", "-p"});
    ASSERT_TRUE(server.waitForStarted());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    CHivewatchDoc doc;
    CCaptureEngine engine(&doc);
    EXPECT_EQ(engine.StartDriver(), 0);
    EXPECT_EQ(server.state(), QProcess::Running) << "never killed behind the user's back";
    server.terminate();
    server.waitForFinished(10000);
}
