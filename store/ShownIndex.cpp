#include "store/ShownIndex.h"

#include <algorithm>
#include <utility>

namespace {
constexpr long long MAX_DISTANCE = 0xFFFFFFFFll;
constexpr size_t FIRST_TAIL_ENTRIES = 256;
} // namespace

void CShownIndex::ResizeTail(size_t nUsed, size_t nCapacity) {
    Chunk pChunk = std::make_unique_for_overwrite<uint32_t[]>(nCapacity);
    std::copy_n(m_chunks.back().get(), nUsed, pChunk.get());
    m_chunks.back() = std::move(pChunk);
    m_nTailCapacity = nCapacity;
}

uint32_t* CShownIndex::SlotFor(size_t n, size_t nRun) {
    const size_t nChunk = n / CHUNK_ENTRIES, nAt = n % CHUNK_ENTRIES;
    const size_t nWanted = std::min(CHUNK_ENTRIES, nAt + nRun);
    if (nChunk == m_chunks.size()) {
        const size_t nCapacity = std::max(nWanted, FIRST_TAIL_ENTRIES);
        Chunk pChunk = std::make_unique_for_overwrite<uint32_t[]>(nCapacity);
        m_chunks.push_back(std::move(pChunk));
        m_nTailCapacity = nCapacity;
    } else if (nWanted > m_nTailCapacity) {
        ResizeTail(nAt, std::min(CHUNK_ENTRIES, std::max(nWanted, m_nTailCapacity * 3 / 2)));
    }
    return &m_chunks[nChunk][nAt];
}

void CShownIndex::TrimTail() {
    const size_t nUsed = (m_nHead + size_t(m_nCount)) % CHUNK_ENTRIES;
    if (!m_chunks.empty() && nUsed > 0 && nUsed < m_nTailCapacity)
        ResizeTail(nUsed, nUsed);
}

long long CShownIndex::FirstAtOrAbove(long long nPosition) const {
    long long nLow = 0, nHigh = m_nCount;
    while (nLow < nHigh) {
        const long long nMid = nLow + (nHigh - nLow) / 2;
        if (At(nMid) < nPosition)
            nLow = nMid + 1;
        else
            nHigh = nMid;
    }
    return nLow;
}

long long CShownIndex::Find(long long nPosition) const {
    const long long nAt = FirstAtOrAbove(nPosition);
    return nAt < m_nCount && At(nAt) == nPosition ? nAt : -1;
}

void CShownIndex::Rebase(long long nPosition) {
    // The store never holds four billion records, so the positions held always lie within
    // 2^32 of a new one; should they not, those that are too old are let go.
    if (m_nCount > 0 && nPosition - At(0) > MAX_DISTANCE)
        DropBefore(nPosition - MAX_DISTANCE);
    const long long nNewBase = m_nCount > 0 ? At(0) : nPosition;
    const uint32_t nDelta = uint32_t(nNewBase - m_nBase);
    for (long long i = 0; i < m_nCount; ++i) {
        const size_t n = m_nHead + size_t(i);
        m_chunks[n / CHUNK_ENTRIES][n % CHUNK_ENTRIES] -= nDelta;
    }
    m_nBase = nNewBase;
}

void CShownIndex::Append(long long nPosition) {
    if (m_nCount == 0 && m_chunks.empty())
        m_nBase = nPosition;
    else if (nPosition - m_nBase > MAX_DISTANCE)
        Rebase(nPosition);
    *SlotFor(m_nHead + size_t(m_nCount), 1) = uint32_t(nPosition - m_nBase);
    ++m_nCount;
}

void CShownIndex::Splice(CShownIndex&& other) {
    if (other.IsEmpty())
        return;
    if (IsEmpty()) {
        *this = std::move(other);
        other.Clear();
        return;
    }
    // Chunk by chunk with one addition each while the distances fit, which is the usual case.
    const long long nLast = other.At(other.m_nCount - 1);
    if (nLast - m_nBase > MAX_DISTANCE)
        Rebase(nLast);
    const uint32_t nShift = uint32_t(other.m_nBase - m_nBase);
    long long i = 0;
    while (i < other.m_nCount) {
        const size_t nFrom = other.m_nHead + size_t(i);
        const size_t nTo = m_nHead + size_t(m_nCount);
        const long long nRun = std::min(
            {other.m_nCount - i, static_cast<long long>(CHUNK_ENTRIES - nFrom % CHUNK_ENTRIES),
             static_cast<long long>(CHUNK_ENTRIES - nTo % CHUNK_ENTRIES)});
        const uint32_t* pFrom = &other.m_chunks[nFrom / CHUNK_ENTRIES][nFrom % CHUNK_ENTRIES];
        uint32_t* pTo = SlotFor(nTo, size_t(nRun));
        for (long long k = 0; k < nRun; ++k)
            pTo[k] = pFrom[k] + nShift;
        m_nCount += nRun;
        i += nRun;
    }
    other.Clear();
}

void CShownIndex::DropBefore(long long nPosition) {
    if (m_nCount == 0 || At(0) >= nPosition)
        return;
    const long long nLow = FirstAtOrAbove(nPosition);
    m_nHead += size_t(nLow);
    m_nCount -= nLow;
    while (m_nHead >= CHUNK_ENTRIES) {
        m_chunks.pop_front();
        m_nHead -= CHUNK_ENTRIES;
    }
}

void CShownIndex::Clear() {
    m_chunks.clear();
    m_nTailCapacity = 0;
    m_nHead = 0;
    m_nCount = 0;
    m_nBase = 0;
}
