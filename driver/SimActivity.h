// Produces believable sequences of registry operations against the simulated registry.
#pragma once

#include "driver/DriverEvent.h"
#include "driver/ProcessScan.h"
#include "driver/SimRegistry.h"

#include <random>
#include <string>
#include <vector>

// Every operation is carried out on the registry, so the events stay consistent with it:
// a set reports the data it replaced, a deleted key stays gone until created again.
class CSimActivity {
public:
    CSimActivity(CSimRegistry& registry, uint64_t nSeed);

    // Appends one session of related operations by proc (open ... close), without times.
    void RunSession(const SProcessInfo& proc, std::vector<SDriverEvent>& arOut);

private:
    void ReadSession(std::vector<SDriverEvent>& arOut);
    void QueryValues(const std::string& strKey, std::vector<SDriverEvent>& arOut);
    void EnumerateKeys(const std::string& strKey, std::vector<SDriverEvent>& arOut);
    void EnumerateValues(const std::string& strKey, std::vector<SDriverEvent>& arOut);
    void WriteSession(std::vector<SDriverEvent>& arOut);
    void CleanupSession(std::vector<SDriverEvent>& arOut);
    void HiveSession(std::vector<SDriverEvent>& arOut);

    void Emit(std::vector<SDriverEvent>& arOut, int nOp, std::string strPath,
              std::string_view result = RESULT_SUCCESS, std::string strOld = {},
              std::string strNew = {});
    const std::string& RandomKey();
    SSimValue RandomData(std::string_view name);
    size_t Pick(size_t nCount) { return nCount ? size_t(m_rng() % nCount) : 0; }
    bool Chance(unsigned nPercent) { return m_rng() % 1000 < nPercent * 10; }

    CSimRegistry& m_registry;
    std::mt19937_64 m_rng;
    std::vector<std::string> m_arKeyPaths;
    bool m_bKeysChanged = true;
    std::vector<std::string> m_arCreatedKeys;
    std::vector<std::string> m_arLoadedHives;
    const SProcessInfo* m_pProcess = nullptr;
    unsigned m_nHiveCounter = 0;
};
