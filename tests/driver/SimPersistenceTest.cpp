// The simulated registry is saved as Wine registry files, atomically, and read back at start.
#include "tests/TestSupport.h"
#include "tests/driver/DriverTestSupport.h"

#include "driver/DriverConfig.h"
#include "driver/SimActivity.h"
#include "driver/SimPersistence.h"
#include "driver/SimSeedData.h"
#include "winereg/WineRegReader.h"

#include <gtest/gtest.h>

#include <QFile>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <map>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Every key path with the text of every value, for comparing two registries.
std::map<std::string, std::string> Contents(const CSimRegistry& reg) {
    std::map<std::string, std::string> map;
    for (const std::string& strKey : reg.AllKeyPaths()) {
        std::string& str = map[strKey];
        for (size_t i = 0; const std::optional<SSimValue> v = reg.EnumValue(strKey, i); ++i)
            str += v->m_strName + "=" + v->Text() + ";";
    }
    return map;
}

void ExpectSameContents(const CSimRegistry& a, const CSimRegistry& b) {
    const std::map<std::string, std::string> mapA = Contents(a), mapB = Contents(b);
    for (const auto& [strKey, strValues] : mapA) {
        const auto it = mapB.find(strKey);
        if (it == mapB.end())
            ADD_FAILURE() << "only in the first: " << strKey;
        else
            EXPECT_EQ(strValues, it->second) << strKey;
    }
    for (const auto& [strKey, strValues] : mapB)
        EXPECT_TRUE(mapA.contains(strKey)) << "only in the second: " << strKey;
}

bool ParsesWhole(const QString& strPath) {
    CWineRegKey top;
    SWineRegFileInfo info;
    QString strError;
    const bool bOk = CWineRegReader::ReadFile(strPath, top, info, strError);
    EXPECT_TRUE(bOk) << strError.toStdString();
    return bOk;
}

void Write(const std::string& strPath, const char* pText) {
    QFile file(QString::fromStdString(strPath));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(pText);
}

} // namespace

TEST(SimRegistryFiles, SavedRegistryLoadsBackWithEveryRootInItsFile) {
    CSimRegistry reg;
    reg.LoadText(SimSeedText());
    bool bCreated = false;
    ASSERT_TRUE(reg.CreateKey("HKCU\\Software\\Saved\\\xc3\xa9t\xc3\xa9", bCreated));
    reg.SetValue("HKCU\\Software\\Saved\\\xc3\xa9t\xc3\xa9", {"Bin", "REG_BINARY", "24 00 3E FF"});
    reg.SetValue("HKCU\\Software\\Saved", {"Q", "REG_QWORD", "0x0000000100000000 (4294967296)"});
    reg.CreateKey("HKU\\TempHive1", bCreated);
    const std::string strDir = TestTempDir().toStdString();
    std::string strError;
    ASSERT_TRUE(reg.SaveFolder(strDir, strError)) << strError;

    // Each root is in the file Wine keeps it in; HKCR is part of the machine's file.
    const QByteArray system = ReadWholeFile(QString::fromStdString(strDir + "system.reg"));
    EXPECT_TRUE(system.startsWith("WINE REGISTRY Version 2\n;; All keys relative to "
                                  "REGISTRY\\\\Machine\n"));
    EXPECT_TRUE(system.contains("\n[SOFTWARE\\\\Classes\\\\txtfile\\\\shell\\\\open\\\\command]"));
    EXPECT_TRUE(ReadWholeFile(QString::fromStdString(strDir + "user.reg"))
                    .contains("\n[Software\\\\Saved\\\\\\xe9t\\xe9]"));
    EXPECT_TRUE(
        ReadWholeFile(QString::fromStdString(strDir + "users.reg")).contains("[TempHive1]"));
    EXPECT_TRUE(
        ReadWholeFile(QString::fromStdString(strDir + "userdef.reg")).contains("International"));

    CSimRegistry back;
    ASSERT_TRUE(back.LoadFolder(strDir, strError)) << strError;
    ExpectSameContents(back, reg);
    EXPECT_EQ(back.QueryValue("HKCU\\Software\\Saved", "q")->Text(),
              "REG_QWORD: 0x0000000100000000 (4294967296)");
    EXPECT_EQ(back.QueryValue("HKCU\\Software\\Saved\\\xc3\x89T\xc3\x89", "Bin")->Text(),
              "REG_BINARY: 24 00 3E FF");
}

