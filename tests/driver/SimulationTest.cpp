// The simulated registry stays consistent and its activity belongs to real processes.
#include "tests/driver/DriverTestSupport.h"

#include "driver/ProcessScan.h"
#include "driver/SimActivity.h"
#include "driver/SimSeedData.h"

#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <map>

extern char** environ;

namespace {

std::string Lower(std::string str) {
    for (char& c : str)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return str;
}

// What the event stream has told so far: known values (empty optional = known absent) and keys.
struct SModel {
    std::map<std::string, std::optional<std::string>> m_values;
    std::map<std::string, bool> m_keys;
    std::map<int, int> m_counts;
    std::map<std::string, int> m_results;

    void Check(const SDriverEvent& ev);
};

void SModel::Check(const SDriverEvent& ev) {
    const std::string strPath = Lower(ev.m_strPath);
    ++m_counts[ev.m_nOperation];
    ++m_results[ev.m_strResult];
    const bool bOk = ev.Succeeded();
    auto known = [&](const auto& map) { return map.find(strPath) != map.end(); };
    switch (ev.m_nOperation) {
    case OP_SET_VALUE:
        if (known(m_values)) {
            EXPECT_EQ(ev.m_strOldValue, m_values[strPath].value_or("")) << ev.m_strPath;
        }
        m_values[strPath] = ev.m_strNewValue;
        break;
    case OP_DELETE_VALUE:
        if (known(m_values)) {
            EXPECT_EQ(bOk, m_values[strPath].has_value()) << ev.m_strPath;
            EXPECT_EQ(ev.m_strOldValue, m_values[strPath].value_or(""));
        }
        m_values[strPath] = std::nullopt;
        break;
    case OP_QUERY_VALUE:
        if (known(m_values)) {
            EXPECT_EQ(bOk, m_values[strPath].has_value()) << ev.m_strPath;
            EXPECT_EQ(ev.m_strOldValue, m_values[strPath].value_or(""));
        }
        break;
    case OP_CREATE_NEW:
        if (known(m_keys)) {
            EXPECT_FALSE(m_keys[strPath]) << "created an existing key " << ev.m_strPath;
        }
        [[fallthrough]];
    case OP_CREATE_OPEN:
        // Creating a key creates its missing parents too.
        for (size_t n = 0; bOk && n != std::string::npos; n = strPath.find('\\', n + 1))
            if (n > 0)
                m_keys[strPath.substr(0, n)] = true;
        if (bOk)
            m_keys[strPath] = true;
        break;
    case OP_OPEN_KEY:
        if (known(m_keys) && ev.m_strResult != RESULT_ACCESS_DENIED) {
            EXPECT_EQ(bOk, m_keys[strPath]) << ev.m_strPath;
        }
        break;
    case OP_DELETE_KEY:
    case OP_UNLOAD_KEY:
        if (bOk) {
            m_keys[strPath] = false;
            std::erase_if(m_values,
                          [&](const auto& kv) { return kv.first.starts_with(strPath + "\\"); });
        }
        break;
    case OP_LOAD_KEY:
        m_keys[strPath] = true;
        break;
    default:
        break;
    }
}

std::vector<SDriverEvent> RunActivity(uint64_t nSeed, int nSessions, CSimRegistry& registry) {
    registry.LoadText(SimSeedText());
    CSimActivity activity(registry, nSeed);
    const std::vector<SProcessInfo> arProcesses = {{100, "a.exe"}, {200, "b"}};
    std::vector<SDriverEvent> arEvents;
    for (int i = 0; i < nSessions; ++i)
        activity.RunSession(arProcesses[size_t(i) % 2], arEvents);
    return arEvents;
}

} // namespace

TEST(SimRegistry, KeysAndValuesRoundTrip) {
    CSimRegistry reg;
    reg.LoadText("[HKLM\\A\\B]\n@=REG_SZ:x\nN=REG_DWORD:16\n[HKLM\\A]\nbroken line\n");
    EXPECT_TRUE(reg.KeyExists("hklm\\a\\b"));
    EXPECT_EQ(reg.QueryValue("HKLM\\A\\B", DEFAULT_VALUE_NAME)->Text(), "REG_SZ: x");
    EXPECT_EQ(reg.QueryValue("HKLM\\A\\B", "n")->Text(), "REG_DWORD: 0x00000010 (16)");
    EXPECT_FALSE(reg.DeleteKey("HKLM\\A")) << "a key with subkeys is not deleted";
    EXPECT_FALSE(reg.DeleteKey("HKLM"));
    bool bCreated = false;
    EXPECT_TRUE(reg.CreateKey("HKLM\\A\\B\\C\\D", bCreated));
    EXPECT_TRUE(bCreated);
    EXPECT_TRUE(reg.CreateKey("HKLM\\a\\b\\c", bCreated));
    EXPECT_FALSE(bCreated);
    EXPECT_FALSE(reg.CreateKey("HKXX\\A", bCreated));
    EXPECT_EQ(reg.SetValue("HKLM\\A\\B", {"N", "REG_SZ", "y"})->m_strData, "0x00000010 (16)");
    EXPECT_EQ(reg.DeleteValue("HKLM\\A\\B", "N")->m_strData, "y");
    EXPECT_FALSE(reg.QueryValue("HKLM\\A\\B", "N"));
    EXPECT_TRUE(reg.DeleteKey("HKLM\\A\\B\\C\\D"));
    EXPECT_FALSE(reg.KeyExists("HKLM\\A\\B\\C\\D"));
    EXPECT_EQ(reg.EnumKey("HKLM\\A\\B", 0), "C");
    EXPECT_FALSE(reg.EnumKey("HKLM\\A\\B", 1));
}

