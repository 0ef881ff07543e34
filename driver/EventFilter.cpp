#include "driver/EventFilter.h"

#include "driver/AsciiText.h"

#include <cstring>

namespace {

std::string_view WithoutExe(std::string_view name) {
    if (name.size() > 4 && EqualNoCase(name.substr(name.size() - 4), ".exe"))
        name.remove_suffix(4);
    return name;
}

// A text area ends at its first zero, or at its last byte when it has none.
std::string_view FilterText(std::span<const unsigned char> data, size_t nOffset) {
    const char* p = reinterpret_cast<const char*>(data.data() + nOffset);
    const void* pZero = std::memchr(p, 0, FILTER_TEXT_SIZE);
    const size_t nLen = pZero ? size_t(static_cast<const char*>(pZero) - p) : FILTER_TEXT_SIZE;
    return {p, nLen};
}

} // namespace

CEventFilter::CEventFilter(std::string_view include, std::string_view exclude,
                           const CSwitches& arSwitches)
    : m_include(SplitEntries(include)), m_exclude(SplitEntries(exclude)), m_arSwitches(arSwitches) {
}

std::optional<CEventFilter> CEventFilter::FromBytes(std::span<const unsigned char> data) {
    if (data.size() != REGDRV_FILTER_SIZE)
        return std::nullopt;
    CSwitches arSwitches{};
    std::memcpy(arSwitches.data(), data.data() + FILTER_SWITCH_OFFSET, FILTER_SWITCH_COUNT);
    return CEventFilter(FilterText(data, FILTER_INCLUDE_OFFSET),
                        FilterText(data, FILTER_EXCLUDE_OFFSET), arSwitches);
}

bool CEventFilter::SwitchOn(int nSwitch) const {
    return nSwitch >= 0 && size_t(nSwitch) < m_arSwitches.size() && m_arSwitches[nSwitch] != 0;
}

bool CEventFilter::Passes(int nOperation, bool bSucceeded, std::string_view process,
                          std::string_view path) const {
    if (nOperation < 0 || nOperation >= REG_OPERATION_COUNT)
        return false;
    if (!SwitchOn(g_SwitchOfOperation[nOperation]))
        return false;
    if (!SwitchOn(bSucceeded ? DRV_SW_SUCCEEDED : DRV_SW_FAILED))
        return false;
    if (!m_include.m_arProcesses.empty() && !AnyProcess(m_include, process))
        return false;
    if (!m_include.m_arPaths.empty() && !AnyPath(m_include, path))
        return false;
    return !AnyProcess(m_exclude, process) && !AnyPath(m_exclude, path);
}

bool CEventFilter::IsPathEntry(std::string_view entry) {
    for (const SRootKeyName& root : g_RootKeyNames) {
        if (entry.size() < root.abbrev.size() ||
            !EqualNoCase(entry.substr(0, root.abbrev.size()), root.abbrev))
            continue;
        if (entry.size() == root.abbrev.size() || entry[root.abbrev.size()] == '\\')
            return true;
    }
    return false;
}

bool CEventFilter::ProcessEntryMatches(std::string_view entry, std::string_view process) {
    if (entry == "*")
        return true;
    return EqualNoCase(WithoutExe(entry), WithoutExe(process));
}

bool CEventFilter::PathEntryMatches(std::string_view entry, std::string_view path) {
    while (!entry.empty() && entry.back() == '\\')
        entry.remove_suffix(1);
    if (entry.empty() || path.size() < entry.size())
        return false;
    if (!EqualNoCase(path.substr(0, entry.size()), entry))
        return false;
    return path.size() == entry.size() || path[entry.size()] == '\\';
}

CEventFilter::SEntries CEventFilter::SplitEntries(std::string_view text) {
    SEntries entries;
    while (!text.empty()) {
        const size_t nSep = text.find(';');
        const std::string_view entry = Trim(text.substr(0, nSep));
        text = nSep == std::string_view::npos ? std::string_view() : text.substr(nSep + 1);
        if (entry.empty())
            continue;
        (IsPathEntry(entry) ? entries.m_arPaths : entries.m_arProcesses).emplace_back(entry);
    }
    return entries;
}

bool CEventFilter::AnyProcess(const SEntries& e, std::string_view process) {
    for (const std::string& strEntry : e.m_arProcesses)
        if (ProcessEntryMatches(strEntry, process))
            return true;
    return false;
}

bool CEventFilter::AnyPath(const SEntries& e, std::string_view path) {
    for (const std::string& strEntry : e.m_arPaths)
        if (PathEntryMatches(strEntry, path))
            return true;
    return false;
}
