// The control contract of the loaded module, and the queue that feeds READ.
#include "tests/driver/DriverTestSupport.h"

#include "driver/DriverInstance.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

uint32_t g_nUnused = 0;

class DriverContract : public ::testing::Test {
protected:
    void SetUp() override { SetDriverEnv("flood"); }
};

} // namespace

TEST_F(DriverContract, VersionNeedsFourBytes) {
    CLoadedDriver drv;
    ASSERT_TRUE(drv.IsOpen());
    unsigned char ar[8] = {};
    uint32_t n = 0;
    ASSERT_TRUE(drv.Control(IOCTL_REGDRV_GET_VERSION, nullptr, 0, ar, sizeof(ar), n));
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(LoadLE32(ar), 200u);
    EXPECT_FALSE(drv.Control(IOCTL_REGDRV_GET_VERSION, nullptr, 0, ar, 3, n));
}

TEST_F(DriverContract, BadControlCallsFail) {
    CLoadedDriver drv;
    ASSERT_TRUE(drv.IsOpen());
    std::vector<unsigned char> ar = MakeFilterBuffer("*");
    for (uint32_t nSize : {0u, 2064u, 2066u}) {
        ar.resize(nSize, 0);
        EXPECT_FALSE(drv.Control(IOCTL_REGDRV_SET_FILTER, ar.data(), nSize, nullptr, 0, g_nUnused))
            << nSize;
    }
    EXPECT_FALSE(drv.Control(IOCTL_REGDRV_SET_FILTER, nullptr, 2065, nullptr, 0, g_nUnused));
    EXPECT_FALSE(drv.Control(0x82018008, nullptr, 0, nullptr, 0, g_nUnused));
    EXPECT_FALSE(drv.Control(0, nullptr, 0, nullptr, 0, g_nUnused));
    EXPECT_FALSE(drv.Control(IOCTL_REGDRV_READ, nullptr, 0, nullptr, 100, g_nUnused));
}

TEST_F(DriverContract, NothingReportedUntilStartAndAFilterAreApplied) {
    CLoadedDriver drv;
    // The program applies once right after the version check: that must not start reporting.
    ASSERT_TRUE(drv.Control(IOCTL_REGDRV_APPLY, nullptr, 0, nullptr, 0, g_nUnused));
    EXPECT_TRUE(drv.Read().empty());
    const std::vector<unsigned char> ar = MakeFilterBuffer("*");
    ASSERT_TRUE(drv.Control(IOCTL_REGDRV_SET_FILTER, ar.data(), 2065, nullptr, 0, g_nUnused));
    ASSERT_TRUE(drv.Control(IOCTL_REGDRV_APPLY, nullptr, 0, nullptr, 0, g_nUnused));
    EXPECT_TRUE(drv.Read().empty()) << "a filter without START reports nothing";
    ASSERT_TRUE(drv.Control(IOCTL_REGDRV_START, nullptr, 0, nullptr, 0, g_nUnused));
    EXPECT_TRUE(drv.Read().empty()) << "START takes effect only at APPLY";
    ASSERT_TRUE(drv.Control(IOCTL_REGDRV_APPLY, nullptr, 0, nullptr, 0, g_nUnused));
    EXPECT_FALSE(drv.Read().empty());
}

TEST_F(DriverContract, StopAndStartTakeEffectAtApply) {
    CLoadedDriver drv;
    ASSERT_TRUE(drv.Configure("*"));
    ASSERT_TRUE(drv.Control(IOCTL_REGDRV_STOP, nullptr, 0, nullptr, 0, g_nUnused));
    EXPECT_FALSE(drv.Read().empty());
    ASSERT_TRUE(drv.Control(IOCTL_REGDRV_APPLY, nullptr, 0, nullptr, 0, g_nUnused));
    EXPECT_TRUE(drv.Read().empty());
    ASSERT_TRUE(drv.Control(IOCTL_REGDRV_START, nullptr, 0, nullptr, 0, g_nUnused));
    ASSERT_TRUE(drv.Control(IOCTL_REGDRV_APPLY, nullptr, 0, nullptr, 0, g_nUnused));
    EXPECT_FALSE(drv.Read().empty());
}

