#include "platform/WineEnvironment.h"

#include "platform/SmallFile.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

bool IsExecutable(const std::string& strPath) {
    return !strPath.empty() && access(strPath.c_str(), X_OK) == 0;
}

std::string_view BaseName(std::string_view path) {
    const size_t n = path.find_last_of("\\/");
    return n == std::string_view::npos ? path : path.substr(n + 1);
}

} // namespace

std::optional<std::string> WineActivePrefix(const std::function<const char*(const char*)>& getVar) {
    const char* pszSource = getVar("HIVEWATCH_DRIVER_SOURCE");
    const std::string_view source = pszSource ? pszSource : "";
    if (source.starts_with("wine:") && source.size() > 5)
        return std::string(source.substr(5));
    if (source != "wine")
        return std::nullopt;
    if (const char* psz = getVar("WINEPREFIX"); psz && *psz)
        return std::string(psz);
    if (const char* psz = getVar("HOME"); psz && *psz)
        return std::string(psz) + "/.wine";
    return std::nullopt;
}

std::optional<std::string> WineActivePrefix() {
    return WineActivePrefix([](const char* p) { return std::getenv(p); });
}

std::string WineFindProgram(std::string_view name) {
    const char* pszOverride = name == "wineserver" ? std::getenv("WINESERVER")
                              : name == "wine"     ? std::getenv("WINELOADER")
                                                   : nullptr;
    if (pszOverride && IsExecutable(pszOverride))
        return pszOverride;
    if (const char* pszPath = std::getenv("PATH")) {
        std::string_view path = pszPath;
        while (!path.empty()) {
            const size_t n = path.find(':');
            const std::string strDir(path.substr(0, n));
            path = n == std::string_view::npos ? std::string_view() : path.substr(n + 1);
            const std::string strCandidate =
                (strDir.empty() ? "." : strDir) + "/" + std::string(name);
            if (IsExecutable(strCandidate))
                return strCandidate;
        }
    }
    // Debian's wine64 package keeps its binaries out of PATH (the "wine" package adds the
    // wrappers); the 64-bit ones are preferred to the wrapper scripts there.
    const std::array<std::string, 2> arDebian = {"/usr/lib/wine/" + std::string(name) + "64",
                                                 "/usr/lib/wine/" + std::string(name)};
    for (const std::string& strCandidate : arDebian)
        if (IsExecutable(strCandidate))
            return strCandidate;
    return {};
}

bool WineIsLoader(std::string_view exePath) {
    const std::string_view name = BaseName(exePath);
    return name == "wine" || name == "wine64" || name == "wine-preloader" ||
           name == "wine64-preloader";
}

std::string WineImageNameFromCmdline(std::string_view cmdline) {
    std::string_view first = cmdline.substr(0, cmdline.find('\0'));
    // Until Wine has set the process up, the loader itself leads the command line, followed
    // by the program it was asked to run.
    if (WineIsLoader(first)) {
        cmdline.remove_prefix(std::min(cmdline.size(), first.size() + 1));
        first = cmdline.substr(0, cmdline.find('\0'));
    }
    return std::string(BaseName(first));
}

std::string WineProcessImageName(uint32_t nPid, const std::string& strProcRoot) {
    const std::string strDir = strProcRoot + "/" + std::to_string(nPid);
    char sz[4096];
    const ssize_t n = readlink((strDir + "/exe").c_str(), sz, sizeof(sz) - 1);
    if (n <= 0 || !WineIsLoader(std::string_view(sz, size_t(n))))
        return {};
    return WineImageNameFromCmdline(ReadSmallFile(strDir + "/cmdline", 4096));
}

bool WineKeepVariable(std::string_view assignment) {
    if (!assignment.starts_with("LD_PRELOAD="))
        return true;
    for (std::string_view runtime : {"libasan", "libtsan", "libubsan", "liblsan", "libclang_rt"})
        if (assignment.find(runtime) != std::string_view::npos)
            return false;
    return true;
}
