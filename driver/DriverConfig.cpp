#include "driver/DriverConfig.h"

#include "platform/WineEnvironment.h"

#include <string_view>

namespace {

bool ParseUnsigned(std::string_view s, uint64_t& n) {
    if (s.empty() || s.size() > 19)
        return false;
    n = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + uint64_t(c - '0');
    }
    return true;
}

} // namespace

std::optional<SDriverConfig>
SDriverConfig::FromEnvironment(const std::function<const char*(const char*)>& getVar,
                               std::string& strError) {
    SDriverConfig cfg;
    const std::string_view source =
        getVar("HIVEWATCH_DRIVER_SOURCE") ? getVar("HIVEWATCH_DRIVER_SOURCE") : "";
    if (source == "flood" || source == "flood:varied") {
        cfg.m_eSource = EDriverSource::FLOOD;
        cfg.m_bVariedFlood = source == "flood:varied";
    } else if (source.starts_with("replay:") && source.size() > 7) {
        cfg.m_eSource = EDriverSource::REPLAY;
        cfg.m_strReplayPath = std::string(source.substr(7));
    } else if (source.starts_with("wine-trace:") && source.size() > 11) {
        cfg.m_eSource = EDriverSource::WINE_TRACE;
        cfg.m_strReplayPath = std::string(source.substr(11));
    } else if (source == "wine:") {
        strError = "HIVEWATCH_DRIVER_SOURCE=wine: names no prefix: write wine:/path/to/prefix, "
                   "or wine alone for the prefix WINEPREFIX names (or ~/.wine)";
        return std::nullopt;
    } else if (source == "wine" || source.starts_with("wine:")) {
        const std::optional<std::string> prefix = WineActivePrefix(getVar);
        if (!prefix) {
            strError = "HIVEWATCH_DRIVER_SOURCE=wine watches WINEPREFIX or ~/.wine, but neither "
                       "WINEPREFIX nor HOME is set (or name the prefix: wine:<prefix>)";
            return std::nullopt;
        }
        cfg.m_eSource = EDriverSource::WINE;
        cfg.m_strWinePrefix = *prefix;
    } else if (!source.empty() && source != "sim") {
        strError = "HIVEWATCH_DRIVER_SOURCE must be sim, flood, flood:varied, replay:<file>, wine, "
                   "wine:<prefix> or wine-trace:<file>";
        return std::nullopt;
    }
    uint64_t n = 0;
    if (const char* psz = getVar("HIVEWATCH_DRIVER_RATE")) {
        if (!ParseUnsigned(psz, n) || n == 0 || n > MAX_RATE) {
            strError = "HIVEWATCH_DRIVER_RATE must be a number of events per second (1-1000000)";
            return std::nullopt;
        }
        cfg.m_nRate = unsigned(n);
    }
    if (const char* psz = getVar("HIVEWATCH_DRIVER_SEED")) {
        if (!ParseUnsigned(psz, cfg.m_nSeed)) {
            strError = "HIVEWATCH_DRIVER_SEED must be a whole number";
            return std::nullopt;
        }
        cfg.m_bSeeded = true;
    }
    if (const char* psz = getVar("HIVEWATCH_DRIVER_PACE")) {
        const std::string_view pace = psz;
        if (pace != "realtime" && pace != "fast") {
            strError = "HIVEWATCH_DRIVER_PACE must be realtime or fast";
            return std::nullopt;
        }
        cfg.m_bRealtime = pace == "realtime";
    }
    return cfg;
}

std::string SDriverConfig::RegistryFolder(const char* pszVariable,
                                          const std::string& strModuleDir) {
    if (pszVariable)
        return pszVariable;
    std::string strDir = strModuleDir;
    while (strDir.size() > 1 && strDir.back() == '/')
        strDir.pop_back();
    const size_t nSlash = strDir.rfind('/');
    if (nSlash == std::string::npos || strDir.substr(nSlash + 1) != "drivers")
        return {};
    return strDir.substr(0, nSlash + 1) + "config";
}