TEST_F(DriverContract, ReadReturnsOnlyWholeRecordsWithinTheBuffer) {
    CLoadedDriver drv;
    ASSERT_TRUE(drv.Configure("*"));
    EXPECT_TRUE(drv.Read(REGDRV_EVENT_HEADER_SIZE + 3).empty());
    for (uint32_t nSize : {150u, 257u, 1001u, uint32_t(READ_BUFFER_SIZE)}) {
        std::vector<unsigned char> ar(nSize + 16, 0xCC);
        uint32_t n = 0;
        ASSERT_TRUE(drv.Control(IOCTL_REGDRV_READ, nullptr, 0, ar.data(), nSize, n));
        ASSERT_LE(n, nSize);
        EXPECT_GT(n, 0u);
        EXPECT_TRUE(std::all_of(ar.begin() + nSize, ar.end(), [](auto c) { return c == 0xCC; }));
        ParseRecords(ar.data(), n); // fails on a cut record
    }
}

TEST_F(DriverContract, RecordsArePackedAsTheProgramReadsThem) {
    CLoadedDriver drv;
    ASSERT_TRUE(drv.Configure("*"));
    const uint64_t nNow = CurrentFileTime();
    std::vector<SRecord> arRecords = drv.Read();
    const std::vector<SRecord> arMore = drv.Read(300);
    arRecords.insert(arRecords.end(), arMore.begin(), arMore.end());
    ASSERT_GT(arRecords.size(), 100u);
    for (size_t i = 0; i < arRecords.size(); ++i) {
        const SRecord& rec = arRecords[i];
        ASSERT_EQ(rec.m_arFields.size(), 7u);
        if (i > 0) {
            EXPECT_EQ(rec.m_nSeq, arRecords[i - 1].m_nSeq + 1);
        }
        EXPECT_LT(std::max(rec.m_nFileTime, nNow) - std::min(rec.m_nFileTime, nNow), 600000000ull)
            << "time is not within a minute of now";
        EXPECT_FALSE(rec.m_arFields[0].empty());
        EXPECT_EQ(rec.m_arFields[0].find_first_not_of("0123456789"), std::string::npos);
        EXPECT_NE(
            std::find(g_RegOperationNames.begin(), g_RegOperationNames.end(), rec.m_arFields[2]),
            g_RegOperationNames.end());
        EXPECT_TRUE(rec.m_arFields[3].starts_with("HK")) << rec.m_strText;
    }
}

TEST_F(DriverContract, FloodHonoursTheFilter) {
    CLoadedDriver drv;
    ASSERT_TRUE(drv.Configure("chrome;HKCR"));
    const std::vector<SRecord> arRecords = drv.Read();
    ASSERT_FALSE(arRecords.empty());
    for (const SRecord& rec : arRecords) {
        EXPECT_EQ(rec.m_arFields[1], "chrome.exe");
        EXPECT_TRUE(rec.m_arFields[3].starts_with("HKCR\\")) << rec.m_strText;
    }
    // An include text without a zero ends at its 1024th byte: a long name that matches nothing.
    std::vector<unsigned char> ar = MakeFilterBuffer("");
    std::fill_n(ar.begin(), FILTER_TEXT_SIZE, 'x');
    ASSERT_TRUE(drv.Control(IOCTL_REGDRV_SET_FILTER, ar.data(), 2065, nullptr, 0, g_nUnused));
    ASSERT_TRUE(drv.Control(IOCTL_REGDRV_APPLY, nullptr, 0, nullptr, 0, g_nUnused));
    EXPECT_TRUE(drv.Read().empty());
}

TEST_F(DriverContract, BadSourceSettingsRefuseToOpen) {
    for (const char* pszSource : {"bogus", "replay:/nonexistent/trace.csv", "replay:"}) {
        SetDriverEnv(pszSource);
        CLoadedDriver drv;
        EXPECT_FALSE(drv.IsOpen()) << pszSource;
    }
    SetDriverEnv("sim", "0");
    EXPECT_FALSE(CLoadedDriver().IsOpen());
    SetDriverEnv("sim", nullptr, "12x");
    EXPECT_FALSE(CLoadedDriver().IsOpen());
}

