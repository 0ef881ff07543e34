#include "store/RecordReadAhead.h"

#include "utils/Archive.h"

#include <cstring>
#include <utility>

CRecordReadAhead::CRecordReadAhead(CArchive& ar, long long nCount)
    : m_ar(ar), m_nCount(nCount), m_pBatches(std::make_unique<SBatch[]>(BATCHES)) {
    for (auto& block : m_blocks)
        block.resize(BLOCK_BYTES);
    m_thread = std::thread([this] { ThreadProc(); });
}

CRecordReadAhead::~CRecordReadAhead() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

// Each side wakes the other only when it waits: the thread for half the ring (or its block),
// so that the two do not take turns batch by batch.
const CRecordReadAhead::SBatch* CRecordReadAhead::Next() {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_bHolding) {
        ++m_nReleased;
        m_bHolding = false;
        if (m_nReleased >= m_nWakeThreadAt) {
            m_nWakeThreadAt = NO_WAKE;
            m_changed.notify_all();
        }
    }
    if (m_nPublished == m_nReleased && !m_bFinished) {
        m_bCallerWaits = true;
        m_changed.wait(lock, [&] { return m_nPublished > m_nReleased || m_bFinished; });
        m_bCallerWaits = false;
    }
    if (m_nPublished > m_nReleased) {
        m_bHolding = true;
        return &m_pBatches[m_nReleased % BATCHES];
    }
    if (m_pError)
        std::rethrow_exception(std::exchange(m_pError, nullptr));
    return nullptr;
}

void CRecordReadAhead::ThreadProc() {
    std::exception_ptr pError;
    try {
        Run();
    } catch (...) {
        pError = std::current_exception();
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pError = pError;
        m_bFinished = true;
    }
    m_changed.notify_all();
}

// A batch never spans two blocks, so a block is free again once its last batch is done. A
// record cut by the end of a block goes to the front of the next one; one that does not parse
// at the front of a full block, or at the end of the file, is left to the archive.
void CRecordReadAhead::Run() {
    long long nLeft = m_nCount;
    int nBlock = 0;
    size_t nCarry = 0;
    SBatch* pBatch = nullptr;
    while (nLeft > 0) {
        const size_t nHave = Fill(nBlock, nCarry);
        const bool bFileEnds = nHave < BLOCK_BYTES;
        const unsigned char* const pStart = m_blocks[nBlock].data();
        const unsigned char* const pEnd = pStart + nHave;
        const unsigned char* p = pStart;
        while (nLeft > 0) {
            if (!pBatch && !(pBatch = WaitForSlot()))
                return;
            const size_t n = pBatch->nCount;
            SArchivedRecord& r = pBatch->records[n];
            if (!ParseArchivedRecord(p, pEnd, r))
                break;
            pBatch->times[n] = ArchivedTime(r.time);
            --nLeft;
            if (++pBatch->nCount == BATCH_RECORDS) {
                Publish(nBlock);
                pBatch = nullptr;
            }
        }
        if (pBatch && pBatch->nCount > 0) {
            Publish(nBlock);
            pBatch = nullptr;
        }
        const size_t nRest = size_t(pEnd - p);
        if (nLeft == 0 || p == pStart || bFileEnds) {
            m_ar.Unread(p, nRest);
            return;
        }
        const int nNext = (nBlock + 1) % BLOCKS;
        if (!WaitForBlock(nNext))
            return;
        std::memcpy(m_blocks[nNext].data(), p, nRest);
        nCarry = nRest;
        nBlock = nNext;
    }
}

size_t CRecordReadAhead::Fill(int nBlock, size_t nHave) {
    unsigned char* const pBlock = m_blocks[nBlock].data();
    while (nHave < BLOCK_BYTES) {
        const size_t n = m_ar.ReadSome(pBlock + nHave, BLOCK_BYTES - nHave);
        if (n == 0)
            break;
        nHave += n;
    }
    return nHave;
}

bool CRecordReadAhead::WaitForBlock(int nBlock) {
    std::unique_lock<std::mutex> lock(m_mutex);
    WaitForReleased(lock, m_nBlockBatches[nBlock], m_nBlockBatches[nBlock]);
    return !m_bStop;
}

CRecordReadAhead::SBatch* CRecordReadAhead::WaitForSlot() {
    std::unique_lock<std::mutex> lock(m_mutex);
    // The slot of batch n is free once batch n - BATCHES is done.
    if (m_nPublished >= BATCHES)
        WaitForReleased(lock, m_nPublished - BATCHES + 1, m_nPublished - BATCHES / 2 + 1);
    if (m_bStop)
        return nullptr;
    SBatch* pBatch = &m_pBatches[m_nPublished % BATCHES];
    pBatch->nCount = 0;
    return pBatch;
}

void CRecordReadAhead::WaitForReleased(std::unique_lock<std::mutex>& lock, uint64_t nNeeded,
                                       uint64_t nWakeAt) {
    if (m_nReleased >= nNeeded || m_bStop)
        return;
    m_nWakeThreadAt = nWakeAt;
    m_changed.wait(lock, [&] { return m_nReleased >= nNeeded || m_bStop; });
}

void CRecordReadAhead::Publish(int nBlock) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_nBlockBatches[nBlock] = ++m_nPublished;
    if (m_bCallerWaits)
        m_changed.notify_all();
}
