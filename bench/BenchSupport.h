// Shared pieces of the benchmarks: real flood driver buffers, memory counters, copy timings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class CHivewatchDoc;

using ByteVector = std::vector<unsigned char>;

// Read buffers exactly as the flood source of the real driver module returns them.
const std::vector<ByteVector>& FloodDriverBuffers();
// Read buffers of the flood mix (its processes, operations, results and values) whose paths
// all have nPathChars characters, each path distinct; nRecords records in all.
std::vector<ByteVector> FloodMixBuffers(size_t nRecords, size_t nPathChars);
size_t RecordsIn(const std::vector<ByteVector>& buffers);

// Files nRecords records into the document through the capture thread's decoder, cycling
// through the buffers; returns the records filed.
size_t FillFromBuffers(CHivewatchDoc& doc, const std::vector<ByteVector>& buffers, size_t nRecords);

// Heap bytes in use as the allocators count them: malloc's arenas and its mapped blocks,
// plus the blocks the record store maps itself when it does.
size_t HeapBytesInUse();
size_t ResidentBytes();

// Seconds a plain memcpy of every buffer, nRounds times, into one read-sized buffer.
double CopyBuffersSeconds(const std::vector<ByteVector>& buffers, int nRounds);
// Seconds a plain memcpy of nBytes takes (best of a few runs, into a buffer already touched).
double CopySeconds(size_t nBytes);
