#include "driver/ProcessTree.h"

#include <array>

void CProcessTree::SetRoot(uint32_t nRoot) {
    m_nRoot = nRoot;
    m_verdicts.clear();
}

void CProcessTree::Started(uint32_t nPid, uint32_t nParent) {
    if (nPid == 0)
        return;
    m_parents[nPid] = {nParent, 0};
    m_verdicts.erase(nPid); // a new process: placed afresh when asked
}

void CProcessTree::Seen(uint32_t nPid, uint32_t nParent, uint64_t nStartTime) {
    if (nPid == 0)
        return;
    const auto it = m_parents.find(nPid);
    if (it != m_parents.end() && it->second.m_nStartTime == nStartTime)
        return; // the same process: the parent it was started by still counts
    m_parents[nPid] = {nParent, nStartTime};
    m_verdicts.erase(nPid);
}

// Walks the parent links from nPid up. Every process met on the way shares the verdict; it is
// remembered unless the walk ended at a process nobody told about, which may still be placed
// once its start is reported.
bool CProcessTree::Contains(uint32_t nPid) {
    if (m_nRoot == 0 || nPid == m_nRoot)
        return true;
    if (const auto it = m_verdicts.find(nPid); it != m_verdicts.end())
        return it->second;
    std::array<uint32_t, MAX_DEPTH> arChain{};
    size_t nChain = 0;
    bool bVerdict = false, bSure = true;
    for (uint32_t nAt = nPid;;) {
        if (nAt == m_nRoot) {
            bVerdict = true;
            break;
        }
        if (const auto it = m_verdicts.find(nAt); it != m_verdicts.end()) {
            bVerdict = it->second;
            break;
        }
        if (nChain == arChain.size())
            break; // a loop of links, or a tree deeper than any real one
        arChain[nChain++] = nAt;
        const auto itLink = m_parents.find(nAt);
        if (itLink == m_parents.end()) {
            bSure = false;
            break;
        }
        const uint32_t nParent = itLink->second.m_nParent;
        if (nParent == 0 || nParent == nAt)
            break;
        nAt = nParent;
    }
    if (bVerdict || bSure)
        for (size_t i = 0; i < nChain; ++i)
            m_verdicts[arChain[i]] = bVerdict;
    return bVerdict;
}
