// Record list: order, index lookup at the edges and after trims across chunk borders, segments
// of every size, and memory given back.
#include "utils/MyList.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>

namespace {

struct STestEntry {
    uint32_t nSegment;
    uint32_t nValue;
};
using CTestList = CMyList<STestEntry>;

// Entry n carries n and a segment of nSize bytes, each byte (n + k) % 251.
void Add(CTestList& list, uint32_t n, size_t nSize) {
    unsigned char* p = nullptr;
    STestEntry& e = list.AddTail(nSize, p);
    e.nValue = n;
    for (size_t k = 0; k < nSize; ++k)
        p[k] = uint8_t((n + k) % 251);
}

// The entry at nIndex carries n, and its segment is intact.
::testing::AssertionResult Holds(const CTestList& list, long long nIndex, uint32_t n,
                                 size_t nSize) {
    const CTestList::SRef ref = list.FindIndex(nIndex);
    if (!ref.pEntry)
        return ::testing::AssertionFailure() << "no entry at " << nIndex;
    if (ref.pEntry->nValue != n)
        return ::testing::AssertionFailure()
               << "entry " << nIndex << " holds " << ref.pEntry->nValue << ", not " << n;
    for (size_t k = 0; k < nSize; ++k) {
        if (ref.pSegment[k] != uint8_t((n + k) % 251))
            return ::testing::AssertionFailure() << "segment of " << n << " differs at " << k;
    }
    return ::testing::AssertionSuccess();
}

size_t SizeOf(uint32_t n) {
    if (n % 997 == 0)
        return CTestList::LARGE_SEGMENT + 1 + n % 5000; // a block of its own
    return 1 + n % 300;
}

} // namespace

TEST(MyList, OrderLookupAndRemoval) {
    CTestList list;
    for (uint32_t i = 0; i < 5; ++i)
        Add(list, i, 3);
    EXPECT_EQ(list.GetCount(), 5);
    EXPECT_TRUE(Holds(list, 0, 0, 3));
    EXPECT_TRUE(Holds(list, 4, 4, 3));
    EXPECT_EQ(list.FindIndex(-1).pEntry, nullptr);
    EXPECT_EQ(list.FindIndex(5).pEntry, nullptr);

    EXPECT_TRUE(list.RemoveHead());
    EXPECT_TRUE(Holds(list, 0, 1, 3));
    EXPECT_EQ(list.GetCount(), 4);

    list.RemoveAll();
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetBytesHeld(), 0u);
    EXPECT_FALSE(list.RemoveHead());
    EXPECT_EQ(list.FindIndex(0).pEntry, nullptr);
    Add(list, 9, 2);
    EXPECT_TRUE(Holds(list, 0, 9, 2));
}

// Entries over three chunks with segments over many pages: every lookup stays right while the
// head moves across chunk borders, and each chunk passed gives its memory back.
TEST(MyList, TrimsAcrossChunksKeepLookupsRightAndGiveMemoryBack) {
    const uint32_t nTotal = uint32_t(CTestList::CHUNK_ENTRIES * 2 + CTestList::CHUNK_ENTRIES / 2);
    CTestList list;
    for (uint32_t n = 0; n < nTotal; ++n)
        Add(list, n, SizeOf(n));
    ASSERT_EQ(list.GetCount(), nTotal);
    for (uint32_t n = 0; n < nTotal; n += 1009)
        ASSERT_TRUE(Holds(list, n, n, SizeOf(n)));

    const size_t nHeldBefore = list.GetBytesHeld();
    uint32_t nHead = 0;
    // Up to one entry before the first border, then across it.
    for (; nHead < CTestList::CHUNK_ENTRIES - 1; ++nHead)
        list.RemoveHead();
    EXPECT_EQ(list.GetBytesHeld(), nHeldBefore) << "a chunk goes only when it is passed whole";
    EXPECT_TRUE(Holds(list, 0, nHead, SizeOf(nHead)));
    list.RemoveHead();
    ++nHead;
    EXPECT_LT(list.GetBytesHeld(), nHeldBefore);
    for (long long i : {0LL, 1LL, 4096LL, list.GetCount() - 1}) {
        const uint32_t n = nHead + uint32_t(i);
        ASSERT_TRUE(Holds(list, i, n, SizeOf(n))) << "index " << i;
    }
    // Appends go on while the head moves; everything left reads back.
    for (uint32_t n = nTotal; n < nTotal + 1000; ++n)
        Add(list, n, SizeOf(n));
    while (list.GetCount() > 1500)
        list.RemoveHead();
    nHead = nTotal + 1000 - 1500;
    for (long long i = 0; i < list.GetCount(); ++i)
        ASSERT_TRUE(Holds(list, i, nHead + uint32_t(i), SizeOf(nHead + uint32_t(i))));
    EXPECT_LT(list.GetBytesHeld(), nHeldBefore / 3) << "the two chunks passed are gone";

    // Emptied by removals alone, the list starts afresh.
    while (list.RemoveHead()) {
    }
    Add(list, 5, 70000);
    EXPECT_TRUE(Holds(list, 0, 5, 70000));
    list.RemoveAll();
    EXPECT_EQ(list.GetBytesHeld(), 0u);
}

