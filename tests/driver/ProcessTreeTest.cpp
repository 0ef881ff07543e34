// The watched process tree, and the driver instance that reports only its events.
#include "driver/ProcessTree.h"
#include "driver/DriverInstance.h"
#include "tests/driver/DriverTestSupport.h"

#include <gtest/gtest.h>

#include <set>

namespace {

std::set<uint32_t> Members(CProcessTree& tree, std::initializer_list<uint32_t> pids) {
    std::set<uint32_t> in;
    for (uint32_t nPid : pids)
        if (tree.Contains(nPid))
            in.insert(nPid);
    return in;
}

} // namespace

// Started links (a Wine server's): the whole subtree whatever the order of asking, a child
// that starts after its parent ended, and a reused process ID placed afresh.
TEST(ProcessTree, StartedLinksMakeTheSubtree) {
    CProcessTree tree;
    EXPECT_TRUE(tree.Contains(12345)) << "no root: every process";
    tree.Started(100, 0); // the launched program, from a shell
    tree.Started(101, 100);
    tree.Started(200, 0); // unrelated
    tree.SetRoot(100);
    tree.Started(102, 101); // a grandchild
    tree.Started(201, 200);
    EXPECT_EQ(Members(tree, {100, 101, 102, 200, 201, 999}), (std::set<uint32_t>{100, 101, 102}));
    // 101 has ended; its child started later still belongs, and so does its grandchild.
    tree.Started(103, 101);
    tree.Started(104, 103);
    EXPECT_TRUE(tree.Contains(104));
    // ID 102 is used again by a process the unrelated one started.
    tree.Started(102, 200);
    EXPECT_FALSE(tree.Contains(102));
    // Links that loop never hang the walk.
    tree.Started(300, 301);
    tree.Started(301, 300);
    EXPECT_FALSE(tree.Contains(300));
    tree.SetRoot(0);
    EXPECT_TRUE(tree.Contains(300));
}

// Seen entries (the system's process table, read again and again): a process handed to another
// parent when its own ended keeps its place; a new process under an old ID does not.
TEST(ProcessTree, SeenProcessesKeepTheParentTheyStartedWith) {
    CProcessTree tree;
    tree.SetRoot(10);
    tree.Seen(1, 0, 1);
    tree.Seen(10, 1, 100);
    tree.Seen(11, 10, 200);
    tree.Seen(12, 11, 300);
    EXPECT_EQ(Members(tree, {1, 10, 11, 12}), (std::set<uint32_t>{10, 11, 12}));
    tree.Seen(12, 1, 300); // 11 ended: 12 now reports init as its parent
    EXPECT_TRUE(tree.Contains(12));
    tree.Seen(12, 1, 900); // a new process 12
    EXPECT_FALSE(tree.Contains(12));
    EXPECT_FALSE(tree.Contains(13)) << "never seen";
    tree.Seen(13, 12, 950);
    EXPECT_FALSE(tree.Contains(13)) << "a child of the unrelated new 12";
}

namespace {

SDriverEvent Event(uint32_t nPid) {
    SDriverEvent ev;
    ev.m_nPid = nPid;
    ev.m_strProcess = "p" + std::to_string(nPid);
    ev.m_nOperation = OP_SET_VALUE;
    ev.m_strPath = "HKCU\\Software\\X";
    return ev;
}

bool Control(CDriverInstance& drv, uint32_t nCode, const void* pIn = nullptr, uint32_t nIn = 0) {
    uint32_t n = 0;
    return drv.IoControl(nCode, {static_cast<const unsigned char*>(pIn), nIn}, {}, n);
}

void SetTarget(CDriverInstance& drv, uint32_t nPid) {
    unsigned char ar[4];
    StoreLE32(ar, nPid);
    ASSERT_TRUE(Control(drv, IOCTL_REGDRV_SET_TARGET, ar, 4));
}

std::vector<std::string> ReadPids(CDriverInstance& drv) {
    std::vector<unsigned char> buf(READ_BUFFER_SIZE);
    uint32_t n = 0;
    drv.IoControl(IOCTL_REGDRV_READ, {}, buf, n);
    std::vector<std::string> ar;
    for (const SRecord& r : ParseRecords(buf.data(), n))
        ar.push_back(r.m_arFields[0]);
    return ar;
}

} // namespace

// The target takes effect at APPLY, for new events and for those still queued.
TEST(ProcessTree, InstanceReportsOnlyTheTargetsTree) {
    CDriverInstance drv(SDriverConfig{}, nullptr);
    const std::vector<unsigned char> filter = MakeFilterBuffer("*");
    ASSERT_TRUE(Control(drv, IOCTL_REGDRV_SET_FILTER, filter.data(), uint32_t(filter.size())));
    ASSERT_TRUE(Control(drv, IOCTL_REGDRV_START));
    ASSERT_TRUE(Control(drv, IOCTL_REGDRV_APPLY));
    unsigned char ar[5] = {};
    EXPECT_FALSE(Control(drv, IOCTL_REGDRV_SET_TARGET, ar, 3));
    EXPECT_FALSE(Control(drv, IOCTL_REGDRV_SET_TARGET, ar, 5));
    drv.ProcessStarted(50, 0);
    drv.ProcessStarted(51, 50);
    for (uint32_t nPid : {7u, 50u, 51u})
        drv.Post(Event(nPid));
    SetTarget(drv, 50);
    drv.Post(Event(7));
    EXPECT_FALSE(drv.HasTarget()) << "staged only";
    ASSERT_TRUE(Control(drv, IOCTL_REGDRV_APPLY));
    EXPECT_TRUE(drv.HasTarget());
    drv.ProcessStarted(52, 51);
    for (uint32_t nPid : {7u, 51u, 52u, 53u})
        drv.Post(Event(nPid));
    EXPECT_EQ(ReadPids(drv), (std::vector<std::string>{"50", "51", "51", "52"}))
        << "the queued event of process 7 went with the new target";
    SetTarget(drv, 0);
    ASSERT_TRUE(Control(drv, IOCTL_REGDRV_APPLY));
    drv.Post(Event(7));
    EXPECT_EQ(ReadPids(drv), (std::vector<std::string>{"7"}));
}

// Messages: each handed out once, in order, the same one not twice in a row, whole characters.
TEST(ProcessTree, MessagesAreHandedOutOnce) {
    CDriverInstance drv(SDriverConfig{}, nullptr);
    drv.Tell("first");
    drv.Tell("first");
    drv.Tell("caf\xc3\xa9 full");
    std::vector<unsigned char> buf(64);
    uint32_t n = 0;
    ASSERT_TRUE(drv.IoControl(IOCTL_REGDRV_GET_MESSAGE, {}, buf, n));
    EXPECT_EQ(std::string(buf.begin(), buf.begin() + n), "first");
    ASSERT_TRUE(drv.IoControl(IOCTL_REGDRV_GET_MESSAGE, {}, {buf.data(), 4}, n));
    EXPECT_EQ(std::string(buf.begin(), buf.begin() + n), "caf") << "not half of the é";
    ASSERT_TRUE(drv.IoControl(IOCTL_REGDRV_GET_MESSAGE, {}, buf, n));
    EXPECT_EQ(n, 0u);
    for (size_t i = 0; i < CDriverInstance::MAX_MESSAGES + 5; ++i)
        drv.Tell("m" + std::to_string(i));
    ASSERT_TRUE(drv.IoControl(IOCTL_REGDRV_GET_MESSAGE, {}, buf, n));
    EXPECT_EQ(std::string(buf.begin(), buf.begin() + n), "m5") << "the oldest gave way";
}