// Overflow: the queue keeps the newest events and the driver reports how many it dropped.
namespace {

SDriverEvent NumberedEvent(uint32_t n) {
    SDriverEvent ev;
    ev.m_nPid = n;
    ev.m_strProcess = "p.exe";
    ev.m_strPath = "HKLM\\SOFTWARE";
    return ev;
}

std::vector<SRecord> ReadInstance(CDriverInstance& drv) {
    std::vector<unsigned char> ar(READ_BUFFER_SIZE);
    uint32_t n = 0;
    EXPECT_TRUE(drv.IoControl(IOCTL_REGDRV_READ, {}, ar, n));
    return ParseRecords(ar.data(), n);
}

void ApplyFilter(CDriverInstance& drv, unsigned char nBookkeeping) {
    std::vector<unsigned char> ar = MakeFilterBuffer("*");
    ar[FILTER_SWITCH_OFFSET + DRV_SW_BOOKKEEPING] = nBookkeeping;
    uint32_t n = 0;
    ASSERT_TRUE(drv.IoControl(IOCTL_REGDRV_SET_FILTER, ar, {}, n));
    ASSERT_TRUE(drv.IoControl(IOCTL_REGDRV_START, {}, {}, n));
    ASSERT_TRUE(drv.IoControl(IOCTL_REGDRV_APPLY, {}, {}, n));
}

} // namespace

TEST(DriverQueue, OverflowDropsOldestAndReportsTheCount) {
    for (unsigned char nBookkeeping : {1, 0}) {
        CDriverInstance drv(SDriverConfig{}, nullptr);
        ApplyFilter(drv, nBookkeeping);
        const uint32_t nTotal = uint32_t(CEventQueue::DEFAULT_MAX_EVENTS) + 25;
        for (uint32_t i = 0; i < nTotal; ++i)
            drv.Post(NumberedEvent(i));
        const std::vector<SRecord> arRecords = ReadInstance(drv);
        ASSERT_GE(arRecords.size(), 2u);
        size_t nFirst = 0;
        if (nBookkeeping) {
            EXPECT_EQ(
                arRecords[0].m_strText,
                "4\tSystem\tRegFlushKey\tHKLM\\SYSTEM\\RegDrv\tBUFFER OVERFLOW\t\tDropped: 25");
            nFirst = 1;
        }
        EXPECT_EQ(arRecords[nFirst].m_arFields[0], "25");
        EXPECT_EQ(arRecords[nFirst].m_nSeq, arRecords[0].m_nSeq + nFirst);
        // The report comes once: the next read continues with plain events.
        EXPECT_EQ(ReadInstance(drv).at(0).m_arFields[1], "p.exe");
    }
}

TEST(DriverQueue, ByteBudgetAlsoBoundsTheQueue) {
    CEventQueue queue(1000, 100);
    for (int i = 0; i < 10; ++i)
        queue.Push(uint64_t(i), std::string(30, char('a' + i)));
    EXPECT_EQ(queue.Size(), 3u);
    EXPECT_EQ(queue.Front().m_nFileTime, 7u);
    EXPECT_EQ(queue.TakeDropped(), 7u);
    EXPECT_EQ(queue.TakeDropped(), 0u);
    queue.Push(99, std::string(500, 'z')); // one oversized record is still kept
    EXPECT_EQ(queue.Size(), 1u);
}

TEST(DriverRecordText, ControlCharactersNeverSplitFields) {
    SDriverEvent ev = NumberedEvent(7);
    ev.m_nOperation = OP_SET_VALUE;
    ev.m_strPath = "HKCU\\Soft\tware\\Val\r\nue";
    ev.m_strOldValue = std::string("REG_SZ: a\0b", 11);
    ev.m_strNewValue = "REG_SZ: " + std::string(MAX_FIELD_TEXT * 2, 'x');
    const std::string str = FormatRecordText(ev);
    EXPECT_EQ(std::count(str.begin(), str.end(), '\t'), 6);
    EXPECT_EQ(str.find('\0'), std::string::npos);
    EXPECT_NE(str.find("HKCU\\Soft ware\\Val  ue"), std::string::npos);
    EXPECT_LT(RegDrvEventSize(str.size()), READ_BUFFER_SIZE);
}
