#include "driver/ProcessScan.h"

#include "platform/ProcessList.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

namespace {

// Reads at most nMax bytes of a small /proc file.
std::string ReadSmallFile(const std::string& strPath, size_t nMax) {
    std::unique_ptr<FILE, int (*)(FILE*)> pFile(std::fopen(strPath.c_str(), "rb"), &std::fclose);
    if (!pFile)
        return {};
    std::string str(nMax, '\0');
    str.resize(std::fread(str.data(), 1, nMax, pFile.get()));
    return str;
}

bool ParsePid(const char* psz, uint32_t& nPid) {
    uint64_t n = 0;
    for (; *psz; ++psz) {
        if (*psz < '0' || *psz > '9' || n > 0xFFFFFFFFull / 10)
            return false;
        n = n * 10 + uint64_t(*psz - '0');
    }
    nPid = uint32_t(n);
    return n != 0;
}

} // namespace

std::vector<SProcessInfo> ScanProcesses(const std::string& strProcRoot) {
    std::vector<SProcessInfo> arProcesses;
    std::unique_ptr<DIR, int (*)(DIR*)> pDir(opendir(strProcRoot.c_str()), &closedir);
    if (!pDir)
        return arProcesses;
    while (const dirent* pEntry = readdir(pDir.get())) {
        SProcessInfo info;
        if (!ParsePid(pEntry->d_name, info.m_nPid))
            continue;
        const std::string strDir = strProcRoot + "/" + pEntry->d_name;
        if (ReadSmallFile(strDir + "/cmdline", 1).empty())
            continue;
        info.m_strName = ProcessImageName(strDir);
        if (info.m_strName.empty()) {
            info.m_strName = ReadSmallFile(strDir + "/comm", 64);
            while (!info.m_strName.empty() && info.m_strName.back() == '\n')
                info.m_strName.pop_back();
        }
        if (!info.m_strName.empty())
            arProcesses.push_back(std::move(info));
    }
    return arProcesses;
}
