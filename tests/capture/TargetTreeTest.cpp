// Watching one program on Linux with the real driver (simulated activity of the machine's real
// processes): the program and every process it starts, whatever their names, and nothing else.
#include "capture/CaptureEngine.h"
#include "platform/Processes.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "tests/RecordCopies.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>

#include <chrono>
#include <set>
#include <thread>

#include <signal.h>

namespace {

using namespace std::chrono_literals;

class TargetTree : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("HIVEWATCH_DRIVER_SOURCE", "sim", 1);
        setenv("HIVEWATCH_DRIVER_RATE", "3000", 1);
        setenv("HIVEWATCH_DRIVER_REGISTRY", "", 1);
        g_SetObj.ResetDefaults();
        for (uint8_t& b : g_SetObj.m_Filter.bSwitch)
            b = 1;
        g_SetObj.m_Filter.bSwitch[14] = 0;
    }
    void TearDown() override {
        for (int nPid : m_arKill)
            kill(nPid, SIGKILL);
        unsetenv("HIVEWATCH_DRIVER_SOURCE");
        unsetenv("HIVEWATCH_DRIVER_RATE");
        unsetenv("HIVEWATCH_DRIVER_REGISTRY");
        g_SetObj.ResetDefaults();
    }

    // Process IDs a script wrote, one per line, once there are nCount of them.
    static std::vector<int> ReadPids(const QString& strPath, size_t nCount) {
        std::vector<int> ar;
        for (int i = 0; i < 500 && ar.size() < nCount; ++i) {
            std::this_thread::sleep_for(10ms);
            ar.clear();
            QFile f(strPath);
            if (f.open(QIODevice::ReadOnly))
                for (const QByteArray& line : f.readAll().split('\n'))
                    if (line.toInt() > 0)
                        ar.push_back(line.toInt());
        }
        return ar;
    }

    // Captures until a record of every process in want has arrived (or 20 s passed).
    static std::set<int> CaptureUntil(CHivewatchDoc& doc, const std::set<int>& want) {
        std::set<int> seen;
        for (auto tmEnd = std::chrono::steady_clock::now() + 20s;
             std::chrono::steady_clock::now() < tmEnd;) {
            seen.clear();
            for (const CRegInfoObj& r : CopyRecords(doc))
                seen.insert(r.m_nPid);
            if (std::includes(seen.begin(), seen.end(), want.begin(), want.end()))
                break;
            std::this_thread::sleep_for(50ms);
        }
        return seen;
    }

    std::vector<int> m_arKill;
};

} // namespace

// A launched shell starts a shell that starts sleep: the grandchild, of another name, is in
// the capture; this test process and every other process are not.
TEST_F(TargetTree, LaunchedProgramWithAGrandchildOfAnotherName) {
    const QString strPids = TestTempDir() + "tree.pids";
    g_SetObj.m_strNewProgram = QStringLiteral("/bin/sh");
    g_SetObj.StoreCaptureScope(SCOPE_NEW_PROGRAM);
    const QStringList args = {
        "-c", R"(echo $$ >> "$0"; sh -c 'echo $$ >> "$0"; sleep 8 & echo $! >> "$0"; wait' "$0")",
        strPids};
    CHivewatchDoc doc;
    CCaptureEngine engine(&doc);
    ASSERT_EQ(engine.StartDriver(), 1) << engine.LastError().toStdString();
    ASSERT_TRUE(engine.StartCapture(nullptr, &args));
    const std::vector<int> arTree = ReadPids(strPids, 3);
    ASSERT_EQ(arTree.size(), 3u);
    m_arKill = arTree;
    EXPECT_EQ(arTree[0], engine.m_nTargetPid);
    const std::set<int> tree(arTree.begin(), arTree.end());
    const std::set<int> seen = CaptureUntil(doc, {arTree[2]});
    engine.StopDriver();
    EXPECT_TRUE(seen.contains(arTree[2])) << "the grandchild, sleep";
    for (int nPid : seen)
        EXPECT_TRUE(tree.contains(nPid)) << "process " << nPid << " is not of the tree";
    for (const CRegInfoObj& r : CopyRecords(doc)) {
        if (r.m_nPid == arTree[2]) {
            EXPECT_EQ(r.m_strProcessName, QStringLiteral("sleep"));
        }
    }
}

// Attaching by process ID: of two processes of the same name only the one attached to is
// watched, together with a child it starts after the capture began.
TEST_F(TargetTree, AttachWatchesOneOfTwoSameNamedProcessesAndItsLaterChild) {
    const QString strGo = TestTempDir() + "go";
    const QString strScript = QStringLiteral(
        R"(while [ ! -e "$0" ]; do sleep 0.05; done; sleep 8 & echo $! > "$0.pid"; wait)");
    // Started as the program starts programs (QProcess's start-up confuses ThreadSanitizer).
    int arShell[2] = {};
    for (int i = 0; i < 2; ++i) {
        arShell[i] = PlatformStartProcessArgs(QStringLiteral("/bin/sh"),
                                              {"-c", strScript, i == 0 ? strGo : strGo + "2"});
        ASSERT_GT(arShell[i], 0);
        m_arKill.push_back(arShell[i]);
    }
    g_SetObj.m_strAttachName = QStringLiteral("sh");
    g_SetObj.m_nAttachPid = arShell[0];
    g_SetObj.StoreCaptureScope(SCOPE_ATTACHED);
    CHivewatchDoc doc;
    CCaptureEngine engine(&doc);
    ASSERT_EQ(engine.StartDriver(), 1) << engine.LastError().toStdString();
    ASSERT_TRUE(engine.StartCapture());
    QFile(strGo).open(QIODevice::WriteOnly); // the attached shell now starts its child
    const std::vector<int> arChild = ReadPids(strGo + ".pid", 1);
    ASSERT_EQ(arChild.size(), 1u);
    m_arKill.push_back(arChild[0]);
    const std::set<int> seen = CaptureUntil(doc, {arShell[0], arChild[0]});
    engine.StopDriver();
    EXPECT_TRUE(seen.contains(arShell[0]));
    EXPECT_TRUE(seen.contains(arChild[0])) << "the child started after the attach";
    EXPECT_FALSE(seen.contains(arShell[1])) << "the other sh";
}
