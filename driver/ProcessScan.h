// Lists the machine's running processes so simulated activity can be attributed to them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SProcessInfo {
    uint32_t m_nPid = 0;
    std::string m_strName;
    uint32_t m_nParentPid = 0;
    uint64_t m_nStartTime = 0;
};

// User processes under strProcRoot (normally /proc), named by their executable's file name
// (ProcessImageName, the rule the process picker uses too), or by their short command name
// when the executable link cannot be read, with their parent and start time. Kernel threads
// (empty command line) are left out.
std::vector<SProcessInfo> ScanProcesses(const std::string& strProcRoot = "/proc");
