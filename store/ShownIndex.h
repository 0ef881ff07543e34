// The store positions of the records a filter shows, oldest first, in four bytes each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>

// Positions (CRecordList::GetHeadPosition() + index) only grow, so the index is sorted: new
// ones go at the tail, trimmed ones leave at the head, and a record's place among the shown
// ones is found by bisection. Each is kept as its distance from a base, in chunks of a fixed
// size, so a position is found in constant time; nothing is kept for a hidden one. The last
// chunk starts small and grows by half as it fills, and a finished walk trims it, so memory
// is four bytes per shown record, plus what the first chunk's trimmed entries and the last
// chunk's room for arrivals take.
class CShownIndex {
public:
    static constexpr size_t CHUNK_ENTRIES = size_t(1) << 14;

    CShownIndex() = default;
    CShownIndex(const CShownIndex&) = delete;
    CShownIndex& operator=(const CShownIndex&) = delete;
    CShownIndex(CShownIndex&&) noexcept = default;
    CShownIndex& operator=(CShownIndex&&) noexcept = default;

    long long GetCount() const { return m_nCount; }
    bool IsEmpty() const { return m_nCount == 0; }

    // The store position of the nPos-th shown record (0 .. count - 1), oldest first.
    long long At(long long nPos) const {
        const size_t n = m_nHead + size_t(nPos);
        return m_nBase + m_chunks[n / CHUNK_ENTRIES][n % CHUNK_ENTRIES];
    }
    // The place of a store position among the shown ones, or -1 when it is not shown.
    long long Find(long long nPosition) const;

    // nPosition is above every position held. Throws std::bad_alloc with nothing added.
    void Append(long long nPosition);
    // Every position of other, all above those held here, after them; other is left empty.
    void Splice(CShownIndex&& other);
    // Drops the positions below nPosition (records trimmed from the store's head).
    void DropBefore(long long nPosition);
    void Clear();
    // Gives back the last chunk's room for more (a walk has ended: arrivals are few).
    void TrimTail();

    size_t GetBytesHeld() const {
        return m_chunks.empty()
                   ? 0
                   : ((m_chunks.size() - 1) * CHUNK_ENTRIES + m_nTailCapacity) * sizeof(uint32_t);
    }

private:
    using Chunk = std::unique_ptr<uint32_t[]>;
    // Moves the base up to the oldest position held (or to nPosition when none is), so that
    // every distance fits 32 bits again.
    void Rebase(long long nPosition);
    // The place of the first position held that is nPosition or above (the count if none).
    long long FirstAtOrAbove(long long nPosition) const;
    // The slot of entry n (the next one), in a chunk with room for nRun entries from it:
    // a new chunk, or the last one grown. Throws std::bad_alloc with nothing changed.
    uint32_t* SlotFor(size_t n, size_t nRun);
    void ResizeTail(size_t nUsed, size_t nCapacity);

    std::deque<Chunk> m_chunks;
    size_t m_nHead = 0; // entries already dropped from the first chunk
    long long m_nCount = 0;
    long long m_nBase = 0;
    size_t m_nTailCapacity = 0; // entries the last chunk has room for
};
