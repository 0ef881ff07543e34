#include "platform/PageMemory.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>

#include <sys/mman.h>

namespace {

std::atomic<size_t> g_nBlockBytes{0};

// Under the address and thread sanitizers the blocks come from malloc, so that overruns past
// a block and blocks never freed are reported.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool USE_MALLOC = true;
#else
constexpr bool USE_MALLOC = false;
#endif

// Maps one alignment more than asked and unmaps the ends, leaving an aligned block.
void* MapAligned(size_t nBytes) {
    const size_t nMapped = nBytes + BLOCK_ALIGN;
    void* p = mmap(nullptr, nMapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        return nullptr;
    const uintptr_t nStart = reinterpret_cast<uintptr_t>(p);
    const uintptr_t nAligned = (nStart + BLOCK_ALIGN - 1) & ~uintptr_t(BLOCK_ALIGN - 1);
    if (nAligned > nStart)
        munmap(p, nAligned - nStart);
    const size_t nTail = nStart + nMapped - (nAligned + nBytes);
    if (nTail > 0)
        munmap(reinterpret_cast<void*>(nAligned + nBytes), nTail);
    void* pBlock = reinterpret_cast<void*>(nAligned);
#ifdef MADV_HUGEPAGE
    madvise(pBlock, nBytes, MADV_HUGEPAGE);
#endif
    return pBlock;
}

} // namespace

void* PlatformAllocBlock(size_t nBytes) {
    void* p = USE_MALLOC ? std::aligned_alloc(BLOCK_ALIGN, nBytes) : MapAligned(nBytes);
    if (p)
        g_nBlockBytes.fetch_add(nBytes, std::memory_order_relaxed);
    return p;
}

void PlatformFreeBlock(void* p, size_t nBytes) {
    if (!p)
        return;
    g_nBlockBytes.fetch_sub(nBytes, std::memory_order_relaxed);
    if (USE_MALLOC)
        std::free(p);
    else
        munmap(p, nBytes);
}

size_t PlatformBlockBytesInUse() {
    return g_nBlockBytes.load(std::memory_order_relaxed);
}
