#include "platform/WriteBehindFile.h"

#include "platform/SafeFile.h"

#include <cstring>

CWriteBehindFile::CWriteBehindFile(CSafeFile& file) : m_file(file) {
    QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    m_thread = std::thread([this] { ThreadProc(); });
}

CWriteBehindFile::~CWriteBehindFile() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bQuit = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

qint64 CWriteBehindFile::writeData(const char* pData, qint64 nSize) {
    if (Failed())
        return -1;
    if (nSize <= 0)
        return 0;
    SItem item;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        // Room for this write, or nothing else queued (a write larger than the bound).
        m_changed.wait(lock, [&] {
            return m_nQueuedBytes + size_t(nSize) <= MAX_QUEUED_BYTES || m_queue.empty() ||
                   Failed();
        });
        if (Failed())
            return -1;
        if (!m_free.empty()) {
            item.bytes = std::move(m_free.back());
            m_free.pop_back();
        }
    }
    item.bytes.resize(size_t(nSize)); // a reused block has the capacity already
    std::memcpy(item.bytes.data(), pData, size_t(nSize));
    Enqueue(std::move(item));
    return nSize;
}

void CWriteBehindFile::StartWriteback() {
    if (!Failed())
        Enqueue(SItem{});
}

void CWriteBehindFile::Enqueue(SItem&& item) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_nQueuedBytes += item.bytes.size();
        m_queue.push_back(std::move(item));
    }
    m_changed.notify_all();
}

bool CWriteBehindFile::Drain() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [&] { return m_queue.empty() && !m_bBusy; });
    return !Failed();
}

// Takes the items in order and writes them with the lock let go; after a failure the items
// are only taken, so that a writer waiting for room goes on (and fails).
void CWriteBehindFile::ThreadProc() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [&] { return !m_queue.empty() || m_bQuit; });
        if (m_queue.empty())
            return; // asked to quit with nothing left
        SItem item = std::move(m_queue.front());
        m_queue.pop_front();
        m_bBusy = true;
        lock.unlock();
        if (!Failed()) {
            if (item.bytes.empty()) {
                m_file.StartWriteback();
            } else if (m_file.write(item.bytes.data(), qint64(item.bytes.size())) !=
                       qint64(item.bytes.size())) {
                m_bFailed.store(true, std::memory_order_release);
            }
        }
        lock.lock();
        m_bBusy = false;
        m_nQueuedBytes -= item.bytes.size();
        if (item.bytes.capacity() > 0 && m_free.size() < 4)
            m_free.push_back(std::move(item.bytes));
        m_changed.notify_all();
    }
}
