// The processes a capture watches: one process and every process it starts, directly or not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>

// Sources tell the tree which process started which, as they learn it: a Wine source from its
// server's own parent links, the simulation from the system's process table. The tree keeps
// every link it was told, so a process stays in the set after the process that started it
// has ended, and a process that starts later is placed by its parent. A process ID used again
// by a new process is placed afresh once the source reports the new start.
// Not synchronised: the driver instance guards it with its own lock.
class CProcessTree {
public:
    // 0: no root; every process belongs (Contains is then true).
    void SetRoot(uint32_t nRoot);
    uint32_t Root() const { return m_nRoot; }
    bool HasRoot() const { return m_nRoot != 0; }

    // nPid has just started, started by nParent (0: by something the source cannot see, a
    // Unix shell say).
    void Started(uint32_t nPid, uint32_t nParent);
    // nPid is running with parent nParent since nStartTime (the system's process table, read
    // again and again): a start time not seen before for that ID is a new process, one seen
    // before keeps the place it had, even after its parent ended and it was handed to another.
    void Seen(uint32_t nPid, uint32_t nParent, uint64_t nStartTime);

    bool Contains(uint32_t nPid);

    size_t KnownProcesses() const { return m_parents.size(); }

private:
    static constexpr int MAX_DEPTH = 256;

    struct SLink {
        uint32_t m_nParent = 0;
        uint64_t m_nStartTime = 0;
    };

    uint32_t m_nRoot = 0;
    std::unordered_map<uint32_t, SLink> m_parents;
    // Verdicts for the current root; a process is placed once, when it is first asked about.
    std::unordered_map<uint32_t, bool> m_verdicts;
};
