#include "platform/WinePrograms.h"

#include "platform/ProcessList.h"
#include "platform/SmallFile.h"
#include "platform/WineEnvironment.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>

namespace {

constexpr size_t MAX_ENVIRONMENT = size_t(1) << 18;

// Wine's own processes, which serve the programs and end when the last program has ended.
constexpr std::array<std::string_view, 7> SERVICE_IMAGES = {
    "services.exe", "winedevice.exe", "plugplay.exe",       "svchost.exe",
    "rpcss.exe",    "conhost.exe",    "winemenubuilder.exe"};

std::string ReadLinkText(const std::string& strLink) {
    char sz[PATH_MAX];
    const ssize_t n = readlink(strLink.c_str(), sz, sizeof(sz) - 1);
    return n > 0 ? std::string(sz, size_t(n)) : std::string();
}

// The value of NAME in a NUL-separated environment block; false when it is missing.
bool EnvValue(std::string_view env, std::string_view name, std::string_view& value) {
    while (!env.empty()) {
        const size_t n = env.find('\0');
        const std::string_view var = env.substr(0, n);
        if (var.size() > name.size() && var.starts_with(name) && var[name.size()] == '=') {
            value = var.substr(name.size() + 1);
            return true;
        }
        if (n == std::string_view::npos)
            break;
        env.remove_prefix(n + 1);
    }
    return false;
}

bool HasMark(std::string_view env, std::string_view mark) {
    const size_t nEq = mark.find('=');
    std::string_view value;
    return EnvValue(env, mark.substr(0, nEq), value) && value == mark.substr(nEq + 1);
}

bool IsServiceImage(std::string_view name, std::string_view cmdline) {
    std::string strLower(name);
    std::transform(strLower.begin(), strLower.end(), strLower.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (strLower == "explorer.exe") // the desktop process, not a file window
        return cmdline.find("/desktop") != std::string_view::npos;
    return std::find(SERVICE_IMAGES.begin(), SERVICE_IMAGES.end(), strLower) !=
           SERVICE_IMAGES.end();
}

} // namespace

std::string WineCanonicalPrefix(const std::string& strPrefix) {
    if (strPrefix.empty())
        return {};
    std::string str;
    if (char* psz = realpath(strPrefix.c_str(), nullptr)) {
        str = psz;
        std::free(psz);
    } else {
        str = std::filesystem::path(strPrefix).lexically_normal().string();
    }
    while (str.size() > 1 && str.back() == '/')
        str.pop_back();
    return str;
}

std::vector<SWineProgram> WinePrefixPrograms(const std::string& strPrefix,
                                             const std::string& strProcRoot) {
    std::vector<SWineProgram> arPrograms;
    const std::string strWanted = WineCanonicalPrefix(strPrefix);
    std::vector<uint32_t> arPids;
    if (strWanted.empty() || !EnumProcessIds(arPids, strProcRoot))
        return arPrograms;
    std::sort(arPids.begin(), arPids.end());
    for (uint32_t nPid : arPids) {
        const std::string strDir = strProcRoot + "/" + std::to_string(nPid);
        std::string strExe = ReadLinkText(strDir + "/exe");
        if (strExe.ends_with(" (deleted)"))
            strExe.resize(strExe.size() - 10);
        if (!WineIsLoader(strExe))
            continue;
        const std::string strEnv = ReadSmallFile(strDir + "/environ", MAX_ENVIRONMENT);
        if (HasMark(strEnv, WINE_KEEPER_MARK))
            continue;
        std::string_view value;
        std::string strPrefixOf;
        if (EnvValue(strEnv, "WINEPREFIX", value) && !value.empty())
            strPrefixOf = std::string(value);
        else if (EnvValue(strEnv, "HOME", value) && !value.empty())
            strPrefixOf = std::string(value) + "/.wine";
        if (strPrefixOf.empty() || WineCanonicalPrefix(strPrefixOf) != strWanted)
            continue;
        const std::string strCmdline = ReadSmallFile(strDir + "/cmdline", 4096);
        const std::string strName = WineImageNameFromCmdline(strCmdline);
        if (strName.empty() || IsServiceImage(strName, strCmdline))
            continue;
        arPrograms.push_back({nPid, strName});
    }
    return arPrograms;
}

SWineServerInfo WinePrefixServer(const std::string& strPrefix, const std::string& strProcRoot) {
    SWineServerInfo info;
    struct stat st {};
    if (stat(strPrefix.c_str(), &st) != 0)
        return info;
    char szFolder[64];
    std::snprintf(szFolder, sizeof(szFolder), "/server-%llx-%llx",
                  static_cast<unsigned long long>(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    std::vector<uint32_t> arPids;
    if (!EnumProcessIds(arPids, strProcRoot))
        return info;
    for (uint32_t nPid : arPids) {
        const std::string strDir = strProcRoot + "/" + std::to_string(nPid);
        const std::string strExe = ReadLinkText(strDir + "/exe");
        const std::string_view name = std::string_view(strExe).substr(strExe.rfind('/') + 1);
        if (!name.starts_with("wineserver") || !ReadLinkText(strDir + "/cwd").ends_with(szFolder))
            continue;
        info.m_nPid = nPid;
        info.m_bOurs =
            HasMark(ReadSmallFile(strDir + "/environ", MAX_ENVIRONMENT), WINE_SERVER_MARK);
        break;
    }
    return info;
}

std::string WineDescribePrograms(const std::vector<SWineProgram>& arPrograms) {
    std::string str;
    for (const SWineProgram& p : arPrograms) {
        if (!str.empty())
            str += ", ";
        str += p.m_strName + " (process " + std::to_string(p.m_nPid) + ")";
    }
    return str;
}

std::string WineViewName(const std::string& strPrefix) {
    const std::string strCanonical = WineCanonicalPrefix(strPrefix);
    uint32_t nHash = 2166136261u; // FNV-1a: two prefixes of the same readable name differ
    std::string strName;
    for (unsigned char c : strCanonical) {
        nHash = (nHash ^ c) * 16777619u;
        const bool bPlain = std::isalnum(c) || c == '.' || c == '-';
        if (bPlain || (!strName.empty() && strName.back() != '_'))
            strName.push_back(bPlain ? char(c) : '_');
    }
    if (strName.size() > 80)
        strName.erase(0, strName.size() - 80);
    char szHash[16];
    std::snprintf(szHash, sizeof(szHash), "-%08x", nHash);
    return strName + szHash;
}
