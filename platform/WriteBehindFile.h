// Writes a file's bytes on a thread of its own, so that their maker goes on meanwhile.
#pragma once

#include <QIODevice>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

class CSafeFile;

// Each write is copied and queued; the thread writes the copies to the file in order. Copying
// costs far less than the system's own copy into the file, which is what the thread takes off
// the writer (a capture's files are made while the capture runs, and the time the system
// spends filling its file cache would otherwise stop the making). At most a few blocks wait:
// a writer that gets ahead of the disk waits for room. After a failed write the rest is
// dropped and every later write fails; the file holds the cause. Only one thread writes.
class CWriteBehindFile : public QIODevice {
public:
    explicit CWriteBehindFile(CSafeFile& file);
    ~CWriteBehindFile() override; // waits for the thread; what is queued is still written
    CWriteBehindFile(const CWriteBehindFile&) = delete;
    CWriteBehindFile& operator=(const CWriteBehindFile&) = delete;

    // Asks the file to start writing its data to the disk once the bytes queued so far are in
    // it (CSafeFile::StartWriteback).
    void StartWriteback();
    // Waits until every byte queued is in the file; false when a write failed. The file may be
    // used directly again after this (until the next write here).
    bool Drain();
    bool Failed() const { return m_bFailed.load(std::memory_order_acquire); }

    bool isSequential() const override { return true; }

    // Bytes queued at most before a write waits for room.
    static constexpr size_t MAX_QUEUED_BYTES = size_t(8) << 20;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* pData, qint64 nSize) override;

private:
    struct SItem {
        std::vector<char> bytes; // empty: a writeback request
    };
    void ThreadProc();
    void Enqueue(SItem&& item);

    CSafeFile& m_file;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<SItem> m_queue;             // under m_mutex
    std::vector<std::vector<char>> m_free; // written blocks for reuse, under m_mutex
    size_t m_nQueuedBytes = 0;             // under m_mutex
    bool m_bBusy = false;                  // the thread is writing an item, under m_mutex
    bool m_bQuit = false;                  // under m_mutex
    std::atomic<bool> m_bFailed{false};
    std::thread m_thread;
};
