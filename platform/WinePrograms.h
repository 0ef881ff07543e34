// The Windows programs running in a Wine prefix and the prefix's Wine server, found in the
// system's process table. Plain C++ (no Qt), shared by the driver and the program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SWineProgram {
    uint32_t m_nPid = 0;
    std::string m_strName; // the Windows image name (notepad.exe)
};

// Marks in the environment of the processes Hivewatch's driver starts for a prefix, so they
// are told from the user's own: the Wine server it traces, and the program that keeps that
// server running while the driver is loaded.
inline constexpr const char* WINE_SERVER_MARK = "HIVEWATCH_WINE_SERVER=1";
inline constexpr const char* WINE_KEEPER_MARK = "HIVEWATCH_WINE_KEEPER=1";

// The prefix as one spelling: absolute, without "." and ".." parts, symbolic links resolved
// where the folder exists, no trailing slash.
std::string WineCanonicalPrefix(const std::string& strPrefix);

// Windows programs running in the prefix (their WINEPREFIX, or HOME/.wine without one), in
// process ID order. Wine's own service processes (services.exe, winedevice.exe, plugplay.exe,
// svchost.exe, rpcss.exe, the desktop's explorer.exe, conhost.exe, winemenubuilder.exe) and
// the driver's keeper are left out: they end by themselves once the programs have.
std::vector<SWineProgram> WinePrefixPrograms(const std::string& strPrefix,
                                             const std::string& strProcRoot = "/proc");

struct SWineServerInfo {
    uint32_t m_nPid = 0;  // 0: no server runs for the prefix
    bool m_bOurs = false; // started by Hivewatch's driver
};
// The Wine server serving the prefix: the wineserver process working in the prefix's server
// folder ("server-DEV-INODE" of the prefix folder).
SWineServerInfo WinePrefixServer(const std::string& strPrefix,
                                 const std::string& strProcRoot = "/proc");

// "notepad.exe (process 1234), reg.exe (process 1240)"
std::string WineDescribePrograms(const std::vector<SWineProgram>& arPrograms);

// The name of the folder that holds the driver's live registry view of a prefix: readable and
// the same for every spelling of the prefix ("home_user_.wine-1a2b3c4d").
std::string WineViewName(const std::string& strPrefix);
