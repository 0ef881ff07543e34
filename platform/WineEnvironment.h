// Where Wine lives on this machine, which prefix the driver watches, and the Windows image name
// of a running Wine process. Plain C++ (no Qt), shared by the driver and the platform layer.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The prefix HIVEWATCH_DRIVER_SOURCE names: "wine" gives WINEPREFIX or ~/.wine, "wine:PATH"
// gives PATH. Empty for every other source, or when neither WINEPREFIX nor HOME is set.
std::optional<std::string> WineActivePrefix(const std::function<const char*(const char*)>& getVar);
std::optional<std::string> WineActivePrefix(); // from the process environment

// A Wine program found in PATH or in Debian's /usr/lib/wine; empty when none is there.
// "wineserver" also honours WINESERVER, "wine" also WINELOADER, as Wine itself does.
std::string WineFindProgram(std::string_view name);

// True for Wine's loader binaries (wine, wine64, wine-preloader, wine64-preloader).
bool WineIsLoader(std::string_view exePath);
// The Windows image name of a Wine process from its /proc cmdline (Wine puts the program's
// path first): "C:\windows\system32\reg.exe\0add..." -> "reg.exe". While the process starts,
// the loader leads and the program it was asked to run follows. Empty when there is none.
std::string WineImageNameFromCmdline(std::string_view cmdline);
// The image name of process nPid when it runs under Wine; empty for other processes.
std::string WineProcessImageName(uint32_t nPid, const std::string& strProcRoot = "/proc");

// The environment Wine programs get from us: variables that load a sanitizer runtime into
// every program (LD_PRELOAD of libasan, libtsan, ...) are removed, WINEPREFIX is set.
bool WineKeepVariable(std::string_view assignment);
