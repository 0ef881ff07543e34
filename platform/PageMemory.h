// Large blocks of memory taken from the system and given back whole, for the record store.
#pragma once

#include <cstddef>

// Blocks are aligned to BLOCK_ALIGN and, where the system offers them, backed by large pages,
// so that filling and freeing millions of records costs few page faults. nBytes must be a
// multiple of BLOCK_ALIGN. nullptr when the system has no memory to give.
inline constexpr size_t BLOCK_ALIGN = size_t(2) << 20;
void* PlatformAllocBlock(size_t nBytes);
// Gives a block back to the system at once; nBytes as it was allocated.
void PlatformFreeBlock(void* p, size_t nBytes);
// Bytes of every block allocated and not yet freed, in the whole process.
size_t PlatformBlockBytesInUse();
