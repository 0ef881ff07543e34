// Keeps the simulated registry's files in the system folder in step with the registry.
#pragma once

#include "driver/SimRegistry.h"

#include <chrono>
#include <string>

// The files are Wine registry files (system.reg, user.reg, userdef.reg, users.reg), so the
// registry editor and any other reader of that format can show them. Each file is written
// through a temporary file and a rename, so a reader always sees a whole file. All calls come
// from the thread that owns the registry.
class CSimPersistence {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds SAVE_INTERVAL{3000};

    // strDir empty: nothing is loaded or saved.
    explicit CSimPersistence(std::string strDir,
                             std::chrono::milliseconds interval = SAVE_INTERVAL);

    bool Enabled() const { return !m_strDir.empty(); }
    const std::string& Folder() const { return m_strDir; }

    // Fills reg from the saved files when bLoadSaved and they are all there and sound, else
    // from the built-in seed. A damaged or incomplete set is reported (on stderr) and replaced
    // by the next save. Returns true when the saved files were used.
    bool LoadOrSeed(CSimRegistry& reg, bool bLoadSaved);
    // Called by the producing loop: saves a changed registry when capture has just stopped,
    // and at most once per interval while capturing.
    void Tick(const CSimRegistry& reg, bool bCapturing, Clock::time_point tmNow);
    // Saves a changed registry; called when the source ends (the driver unloads).
    void Final(const CSimRegistry& reg);

    // Saves done so far, for tests.
    int SaveCount() const { return m_nSaves; }

private:
    void Save(const CSimRegistry& reg, Clock::time_point tmNow);

    std::string m_strDir;
    std::chrono::milliseconds m_interval;
    bool m_bWasCapturing = false;
    bool m_bSavedOnce = false;
    uint64_t m_nSavedChange = 0;
    Clock::time_point m_tmSaved{};
    std::string m_strLastError;
    int m_nSaves = 0;
};
