#include "utils/MyList.h"

#include "platform/PageMemory.h"

#include <mutex>
#include <new>

namespace {

static_assert(MYLIST_BLOCK_BYTES % BLOCK_ALIGN == 0);

// Enough for a trimming capture to reuse its blocks: each chunk of entries frees about one
// entry block and two or three pages at once.
constexpr size_t KEEP_FREE_BLOCKS = 8;

struct SBlockCache {
    std::mutex lock;
    void* blocks[KEEP_FREE_BLOCKS] = {};
    size_t nCount = 0;
};

SBlockCache& Cache() {
    static SBlockCache* s_pCache = new SBlockCache; // outlives every static list
    return *s_pCache;
}

} // namespace

void* MyListAllocBlock() {
    SBlockCache& cache = Cache();
    {
        std::lock_guard<std::mutex> guard(cache.lock);
        if (cache.nCount > 0)
            return cache.blocks[--cache.nCount];
    }
    void* p = PlatformAllocBlock(MYLIST_BLOCK_BYTES);
    if (!p)
        throw std::bad_alloc();
    return p;
}

void MyListFreeBlock(void* pBlock) {
    if (!pBlock)
        return;
    SBlockCache& cache = Cache();
    {
        std::lock_guard<std::mutex> guard(cache.lock);
        if (cache.nCount < KEEP_FREE_BLOCKS) {
            cache.blocks[cache.nCount++] = pBlock;
            return;
        }
    }
    PlatformFreeBlock(pBlock, MYLIST_BLOCK_BYTES);
}

size_t MyListBytesInUse() {
    return PlatformBlockBytesInUse();
}
