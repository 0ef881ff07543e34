// Running processes: their IDs in the system's order and the file name of each executable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Every process ID under strProcRoot (normally /proc), in the order the system lists them.
// False when the folder cannot be read; there is no limit on the number of processes.
bool EnumProcessIds(std::vector<uint32_t>& arPids, const std::string& strProcRoot = "/proc");

// The file name of the process's executable, read from the process folder's exe link
// (strProcDir is for example "/proc/1234"). A program replaced or deleted while it runs is
// named as it was started; a Windows program running under Wine is named by its Windows image
// (notepad.exe), not by Wine's loader. Empty when the link cannot be read: a kernel thread, another
// user's process, a process that has ended. Everything that names a running process for a
// capture filter (the process picker, the driver's records) goes through this one rule,
// so a name picked in the window is the name the driver reports.
std::string ProcessImageName(const std::string& strProcDir);
std::string ProcessImageName(uint32_t nPid, const std::string& strProcRoot = "/proc");

// ProcessImageName, or the kernel's short name of the process (at most 15 characters) when
// its executable cannot be read (another user's process); empty for a process that has ended.
std::string ProcessNameOrShortName(uint32_t nPid, const std::string& strProcRoot = "/proc");

// The parent and the start time of a running process, from its stat file.
struct SProcessStat {
    uint32_t m_nParentPid = 0;
    uint64_t m_nStartTime = 0; // clock ticks after boot: with the ID, names one process for good
};
// False when the process is not running or its stat file cannot be read.
bool ReadProcessStat(uint32_t nPid, SProcessStat& stat, const std::string& strProcRoot = "/proc");
// The same from a stat file's text ("pid (name) state ppid ... starttime ...").
bool ParseProcessStat(std::string_view text, SProcessStat& stat);

struct SRunningProcess {
    uint32_t m_nPid = 0;
    std::string m_strName;
};

// Processes in the system's order, each with its executable's name; those whose name cannot
// be read are left out. False when the process folder cannot be read.
bool ListRunningProcesses(std::vector<SRunningProcess>& arProcesses,
                          const std::string& strProcRoot = "/proc");
