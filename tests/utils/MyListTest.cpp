// Owning record list: order, index lookup at the edges, ownership on clear and removal.
#include "utils/MyList.h"

#include <gtest/gtest.h>

namespace {

struct CCounted : CObject {
    explicit CCounted(int n, int* pDestroyed) : m_n(n), m_pDestroyed(pDestroyed) {}
    ~CCounted() override { ++*m_pDestroyed; }
    int m_n;
    int* m_pDestroyed;
};

int ValueAt(const CMyList& list, long long i) {
    return static_cast<CCounted*>(list.FindIndex(i))->m_n;
}

} // namespace

TEST(MyList, OrderLookupAndOwnership) {
    int nDestroyed = 0;
    {
        CMyList list;
        for (int i = 0; i < 5; ++i)
            list.AddTail(new CCounted(i, &nDestroyed));
        EXPECT_EQ(list.GetCount(), 5);
        EXPECT_EQ(ValueAt(list, 0), 0);
        EXPECT_EQ(ValueAt(list, 4), 4);
        EXPECT_EQ(list.FindIndex(-1), nullptr);
        EXPECT_EQ(list.FindIndex(5), nullptr);

        CObject* pHead = list.RemoveHead(); // ownership passes to the caller
        EXPECT_EQ(static_cast<CCounted*>(pHead)->m_n, 0);
        EXPECT_EQ(ValueAt(list, 0), 1);
        EXPECT_EQ(nDestroyed, 0);
        delete pHead;

        list.Clear();
        EXPECT_EQ(nDestroyed, 5);
        EXPECT_TRUE(list.IsEmpty());
        EXPECT_EQ(list.RemoveHead(), nullptr);
        list.AddTail(new CCounted(9, &nDestroyed));
    }
    EXPECT_EQ(nDestroyed, 6); // the destructor frees what is left
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
