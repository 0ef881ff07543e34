// Shared pieces of the benchmarks: real flood driver buffers, memory counters, copy timings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class CHivewatchDoc;

using ByteVector = std::vector<unsigned char>;

// Read buffers exactly as the varied flood source of the real driver module returns them
// (flood:varied: the simulation's mix of every operation on thousands of distinct paths,
// 300 processes), with the default filter. Every store, Find and capture benchmark uses these.
const std::vector<ByteVector>& FloodDriverBuffers();
// The narrow flood (64 records of 4 processes on 4 keys): the best case for the store's caches,
// for benchmarks labelled "narrow".
const std::vector<ByteVector>& NarrowFloodBuffers();
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

// Wall-clock and this thread's CPU seconds since the stopwatch was made. On a machine shared
// with other work the CPU time is the steadier figure; ratios are taken from it.
class CStopwatch {
public:
    CStopwatch();
    double WallSeconds() const;
    double CpuSeconds() const;
    // Of every thread of the process: for work that hands part of itself to other threads.
    double ProcessCpuSeconds() const;

private:
    double m_dWall0, m_dCpu0, m_dProcessCpu0;
};

// CPU seconds a plain memcpy of every buffer takes, nRounds times, into memory (a 256 MB ring
// far larger than the caches, as a store that grows is).
double CopyBuffersSeconds(const std::vector<ByteVector>& buffers, int nRounds);
// CPU seconds a plain memcpy of nBytes takes (best of a few runs, 64 MB at a time, into
// memory already touched).
double CopySeconds(size_t nBytes);

// The system's load average over the last minute, reported beside every figure (-1 when it
// cannot be read).
double LoadAverage();
