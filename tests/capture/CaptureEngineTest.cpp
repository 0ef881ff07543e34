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

std::vector<CFakeDriver::SCall> CallsBut(const CFakeDriver& driver, uint32_t nLeftOut) {
    std::vector<CFakeDriver::SCall> ar;
    for (const CFakeDriver::SCall& call : driver.Calls())
        if (call.nCode != nLeftOut)
            ar.push_back(call);
    return ar;
}

QByteArray TargetBytes(int nPid) {
    QByteArray bytes(4, '\0');
    StoreLE32(reinterpret_cast<unsigned char*>(bytes.data()), uint32_t(nPid));
    return bytes;
}

// An attached process is watched by its process ID (the driver follows the processes it
// starts), so no process name narrows the filter; an all-process start clears the target.
TEST_F(EngineTest, StartCaptureSendsTheFilterAndTheTargetAndResetsTheScope) {
    CCaptureEngine engine(&m_doc, &m_host);
    ASSERT_EQ(engine.StartWithHandle(m_driver.OpenHandle()), 1);
    g_SetObj.m_nCaptureScope = SCOPE_ATTACHED;
    g_SetObj.m_strAttachName = QStringLiteral("notepad.exe");
    g_SetObj.m_nAttachPid = 1234;
    m_driver.ClearCalls();
    ASSERT_TRUE(engine.StartCapture());
    auto calls = CallsBut(m_driver, IOCTL_REGDRV_GET_MESSAGE);
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].nCode, IOCTL_REGDRV_SET_FILTER);
    ASSERT_EQ(calls[0].input.size(), 2065);
    EXPECT_TRUE(QByteArray(calls[0].input.constData()).isEmpty()) << "no process name narrows it";
    EXPECT_EQ(calls[0].input.mid(2048),
              QByteArray(reinterpret_cast<const char*>(g_SetObj.m_Filter.bSwitch), 17));
    EXPECT_EQ(calls[1].nCode, IOCTL_REGDRV_SET_TARGET);
    EXPECT_EQ(calls[1].input, TargetBytes(1234));
    EXPECT_EQ(calls[2].nCode, IOCTL_REGDRV_START);
    EXPECT_EQ(calls[3].nCode, IOCTL_REGDRV_APPLY);
    EXPECT_EQ(engine.m_nTargetPid, 1234);
    EXPECT_EQ(g_SetObj.m_nCaptureScope, SCOPE_ALL);

    engine.SwitchCaptureOff();
    m_driver.ClearCalls();
    ASSERT_TRUE(engine.StartCapture());
    calls = CallsBut(m_driver, IOCTL_REGDRV_GET_MESSAGE);
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[1].nCode, IOCTL_REGDRV_SET_TARGET);
    EXPECT_EQ(calls[1].input, TargetBytes(0)) << "all processes again";
    EXPECT_EQ(engine.m_nTargetPid, -1);
    engine.StopDriver();
}

// A driver that cannot switch capture on says why (a Wine server already running, say); Start
// Capture passes the reason on, and a pending program never runs.
TEST_F(EngineTest, RefusedStartSaysTheDriversReasonAndRunsNothing) {
    CCaptureEngine engine(&m_doc, &m_host);
    ASSERT_EQ(engine.StartWithHandle(m_driver.OpenHandle()), 1);
    const QString strRan = TestTempDir() + "ran";
    g_SetObj.m_nCaptureScope = SCOPE_NEW_PROGRAM;
    g_SetObj.m_strNewProgram = QStringLiteral("/bin/sh");
    const QStringList args = {"-c", "echo ran > \"$0\"", strRan};
    m_driver.m_fnOnCall = [&](uint32_t nCode, const QByteArray&) {
        if (nCode == IOCTL_REGDRV_APPLY)
            m_driver.QueueMessage("a Wine server already runs for the prefix /p");
    };
    m_driver.m_nFailCode = IOCTL_REGDRV_APPLY;
    QString strError;
    EXPECT_FALSE(engine.StartCapture(&strError, &args));
    EXPECT_EQ(strError, QStringLiteral("Capture could not be started: a Wine server already runs "
                                       "for the prefix /p."));
    EXPECT_EQ(engine.m_bCapturing, 0);
    EXPECT_EQ(g_SetObj.m_nCaptureScope, SCOPE_NEW_PROGRAM);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(QFile::exists(strRan)) << "the held program ended without running";
    m_driver.m_nFailCode = 0;
    m_driver.m_fnOnCall = nullptr;
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

// A launched program is the root of the watched tree: the driver is told its process ID and
// switched on before the program runs its first instruction, and the ID is the program's own.
TEST_F(EngineTest, LaunchedProgramRunsOnlyOnceTheDriverWatchesIt) {
    CCaptureEngine engine(&m_doc, &m_host);
    ASSERT_EQ(engine.StartWithHandle(m_driver.OpenHandle()), 1);
    const QString strPidFile = TestTempDir() + "program.pid";
    g_SetObj.m_nCaptureScope = SCOPE_NEW_PROGRAM;
    g_SetObj.m_strNewProgram = QStringLiteral("/bin/sh");
    const QStringList args = {"-c", "echo $$ > \"$0\"; exec sleep 20", strPidFile};
    std::atomic<int> nRanBeforeApply{-1};
    m_driver.m_fnOnCall = [&](uint32_t nCode, const QByteArray&) {
        if (nCode == IOCTL_REGDRV_APPLY && nRanBeforeApply < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200)); // room to misbehave
            nRanBeforeApply = QFile::exists(strPidFile) ? 1 : 0;
        }
    };
    m_driver.ClearCalls();
    ASSERT_TRUE(engine.StartCapture(nullptr, &args));
    m_driver.m_fnOnCall = nullptr;
    EXPECT_EQ(nRanBeforeApply, 0) << "the program ran before the driver watched it";
    const int nProgram = ReadPidFile(strPidFile).toInt();
    ASSERT_GT(nProgram, 0);
    EXPECT_EQ(engine.m_nTargetPid, nProgram);
    QByteArray target;
    for (const CFakeDriver::SCall& call : m_driver.Calls())
        if (call.nCode == IOCTL_REGDRV_SET_TARGET)
            target = call.input;
    EXPECT_EQ(target, TargetBytes(nProgram)) << "the last target staged is the program";
    EXPECT_EQ(g_SetObj.m_nCaptureScope, SCOPE_ALL);
    engine.StopDriver();
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
