// The engine against a recording driver: version check, switching rules, the filter it
// sends, and a capture thread that starts, files records and ends cleanly.
#include "capture/CaptureEngine.h"
#include "capture/CaptureHost.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "tests/TestSupport.h"
#include "tests/capture/FakeDriver.h"

#include <QFile>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

struct CCountingHost : ICaptureHost {
    void RefreshList() override { ++m_nRefresh; }
    void PostCloseNotice() override { ++m_nClose; }
    std::atomic<int> m_nRefresh{0}, m_nClose{0};
};

bool WaitFor(const std::function<bool()>& fn, int nMs = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(nMs);
    while (!fn()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override { g_SetObj.ResetDefaults(); }
    void TearDown() override { g_SetObj.ResetDefaults(); }
    CFakeDriver m_driver;
    CHivewatchDoc m_doc;
    CCountingHost m_host;
};

} // namespace

TEST_F(EngineTest, WrongVersionStartsNoThread) {
    for (uint32_t nVersion : {199u, 201u, 0u}) {
        m_driver.m_nVersion = nVersion;
        CCaptureEngine engine(&m_doc, &m_host);
        EXPECT_EQ(engine.StartWithHandle(m_driver.OpenHandle()), 0);
        EXPECT_EQ(engine.m_bRunning, 0);
        EXPECT_FALSE(engine.m_hCaptureThread.joinable());
        EXPECT_EQ(m_driver.Codes(), std::vector<uint32_t>{IOCTL_REGDRV_GET_VERSION});
        m_driver.ClearCalls();
    }
    m_driver.m_nVersion = 200;
    m_driver.m_nFailCode = IOCTL_REGDRV_APPLY;
    CCaptureEngine engine(&m_doc, &m_host);
    EXPECT_EQ(engine.StartWithHandle(m_driver.OpenHandle()), 0);
    EXPECT_FALSE(engine.m_hCaptureThread.joinable());
}

TEST_F(EngineTest, SwitchingSendsNothingWhenAlreadyInThatState) {
    CCaptureEngine engine(&m_doc, &m_host);
    ASSERT_EQ(engine.StartWithHandle(m_driver.OpenHandle()), 1);
    m_driver.ClearCalls();
    engine.SwitchCaptureOff();
    EXPECT_TRUE(m_driver.Codes().empty());
    engine.SwitchCaptureOn();
    engine.SwitchCaptureOn();
    EXPECT_EQ(m_driver.Codes(), (std::vector<uint32_t>{IOCTL_REGDRV_START, IOCTL_REGDRV_APPLY}));
    EXPECT_EQ(engine.m_bCapturing, 1);
    m_driver.ClearCalls();
    engine.SwitchCaptureOff();
    EXPECT_EQ(m_driver.Codes(), (std::vector<uint32_t>{IOCTL_REGDRV_STOP, IOCTL_REGDRV_APPLY}));
    EXPECT_EQ(engine.m_bCapturing, 0);

    // START accepted but APPLY refused: capture stays off.
    m_driver.m_nFailCode = IOCTL_REGDRV_APPLY;
    engine.SwitchCaptureOn();
    EXPECT_EQ(engine.m_bCapturing, 0);
    m_driver.m_nFailCode = 0;
    engine.StopDriver();
    EXPECT_EQ(m_host.m_nClose, 1);
    EXPECT_EQ(engine.m_bThreadEnded, 1);
}

