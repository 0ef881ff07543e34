#include "driver/SimPersistence.h"

#include "driver/SimSeedData.h"

#include <cstdio>
#include <filesystem>

CSimPersistence::CSimPersistence(std::string strDir, std::chrono::milliseconds interval)
    : m_strDir(std::move(strDir)), m_interval(interval) {}

bool CSimPersistence::LoadOrSeed(CSimRegistry& reg, bool bLoadSaved) {
    std::error_code ec;
    if (Enabled() && bLoadSaved && std::filesystem::exists(m_strDir + "/system.reg", ec)) {
        std::string strError;
        if (reg.LoadFolder(m_strDir, strError)) {
            m_nSavedChange = reg.ChangeCount();
            m_bSavedOnce = true;
            return true;
        }
        std::fprintf(stderr,
                     "RegDrv: the saved registry cannot be used (%s); starting from "
                     "the built-in one\n",
                     strError.c_str());
    }
    reg.Clear();
    reg.LoadText(SimSeedText());
    return false;
}

void CSimPersistence::Tick(const CSimRegistry& reg, Clock::time_point tmNow) {
    if (Enabled() && (m_tmSaved == Clock::time_point{} || tmNow - m_tmSaved >= m_interval))
        Save(reg, tmNow);
}

void CSimPersistence::Final(const CSimRegistry& reg) {
    if (Enabled())
        Save(reg, Clock::now());
}

void CSimPersistence::Save(const CSimRegistry& reg, Clock::time_point tmNow) {
    m_tmSaved = tmNow; // also after a failure: the next attempt waits for the interval
    if (m_bSavedOnce && reg.ChangeCount() == m_nSavedChange)
        return;
    std::string strError;
    if (!reg.SaveFolder(m_strDir, strError)) {
        // Said once per distinct failure, so a full disk does not flood the program.
        if (strError != m_strLastError) {
            const std::string strMessage = "the simulated registry cannot be saved: " + strError;
            if (m_fnTell)
                m_fnTell(strMessage);
            else
                std::fprintf(stderr, "RegDrv: %s\n", strMessage.c_str());
        }
        m_strLastError = strError;
        return;
    }
    m_strLastError.clear();
    m_nSavedChange = reg.ChangeCount();
    m_bSavedOnce = true;
    ++m_nSaves;
}
