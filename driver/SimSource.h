// Simulated registry activity attributed to the machine's real processes, in bursts.
#pragma once

#include "driver/EventSource.h"
#include "driver/ProcessScan.h"

#include <cstdint>

class CSimSource : public CEventSource {
public:
    CSimSource(uint64_t nSeed, unsigned nRatePerSecond);
    void Run(std::stop_token stop, CEventSink& sink) override;

private:
    uint64_t m_nSeed;
    unsigned m_nRate;
};
