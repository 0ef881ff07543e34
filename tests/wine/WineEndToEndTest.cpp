// The real driver watching a real Wine prefix: registry changes of Windows programs reach the
// document with their old and new data; a launched or attached program is watched with every
// process it starts and nothing else; programs outlive the capture; the registry editor sees
// what was written a moment ago.
#include "capture/CaptureEngine.h"
#include "changes/RegChanges.h"
#include "platform/ProcessList.h"
#include "platform/Processes.h"
#include "platform/WineEnvironment.h"
#include "platform/WineLaunch.h"
#include "platform/WinePrograms.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "store/RecordLock.h"
#include "store/RegOperations.h"
#include "tests/RecordCopies.h"
#include "tests/RegKeyCompare.h"
#include "tests/TestSupport.h"
#include "tools/regedit/RegeditController.h"
#include "winereg/WineRegistry.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <chrono>
#include <functional>
#include <set>
#include <thread>

#include <signal.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

bool Alive(int nPid) {
    return nPid > 0 && kill(nPid, 0) == 0;
}

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
        for (QProcess* p : m_arBackground) {
            p->kill();
            p->waitForFinished(10000);
            delete p;
        }
        unsetenv("HIVEWATCH_DRIVER_SOURCE");
        unsetenv("HIVEWATCH_DRIVER_REGISTRY");
        g_SetObj.ResetDefaults();
    }

    QProcessEnvironment PrefixEnv() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("WINEPREFIX", Q(m_strPrefix));
        return env;
    }
    // Runs a Windows program in the prefix to its end.
    void RunWine(const QStringList& arArgs) {
        QProcess process;
        process.setProcessEnvironment(PrefixEnv());
        process.start(Q(m_strWine), arArgs);
        ASSERT_TRUE(process.waitForFinished(120000)) << arArgs.join(' ').toStdString();
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    }
    // Starts a Windows program in the prefix that runs on its own; ended at tear-down.
    int StartWine(const QStringList& arArgs) {
        auto* p = new QProcess;
        m_arBackground.push_back(p);
        p->setProcessEnvironment(PrefixEnv());
        p->start(Q(m_strWine), arArgs);
        return p->waitForStarted() ? int(p->processId()) : -1;
    }

    // Waits until some record satisfies pred (or a minute passes).
    bool WaitFor(CHivewatchDoc& doc, const std::function<bool(const CRegInfoObj&)>& pred,
                 int nSeconds = 60) {
        const auto deadline = Clock::now() + std::chrono::seconds(nSeconds);
        while (Clock::now() < deadline) {
            for (const CRegInfoObj& r : CopyRecords(doc))
                if (pred(r))
                    return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    // Launches a program as Open New Program does and captures until done() holds for a
    // record, then a moment more; the records, and in *pTarget the launched process.
    std::vector<CRegInfoObj> CaptureLaunch(const QString& strProgram, const QStringList& arArgs,
                                           const std::function<bool(const CRegInfoObj&)>& done,
                                           int* pTarget = nullptr,
                                           const std::function<void()>& fnLoaded = {}) {
        g_SetObj.m_strNewProgram = strProgram;
        g_SetObj.StoreCaptureScope(SCOPE_NEW_PROGRAM);
        CHivewatchDoc doc;
        CCaptureEngine engine(&doc);
        EXPECT_EQ(engine.StartDriver(), 1) << engine.LastError().toStdString();
        if (fnLoaded)
            fnLoaded(); // programs started now are served by the driver's server
        QString strError;
        EXPECT_TRUE(engine.StartCapture(&strError, &arArgs))
            << strError.toStdString() << ": " << engine.LastError().toStdString();
        if (pTarget)
            *pTarget = engine.m_nTargetPid;
        EXPECT_TRUE(WaitFor(doc, done)) << strProgram.toStdString();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        engine.StopDriver();
        return CopyRecords(doc);
    }

    // The driver's keeper programs: never in a capture.
    static std::set<int> KeeperPids() {
        std::set<int> pids;
        std::vector<uint32_t> arPids;
        EnumProcessIds(arPids);
        for (uint32_t nPid : arPids) {
            QFile f(QStringLiteral("/proc/%1/environ").arg(nPid));
            if (f.open(QIODevice::ReadOnly) && f.readAll().contains(WINE_KEEPER_MARK))
                pids.insert(int(nPid));
        }
        return pids;
    }

    // Every record is one of the named programs', none of a process outside the chain.
    static void ExpectOnly(const std::vector<CRegInfoObj>& ar, const QStringList& arNames,
                           const std::set<int>& forbidden) {
        ASSERT_FALSE(ar.empty());
        for (const CRegInfoObj& r : ar) {
            EXPECT_TRUE(arNames.contains(r.m_strProcessName, Qt::CaseInsensitive))
                << r.m_strProcessName.toStdString() << " " << r.m_strPath.toStdString();
            EXPECT_FALSE(forbidden.contains(r.m_nPid)) << r.m_nPid;
        }
    }

    static bool IsSet(const CRegInfoObj& r, const QString& strPath) {
        return r.GetFunType() == OP_SET_VALUE &&
               r.m_strPath.compare(strPath, Qt::CaseInsensitive) == 0;
    }

    // The prefix's server writes its registry files when it ends, a moment after its last
    // program.
    void WaitForServerEnd() {
        QProcess wait; // "wineserver -w" returns once the running server has ended
        wait.setProcessEnvironment(PrefixEnv());
        wait.start(Q(WineFindProgram("wineserver")), {"-w"});
        wait.waitForFinished(60000);
        for (int i = 0; i < 600 && WinePrefixServer(m_strPrefix).m_nPid != 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_EQ(WinePrefixServer(m_strPrefix).m_nPid, 0u) << "the prefix's server did not end";
    }
    // The prefix's registry as its files hold it once its server has ended.
    std::unique_ptr<CWineRegistry> PrefixRegistry() {
        WaitForServerEnd();
        auto pRegistry = std::make_unique<CWineRegistry>();
        QStringList arErrors;
        EXPECT_TRUE(pRegistry->LoadFolder(Q(m_strPrefix), arErrors))
            << arErrors.join(u'\n').toStdString();
        return pRegistry;
    }
    // The Windows name of a file of this machine.
    static QString WindowsPath(const QString& strPath) {
        QString str = QStringLiteral("Z:") + strPath;
        return str.replace(QLatin1Char('/'), QLatin1Char('\\'));
    }
    void ImportWithRegedit(const QString& strRegFile) {
        RunWine({"regedit.exe", "/s", WindowsPath(strRegFile)});
    }
    // The small Windows Installer package of the tests, built with wixl; empty when it cannot be.
    static QString BuildTestPackage() {
        const QString strMsi = TestTempDir() + "HwInstaller.msi";
        QProcess wixl;
        wixl.start(QStringLiteral("wixl"),
                   {"-o", strMsi, QStringLiteral(HW_SOURCE_DIR "/tests/wine/HwInstaller.wxs")});
        return wixl.waitForFinished(60000) && wixl.exitCode() == 0 ? strMsi : QString();
    }

    std::string m_strWine, m_strPrefix, m_strKey;
    std::vector<QProcess*> m_arBackground;
};

// Every key the changes touch is in both registries or in neither, with the same values; a
// key made or deleted also with the same keys below it (timestamps aside). Keys above them
// are not compared: Wine itself rewrites some values of the machine at every start.
void ExpectSameTouchedKeys(const CRegChangeKey& key, const CWineRegistry& a, const CWineRegistry& b,
                           const char* pWhat) {
    if (key.m_eChange != ERegChange::NONE || !key.m_arValues.empty()) {
        const CWineRegKey* pA = a.FindKey(key.m_strPath);
        const CWineRegKey* pB = b.FindKey(key.m_strPath);
        const std::string strLabel = std::string(pWhat) + ": " + key.m_strPath.toStdString();
        ASSERT_EQ(pA != nullptr, pB != nullptr) << strLabel;
        if (pA && key.m_eChange != ERegChange::NONE) {
            ExpectSameKeys(*pA, *pB, QString::fromStdString(strLabel));
        } else if (pA) {
            for (const SRegChangeValue& v : key.m_arValues) {
                const SWineRegValue* pValueA = pA->FindValue(v.m_strName);
                const SWineRegValue* pValueB = pB->FindValue(v.m_strName);
                ASSERT_EQ(pValueA != nullptr, pValueB != nullptr) << strLabel;
                if (pValueA) {
                    EXPECT_TRUE(*pValueA == *pValueB)
                        << strLabel << " value " << v.m_strName.toStdString();
                }
            }
        }
    }
    for (const auto& pSub : key.m_arSubKeys)
        ExpectSameTouchedKeys(*pSub, a, b, pWhat);
}

const QString REG_EXE = QStringLiteral("C:\\windows\\system32\\reg.exe");

} // namespace

TEST_F(WineEndToEnd, CreateSetAndDeleteArriveWithOldAndNewData) {
    CHivewatchDoc doc;
    CCaptureEngine engine(&doc);
    ASSERT_EQ(engine.StartDriver(), 1) << engine.LastError().toStdString();
    ASSERT_TRUE(engine.StartCapture());
    RunWine({REG_EXE, "add", Q(m_strKey), "/v", "Answer", "/t", "REG_DWORD", "/d", "42", "/f"});
    RunWine({REG_EXE, "add", Q(m_strKey), "/v", "Answer", "/t", "REG_DWORD", "/d", "43", "/f"});
    // A query lists the values whole: Wine's enumeration total counts the name as well.
    RunWine({REG_EXE, "add", Q(m_strKey), "/v", "Short", "/t", "REG_SZ", "/d", "yes", "/f"});
    RunWine({REG_EXE, "query", Q(m_strKey)});
    RunWine({REG_EXE, "delete", Q(m_strKey), "/f"});
    const QString strKey = Q(m_strKey);
    EXPECT_TRUE(WaitFor(doc, [&](const CRegInfoObj& r) {
        return r.GetFunType() == OP_DELETE_KEY && r.m_strPath == strKey;
    }));
    engine.StopDriver();

    const std::vector<CRegInfoObj> records = CopyRecords(doc);
    const auto find = [&](int nOp, const QString& strPath, const QString& strNew) {
        for (const CRegInfoObj& r : records)
            if (r.GetFunType() == nOp && r.m_strPath == strPath &&
                (strNew.isNull() || r.m_strNewValue == strNew))
                return &r;
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
    EXPECT_NE(find(OP_ENUM_VALUE, strKey + "\\Short", QStringLiteral("REG_SZ: yes")), nullptr)
        << "a short value enumerated whole, not cut";
    const CRegInfoObj* pDelete = find(OP_DELETE_KEY, strKey, QString());
    ASSERT_NE(pDelete, nullptr);
    EXPECT_EQ(pDelete->m_strResult, QStringLiteral("SUCCESS"));
    EXPECT_GT(pDelete->m_nPid, 0);
    for (const CRegInfoObj& r : records)
        EXPECT_NE(r.m_strProcessName, QStringLiteral("wine")) << "every process is named";
}

// A batch file runs in cmd.exe, which starts another cmd.exe and reg.exe: every write of the
// chain is captured, and nothing of a Windows program running beside it or of the keeper.
TEST_F(WineEndToEnd, BatchFileChainIsWatchedWhole) {
    int nOther = 0;
    const QString strKey = Q(m_strKey + "Bat");
    const QString strBat = TestTempDir() + "chain.bat";
    QFile bat(strBat);
    ASSERT_TRUE(bat.open(QIODevice::WriteOnly));
    bat.write(QStringLiteral("@echo off\r\n"
                             "cmd /c reg add %1 /v One /t REG_SZ /d 1 /f\r\n"
                             "reg add %1 /v Two /t REG_DWORD /d 2 /f\r\n")
                  .arg(strKey)
                  .toLatin1());
    bat.close();
    int nTarget = 0;
    const auto ar = CaptureLaunch(
        strBat, {}, [&](const CRegInfoObj& r) { return IsSet(r, strKey + "\\Two"); }, &nTarget,
        [&] {
            nOther = StartWine({"C:\\windows\\system32\\ping.exe", "-n", "30", "127.0.0.1"});
        });
    ASSERT_GT(nOther, 0);
    std::set<int> forbidden = KeeperPids();
    forbidden.insert(nOther);
    ExpectOnly(ar, {"cmd.exe", "reg.exe", "conhost.exe"}, forbidden);
    std::set<int> setters;
    for (const CRegInfoObj& r : ar)
        if (IsSet(r, strKey + "\\One") || IsSet(r, strKey + "\\Two"))
            setters.insert(r.m_nPid);
    EXPECT_EQ(setters.size(), 2u) << "two reg.exe processes, each one watched";
    EXPECT_FALSE(setters.contains(nTarget)) << "the writes come from the children";
}

// cmd.exe /c with two children, and Wine's loader named as the program.
TEST_F(WineEndToEnd, CommandWithTwoChildrenAndTheLoaderAsProgram) {
    const QString strKey = Q(m_strKey + "Cmd");
    auto ar = CaptureLaunch(
        QStringLiteral("cmd.exe"),
        {"/c", QStringLiteral("reg add %1 /v A /d 1 /f & reg add %1 /v B /d 2 /f").arg(strKey)},
        [&](const CRegInfoObj& r) { return IsSet(r, strKey + "\\B"); });
    ExpectOnly(ar, {"cmd.exe", "reg.exe", "conhost.exe"}, KeeperPids());
    EXPECT_TRUE(
        std::any_of(ar.begin(), ar.end(), [&](auto& r) { return IsSet(r, strKey + "\\A"); }));

    for (const QString& strLoader : {QStringLiteral("wine64"), Q(m_strWine)}) {
        const QString strValue = strKey + "\\" + QFileInfo(strLoader).fileName();
        ar = CaptureLaunch(
            strLoader,
            {"reg.exe", "add", strKey, "/v", QFileInfo(strLoader).fileName(), "/d", "x", "/f"},
            [&](const CRegInfoObj& r) { return IsSet(r, strValue); });
        ExpectOnly(ar, {"reg.exe", "conhost.exe"}, KeeperPids());
    }
    RunWine({REG_EXE, "delete", strKey, "/f"});
}

// A Windows Installer package: msiexec /i runs it, in the watched prefix.
TEST_F(WineEndToEnd, InstallerPackageIsWatched) {
    const QString strMsi = BuildTestPackage();
    if (strMsi.isEmpty())
        GTEST_SKIP() << "wixl cannot build the test package (apt-get install wixl)";
    const QString strCount = QStringLiteral("HKCU\\Software\\HwMsiTest\\Count");
    const auto ar =
        CaptureLaunch(strMsi, {"/qn"}, [&](const CRegInfoObj& r) { return IsSet(r, strCount); });
    ExpectOnly(ar, {"msiexec.exe", "conhost.exe"}, KeeperPids());
    EXPECT_TRUE(std::any_of(ar.begin(), ar.end(), [&](auto& r) {
        return IsSet(r, QStringLiteral("HKCU\\Software\\HwMsiTest\\Installed")) &&
               r.m_strNewValue == QStringLiteral("REG_SZ: yes");
    }));
    QString strWindowsPath = QStringLiteral("Z:") + strMsi;
    strWindowsPath.replace(QLatin1Char('/'), QLatin1Char('\\'));
    RunWine({"C:\\windows\\system32\\msiexec.exe", "/x", strWindowsPath, "/qn"});
}

// Open New Program with reg.exe alone runs the prefix's own reg.exe; its process is the target.
TEST_F(WineEndToEnd, LaunchedWindowsProgramIsTheTarget) {
    const QString strValue = Q(m_strKey + "L\\Launched");
    int nTarget = 0;
    const auto ar = CaptureLaunch(
        QStringLiteral("reg.exe"),
        {"add", Q(m_strKey + "L"), "/v", "Launched", "/t", "REG_SZ", "/d", "yes", "/f"},
        [&](const CRegInfoObj& r) { return r.m_strPath == strValue; }, &nTarget);
    ASSERT_GT(nTarget, 0);
    ExpectOnly(ar, {"reg.exe", "conhost.exe"}, KeeperPids());
    EXPECT_TRUE(std::any_of(ar.begin(), ar.end(), [&](auto& r) { return r.m_nPid == nTarget; }));
    RunWine({REG_EXE, "delete", Q(m_strKey + "L"), "/f"});
}

// A running Windows program is found by its Linux process ID under its image name, and
// attaching to it captures its operations only, also after an earlier capture stopped.
TEST_F(WineEndToEnd, AttachToARunningWineProgram) {
    CHivewatchDoc doc;
    CCaptureEngine engine(&doc);
    ASSERT_EQ(engine.StartDriver(), 1) << engine.LastError().toStdString();
    ASSERT_TRUE(engine.StartCapture());
    RunWine({REG_EXE, "query", "HKCU\\Software"});
    ASSERT_TRUE(engine.SwitchCaptureOff());
    doc.ClearDisplay();
    const int nPid = StartWine({"C:\\windows\\system32\\ping.exe", "-n", "3", "127.0.0.1"});
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
    m_arBackground.back()->waitForFinished(60000);
    engine.StopDriver();
    for (const CRegInfoObj& r : CopyRecords(doc)) {
        EXPECT_EQ(r.m_nPid, nPid);
        EXPECT_EQ(r.m_strProcessName, QStringLiteral("ping.exe"));
    }
}

// Stopping, the capture's end and unloading leave the user's programs running; ending them is
// the user's choice.
TEST_F(WineEndToEnd, ProgramsOutliveTheCapture) {
    g_SetObj.m_strNewProgram = QStringLiteral("notepad.exe");
    g_SetObj.StoreCaptureScope(SCOPE_NEW_PROGRAM);
    CHivewatchDoc doc;
    auto pEngine = std::make_unique<CCaptureEngine>(&doc);
    ASSERT_EQ(pEngine->StartDriver(), 1) << pEngine->LastError().toStdString();
    const QStringList arNone;
    ASSERT_TRUE(pEngine->StartCapture(nullptr, &arNone));
    const int nNotepad = pEngine->m_nTargetPid;
    std::this_thread::sleep_for(std::chrono::seconds(8));
    ASSERT_TRUE(Alive(nNotepad)) << "Notepad runs with the null graphics driver";
    EXPECT_GT(doc.GetRecordCount(), 0);
    pEngine->SwitchCaptureOff();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_TRUE(Alive(nNotepad)) << "Stop ends no program";
    pEngine.reset(); // the driver unloads
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_TRUE(Alive(nNotepad)) << "nor does unloading";
    const auto arPrograms = WinePrefixPrograms(m_strPrefix);
    EXPECT_TRUE(std::any_of(arPrograms.begin(), arPrograms.end(),
                            [&](const SWineProgram& p) { return int(p.m_nPid) == nNotepad; }));
    QString strWhy;
    EXPECT_TRUE(WineEndPrograms(Q(m_strPrefix), &strWhy)) << strWhy.toStdString();
    for (int i = 0; i < 100 && Alive(nNotepad); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(Alive(nNotepad));
    // The server ends with the prefix's last program: nothing stays behind.
    for (int i = 0; i < 100 && WinePrefixServer(m_strPrefix).m_nPid != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(WinePrefixServer(m_strPrefix).m_nPid, 0u);
}

// A capture killed outright leaves a server that ends by itself, and the next capture of the
// prefix starts.
TEST_F(WineEndToEnd, KilledCaptureDoesNotBlockTheNextOne) {
    QProcess tool;
    tool.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    tool.start(QStringLiteral(HW_BIN_DIR "/hivewatch-capture"),
               {"--seconds", "120", "--csv", TestTempDir() + "killed.csv"});
    ASSERT_TRUE(tool.waitForStarted());
    bool bServing = false;
    for (int i = 0; i < 300 && !bServing; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        bServing = WinePrefixServer(m_strPrefix).m_bOurs && !KeeperPids().empty();
    }
    ASSERT_TRUE(bServing) << tool.readAllStandardError().toStdString();
    kill(pid_t(tool.processId()), SIGKILL);
    tool.waitForFinished(10000);

    CHivewatchDoc doc;
    CCaptureEngine engine(&doc);
    ASSERT_EQ(engine.StartDriver(), 1) << engine.LastError().toStdString();
    ASSERT_TRUE(engine.StartCapture());
    RunWine({REG_EXE, "add", Q(m_strKey + "K"), "/v", "After", "/d", "1", "/f"});
    EXPECT_TRUE(
        WaitFor(doc, [&](const CRegInfoObj& r) { return IsSet(r, Q(m_strKey + "K\\After")); }));
    RunWine({REG_EXE, "delete", Q(m_strKey + "K"), "/f"});
    engine.StopDriver();
}

// The registry editor reads the driver's view of the prefix: it holds the prefix as soon as the
// driver is loaded, and a value a moment after a program wrote it, long before Wine writes its
// own files.
TEST_F(WineEndToEnd, EditorSeesWhatWasJustWritten) {
    const QString strRegistry = TestTempDir() + "driver-registry";
    setenv("HIVEWATCH_DRIVER_REGISTRY", strRegistry.toLocal8Bit().constData(), 1);
    CHivewatchDoc doc;
    CCaptureEngine engine(&doc);
    ASSERT_EQ(engine.StartDriver(), 1) << engine.LastError().toStdString();
    SRegeditSource source;
    source.m_strPrefix = Q(m_strPrefix);
    CRegeditController editor;
    const auto keyAt = [&](const QString& strPath) {
        editor.Reload();
        bool bComplete = false;
        editor.ExpandTreeNode(strPath, &bComplete);
        return bComplete;
    };
    for (int i = 0; i < 50 && !source.Describe().contains(QStringLiteral("driver")); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    editor.Open(source);
    EXPECT_TRUE(source.Describe().contains(QStringLiteral("as the driver sees it now")))
        << source.Describe().toStdString();
    EXPECT_TRUE(keyAt(QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Microsoft")))
        << "the view before any capture";

    ASSERT_TRUE(engine.StartCapture());
    const QString strKey = Q(m_strKey + "J");
    RunWine({REG_EXE, "add", strKey, "/v", "Fresh", "/d", "now", "/f"});
    ASSERT_TRUE(WaitFor(doc, [&](const CRegInfoObj& r) { return IsSet(r, strKey + "\\Fresh"); }));
    const QString strFull = QStringLiteral("HKEY_CURRENT_USER") + strKey.mid(4);
    bool bShown = false;
    for (int i = 0; i < 20 && !bShown; ++i) {
        bShown = keyAt(strFull);
        if (!bShown)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(bShown) << "within two seconds of the write";
    RunWine({REG_EXE, "delete", strKey, "/f"});
    engine.StopDriver();
}

// A Wine server of the prefix that is not ours is left alone and named in the reason.
TEST_F(WineEndToEnd, ForeignServerIsNamedAndLeftAlone) {
    // The server an earlier test let go of ends first: a prefix has one server at a time.
    for (int i = 0; i < 400 && WinePrefixServer(m_strPrefix).m_nPid != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    QProcess server;
    server.setProcessEnvironment(PrefixEnv());
    server.start(Q(WineFindProgram("wineserver")), {"-f", "-p"});
    ASSERT_TRUE(server.waitForStarted());
    for (int i = 0; i < 200 && WinePrefixServer(m_strPrefix).m_nPid != server.processId(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(WinePrefixServer(m_strPrefix).m_nPid, uint32_t(server.processId()));
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // and serving
    CHivewatchDoc doc;
    CCaptureEngine engine(&doc);
    EXPECT_EQ(engine.StartDriver(), 0);
    EXPECT_TRUE(engine.LastError().contains(QStringLiteral("already runs for the prefix")))
        << engine.LastError().toStdString();
    EXPECT_TRUE(engine.LastError().contains(QStringLiteral("wineserver -k")));
    EXPECT_EQ(server.state(), QProcess::Running) << "never killed behind the user's back";
    server.terminate();
    server.waitForFinished(10000);
}

// regedit /s imports a file that makes keys with every value type (odd names included),
// changes and deletes values of keys that were there, and deletes a key with values and an
// HKLM key. From the saved document the capture tool writes the undo and redo files: the undo
// file takes every touched key back to its state before the capture, and the redo file after
// it forward again to the state after the capture.
TEST_F(WineEndToEnd, RegeditImportIsUndoneAndRedoneFromTheSavedDocument) {
    const QString strPre = Q(m_strKey + "Pre");
    const QString strMachine = Q("HKLM\\Software\\HwE2E" + std::to_string(getpid()) + "M");
    const QString strNew = Q(m_strKey + "New");
    RunWine({REG_EXE, "add", strPre, "/v", "A", "/d", "one", "/f"});
    RunWine({REG_EXE, "add", strPre, "/v", "B", "/t", "REG_DWORD", "/d", "5", "/f"});
    RunWine({REG_EXE, "add", strPre + "\\Old", "/v", "X", "/d", "gone", "/f"});
    RunWine({REG_EXE, "add", strMachine, "/v", "M", "/t", "REG_BINARY", "/d", "0102", "/f"});
    const auto full = [](const QString& strPath) { return ExpandRootKey(strPath); };
    const QString strImport =
        QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n"
                       "[%1]\r\n"
                       "@=\"default\"\r\n"
                       "\"Sz\"=\"text with \\\"quotes\\\" and \\\\ backslash\"\r\n"
                       "\"Expand\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,00,00\r\n"
                       "\"Multi\"=hex(7):61,00,00,00,62,00,20,00,63,00,00,00,00,00\r\n"
                       "\"Dword\"=dword:0000002a\r\n"
                       "\"Qword\"=hex(b):01,00,00,00,00,00,00,00\r\n"
                       "\"Bin\"=hex:00,ff,10\r\n"
                       "\"None\"=hex(0):\r\n"
                       "\"Link\"=hex(6):41,00\r\n"
                       "\"C:\\\\Program Files\\\\HwApp\\\\\"=\"a file path as the name\"\r\n"
                       "\"Gr\u00fc\u00dfe\"=\"\u65e5\u672c\"\r\n\r\n"
                       "[%1\\Sub]\r\n\"X\"=dword:00000001\r\n\r\n"
                       "[%2]\r\n\"A\"=\"two\"\r\n\"B\"=-\r\n\r\n"
                       "[-%2\\Old]\r\n\r\n"
                       "[-%3]\r\n")
            .arg(full(strNew), full(strPre), full(strMachine));
    const QString strImportFile = TestTempDir() + "import.reg";
    {
        QFile file(strImportFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("\xff\xfe", 2);
        file.write(reinterpret_cast<const char*>(strImport.utf16()), strImport.size() * 2);
    }
    const std::unique_ptr<CWineRegistry> pBefore = PrefixRegistry();
    ASSERT_NE(pBefore->FindKey(strPre + "\\Old"), nullptr);

    const auto records =
        CaptureLaunch(QStringLiteral("regedit.exe"), {"/s", WindowsPath(strImportFile)},
                      [&](const CRegInfoObj& r) {
                          return r.GetFunType() == OP_DELETE_KEY && r.m_strPath == strMachine;
                      });
    CHivewatchDoc doc;
    for (const CRegInfoObj& r : records)
        doc.AppendRecord(new CRegInfoObj(r));
    QString strError;
    const QString strDoc = TestTempDir() + "import.hvw";
    ASSERT_TRUE(doc.OnSaveDocument(strDoc, &strError)) << strError.toStdString();
    const QString strUndo = TestTempDir() + "undo.reg", strRedo = TestTempDir() + "redo.reg";
    QProcess tool;
    tool.start(QStringLiteral(HW_BIN_DIR "/hivewatch-capture"),
               {"--in", strDoc, "--undo-reg", strUndo, "--redo-reg", strRedo});
    ASSERT_TRUE(tool.waitForFinished(60000));
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    EXPECT_TRUE(tool.readAllStandardOutput().contains(
        "2 keys created, 2 keys deleted, 12 values created, 1 value changed, 3 values deleted"));

    const std::unique_ptr<CRegChanges> pChanges = CRegChanges::FromDocument(doc);
    const std::unique_ptr<CWineRegistry> pAfter = PrefixRegistry();
    ASSERT_NE(pAfter->FindKey(strNew + "\\Sub"), nullptr);
    EXPECT_EQ(pAfter->FindKey(strMachine), nullptr);
    ImportWithRegedit(strUndo);
    const std::unique_ptr<CWineRegistry> pUndone = PrefixRegistry();
    EXPECT_EQ(pUndone->FindKey(strNew), nullptr);
    ExpectSameTouchedKeys(pChanges->Top(), *pBefore, *pUndone, "undo");
    ImportWithRegedit(strRedo);
    const std::unique_ptr<CWineRegistry> pRedone = PrefixRegistry();
    ExpectSameTouchedKeys(pChanges->Top(), *pAfter, *pRedone, "redo");

    RunWine({REG_EXE, "delete", strPre, "/f"});
    RunWine({REG_EXE, "delete", strNew, "/f"});
}

// A Windows Installer package installed under Wine: the undo file written from the capture
// removes every key the install made (its own, the installer's product records, the
// uninstall entry) and leaves the rest of the user's and the machine's software keys as
// they were.
TEST_F(WineEndToEnd, InstallerIsUndoneByTheUndoFile) {
    const QString strMsi = BuildTestPackage();
    if (strMsi.isEmpty())
        GTEST_SKIP() << "wixl cannot build the test package (apt-get install wixl)";
    const std::unique_ptr<CWineRegistry> pBefore = PrefixRegistry();
    const QString strCount = QStringLiteral("HKCU\\Software\\HwMsiTest\\Count");
    const auto records =
        CaptureLaunch(strMsi, {"/qn"}, [&](const CRegInfoObj& r) { return IsSet(r, strCount); });
    CHivewatchDoc doc;
    for (const CRegInfoObj& r : records)
        doc.AppendRecord(new CRegInfoObj(r));
    const std::unique_ptr<CRegChanges> pChanges = CRegChanges::FromDocument(doc);
    EXPECT_GE(pChanges->Counts().m_nKeysCreated, 3)
        << RegChangeCountsText(pChanges->Counts()).toStdString();
    EXPECT_EQ(pChanges->Counts().m_nUndoUnknown, 0);
    const QString strUndo = TestTempDir() + "msi-undo.reg";
    QString strError;
    ASSERT_TRUE(pChanges->UndoFile().Save(strUndo, strError)) << strError.toStdString();

    const std::unique_ptr<CWineRegistry> pAfter = PrefixRegistry();
    ASSERT_NE(pAfter->FindKey(u"HKCU\\Software\\HwMsiTest"), nullptr);
    // The installer's own records of the product and its uninstall entry.
    const auto findUninstall = [](const CWineRegistry& r) {
        for (const char16_t* pPath :
             {u"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
              u"HKLM\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
              u"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"}) {
            const CWineRegKey* pKey = r.FindKey(QStringView(pPath));
            for (qsizetype i = 0; pKey && i < pKey->SubKeyCount(); ++i) {
                const SWineRegValue* pName = pKey->SubKey(i)->FindValue(u"DisplayName");
                if (pName &&
                    RegStringFromData(pName->m_data) == QLatin1String("Hivewatch Test Installer"))
                    return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(findUninstall(*pAfter));
    ImportWithRegedit(strUndo);
    const std::unique_ptr<CWineRegistry> pUndone = PrefixRegistry();
    EXPECT_EQ(pUndone->FindKey(u"HKCU\\Software\\HwMsiTest"), nullptr);
    EXPECT_FALSE(findUninstall(*pUndone));
    ExpectSameTouchedKeys(pChanges->Top(), *pBefore, *pUndone, "undo");
    for (const char16_t* pPath : {u"HKCU", u"HKLM\\Software"})
        ExpectSameKeys(*pBefore->FindKey(QStringView(pPath)), *pUndone->FindKey(QStringView(pPath)),
                       QString::fromUtf16(pPath));
}
