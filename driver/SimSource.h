// Simulated registry activity attributed to the machine's real processes, in bursts.
#pragma once

#include "driver/EventSource.h"
#include "driver/ProcessScan.h"

#include <cstdint>
#include <string>

// With a registry folder, the simulated registry is saved there as Wine registry files (see
// CSimPersistence) and, when bLoadSaved, starts from what was saved last time.
class CSimSource : public CEventSource {
public:
    CSimSource(uint64_t nSeed, unsigned nRatePerSecond, std::string strRegistryDir = {},
               bool bLoadSaved = false);
    void Run(std::stop_token stop, CEventSink& sink) override;

private:
    uint64_t m_nSeed;
    unsigned m_nRate;
    std::string m_strRegistryDir;
    bool m_bLoadSaved;
};
