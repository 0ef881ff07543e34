#include "driver/ProcmonRowMapper.h"

#include "driver/AsciiText.h"

#include "winereg/WineRegValue.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

struct SOperationName {
    std::string_view m_trace;
    int m_nOperation;
};

// Trace operations we have no equivalent for (RegRenameKey, RegSetKeySecurity, RegSaveKey,
// RegRestoreKey, RegReplaceKey, ...) are skipped; the rest map to the nearest operation.
constexpr std::array<SOperationName, 17> OPERATION_TABLE = {{
    {"RegOpenKey", OP_OPEN_KEY},
    {"RegCloseKey", OP_CLOSE_KEY},
    {"RegQueryKey", OP_QUERY_KEY},
    {"RegQueryKeySecurity", OP_QUERY_KEY},
    {"RegQueryKeyName", OP_QUERY_KEY},
    {"RegSetInfoKey", OP_QUERY_KEY},
    {"RegQueryValue", OP_QUERY_VALUE},
    {"RegQueryMultipleValueKey", OP_QUERY_VALUE},
    {"RegEnumKey", OP_ENUM_KEY},
    {"RegEnumValue", OP_ENUM_VALUE},
    {"RegSetValue", OP_SET_VALUE},
    {"RegDeleteKey", OP_DELETE_KEY},
    {"RegDeleteValue", OP_DELETE_VALUE},
    {"RegFlushKey", OP_FLUSH_KEY},
    {"RegLoadKey", OP_LOAD_KEY},
    {"RegUnLoadKey", OP_UNLOAD_KEY},
    {"RegUnloadKey", OP_UNLOAD_KEY},
}};

// Markers some locales put before the time: 上午/下午, 午前/午後, 오전/오후.
constexpr std::array<std::pair<std::string_view, bool>, 6> PREFIX_MARKERS = {{
    {"\xE4\xB8\x8A\xE5\x8D\x88", false},
    {"\xE4\xB8\x8B\xE5\x8D\x88", true},
    {"\xE5\x8D\x88\xE5\x89\x8D", false},
    {"\xE5\x8D\x88\xE5\xBE\x8C", true},
    {"\xEC\x98\xA4\xEC\xA0\x84", false},
    {"\xEC\x98\xA4\xED\x9B\x84", true},
}};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads one to two digits; false when there are none.
bool ReadNumber(std::string_view& s, int& n) {
    size_t i = 0;
    n = 0;
    for (; i < s.size() && i < 2 && IsDigit(s[i]); ++i)
        n = n * 10 + (s[i] - '0');
    s.remove_prefix(i);
    return i > 0;
}

// Where a "Label: " item starts: at the beginning or after ", ".
size_t FindItem(std::string_view detail, std::string_view label) {
    if (detail.starts_with(label))
        return 0;
    const size_t n = detail.find(", " + std::string(label));
    return n == std::string_view::npos ? n : n + 2;
}

std::string NumberText(std::string_view type, std::string_view data) {
    if (data.empty() || data.size() > 20 || !std::ranges::all_of(data, IsDigit))
        return std::string(type) + ": " + std::string(data);
    const unsigned long long n = std::strtoull(std::string(data).c_str(), nullptr, 10);
    if (type == "REG_DWORD")
        return "REG_DWORD: " + RegDwordText(uint32_t(n));
    return "REG_QWORD: " + RegQwordText(n);
}

} // namespace

std::optional<STimeOfDay> CProcmonRowMapper::ParseTimeOfDay(std::string_view text) {
    text = Trim(text);
    int nHalf = 0; // 0: 24-hour clock, 1: AM, 2: PM
    for (const auto& [marker, bPm] : PREFIX_MARKERS)
        if (text.starts_with(marker)) {
            nHalf = bPm ? 2 : 1;
            text = Trim(text.substr(marker.size()));
        }
    if (text.size() > 2 && (StartsNoCase(text.substr(text.size() - 2), "AM") ||
                            StartsNoCase(text.substr(text.size() - 2), "PM"))) {
        nHalf = (text[text.size() - 2] | 0x20) == 'p' ? 2 : 1;
        text = Trim(text.substr(0, text.size() - 2));
    }
    int arParts[3] = {};
    int nParts = 0;
    while (nParts < 3 && ReadNumber(text, arParts[nParts])) {
        ++nParts;
        if (text.empty() || text.front() != ':')
            break;
        text.remove_prefix(1);
    }
    if (nParts < 2)
        return std::nullopt;
    STimeOfDay t;
    t.m_nHour = nParts == 3 ? arParts[0] : 0;
    t.m_nMinute = arParts[nParts - 2];
    t.m_nSecond = arParts[nParts - 1];
    if (!text.empty() && (text.front() == '.' || text.front() == ',')) {
        text.remove_prefix(1);
        for (int nScale = 100; nScale > 0 && !text.empty() && IsDigit(text.front()); nScale /= 10) {
            t.m_nMilli += (text.front() - '0') * nScale;
            text.remove_prefix(1);
        }
        while (!text.empty() && IsDigit(text.front()))
            text.remove_prefix(1);
    }
    if (!text.empty())
        return std::nullopt;
    if (nHalf != 0) {
        if (t.m_nHour < 1 || t.m_nHour > 12)
            return std::nullopt;
        t.m_nHour = t.m_nHour % 12 + (nHalf == 2 ? 12 : 0);
    }
    if (t.m_nHour > 23 || t.m_nMinute > 59 || t.m_nSecond > 59)
        return std::nullopt;
    return t;
}

