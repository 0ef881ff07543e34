// Loads the built driver module and talks to it through its exported entry points.
#pragma once

#include "driver/RegDrvContract.h"

#include <string>
#include <vector>

struct SRecord {
    uint32_t m_nSeq = 0;
    uint64_t m_nFileTime = 0;
    std::string m_strText;
    std::vector<std::string> m_arFields;
};

// A REGDRV_FILTER buffer; all switches on unless told otherwise.
std::vector<unsigned char> MakeFilterBuffer(const std::string& strInclude,
                                            const std::string& strExclude = {},
                                            unsigned char nSwitch = 1);

// Splits a READ output into records; fails the test on any malformed record.
std::vector<SRecord> ParseRecords(const unsigned char* p, size_t nSize);

// One open driver instance from the module in the binary folder, environment set beforehand.
class CLoadedDriver {
public:
    CLoadedDriver();
    ~CLoadedDriver();
    bool IsOpen() const { return m_pInstance != nullptr; }
    bool Control(uint32_t nCode, const void* pIn, uint32_t nIn, void* pOut, uint32_t nOut,
                 uint32_t& nReturned);
    bool Configure(const std::string& strInclude, const std::string& strExclude = {});
    std::vector<SRecord> Read(uint32_t nBufferSize = READ_BUFFER_SIZE);
    // Reads until pred holds for some record or nSeconds pass; all records read so far.
    template <class F> std::vector<SRecord> ReadUntil(F pred, int nSeconds);

private:
    void* m_pModule = nullptr;
    void* m_pInstance = nullptr;
    PFN_REGDRV_OPEN m_pfnOpen = nullptr;
    PFN_REGDRV_CLOSE m_pfnClose = nullptr;
    PFN_REGDRV_IOCONTROL m_pfnControl = nullptr;
};

// Sets (or with nullptr clears) the driver's environment variables for the next open.
void SetDriverEnv(const char* pszSource, const char* pszRate = nullptr,
                  const char* pszSeed = nullptr, const char* pszPace = nullptr);

#include <chrono>
#include <thread>

template <class F> std::vector<SRecord> CLoadedDriver::ReadUntil(F pred, int nSeconds) {
    std::vector<SRecord> arAll;
    const auto tmEnd = std::chrono::steady_clock::now() + std::chrono::seconds(nSeconds);
    while (std::chrono::steady_clock::now() < tmEnd) {
        bool bFound = false;
        for (SRecord& rec : Read()) {
            bFound = bFound || pred(rec);
            arAll.push_back(std::move(rec));
        }
        if (bFound)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return arAll;
}
