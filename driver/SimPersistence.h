// Keeps the simulated registry's files in the system folder in step with the registry.
#pragma once

#include "driver/SimRegistry.h"

#include <chrono>
#include <functional>
#include <string>

// The files are Wine registry files (system.reg, user.reg, userdef.reg, users.reg), so the
// registry editor and any other reader of that format can show them: they are written as soon
// as the driver loads (unless they hold the registry already) and then shortly after every
// change, so the editor shows what was changed a moment ago. Each file goes through the checked
// writer: a reader always sees a whole file, and a file that cannot be written keeps its old
// content and is reported. All calls come from the thread that owns the registry.
class CSimPersistence {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds SAVE_INTERVAL{250};

    // strDir empty: nothing is loaded or saved.
    explicit CSimPersistence(std::string strDir,
                             std::chrono::milliseconds interval = SAVE_INTERVAL);

    bool Enabled() const { return !m_strDir.empty(); }
    const std::string& Folder() const { return m_strDir; }

    // Fills reg from the saved files when bLoadSaved and they are all there and sound, else
    // from the built-in seed. A damaged or incomplete set is reported (on stderr) and replaced
    // by the next save. Returns true when the saved files were used.
    bool LoadOrSeed(CSimRegistry& reg, bool bLoadSaved);
    // Called by the producing loop: saves a registry that changed (or was never saved), at
    // most once per interval.
    void Tick(const CSimRegistry& reg, Clock::time_point tmNow);
    // Where a failed save is reported (once per distinct failure); stderr when not set.
    void SetReporter(std::function<void(const std::string&)> fnTell) {
        m_fnTell = std::move(fnTell);
    }
    // Saves a changed registry; called when the source ends (the driver unloads).
    void Final(const CSimRegistry& reg);

    // Saves done so far, for tests.
    int SaveCount() const { return m_nSaves; }

private:
    void Save(const CSimRegistry& reg, Clock::time_point tmNow);

    std::string m_strDir;
    std::chrono::milliseconds m_interval;
    std::function<void(const std::string&)> m_fnTell;
    bool m_bSavedOnce = false;
    uint64_t m_nSavedChange = 0;
    Clock::time_point m_tmSaved{};
    std::string m_strLastError;
    int m_nSaves = 0;
};