TEST_F(EngineTest, StartCaptureSendsTheComposedFilterAndResetsTheScope) {
    CCaptureEngine engine(&m_doc, &m_host);
    ASSERT_EQ(engine.StartWithHandle(m_driver.OpenHandle()), 1);
    g_SetObj.m_nCaptureScope = SCOPE_ATTACHED;
    g_SetObj.m_strAttachName = QStringLiteral("notepad.exe");
    g_SetObj.m_nAttachPid = 1234;
    m_driver.ClearCalls();
    ASSERT_TRUE(engine.StartCapture());
    const auto calls = m_driver.Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].nCode, IOCTL_REGDRV_SET_FILTER);
    ASSERT_EQ(calls[0].input.size(), 2065);
    EXPECT_EQ(QByteArray(calls[0].input.constData()), QByteArray("NOTEPAD.EXE"));
    EXPECT_EQ(calls[0].input.mid(2048),
              QByteArray(reinterpret_cast<const char*>(g_SetObj.m_Filter.bSwitch), 17));
    EXPECT_EQ(engine.m_nTargetPid, 1234);
    EXPECT_EQ(g_SetObj.m_nCaptureScope, SCOPE_ALL);
    engine.StopDriver();
}

TEST_F(EngineTest, FailedLaunchSwitchesOffAndKeepsThePendingProgram) {
    CCaptureEngine engine(&m_doc, &m_host);
    ASSERT_EQ(engine.StartWithHandle(m_driver.OpenHandle()), 1);
    g_SetObj.m_nCaptureScope = SCOPE_NEW_PROGRAM;
    g_SetObj.m_strNewProgram = QStringLiteral("/nonexistent/prog");
    g_SetObj.m_strNewParams = QStringLiteral("-x file.txt");
    QString strError;
    EXPECT_FALSE(engine.StartCapture(&strError));
    EXPECT_EQ(strError,
              QStringLiteral("Can not start a new process with \"/nonexistent/prog -x file.txt\""));
    EXPECT_TRUE(engine.LastError().contains(QStringLiteral("was not found")));
    EXPECT_EQ(engine.m_bCapturing, 0);
    EXPECT_EQ(g_SetObj.m_nCaptureScope, SCOPE_NEW_PROGRAM);

    g_SetObj.m_strNewProgram = QStringLiteral("/bin/true");
    EXPECT_TRUE(engine.StartCapture(&strError));
    EXPECT_GT(engine.m_nTargetPid, 0);
    EXPECT_EQ(g_SetObj.m_nCaptureScope, SCOPE_ALL);
    engine.StopDriver();
}

TEST_F(EngineTest, ThreadFilesRecordsRefreshesAndEnds) {
    CCaptureEngine engine(&m_doc, &m_host);
    ASSERT_EQ(engine.StartWithHandle(m_driver.OpenHandle()), 1);
    // While capture is off the thread reads nothing.
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    EXPECT_EQ(m_driver.m_nReads, 0);

    m_driver.QueueRead(
        {"10\ta.exe\tRegOpenKey\tHKLM\\A\tSUCCESS", "11\tb.exe\tRegCloseKey\tHKLM\\A\tSUCCESS"});
    m_driver.QueueRead({"12\tc.exe\tRegDeleteKey\tHKLM\\B\tSUCCESS"}, 3);
    engine.SwitchCaptureOn();
    ASSERT_TRUE(WaitFor([&] { return m_doc.GetRecordCount() == 3; }));
    EXPECT_TRUE(WaitFor([&] { return m_host.m_nRefresh >= 2; }));
    EXPECT_TRUE(m_doc.IsModified());
    EXPECT_EQ(m_doc.m_bNewRecords, 1);

    const auto t0 = std::chrono::steady_clock::now();
    engine.StopDriver();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
    EXPECT_EQ(engine.m_bThreadEnded, 1);
    EXPECT_EQ(m_host.m_nClose, 1);
    EXPECT_EQ(engine.m_hDevice, nullptr);
}

TEST_F(EngineTest, FailingReadsAreRetriedButTheThreadStillEnds) {
    m_driver.m_nFailCode = IOCTL_REGDRV_READ;
    CCaptureEngine engine(&m_doc, &m_host);
    ASSERT_EQ(engine.StartWithHandle(m_driver.OpenHandle()), 1);
    engine.m_bCapturing = 1; // as if switched on before the driver began to fail
    ASSERT_TRUE(WaitFor([&] { return m_driver.m_nReads > 3; }));
    engine.m_bQuit = 1;
    ASSERT_TRUE(WaitFor([&] { return engine.m_bThreadEnded == 1; }));
    EXPECT_EQ(m_host.m_nRefresh, 0);
    engine.StopDriver();
}

