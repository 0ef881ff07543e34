// Which processes a capture started for one target keeps: the attached process alone, or a
// launched program together with every process it starts.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

// The driver is told only the target's name, so every process of that name reports to it;
// the watch keeps the records of the target itself. A launched program counts with its
// descendants, since an installer or a script does its work in children. The watch lasts
// for the whole capture that an attach or launch started. Verdicts are cached per process
// ID, because the capture thread asks for every record.
class CTargetWatch {
public:
    // User-interface thread. Watch(SCOPE_ATTACHED or SCOPE_NEW_PROGRAM) starts a watch;
    // any other scope, or End(), stops watching: every record is kept.
    void Watch(int nScope);
    void End() { Watch(-1); }
    bool IsWatching() const { return m_nScope.load(std::memory_order_acquire) >= 0; }

    // Capture thread: whether a record of process nPid belongs to the watched target
    // nTargetPid (-1 while not known yet, which keeps nothing). True when not watching.
    bool Accepts(int nPid, int nTargetPid);

private:
    static constexpr size_t CACHE_SLOTS = 256;
    static constexpr int MAX_ANCESTORS = 64;
    struct SVerdict {
        int nPid = 0; // 0: empty slot
        bool bAccepted = false;
    };

    bool IsDescendant(int nPid, int nTargetPid);
    const SVerdict* Cached(int nPid) const;
    void Remember(int nPid, bool bAccepted);

    std::atomic<int> m_nScope{-1};
    std::atomic<uint32_t> m_nEpoch{0};

    // Capture thread only: the verdicts of the current watch and target.
    uint32_t m_nCacheEpoch = UINT32_MAX;
    int m_nCacheTarget = -1;
    std::array<SVerdict, CACHE_SLOTS> m_cache{};
};
