#include "capture/TargetWatch.h"

#include "platform/Processes.h"
#include "settings/SetObj.h"

void CTargetWatch::Watch(int nScope) {
    const bool bTarget = nScope == SCOPE_ATTACHED || nScope == SCOPE_NEW_PROGRAM;
    // A new epoch first, so the capture thread forgets the verdicts of an earlier watch
    // before it sees the new scope.
    m_nEpoch.fetch_add(1, std::memory_order_acq_rel);
    m_nScope.store(bTarget ? nScope : -1, std::memory_order_release);
}

bool CTargetWatch::Accepts(int nPid, int nTargetPid) {
    const int nScope = m_nScope.load(std::memory_order_acquire);
    if (nScope < 0)
        return true;
    if (nTargetPid <= 0)
        return false;
    if (nPid == nTargetPid)
        return true;
    return nScope == SCOPE_NEW_PROGRAM && IsDescendant(nPid, nTargetPid);
}

const CTargetWatch::SVerdict* CTargetWatch::Cached(int nPid) const {
    const SVerdict& slot = m_cache[size_t(nPid) % CACHE_SLOTS];
    return slot.nPid == nPid ? &slot : nullptr;
}

void CTargetWatch::Remember(int nPid, bool bAccepted) {
    if (nPid > 0)
        m_cache[size_t(nPid) % CACHE_SLOTS] = {nPid, bAccepted};
}

// Walks the parent chain from nPid. Every process met on the way shares the verdict: below
// the target they all descend from it, otherwise none does. A process that has exited can
// no longer be placed and is rejected.
bool CTargetWatch::IsDescendant(int nPid, int nTargetPid) {
    const uint32_t nEpoch = m_nEpoch.load(std::memory_order_acquire);
    if (nEpoch != m_nCacheEpoch || nTargetPid != m_nCacheTarget) {
        m_cache.fill({});
        m_nCacheEpoch = nEpoch;
        m_nCacheTarget = nTargetPid;
    }
    if (const SVerdict* pVerdict = Cached(nPid))
        return pVerdict->bAccepted;
    int chain[MAX_ANCESTORS];
    int nChain = 0;
    bool bAccepted = false;
    for (int nAt = nPid; nChain < MAX_ANCESTORS;) {
        if (nAt == nTargetPid) {
            bAccepted = true;
            break;
        }
        if (nAt <= 1)
            break;
        if (const SVerdict* pVerdict = Cached(nAt)) {
            bAccepted = pVerdict->bAccepted;
            break;
        }
        chain[nChain++] = nAt;
        nAt = PlatformParentPid(nAt);
    }
    for (int i = 0; i < nChain; ++i)
        Remember(chain[i], bAccepted);
    return bAccepted;
}
