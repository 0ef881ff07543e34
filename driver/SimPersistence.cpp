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

void CSimPersistence::Tick(const CSimRegistry& reg, bool bCapturing, Clock::time_point tmNow) {
    const bool bStopped = m_bWasCapturing && !bCapturing;
    m_bWasCapturing = bCapturing;
    if (!Enabled())
        return;
    if (bStopped || (bCapturing && tmNow - m_tmSaved >= m_interval))
        Save(reg, tmNow);
}

void CSimPersistence::Final(const CSimRegistry& reg) {
    if (Enabled())
        Save(reg, Clock::now());
}

void CSimPersistence::Save(const CSimRegistry& reg, Clock::time_point tmNow) {
    if (m_bSavedOnce && reg.ChangeCount() == m_nSavedChange)
        return;
    m_tmSaved = tmNow;
    std::string strError;
    if (!reg.SaveFolder(m_strDir, strError)) {
        // Said once per distinct failure, so a read-only folder does not flood the log.
        if (strError != m_strLastError)
            std::fprintf(stderr, "RegDrv: the registry cannot be saved: %s\n", strError.c_str());
        m_strLastError = strError;
        return;
    }
    m_strLastError.clear();
    m_nSavedChange = reg.ChangeCount();
    m_bSavedOnce = true;
    ++m_nSaves;
}
