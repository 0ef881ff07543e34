// The record list: plain fixed-size entries in large chunks, each with bytes of its own.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <new>
#include <vector>

// Blocks of MYLIST_BLOCK_BYTES for every list, with a few freed blocks kept for reuse, so a
// capture that trims as fast as it appends does not map and fault fresh memory all the time.
inline constexpr size_t MYLIST_BLOCK_BYTES = size_t(2) << 20;
void* MyListAllocBlock(); // throws std::bad_alloc when the system has no memory
void MyListFreeBlock(void* pBlock);
// Blocks held by lists (and the reuse cache) in the whole process, in bytes.
size_t MyListBytesInUse();

// Entries (TEntry: a trivially copyable struct with a uint32_t nSegment member) live in chunks
// of one block each; their bytes (the segment: any length, written once at the append) live
// in shared pages of one block, in append order, or on their own when they are large.
// Appending at the tail and removing at the head cost O(1); lookup by index is O(1). Memory
// goes back when the head passes a whole chunk: its entry block, the pages only its entries
// used, and its large segments.
//
// nSegment addresses a segment within its chunk: bit 31 set, a large segment (index into
// the chunk's list of them); else the page (bits 21-30, counted from the chunk's first page)
// and the offset in it (bits 0-20).
template <class TEntry> class CMyList {
public:
    static constexpr size_t CHUNK_ENTRIES = MYLIST_BLOCK_BYTES / sizeof(TEntry);
    static constexpr size_t PAGE_BYTES = MYLIST_BLOCK_BYTES;
    // Segments above this size get a block of their own; below it, the pages one chunk's
    // entries use always stay within the 10-bit page field.
    static constexpr size_t LARGE_SEGMENT = size_t(16) << 10;

    struct SRef {
        const TEntry* pEntry = nullptr;
        const unsigned char* pSegment = nullptr;
    };

    CMyList() = default;
    virtual ~CMyList() {
        RemoveAll();
        ReleaseSpare();
    }
    CMyList(const CMyList&) = delete;
    CMyList& operator=(const CMyList&) = delete;

    long long GetCount() const { return m_nCount; }
    bool IsEmpty() const { return m_nCount == 0; }

    // A new entry at the tail with room for nSegmentBytes bytes; the caller fills both (all
    // of the entry but nSegment). Throws std::bad_alloc, leaving the list as it was.
    TEntry& AddTail(size_t nSegmentBytes, unsigned char*& pSegment) {
        const size_t nPos = m_nHead + size_t(m_nCount);
        if (nPos / CHUNK_ENTRIES == m_chunks.size())
            NewChunk();
        SChunk& chunk = *m_chunks.back();
        uint32_t nSegment = 0;
        pSegment = NewSegment(chunk, nSegmentBytes, nSegment);
        TEntry& entry = chunk.pEntries[nPos % CHUNK_ENTRIES];
        PrefetchAhead(&entry, pSegment);
        entry.nSegment = nSegment;
        ++m_nCount;
        return entry;
    }

    // The usual append, inline: an entry in the tail chunk with a segment of nSegmentBytes in
    // the current page. nullptr, with nothing added, when it needs the general AddTail.
    TEntry* TryAddTailInPage(size_t nSegmentBytes, unsigned char*& pSegment) {
        const size_t nPos = m_nHead + size_t(m_nCount);
        // Not a chunk's first entry: the tail chunk holds the entry before it, and has room.
        if (nPos % CHUNK_ENTRIES == 0 || m_pTailPage == nullptr || nSegmentBytes > LARGE_SEGMENT ||
            PAGE_BYTES - m_nPageUsed < nSegmentBytes)
            return nullptr;
        const SChunk& chunk = *m_pTailChunk;
        TEntry& entry = chunk.pEntries[nPos % CHUNK_ENTRIES];
        entry.nSegment =
            uint32_t((m_nNextPageSeq - 1 - chunk.nBasePage) << 21) | uint32_t(m_nPageUsed);
        pSegment = m_pTailPage + m_nPageUsed;
        PrefetchAhead(&entry, pSegment);
        m_nPageUsed += nSegmentBytes;
        ++m_nCount;
        return &entry;
    }

    // The entry at a zero-based index from the head and its segment; empty outside
    // 0 .. count - 1.
    SRef FindIndex(long long nIndex) const {
        if (nIndex < 0 || nIndex >= m_nCount)
            return {};
        const size_t nPos = m_nHead + size_t(nIndex);
        const SChunk& chunk = *m_chunks[nPos / CHUNK_ENTRIES];
        const TEntry& entry = chunk.pEntries[nPos % CHUNK_ENTRIES];
        return {&entry, SegmentOf(chunk, entry.nSegment)};
    }

    // Calls fn(nIndex, entry) for the entries at nFirst .. nEnd - 1, in order, walking each
    // chunk's entries directly (nFirst and nEnd within 0 .. count).
    template <class F> void ForEachEntry(long long nFirst, long long nEnd, F&& fn) const {
        size_t nPos = m_nHead + size_t(nFirst);
        while (nFirst < nEnd) {
            const TEntry* pEntries = m_chunks[nPos / CHUNK_ENTRIES]->pEntries;
            const size_t nAt = nPos % CHUNK_ENTRIES;
            const long long nRun = std::min<long long>(nEnd - nFirst, CHUNK_ENTRIES - nAt);
            for (long long k = 0; k < nRun; ++k)
                fn(nFirst + k, pEntries[nAt + size_t(k)]);
            nFirst += nRun;
            nPos += size_t(nRun);
        }
    }
    // The same with each entry's segment: fn(nIndex, entry, pSegment).
    template <class F> void ForEachEntryAndSegment(long long nFirst, long long nEnd, F&& fn) const {
        size_t nPos = m_nHead + size_t(nFirst);
        while (nFirst < nEnd) {
            const SChunk& chunk = *m_chunks[nPos / CHUNK_ENTRIES];
            const size_t nAt = nPos % CHUNK_ENTRIES;
            const long long nRun = std::min<long long>(nEnd - nFirst, CHUNK_ENTRIES - nAt);
            for (long long k = 0; k < nRun; ++k) {
                const TEntry& entry = chunk.pEntries[nAt + size_t(k)];
                fn(nFirst + k, entry, SegmentOf(chunk, entry.nSegment));
            }
            nFirst += nRun;
            nPos += size_t(nRun);
        }
    }

    // Takes back the entry the last AddTail(nSegmentBytes, ...) added, so that it can be added
    // again with another size; only right after that AddTail.
    void DropTail(size_t nSegmentBytes) {
        if (m_nCount == 0)
            return;
        const size_t nPos = m_nHead + size_t(m_nCount) - 1;
        SChunk& chunk = *m_chunks[nPos / CHUNK_ENTRIES];
        if (chunk.pEntries[nPos % CHUNK_ENTRIES].nSegment & 0x80000000u) {
            chunk.large.pop_back();
            chunk.nLargeBytes -= nSegmentBytes;
        } else {
            m_nPageUsed -= nSegmentBytes;
        }
        --m_nCount;
    }

    // Drops the head entry; false when empty.
    bool RemoveHead() {
        if (m_nCount == 0)
            return false;
        --m_nCount;
        if (++m_nHead == CHUNK_ENTRIES) {
            FreeChunk(*m_chunks.front());
            m_chunks.pop_front();
            m_nHead = 0;
            FreePagesBefore(m_chunks.empty() ? m_nNextPageSeq : m_chunks.front()->nBasePage);
        }
        return true;
    }

    // Frees every chunk, page and segment. With bKeepBlocks the blocks stay with the list for
    // the entries appended next (a list emptied to be filled again at once needs no fresh
    // memory, which the system would first clear), until ReleaseSpare().
    void RemoveAll(bool bKeepBlocks = false) {
        m_bKeepBlocks = bKeepBlocks;
        for (auto& pChunk : m_chunks)
            FreeChunk(*pChunk);
        m_chunks.clear();
        FreePagesBefore(m_nNextPageSeq);
        m_nHead = 0;
        m_nCount = 0;
        m_bKeepBlocks = false;
    }
    void Clear() { RemoveAll(); }
    void ReleaseSpare() {
        for (void* p : m_spare)
            MyListFreeBlock(p);
        m_spare.clear();
        m_spare.shrink_to_fit();
    }

    // Blocks and large segments the list holds, in bytes.
    size_t GetBytesHeld() const {
        size_t n = (m_chunks.size() + m_pages.size() + m_spare.size()) * MYLIST_BLOCK_BYTES;
        for (const auto& pChunk : m_chunks)
            n += pChunk->nLargeBytes;
        return n;
    }

private:
    struct SChunk {
        TEntry* pEntries = nullptr;
        uint64_t nBasePage = 0; // sequence number of the page the chunk's first segment may use
        std::vector<std::unique_ptr<unsigned char[]>> large;
        size_t nLargeBytes = 0;
    };

    // Appends write entries and pages in order through memory that was last used long ago
    // (blocks go round from the head to the tail): the lines a little further on are asked
    // for now, to be written, so that the writes do not wait for them.
    static void PrefetchAhead(const TEntry* pEntry, const unsigned char* pSegment) {
        constexpr size_t ENTRY_AHEAD = 16 * sizeof(TEntry), SEGMENT_AHEAD = 1024;
        __builtin_prefetch(reinterpret_cast<const void*>(uintptr_t(pEntry) + ENTRY_AHEAD), 1);
        __builtin_prefetch(reinterpret_cast<const void*>(uintptr_t(pSegment) + SEGMENT_AHEAD), 1);
    }

    void* AllocBlock() {
        if (m_spare.empty())
            return MyListAllocBlock();
        void* p = m_spare.back();
        m_spare.pop_back();
        return p;
    }
    void FreeBlock(void* p) {
        if (m_bKeepBlocks && p) {
            try {
                m_spare.push_back(p);
                return;
            } catch (const std::bad_alloc&) {
            }
        }
        MyListFreeBlock(p);
    }

    void NewChunk() {
        auto pChunk = std::make_unique<SChunk>();
        pChunk->pEntries = static_cast<TEntry*>(AllocBlock());
        // Segments of this chunk start in the current page, or in the next one.
        pChunk->nBasePage = m_pages.empty() ? m_nNextPageSeq : m_nNextPageSeq - 1;
        SChunk* pTail = pChunk.get();
        try {
            m_chunks.push_back(std::move(pChunk));
        } catch (...) {
            FreeBlock(pChunk->pEntries);
            throw;
        }
        m_pTailChunk = pTail;
    }

    void FreeChunk(SChunk& chunk) {
        FreeBlock(chunk.pEntries);
        chunk.pEntries = nullptr;
        chunk.large.clear();
        chunk.nLargeBytes = 0;
    }

    unsigned char* NewSegment(SChunk& chunk, size_t nBytes, uint32_t& nSegment) {
        if (nBytes > LARGE_SEGMENT) {
            chunk.large.reserve(chunk.large.size() + 1);
            chunk.large.push_back(std::make_unique<unsigned char[]>(nBytes));
            chunk.nLargeBytes += nBytes;
            nSegment = 0x80000000u | uint32_t(chunk.large.size() - 1);
            return chunk.large.back().get();
        }
        if (m_pages.empty() || PAGE_BYTES - m_nPageUsed < nBytes) {
            m_pages.push_back(nullptr);
            try {
                m_pages.back() = static_cast<unsigned char*>(AllocBlock());
            } catch (...) {
                m_pages.pop_back();
                throw;
            }
            ++m_nNextPageSeq;
            m_nPageUsed = 0;
            m_pTailPage = m_pages.back();
        }
        const uint64_t nPageSeq = m_nNextPageSeq - 1;
        nSegment = uint32_t((nPageSeq - chunk.nBasePage) << 21) | uint32_t(m_nPageUsed);
        unsigned char* p = m_pages.back() + m_nPageUsed;
        m_nPageUsed += nBytes;
        return p;
    }

    const unsigned char* SegmentOf(const SChunk& chunk, uint32_t nSegment) const {
        if (nSegment & 0x80000000u)
            return chunk.large[nSegment & 0x7FFFFFFFu].get();
        const uint64_t nPageSeq = chunk.nBasePage + (nSegment >> 21);
        return m_pages[size_t(nPageSeq - m_nFirstPageSeq)] + (nSegment & 0x1FFFFFu);
    }

    // Pages with a sequence number below nSeq hold no live segment any more. The page being
    // filled stays when the list still appends into it.
    void FreePagesBefore(uint64_t nSeq) {
        while (m_nFirstPageSeq < nSeq && !m_pages.empty()) {
            FreeBlock(m_pages.front());
            m_pages.pop_front();
            ++m_nFirstPageSeq;
        }
        if (m_pages.empty()) {
            m_nFirstPageSeq = m_nNextPageSeq;
            m_nPageUsed = 0;
            m_pTailPage = nullptr;
        }
    }

    std::deque<std::unique_ptr<SChunk>> m_chunks; // pointers: the deque indexes them by shifts
    std::deque<unsigned char*> m_pages;
    // The chunk and page appends go to (m_chunks.back() and m_pages.back() while there are
    // any), at hand without the deques' lookups.
    SChunk* m_pTailChunk = nullptr;
    unsigned char* m_pTailPage = nullptr;
    std::vector<void*> m_spare; // blocks kept by RemoveAll(true)
    bool m_bKeepBlocks = false;
    uint64_t m_nFirstPageSeq = 0; // sequence number of m_pages.front()
    uint64_t m_nNextPageSeq = 0;  // of the next page to be made
    size_t m_nPageUsed = 0;       // bytes used in m_pages.back()
    size_t m_nHead = 0;           // index of the head entry in m_chunks.front()
    long long m_nCount = 0;
};
