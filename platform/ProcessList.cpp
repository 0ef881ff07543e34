#include "platform/ProcessList.h"

#include "platform/SmallFile.h"
#include "platform/WineEnvironment.h"

#include <dirent.h>
#include <unistd.h>

#include <memory>
#include <string_view>

namespace {

// A process folder's name: decimal digits only, not zero, fitting 32 bits.
bool ParsePid(const char* psz, uint32_t& nPid) {
    uint64_t n = 0;
    if (*psz == '\0')
        return false;
    for (; *psz; ++psz) {
        if (*psz < '0' || *psz > '9')
            return false;
        n = n * 10 + uint64_t(*psz - '0');
        if (n > 0xFFFFFFFFull)
            return false;
    }
    nPid = uint32_t(n);
    return n != 0;
}

// The link's target, however long; empty when it cannot be read.
std::string ReadLink(const std::string& strLink) {
    std::string strBuffer(256, '\0');
    for (;;) {
        const ssize_t n = readlink(strLink.c_str(), strBuffer.data(), strBuffer.size());
        if (n <= 0)
            return {};
        if (size_t(n) < strBuffer.size()) {
            strBuffer.resize(size_t(n));
            return strBuffer;
        }
        if (strBuffer.size() >= 65536) // no path is longer; a broken link is not followed
            return {};
        strBuffer.resize(strBuffer.size() * 2);
    }
}

} // namespace

bool EnumProcessIds(std::vector<uint32_t>& arPids, const std::string& strProcRoot) {
    arPids.clear();
    std::unique_ptr<DIR, int (*)(DIR*)> pDir(opendir(strProcRoot.c_str()), &closedir);
    if (!pDir)
        return false;
    while (const dirent* pEntry = readdir(pDir.get())) {
        uint32_t nPid = 0;
        if (ParsePid(pEntry->d_name, nPid))
            arPids.push_back(nPid);
    }
    return true;
}

bool ParseProcessStat(std::string_view text, SProcessStat& stat) {
    // The name may hold spaces and parentheses: the fields after it are found from its last
    // closing parenthesis. After it: state (3), ppid (4), ..., starttime (22).
    const size_t nClose = text.rfind(')');
    if (nClose == std::string_view::npos)
        return false;
    text.remove_prefix(nClose + 1);
    uint64_t arFields[22] = {};
    int nField = 2; // the name was field 2
    for (size_t i = 0; i < text.size() && nField < 22;) {
        while (i < text.size() && text[i] == ' ')
            ++i;
        if (i >= text.size())
            break;
        ++nField;
        uint64_t n = 0;
        bool bDigits = false;
        for (; i < text.size() && text[i] != ' '; ++i) {
            if (text[i] >= '0' && text[i] <= '9' && n < (uint64_t(1) << 60)) {
                n = n * 10 + uint64_t(text[i] - '0');
                bDigits = true;
            }
        }
        arFields[nField - 1] = bDigits ? n : 0;
    }
    if (nField < 22 || arFields[3] > 0xFFFFFFFFull)
        return false;
    stat.m_nParentPid = uint32_t(arFields[3]);
    stat.m_nStartTime = arFields[21];
    return true;
}

bool ReadProcessStat(uint32_t nPid, SProcessStat& stat, const std::string& strProcRoot) {
    return ParseProcessStat(ReadSmallFile(strProcRoot + "/" + std::to_string(nPid) + "/stat", 1024),
                            stat);
}

std::string ProcessImageName(const std::string& strProcDir) {
    std::string strTarget = ReadLink(strProcDir + "/exe");
    // The kernel marks an executable that was replaced or removed after the start.
    constexpr std::string_view DELETED = " (deleted)";
    if (strTarget.ends_with(DELETED))
        strTarget.resize(strTarget.size() - DELETED.size());
    // A Windows program runs in Wine's loader; it is named by its Windows image (notepad.exe),
    // as the Wine source names it in its records.
    if (WineIsLoader(strTarget)) {
        std::string strImage =
            WineImageNameFromCmdline(ReadSmallFile(strProcDir + "/cmdline", 4096));
        if (!strImage.empty())
            return strImage;
    }
    const size_t nSlash = strTarget.rfind('/');
    return nSlash == std::string::npos ? strTarget : strTarget.substr(nSlash + 1);
}

std::string ProcessImageName(uint32_t nPid, const std::string& strProcRoot) {
    return ProcessImageName(strProcRoot + "/" + std::to_string(nPid));
}

std::string ProcessNameOrShortName(uint32_t nPid, const std::string& strProcRoot) {
    std::string strName = ProcessImageName(nPid, strProcRoot);
    if (!strName.empty())
        return strName;
    strName = ReadSmallFile(strProcRoot + "/" + std::to_string(nPid) + "/comm", 64);
    while (!strName.empty() && (strName.back() == '\n' || strName.back() == ' '))
        strName.pop_back();
    return strName;
}

bool ListRunningProcesses(std::vector<SRunningProcess>& arProcesses,
                          const std::string& strProcRoot) {
    arProcesses.clear();
    std::vector<uint32_t> arPids;
    if (!EnumProcessIds(arPids, strProcRoot))
        return false;
    arProcesses.reserve(arPids.size());
    for (uint32_t nPid : arPids) {
        std::string strName = ProcessImageName(nPid, strProcRoot);
        if (!strName.empty())
            arProcesses.push_back({nPid, std::move(strName)});
    }
    return true;
}
