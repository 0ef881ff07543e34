// A small cache from the bytes of a run of neighbouring texts to the ids the store gave them.
#pragma once

#include "store/TextTable.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

// Records repeat the same texts side by side: process name, request and result; old and new
// value. A slot maps the bytes of such a key, with where its texts part, to the ids of its
// texts, so a record needs one hash and one compare per key instead of a lookup per text. A
// key is up to three pieces of the record's bytes (texts that lie in one piece with the
// separators between them need only one). Slots are direct-mapped by the hash and hold their
// key in their own bytes: a lookup touches one slot only (and can be asked for ahead with
// Prefetch), and an overwritten slot or a colliding hash is merely a miss. Keys longer than a
// slot holds are not kept.
template <size_t N_IDS, size_t SLOT_BYTES> class CRunCache {
public:
    struct SKey {
        std::string_view a, b, c;
        uint16_t nParts = 0; // where texts part within the pieces, as the caller tells it
        size_t Size() const { return a.size() + b.size() + c.size(); }
    };
    struct alignas(64) SSlot {
        uint64_t nHash;
        std::array<uint32_t, N_IDS> ids;
        uint16_t nParts;
        uint8_t nA, nB;  // bytes of the first two pieces
        uint8_t nLength; // of the whole key; 0 for a free slot
        char key[SLOT_BYTES - 8 - 4 * N_IDS - 5];
    };
    static_assert(sizeof(SSlot) == SLOT_BYTES);
    static constexpr size_t MAX_KEY_BYTES = sizeof(SSlot::key);
    static_assert(MAX_KEY_BYTES < 256);

    explicit CRunCache(size_t nSlots) : m_slots(std::bit_ceil(nSlots)) { Clear(); }

    // Where the texts within a piece part: two lengths of 8 bits each (only keys of at most
    // MAX_KEY_BYTES are kept, so that is enough for them).
    static uint16_t PartsOf(size_t nFirst, size_t nSecond = 0) {
        return uint16_t((nFirst & 0xFF) << 8 | (nSecond & 0xFF));
    }
    // Empty pieces are passed over: callers leave the same pieces empty every time, and a
    // key that differs only in where its bytes part is told apart by the compare.
    static uint64_t HashOf(const SKey& key) {
        uint64_t h = HashAppend(0, key.a.data(), key.a.size());
        if (!key.b.empty())
            h = HashAppend(h, key.b.data(), key.b.size());
        if (!key.c.empty())
            h = HashAppend(h, key.c.data(), key.c.size());
        return HashFinish(h);
    }

    // The slot's first line: its header and the start of its key, all a short key needs.
    void Prefetch(uint64_t nHash) const {
        __builtin_prefetch(&m_slots[nHash & (m_slots.size() - 1)]);
    }

    // The slot that holds exactly this key, or nullptr. nHash: HashOf(key).
    SSlot* Find(const SKey& key, uint64_t nHash) {
        SSlot& slot = m_slots[nHash & (m_slots.size() - 1)];
        if (slot.nHash != nHash || slot.nA != key.a.size() || slot.nB != key.b.size() ||
            slot.nLength != key.Size() || slot.nParts != key.nParts || slot.nLength == 0 ||
            !SameBytes({slot.key, key.a.size()}, key.a) ||
            !SameBytes({slot.key + key.a.size(), key.b.size()}, key.b) ||
            !SameBytes({slot.key + key.a.size() + key.b.size(), key.c.size()}, key.c))
            return nullptr;
        return &slot;
    }

    // Keeps the key with its ids, replacing what its slot held; nullptr when it is too long.
    SSlot* Put(const SKey& key, uint64_t nHash, const std::array<uint32_t, N_IDS>& ids) {
        const size_t nLength = key.Size();
        if (nLength == 0 || nLength > MAX_KEY_BYTES)
            return nullptr;
        SSlot& slot = m_slots[nHash & (m_slots.size() - 1)];
        slot.nHash = nHash;
        slot.ids = ids;
        slot.nParts = key.nParts;
        slot.nA = uint8_t(key.a.size());
        slot.nB = uint8_t(key.b.size());
        slot.nLength = uint8_t(nLength);
        char* p = slot.key;
        for (std::string_view piece : {key.a, key.b, key.c}) {
            if (!piece.empty())
                std::memcpy(p, piece.data(), piece.size());
            p += piece.size();
        }
        return &slot;
    }

    void Clear() {
        for (SSlot& slot : m_slots) {
            slot.nHash = 0;
            slot.nLength = 0;
        }
    }

private:
    std::vector<SSlot> m_slots;
};