TEST_F(EngineTest, CloseCancelledKeepsRunningWithCaptureOff) {
    CCaptureEngine engine(&m_doc, &m_host);
    ASSERT_EQ(engine.StartWithHandle(m_driver.OpenHandle()), 1);
    engine.SwitchCaptureOn();
    m_doc.m_bNewRecords = 1;
    bool bAsked = false;
    EXPECT_EQ(engine.OnCloseRequest([&] {
        bAsked = true;
        EXPECT_TRUE(m_doc.IsModified()); // the prompt sees the unsaved records
        return false;
    }),
              CCaptureEngine::CLOSE_CANCELLED);
    EXPECT_TRUE(bAsked);
    EXPECT_EQ(engine.m_bCapturing, 0);
    EXPECT_EQ(engine.m_bQuit, 0);
    EXPECT_TRUE(engine.m_hCaptureThread.joinable());
    engine.StopDriver();
}

TEST_F(EngineTest, CloseTakesTwoPassesThroughTheThreadsNotice) {
    CCaptureEngine engine(&m_doc, &m_host);
    ASSERT_EQ(engine.StartWithHandle(m_driver.OpenHandle()), 1);
    m_doc.m_bNewRecords = 0;
    EXPECT_EQ(engine.OnCloseRequest([&] { return !m_doc.IsModified(); }),
              CCaptureEngine::CLOSE_WAIT_FOR_THREAD);
    ASSERT_TRUE(WaitFor([&] { return m_host.m_nClose == 1; }));
    EXPECT_EQ(engine.m_bThreadEnded, 1);
    EXPECT_EQ(engine.OnCloseRequest(nullptr), CCaptureEngine::CLOSE_NOW);
    EXPECT_EQ(engine.m_hDevice, nullptr);
    EXPECT_FALSE(m_doc.IsModified());
}

TEST_F(EngineTest, CloseWithoutACaptureThreadFinishesAtOnce) {
    m_driver.m_nVersion = 100;
    CCaptureEngine engine(&m_doc, &m_host);
    ASSERT_EQ(engine.StartWithHandle(m_driver.OpenHandle()), 0);
    EXPECT_EQ(engine.OnCloseRequest([] { return true; }), CCaptureEngine::CLOSE_NOW);
    EXPECT_EQ(engine.m_hDevice, nullptr);
}