// Written at once in a fresh setup (the registry editor has something to show before any
// capture), then shortly after each change, never twice for the same registry.
TEST(SimRegistryFiles, SavesAtOnceThenAfterEachChangeOnlyWhenChanged) {
    const std::string strDir = TestTempDir().toStdString();
    CSimPersistence saver(strDir, 1000ms);
    CSimRegistry reg;
    EXPECT_FALSE(saver.LoadOrSeed(reg, true)) << "nothing saved yet: the seed";
    EXPECT_TRUE(reg.KeyExists("HKCR\\.txt"));
    const CSimPersistence::Clock::time_point t0{};
    bool bCreated = false;
    saver.Tick(reg, t0 + 10s);
    EXPECT_EQ(saver.SaveCount(), 1) << "the seed is written at the first tick";
    reg.CreateKey("HKCU\\Software\\A", bCreated);
    saver.Tick(reg, t0 + 10500ms);
    EXPECT_EQ(saver.SaveCount(), 1) << "not before the interval";
    saver.Tick(reg, t0 + 11s);
    EXPECT_EQ(saver.SaveCount(), 2);
    saver.Tick(reg, t0 + 14s);
    EXPECT_EQ(saver.SaveCount(), 2) << "unchanged: not written again";
    reg.CreateKey("HKCU\\Software\\C", bCreated);
    saver.Final(reg);
    EXPECT_EQ(saver.SaveCount(), 3) << "the driver unloads: written";

    // The next start carries on from the files, unless it must repeat a seeded run.
    CSimPersistence next(strDir);
    CSimRegistry reloaded;
    EXPECT_TRUE(next.LoadOrSeed(reloaded, true));
    EXPECT_TRUE(reloaded.KeyExists("HKCU\\Software\\C"));
    EXPECT_FALSE(next.LoadOrSeed(reloaded, false));
    EXPECT_FALSE(reloaded.KeyExists("HKCU\\Software\\C"));
    EXPECT_TRUE(reloaded.KeyExists("HKCR\\.txt"));

    // A damaged file: back to the seed, whole, never a mix.
    Write(strDir + "/user.reg", "WINE REGISTRY Version 2\n[Software\\\\X]\n\"v\"=hex:0");
    CSimRegistry damaged;
    EXPECT_FALSE(next.LoadOrSeed(damaged, true));
    ExpectSameContents(damaged, reloaded);

    EXPECT_FALSE(CSimPersistence({}).Enabled());
}

TEST(SimRegistryFiles, FolderFromTheModulePathOrTheEnvironment) {
    EXPECT_EQ(
        SDriverConfig::RegistryFolder(nullptr, "/home/u/.local/share/Hivewatch/system/drivers"),
        "/home/u/.local/share/Hivewatch/system/config");
    EXPECT_EQ(SDriverConfig::RegistryFolder(nullptr, "/x/drivers/"), "/x/config");
    EXPECT_EQ(SDriverConfig::RegistryFolder(nullptr, "/work/build/bin"), "")
        << "a driver loaded from a build folder saves nothing";
    EXPECT_EQ(SDriverConfig::RegistryFolder(nullptr, ""), "");
    EXPECT_EQ(SDriverConfig::RegistryFolder("/tmp/reg", "/x/drivers"), "/tmp/reg");
    EXPECT_EQ(SDriverConfig::RegistryFolder("", "/x/drivers"), "") << "empty turns saving off";
}