TEST(SimRegistry, SeedIsRealisticallySized) {
    CSimRegistry reg;
    reg.LoadText(SimSeedText());
    const std::vector<std::string> arKeys = reg.AllKeyPaths();
    size_t nValues = 0;
    for (const std::string& str : arKeys)
        nValues += reg.ValueCount(str);
    EXPECT_GT(arKeys.size(), 150u);
    EXPECT_GT(nValues, 250u);
    EXPECT_TRUE(reg.QueryValue("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                               "SecurityHealth"));
    EXPECT_TRUE(reg.KeyExists("HKCR\\.txt"));
}

TEST(SimActivity, EventsStayConsistentWithTheRegistry) {
    CSimRegistry registry;
    const std::vector<SDriverEvent> arEvents = RunActivity(42, 20000, registry);
    SModel model;
    for (const SDriverEvent& ev : arEvents) {
        model.Check(ev);
        if (IsValueOperation(ev.m_nOperation) && ev.Succeeded()) {
            EXPECT_NE(ev.m_strPath.rfind('\\'), ev.m_strPath.size() - 1);
        }
        if (::testing::Test::HasFailure())
            FAIL() << "at " << ev.m_strPath;
    }
    for (const auto& [strKey, bExists] : model.m_keys) {
        EXPECT_EQ(registry.KeyExists(strKey), bExists) << strKey;
    }
    // A believable mix: mostly reads, some writes, deletes, failures and hive operations.
    const auto& n = model.m_counts;
    const int nReads = n.at(OP_OPEN_KEY) + n.at(OP_QUERY_VALUE) + n.at(OP_CLOSE_KEY) +
                       n.at(OP_QUERY_KEY) + n.at(OP_ENUM_KEY) + n.at(OP_ENUM_VALUE);
    EXPECT_GT(nReads * 10, int(arEvents.size()) * 8);
    for (int nOp : {OP_CREATE_NEW, OP_CREATE_OPEN, OP_SET_VALUE, OP_DELETE_VALUE, OP_DELETE_KEY,
                    OP_FLUSH_KEY, OP_LOAD_KEY, OP_UNLOAD_KEY})
        EXPECT_GT(n.count(nOp), 0u) << g_RegOperationNames[nOp];
    for (std::string_view result :
         {RESULT_NAME_NOT_FOUND, RESULT_NO_MORE_ENTRIES, RESULT_ACCESS_DENIED}) {
        EXPECT_GT(model.m_results[std::string(result)], 0) << result;
    }
}

TEST(SimActivity, SameSeedSameActivity) {
    CSimRegistry reg1, reg2, reg3;
    const std::vector<SDriverEvent> ar1 = RunActivity(7, 500, reg1);
    const std::vector<SDriverEvent> ar2 = RunActivity(7, 500, reg2);
    const std::vector<SDriverEvent> ar3 = RunActivity(8, 500, reg3);
    ASSERT_EQ(ar1.size(), ar2.size());
    for (size_t i = 0; i < ar1.size(); ++i) {
        ASSERT_EQ(FormatRecordText(ar1[i]), FormatRecordText(ar2[i]));
    }
    EXPECT_FALSE(ar1.size() == ar3.size() &&
                 std::equal(ar1.begin(), ar1.end(), ar3.begin(), [](auto& a, auto& b) {
                     return FormatRecordText(a) == FormatRecordText(b);
                 }));
}

TEST(SimProcesses, ScanFindsThisProcess) {
    const std::vector<SProcessInfo> ar = ScanProcesses();
    auto it = std::ranges::find(ar, uint32_t(getpid()), &SProcessInfo::m_nPid);
    ASSERT_NE(it, ar.end());
    EXPECT_EQ(it->m_strName, "hw_driver_tests");
    EXPECT_TRUE(ScanProcesses("/nonexistent").empty());
}

TEST(SimProcesses, ActivityIsAttributedToProcessesStartedLater) {
    SetDriverEnv("sim", "20000", "5");
    CLoadedDriver drv;
    ASSERT_TRUE(drv.Configure("*"));
    pid_t nChild = 0;
    char szSleep[] = "sleep", szArg[] = "8";
    char* argv[] = {szSleep, szArg, nullptr};
    ASSERT_EQ(posix_spawnp(&nChild, "sleep", nullptr, nullptr, argv, environ), 0);
    const std::string strChild = std::to_string(nChild);
    const std::vector<SRecord> arRecords = drv.ReadUntil(
        [&](const SRecord& rec) {
            return rec.m_arFields[0] == strChild && rec.m_arFields[1] == "sleep";
        },
        7);
    kill(nChild, SIGTERM);
    waitpid(nChild, nullptr, 0);
    bool bSeenChild = false;
    for (const SRecord& rec : arRecords) {
        // Until it runs its program, the new process is still a copy of this one.
        if (rec.m_arFields[0] == strChild && rec.m_arFields[1] == "sleep")
            bSeenChild = true;
        if (rec.m_arFields[0] == std::to_string(getpid())) {
            EXPECT_EQ(rec.m_arFields[1], "hw_driver_tests");
        }
    }
    EXPECT_TRUE(bSeenChild) << "no event for the new process among " << arRecords.size();
}