namespace {

int Rejected(const CCaptureEngine& engine, int nPid) {
    const std::string strText = std::to_string(nPid) + "\tp.exe\tRegSetValueKey\tHKLM\\A\tSUCCESS";
    return engine.IsRecordRejected(SplitRecordText(strText));
}

QString ReadPidFile(const QString& strPath) {
    for (int i = 0; i < 500; ++i) {
        QFile f(strPath);
        if (f.open(QIODevice::ReadOnly)) {
            const QString str = QString::fromLatin1(f.readAll()).trimmed();
            if (!str.isEmpty())
                return str;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {};
}

} // namespace

// Attaching to one process watches that process for the whole capture, not every process
// of its name, although the stored scope goes back to all processes.
TEST_F(EngineTest, AttachedCaptureKeepsOnlyTheTargetUntilStopped) {
    CCaptureEngine engine(&m_doc, &m_host);
    ASSERT_EQ(engine.StartWithHandle(m_driver.OpenHandle()), 1);
    g_SetObj.m_nCaptureScope = SCOPE_ATTACHED;
    g_SetObj.m_strAttachName = QStringLiteral("notepad.exe");
    g_SetObj.m_nAttachPid = 1234;
    ASSERT_TRUE(engine.StartCapture());
    EXPECT_EQ(g_SetObj.m_nCaptureScope, SCOPE_ALL);
    EXPECT_EQ(Rejected(engine, 1234), 0);
    EXPECT_EQ(Rejected(engine, 1235), 1);
    EXPECT_EQ(Rejected(engine, -1), 1);

    engine.SwitchCaptureOff(); // Stop ends the watch; the next start is for all processes
    EXPECT_EQ(Rejected(engine, 1235), 0);
    ASSERT_TRUE(engine.StartCapture());
    EXPECT_EQ(Rejected(engine, 1235), 0);
    engine.StopDriver();
}

// A launched program is watched with the processes it starts; its parent, other processes
// and processes that have gone are not.
TEST_F(EngineTest, NewProgramCaptureKeepsTheProgramAndItsDescendants) {
    CCaptureEngine engine(&m_doc, &m_host);
    ASSERT_EQ(engine.StartWithHandle(m_driver.OpenHandle()), 1);
    const QString strPidFile = TestTempDir() + "child.pid";
    g_SetObj.m_nCaptureScope = SCOPE_NEW_PROGRAM;
    g_SetObj.m_strNewProgram = QStringLiteral("/bin/sh");
    const QStringList args = {"-c", "sleep 20 & echo $! > \"$0\"; wait", strPidFile};
    // Before the program runs, nothing passes.
    ASSERT_TRUE(engine.StartCapture(nullptr, &args));
    const int nProgram = engine.m_nTargetPid;
    ASSERT_GT(nProgram, 0);
    const int nChild = ReadPidFile(strPidFile).toInt();
    ASSERT_GT(nChild, 0);
    EXPECT_EQ(g_SetObj.m_nCaptureScope, SCOPE_ALL);
    EXPECT_EQ(Rejected(engine, nProgram), 0);
    EXPECT_EQ(Rejected(engine, nChild), 0);
    EXPECT_EQ(Rejected(engine, nChild), 0); // the cached verdict
    EXPECT_EQ(Rejected(engine, int(getpid())), 1);
    EXPECT_EQ(Rejected(engine, 1), 1);
    EXPECT_EQ(Rejected(engine, 999999999), 1);

    // Records reach the document through the same check.
    m_driver.QueueRead({std::to_string(nChild) + "\tsleep\tRegSetValueKey\tHKCU\\K\tSUCCESS",
                        std::to_string(getpid()) + "\tother\tRegSetValueKey\tHKCU\\K\tSUCCESS"});
    ASSERT_TRUE(WaitFor([&] { return m_driver.m_nReads > 1; }));
    engine.StopDriver();
    ASSERT_EQ(m_doc.GetRecordCount(), 1);
    CRegInfoObj record;
    ASSERT_TRUE(m_doc.CopyRecordAt(0, record));
    EXPECT_EQ(record.m_nPid, nChild);
    kill(nChild, SIGKILL);
    kill(nProgram, SIGKILL);
}

// The capture thread files no more than the limit, however many records arrive at once.
TEST_F(EngineTest, RecordLimitFilesExactlyThatMany) {
    CCaptureEngine engine(&m_doc, &m_host);
    ASSERT_EQ(engine.StartWithHandle(m_driver.OpenHandle()), 1);
    engine.SetRecordLimit(70);
    std::vector<std::string> texts(100, "5\tp.exe\tRegSetValueKey\tHKLM\\A\tSUCCESS");
    m_driver.QueueRead(texts);
    m_driver.QueueRead(texts, 101);
    engine.SwitchCaptureOn();
    ASSERT_TRUE(WaitFor([&] { return engine.RecordsFiled() >= 70; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    engine.StopDriver();
    EXPECT_EQ(engine.RecordsFiled(), 70u);
    ASSERT_EQ(m_doc.GetRecordCount(), 70);
    CRegInfoObj last;
    ASSERT_TRUE(m_doc.CopyRecordAtRow(0, last));
    EXPECT_EQ(last.m_nSeq, 70); // the first 70, in order
}
