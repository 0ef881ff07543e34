#include "driver/SimSource.h"

#include "driver/SimActivity.h"
#include "driver/SimPersistence.h"

#include <random>

namespace {

// Processes are picked from their own generator, so the same seed gives the same
// registry operations whatever runs on the machine.
const SProcessInfo& PickProcess(const std::vector<SProcessInfo>& arProcesses,
                                std::mt19937_64& rng) {
    static const SProcessInfo s_system{4, "System"};
    return arProcesses.empty() ? s_system : arProcesses[rng() % arProcesses.size()];
}

// Reads the process table, tells the driver's process tree about it and returns the processes
// the activity is attributed to: every process, or while a process tree is watched, its
// members only, so a watched program shows its share of activity at once.
std::vector<SProcessInfo> ScanFor(CEventSink& sink, std::vector<SProcessInfo>& arAll) {
    arAll = ScanProcesses();
    for (const SProcessInfo& p : arAll)
        sink.ProcessSeen(p.m_nPid, p.m_nParentPid, p.m_nStartTime);
    if (!sink.HasTarget())
        return arAll;
    std::vector<SProcessInfo> arMembers;
    for (const SProcessInfo& p : arAll)
        if (sink.InTarget(p.m_nPid))
            arMembers.push_back(p);
    return arMembers;
}

} // namespace

CSimSource::CSimSource(uint64_t nSeed, unsigned nRatePerSecond, std::string strRegistryDir,
                       bool bLoadSaved)
    : m_nSeed(nSeed), m_nRate(nRatePerSecond), m_strRegistryDir(std::move(strRegistryDir)),
      m_bLoadSaved(bLoadSaved) {}

void CSimSource::Run(std::stop_token stop, CEventSink& sink) {
    using Clock = std::chrono::steady_clock;
    CSimRegistry registry;
    CSimPersistence persistence(m_strRegistryDir);
    persistence.SetReporter([&sink](const std::string& str) { sink.Tell(str); });
    persistence.LoadOrSeed(registry, m_bLoadSaved);
    CSimActivity activity(registry, m_nSeed);
    std::mt19937_64 rngTiming(m_nSeed ^ 0x9E3779B97F4A7C15ull);
    std::vector<SProcessInfo> arAll;
    std::vector<SProcessInfo> arProcesses = ScanFor(sink, arAll);
    bool bHadTarget = sink.HasTarget();
    Clock::time_point tmScan = Clock::now(), tmLast = Clock::now();
    double dCredit = 0;
    std::vector<SDriverEvent> arEvents;
    while (SleepUnlessStopped(stop, std::chrono::milliseconds(10 + rngTiming() % 90))) {
        const Clock::time_point tmNow = Clock::now();
        persistence.Tick(registry, tmNow);
        // A watched tree changes faster than the machine: its children are looked for more
        // often, so one that outlives its parent is seen while the parent still runs.
        const bool bTarget = sink.HasTarget();
        const auto scanEvery =
            bTarget ? std::chrono::milliseconds(200) : std::chrono::milliseconds(1000);
        if (tmNow - tmScan > scanEvery || bTarget != bHadTarget) {
            arProcesses = ScanFor(sink, arAll);
            bHadTarget = bTarget;
            tmScan = tmNow;
        }
        // A burst factor between 0.2 and 1.8 keeps the average rate while making it uneven.
        const double dBurst = 0.2 + double(rngTiming() % 1600) / 1000.0;
        const double dSeconds = std::chrono::duration<double>(tmNow - tmLast).count();
        tmLast = tmNow;
        dCredit = std::min(dCredit + m_nRate * dSeconds * dBurst, double(m_nRate) + 64);
        if (bTarget && arProcesses.empty())
            dCredit = 0; // the watched program has ended: nothing of it to report
        while (dCredit > 0 && !stop.stop_requested()) {
            arEvents.clear();
            activity.RunSession(PickProcess(arProcesses, rngTiming), arEvents);
            const uint64_t nTime = CurrentFileTime();
            for (SDriverEvent& ev : arEvents) {
                ev.m_nFileTime = nTime;
                sink.Post(std::move(ev));
            }
            dCredit -= double(arEvents.size());
        }
    }
    persistence.Final(registry);
}
