// The settings a driver instance reads from the environment when it opens.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

enum class EDriverSource { SIM, REPLAY, FLOOD, WINE, WINE_TRACE };

struct SDriverConfig {
    EDriverSource m_eSource = EDriverSource::SIM;
    std::string m_strReplayPath; // replay: the CSV file; wine-trace: the trace file
    std::string m_strWinePrefix; // wine: the prefix watched
    unsigned m_nRate = DEFAULT_RATE;
    uint64_t m_nSeed = 0;
    bool m_bSeeded = false;
    bool m_bRealtime = true;
    bool m_bVariedFlood = false; // flood:varied
    // Where the simulated registry is saved as registry files; empty: not saved.
    std::string m_strRegistryDir;

    static constexpr unsigned DEFAULT_RATE = 300;
    static constexpr unsigned MAX_RATE = 1000000;

    // HIVEWATCH_DRIVER_SOURCE (with WINEPREFIX and HOME for wine), _RATE, _SEED and _PACE
    // through getVar (nullptr when unset);
    // empty, with the reason in strError, when a setting is not understood.
    static std::optional<SDriverConfig>
    FromEnvironment(const std::function<const char*(const char*)>& getVar, std::string& strError);

    // The folder for the simulated registry's files: HIVEWATCH_DRIVER_REGISTRY when it is set
    // (an empty value turns saving off), else "config" in the system folder when the driver
    // was loaded from the system folder's "drivers" folder (<sys>/drivers/RegDrv.SYS), else
    // none, so a driver loaded from elsewhere (a build folder) writes nothing.
    static std::string RegistryFolder(const char* pszVariable, const std::string& strModuleDir);
};