// An entry taken back right after it was added, and added again larger (a record whose path
// was not ASCII), leaves nothing behind: at page and chunk borders and for large segments,
// the list reads, trims and holds memory as one that only ever added the larger entry.
TEST(MyList, EntryTakenBackAndAddedAgainLeavesNoTrace) {
    const uint32_t nTotal = uint32_t(CTestList::CHUNK_ENTRIES + CTestList::CHUNK_ENTRIES / 3);
    CTestList plain, redone;
    for (uint32_t n = 0; n < nTotal; ++n) {
        Add(plain, n, SizeOf(n));
        if (n % 7 == 3 || n % 997 == 0) {
            const size_t nFirst = n % 997 == 0 ? SizeOf(n) - 1 : SizeOf(n) / 2; // large: large
            unsigned char* p = nullptr;
            redone.AddTail(nFirst, p).nValue = ~n;
            std::fill(p, p + nFirst, 0xEE);
            redone.DropTail(nFirst);
        }
        Add(redone, n, SizeOf(n));
    }
    ASSERT_EQ(redone.GetCount(), plain.GetCount());
    EXPECT_EQ(redone.GetBytesHeld(), plain.GetBytesHeld());
    for (uint32_t n = 0; n < nTotal; ++n)
        ASSERT_TRUE(Holds(redone, n, n, SizeOf(n)));
    for (size_t i = 0; i < CTestList::CHUNK_ENTRIES; ++i) {
        plain.RemoveHead();
        redone.RemoveHead();
    }
    EXPECT_EQ(redone.GetBytesHeld(), plain.GetBytesHeld());
    for (long long i = 0; i < redone.GetCount(); ++i) {
        const uint32_t n = uint32_t(CTestList::CHUNK_ENTRIES + size_t(i));
        ASSERT_TRUE(Holds(redone, i, n, SizeOf(n)));
    }
}

// The inline append for segments that fit in the current page fills the list as the general
// one does: through chunk and page borders, while the head moves, after the list was emptied
// by removals alone and after RemoveAll, it is taken whenever it may be, and the two lists
// read, trim and hold memory alike.
TEST(MyList, InPageAppendsFillTheListAsGeneralOnes) {
    CTestList general, inPage;
    size_t nInPage = 0, nAdded = 0;
    const auto addBoth = [&](uint32_t n) {
        const size_t nSize = SizeOf(n);
        Add(general, n, nSize);
        unsigned char* p = nullptr;
        if (STestEntry* pEntry = inPage.TryAddTailInPage(nSize, p)) {
            pEntry->nValue = n;
            for (size_t k = 0; k < nSize; ++k)
                p[k] = uint8_t((n + k) % 251);
            ++nInPage;
        } else {
            Add(inPage, n, nSize);
        }
        ++nAdded;
    };
    const auto same = [&]() -> ::testing::AssertionResult {
        if (inPage.GetCount() != general.GetCount())
            return ::testing::AssertionFailure() << "counts differ";
        if (inPage.GetBytesHeld() != general.GetBytesHeld())
            return ::testing::AssertionFailure() << "memory held differs";
        for (long long i = 0; i < inPage.GetCount(); i += 97) {
            const uint32_t n = general.FindIndex(i).pEntry->nValue;
            if (auto r = Holds(inPage, i, n, SizeOf(n)); !r)
                return r;
        }
        return ::testing::AssertionSuccess();
    };
    uint32_t n = 0;
    for (; n < CTestList::CHUNK_ENTRIES + 5000; ++n)
        addBoth(n);
    ASSERT_TRUE(same());
    // The head passes a chunk border while appends go on.
    for (; n < 2 * CTestList::CHUNK_ENTRIES + 100; ++n) {
        addBoth(n);
        general.RemoveHead();
        inPage.RemoveHead();
    }
    ASSERT_TRUE(same());
    // Emptied by removals alone, then filled again; then after RemoveAll.
    while (general.RemoveHead() && inPage.RemoveHead()) {
    }
    for (uint32_t k = 0; k < 3000; ++k, ++n)
        addBoth(n);
    ASSERT_TRUE(same());
    general.RemoveAll();
    inPage.RemoveAll();
    for (uint32_t k = 0; k < 3000; ++k, ++n)
        addBoth(n);
    ASSERT_TRUE(same());
    EXPECT_GT(nInPage, nAdded * 9 / 10) << "the inline append is the usual one";
}

#include "utils/AutoLock.h"

#include <atomic>
#include <thread>

// The record lock is taken again by a thread that holds it (selection handler, then details).
TEST(AutoLock, ReentrantOnOneThreadExclusiveAcrossThreads) {
    CMutex mutex;
    std::atomic<bool> bOtherGotIt{false};
    std::thread other;
    {
        CAutoLock outer(&mutex);
        CAutoLock inner(&mutex);
        other = std::thread([&] {
            CAutoLock lock(&mutex);
            bOtherGotIt = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_FALSE(bOtherGotIt);
    }
    other.join(); // only possible once both holds are released
    EXPECT_TRUE(bOtherGotIt);
}