int CProcmonRowMapper::MapOperation(std::string_view operation, std::string_view detail) {
    if (operation == "RegCreateKey")
        return detail.find("REG_CREATED_NEW_KEY") != std::string_view::npos ? OP_CREATE_NEW
                                                                            : OP_CREATE_OPEN;
    for (const SOperationName& entry : OPERATION_TABLE)
        if (entry.m_trace == operation)
            return entry.m_nOperation;
    return SKIPPED;
}

std::optional<std::string> CProcmonRowMapper::MapPath(std::string_view path) {
    path = Trim(path);
    auto rootFollows = [&](std::string_view root) {
        return StartsNoCase(path, root) &&
               (path.size() == root.size() || path[root.size()] == '\\');
    };
    for (const SRootKeyName& root : g_RootKeyNames) {
        if (rootFollows(root.abbrev))
            return std::string(root.abbrev) + std::string(path.substr(root.abbrev.size()));
        if (rootFollows(root.full))
            return std::string(root.abbrev) + std::string(path.substr(root.full.size()));
    }
    if (rootFollows("\\REGISTRY\\MACHINE"))
        return "HKLM" + std::string(path.substr(17));
    if (rootFollows("\\REGISTRY\\USER"))
        return "HKU" + std::string(path.substr(14));
    return std::nullopt;
}

std::string CProcmonRowMapper::ValueText(std::string_view detail) {
    const size_t nType = FindItem(detail, "Type: ");
    if (nType == std::string_view::npos)
        return {};
    std::string_view type = detail.substr(nType + 6);
    type = type.substr(0, type.find(", "));
    const size_t nData = FindItem(detail.substr(nType), "Data: ");
    const std::string_view data =
        nData == std::string_view::npos ? std::string_view() : detail.substr(nType + nData + 6);
    if (type == "REG_DWORD" || type == "REG_QWORD")
        return NumberText(type, Trim(data));
    return std::string(type) + ": " + std::string(data);
}

std::optional<std::string> CProcmonRowMapper::EnumeratedName(std::string_view detail) {
    const size_t nName = FindItem(detail, "Name: ");
    if (nName == std::string_view::npos)
        return std::nullopt;
    std::string_view name = detail.substr(nName + 6);
    for (std::string_view next : {", Type: ", ", Length: ", ", Data: "})
        name = name.substr(0, name.find(next));
    return std::string(name.empty() ? DEFAULT_VALUE_NAME : name);
}

std::optional<SDriverEvent> CProcmonRowMapper::Map(const SProcmonRow& row, const std::tm& tmDate) {
    SDriverEvent ev;
    ev.m_nOperation = MapOperation(row.m_strOperation, row.m_strDetail);
    const std::optional<std::string> path = MapPath(row.m_strPath);
    const std::optional<STimeOfDay> time = ParseTimeOfDay(row.m_strTime);
    if (ev.m_nOperation == SKIPPED || !path || !time)
        return std::nullopt;
    ev.m_strPath = *path;
    ev.m_nFileTime =
        LocalFileTime(tmDate, time->m_nHour, time->m_nMinute, time->m_nSecond, time->m_nMilli);
    const std::string_view pid = Trim(row.m_strPid);
    if (!pid.empty() && pid.size() <= 9 && std::ranges::all_of(pid, IsDigit))
        ev.m_nPid = uint32_t(std::stoul(std::string(pid)));
    ev.m_strProcess = row.m_strProcess;
    ev.m_strResult = std::string(Trim(row.m_strResult));
    if (ev.m_nOperation == OP_ENUM_VALUE)
        if (const std::optional<std::string> name = EnumeratedName(row.m_strDetail))
            ev.m_strPath += "\\" + *name;
    // The details pane shows what a query read as the old value; an enumeration or a set
    // reports it as the new one.
    if (ev.m_nOperation == OP_QUERY_VALUE)
        ev.m_strOldValue = ValueText(row.m_strDetail);
    else if (ev.m_nOperation == OP_ENUM_VALUE || ev.m_nOperation == OP_SET_VALUE)
        ev.m_strNewValue = ValueText(row.m_strDetail);
    return ev;
}
