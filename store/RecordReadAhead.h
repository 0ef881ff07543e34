// Reads and parses a document's archived records on a thread of its own, while its caller
// files the records parsed before them.
#pragma once

#include "store/ArchivedRecord.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class CArchive;

// The thread reads the archive in large blocks into buffers of its own and parses the records
// in them into batches, which the caller takes in order. It stops after nCount records, at a
// record it does not take (not in the usual form, or larger than a block: the archive's next
// bytes are then that record's, for the archive's own reader), at the end of the file, or at
// a read error, which Next() raises once the batches before it are taken. The bytes read past
// the last record taken go back to the archive, which nothing else reads while this lives.
class CRecordReadAhead {
public:
    static constexpr size_t BATCH_RECORDS = 256;
    // The records, each with its time as the store keeps it (ArchivedTime).
    struct SBatch {
        size_t nCount = 0;
        SArchivedRecord records[BATCH_RECORDS];
        uint64_t times[BATCH_RECORDS];
    };

    // Throws std::system_error when no thread can be started.
    CRecordReadAhead(CArchive& ar, long long nCount);
    ~CRecordReadAhead(); // stops the thread and waits for it
    CRecordReadAhead(const CRecordReadAhead&) = delete;
    CRecordReadAhead& operator=(const CRecordReadAhead&) = delete;

    // The next batch, valid until the next call; nullptr after the last one.
    const SBatch* Next();

private:
    static constexpr int BLOCKS = 4;
    static constexpr size_t BLOCK_BYTES = size_t(512) << 10;
    static constexpr uint64_t BATCHES = 32; // a ring

    void ThreadProc();
    void Run();
    // Reads into block nBlock after its first nHave bytes, until it is full or the file ends.
    size_t Fill(int nBlock, size_t nHave);
    // Waits until the caller is done with every batch of block nBlock; false when asked to
    // stop.
    bool WaitForBlock(int nBlock);
    // The slot of the next batch, once the caller is done with the batch that had it; nullptr
    // when asked to stop.
    SBatch* WaitForSlot();
    // Waits until the caller is done with nNeeded batches, asking to be woken once it is done
    // with nWakeAt (at least nNeeded); returns early when asked to stop.
    void WaitForReleased(std::unique_lock<std::mutex>& lock, uint64_t nNeeded, uint64_t nWakeAt);
    void Publish(int nBlock);

    CArchive& m_ar;
    const long long m_nCount;
    std::vector<unsigned char> m_blocks[BLOCKS];
    std::unique_ptr<SBatch[]> m_pBatches;
    uint64_t m_nBlockBatches[BLOCKS] = {}; // thread only: batches published up to the block's last

    std::mutex m_mutex;
    std::condition_variable m_changed;
    uint64_t m_nPublished = 0;   // under m_mutex
    uint64_t m_nReleased = 0;    // batches the caller is done with, under m_mutex
    bool m_bFinished = false;    // the thread has published its last batch, under m_mutex
    bool m_bStop = false;        // under m_mutex
    bool m_bCallerWaits = false; // under m_mutex
    static constexpr uint64_t NO_WAKE = UINT64_MAX;
    uint64_t m_nWakeThreadAt = NO_WAKE; // the release count the waiting thread needs, under m_mutex
    std::exception_ptr m_pError;        // under m_mutex
    bool m_bHolding = false;            // caller only: it holds batch m_nReleased
    std::thread m_thread;
};
