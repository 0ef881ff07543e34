#include "tests/driver/DriverTestSupport.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>

std::vector<unsigned char> MakeFilterBuffer(const std::string& strInclude,
                                            const std::string& strExclude, unsigned char nSwitch) {
    std::vector<unsigned char> ar(REGDRV_FILTER_SIZE, 0);
    std::memcpy(ar.data() + FILTER_INCLUDE_OFFSET, strInclude.data(),
                std::min(strInclude.size(), FILTER_TEXT_SIZE));
    std::memcpy(ar.data() + FILTER_EXCLUDE_OFFSET, strExclude.data(),
                std::min(strExclude.size(), FILTER_TEXT_SIZE));
    std::memset(ar.data() + FILTER_SWITCH_OFFSET, nSwitch, FILTER_SWITCH_COUNT);
    return ar;
}

std::vector<SRecord> ParseRecords(const unsigned char* p, size_t nSize) {
    std::vector<SRecord> arRecords;
    CByteReader r({p, nSize});
    while (!r.AtEnd()) {
        SRecord rec;
        if (!r.ReadU32(rec.m_nSeq) || !r.ReadU64(rec.m_nFileTime) || !r.Skip(8)) {
            ADD_FAILURE() << "truncated record header at " << r.Position();
            break;
        }
        const char* pText = reinterpret_cast<const char*>(r.Current());
        const void* pZero = std::memchr(pText, 0, r.Remaining());
        if (!pZero) {
            ADD_FAILURE() << "record text without terminator";
            break;
        }
        rec.m_strText.assign(pText, static_cast<const char*>(pZero));
        const size_t nPadded = RegDrvEventSize(rec.m_strText.size()) - REGDRV_EVENT_HEADER_SIZE;
        EXPECT_EQ(nPadded % 4, 0u);
        if (!r.Skip(nPadded)) {
            ADD_FAILURE() << "record padding runs past the returned bytes";
            break;
        }
        for (size_t i = rec.m_strText.size(); i < nPadded; ++i)
            EXPECT_EQ(pText[i], 0) << "padding byte not zero";
        size_t nStart = 0;
        for (size_t nTab; (nTab = rec.m_strText.find('\t', nStart)) != std::string::npos;
             nStart = nTab + 1)
            rec.m_arFields.push_back(rec.m_strText.substr(nStart, nTab - nStart));
        rec.m_arFields.push_back(rec.m_strText.substr(nStart));
        EXPECT_EQ(rec.m_arFields.size(), REGDRV_TEXT_FIELD_COUNT) << rec.m_strText;
        arRecords.push_back(std::move(rec));
    }
    return arRecords;
}

void SetDriverEnv(const char* pszSource, const char* pszRate, const char* pszSeed,
                  const char* pszPace) {
    const std::pair<const char*, const char*> arVars[] = {{"HIVEWATCH_DRIVER_SOURCE", pszSource},
                                                          {"HIVEWATCH_DRIVER_RATE", pszRate},
                                                          {"HIVEWATCH_DRIVER_SEED", pszSeed},
                                                          {"HIVEWATCH_DRIVER_PACE", pszPace}};
    for (const auto& [pszName, pszValue] : arVars)
        pszValue ? setenv(pszName, pszValue, 1) : unsetenv(pszName);
}

CLoadedDriver::CLoadedDriver() {
    m_pModule = dlopen(HW_BIN_DIR "/RegDrv.SYS", RTLD_NOW | RTLD_LOCAL);
    if (!m_pModule) {
        ADD_FAILURE() << "cannot load the driver: " << dlerror();
        return;
    }
    m_pfnOpen = reinterpret_cast<PFN_REGDRV_OPEN>(dlsym(m_pModule, REGDRV_SYM_OPEN));
    m_pfnClose = reinterpret_cast<PFN_REGDRV_CLOSE>(dlsym(m_pModule, REGDRV_SYM_CLOSE));
    m_pfnControl = reinterpret_cast<PFN_REGDRV_IOCONTROL>(dlsym(m_pModule, REGDRV_SYM_IOCONTROL));
    if (!m_pfnOpen || !m_pfnClose || !m_pfnControl) {
        ADD_FAILURE() << "the driver lacks an entry point";
        return;
    }
    m_pInstance = m_pfnOpen("RegDrv");
}

CLoadedDriver::~CLoadedDriver() {
    if (m_pInstance)
        m_pfnClose(m_pInstance);
    if (m_pModule)
        dlclose(m_pModule);
}

bool CLoadedDriver::Control(uint32_t nCode, const void* pIn, uint32_t nIn, void* pOut,
                            uint32_t nOut, uint32_t& nReturned) {
    return m_pfnControl(m_pInstance, nCode, pIn, nIn, pOut, nOut, &nReturned) != 0;
}

bool CLoadedDriver::Configure(const std::string& strInclude, const std::string& strExclude) {
    const std::vector<unsigned char> arFilter = MakeFilterBuffer(strInclude, strExclude);
    uint32_t n = 0;
    return Control(IOCTL_REGDRV_SET_FILTER, arFilter.data(), uint32_t(arFilter.size()), nullptr, 0,
                   n) &&
           Control(IOCTL_REGDRV_START, nullptr, 0, nullptr, 0, n) &&
           Control(IOCTL_REGDRV_APPLY, nullptr, 0, nullptr, 0, n);
}

std::vector<SRecord> CLoadedDriver::Read(uint32_t nBufferSize) {
    std::vector<unsigned char> arBuffer(nBufferSize);
    uint32_t nReturned = 0;
    if (!Control(IOCTL_REGDRV_READ, nullptr, 0, arBuffer.data(), nBufferSize, nReturned)) {
        ADD_FAILURE() << "READ failed";
        return {};
    }
    EXPECT_LE(nReturned, nBufferSize);
    return ParseRecords(arBuffer.data(), std::min(nReturned, nBufferSize));
}
