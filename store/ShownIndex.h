// The store positions of the records a filter shows, oldest first, in four bytes each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>

// Positions (CRecordList::GetHeadPosition() + index) only grow, so the index is sorted: new
// ones go at the tail, trimmed ones leave at the head, and a record's place among the shown
// ones is found by bisection. Each is kept as its distance from a base, in chunks of a fixed
// size, so a position is found in constant time and memory is four bytes per shown record
// (plus at most two partly used chunks); nothing is kept for a hidden one.
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

    size_t GetBytesHeld() const { return m_chunks.size() * CHUNK_ENTRIES * sizeof(uint32_t); }

private:
    using Chunk = std::unique_ptr<uint32_t[]>;
    // Moves the base up to the oldest position held (or to nPosition when none is), so that
    // every distance fits 32 bits again.
    void Rebase(long long nPosition);

    std::deque<Chunk> m_chunks;
    size_t m_nHead = 0; // entries already dropped from the first chunk
    long long m_nCount = 0;
    long long m_nBase = 0;
};
