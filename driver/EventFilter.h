// Decides from the include/exclude lists and the switch bytes whether an event is reported.
#pragma once

#include "driver/RegDrvContract.h"

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class CEventFilter {
public:
    using CSwitches = std::array<uint8_t, FILTER_SWITCH_COUNT>;

    // A default filter has every switch off: it reports nothing.
    CEventFilter() = default;
    CEventFilter(std::string_view include, std::string_view exclude, const CSwitches& arSwitches);

    // Reads a REGDRV_FILTER buffer; empty when the size is not exactly REGDRV_FILTER_SIZE.
    static std::optional<CEventFilter> FromBytes(std::span<const unsigned char> data);

    bool Passes(int nOperation, bool bSucceeded, std::string_view process,
                std::string_view path) const;
    // A switch byte other than zero counts as on.
    bool SwitchOn(int nSwitch) const;

    static bool IsPathEntry(std::string_view entry);
    // Case-insensitive, a trailing ".exe" on either side ignored, "*" matches every process.
    static bool ProcessEntryMatches(std::string_view entry, std::string_view process);
    // Equal, or a prefix followed by a backslash, ignoring case.
    static bool PathEntryMatches(std::string_view entry, std::string_view path);

private:
    struct SEntries {
        std::vector<std::string> m_arProcesses;
        std::vector<std::string> m_arPaths;
    };
    static SEntries SplitEntries(std::string_view text);
    static bool AnyProcess(const SEntries& e, std::string_view process);
    static bool AnyPath(const SEntries& e, std::string_view path);

    SEntries m_include;
    SEntries m_exclude;
    CSwitches m_arSwitches{};
};
