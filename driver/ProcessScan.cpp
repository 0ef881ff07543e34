#include "driver/ProcessScan.h"

#include "platform/ProcessList.h"
#include "platform/SmallFile.h"

std::vector<SProcessInfo> ScanProcesses(const std::string& strProcRoot) {
    std::vector<SProcessInfo> arProcesses;
    std::vector<uint32_t> arPids;
    if (!EnumProcessIds(arPids, strProcRoot))
        return arProcesses;
    for (uint32_t nPid : arPids) {
        // Kernel threads have an empty command line.
        if (ReadSmallFile(strProcRoot + "/" + std::to_string(nPid) + "/cmdline", 1).empty())
            continue;
        SProcessInfo info;
        info.m_nPid = nPid;
        info.m_strName = ProcessNameOrShortName(nPid, strProcRoot);
        SProcessStat stat;
        if (info.m_strName.empty() || !ReadProcessStat(nPid, stat, strProcRoot))
            continue; // ended while the list was read
        info.m_nParentPid = stat.m_nParentPid;
        info.m_nStartTime = stat.m_nStartTime;
        arProcesses.push_back(std::move(info));
    }
    return arProcesses;
}