TEST(SimRegistryFiles, ReadersNeverSeeAPartFile) {
    const std::string strDir = TestTempDir().toStdString();
    CSimPersistence saver(strDir, 0ms);
    CSimRegistry reg;
    saver.LoadOrSeed(reg, false);
    saver.Tick(reg, CSimPersistence::Clock::now());
    std::atomic<bool> bDone{false};
    std::atomic<int> nReads{0}, nBad{0};
    std::thread reader([&] {
        const QString strPath = QString::fromStdString(strDir + "/system.reg");
        while (!bDone) {
            CWineRegKey top;
            SWineRegFileInfo info;
            QString strError;
            if (!CWineRegReader::ReadFile(strPath, top, info, strError))
                ++nBad;
            ++nReads;
        }
    });
    CSimActivity activity(reg, 3);
    const SProcessInfo proc{100, "writer.exe"};
    std::vector<SDriverEvent> arEvents;
    // Enough overlapping saves and reads, however slow the build.
    const auto tmEnd = std::chrono::steady_clock::now() + 30s;
    while ((saver.SaveCount() < 30 || nReads < 30) && std::chrono::steady_clock::now() < tmEnd) {
        arEvents.clear();
        for (int i = 0; i < 50; ++i)
            activity.RunSession(proc, arEvents);
        bool bCreated = false;
        reg.CreateKey("HKLM\\SOFTWARE\\Churn" + std::to_string(saver.SaveCount()), bCreated);
        saver.Tick(reg, CSimPersistence::Clock::now());
    }
    bDone = true;
    reader.join();
    EXPECT_GE(saver.SaveCount(), 30);
    EXPECT_GE(nReads, 30);
    EXPECT_EQ(nBad, 0) << "of " << nReads << " reads";
}

// The simulated processes keep working while capture is stopped (as real ones do), and they
// delete the keys they created, so which created keys the files hold at the end is a matter
// of timing. What must hold: the files are rewritten as the registry changes during a capture
// and after its stop, and each one read at any moment is whole.
TEST(SimRegistryFiles, LoadedDriverWritesItsRegistryWhenCaptureStopsAndAtClose) {
    const std::string strDir = TestTempDir().toStdString() + "config";
    const auto allFiles = [&] {
        QByteArray all;
        for (const char* pName : {"/system.reg", "/user.reg", "/userdef.reg", "/users.reg"})
            all += ReadWholeFile(QString::fromStdString(strDir + pName));
        return all;
    };
    setenv("HIVEWATCH_DRIVER_REGISTRY", strDir.c_str(), 1);
    SetDriverEnv("sim", "3000");
    {
        CLoadedDriver drv;
        ASSERT_TRUE(drv.Configure("*"));
        const std::vector<SRecord> arRecords = drv.ReadUntil(
            [](const SRecord& rec) { return rec.m_arFields[2] == "RegCreateKey(New)"; }, 10);
        ASSERT_TRUE(std::any_of(arRecords.begin(), arRecords.end(), [](const SRecord& rec) {
            return rec.m_arFields[2] == "RegCreateKey(New)";
        }));
        ASSERT_TRUE(ParsesWhole(QString::fromStdString(strDir + "/user.reg")))
            << "saved when the capture started";
        const QByteArray atStart = allFiles();
        // Changes made after that snapshot: records reach us after their change was made, so
        // the second one reported from here on was made after the snapshot was read.
        for (int i = 0; i < 2; ++i)
            drv.ReadUntil(
                [](const SRecord& rec) {
                    return (rec.m_arFields[2] == "RegSetValueKey" ||
                            rec.m_arFields[2] == "RegCreateKey(New)") &&
                           rec.m_arFields[4] == "SUCCESS";
                },
                10);
        uint32_t n = 0;
        ASSERT_TRUE(drv.Control(IOCTL_REGDRV_STOP, nullptr, 0, nullptr, 0, n));
        ASSERT_TRUE(drv.Control(IOCTL_REGDRV_APPLY, nullptr, 0, nullptr, 0, n));
        std::this_thread::sleep_for(500ms); // the source notices the stop within 100 ms
        for (const char* pName : {"/system.reg", "/user.reg", "/userdef.reg", "/users.reg"})
            EXPECT_TRUE(ParsesWhole(QString::fromStdString(strDir + pName))) << pName;
        EXPECT_NE(allFiles(), atStart) << "the changes of the capture were saved";
    }
    unsetenv("HIVEWATCH_DRIVER_REGISTRY");
    CSimRegistry saved;
    std::string strError;
    ASSERT_TRUE(saved.LoadFolder(strDir, strError)) << strError;
    EXPECT_TRUE(saved.KeyExists("HKCR\\.txt")) << "the whole registry, seed included";
}
