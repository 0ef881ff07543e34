// Record text vocabulary shared by the driver and the program: operation names, results, roots.
#pragma once

#include <array>
#include <string_view>

// The seven fields of a driver record's text: 1 process ID, 2 process name, 3 request, 4 path,
// 5 result, 6 old value, 7 new value.
using SRecordFields = std::array<std::string_view, 7>;

// Operation codes of an event record; they index the colour tables and pick the details layout.
enum ERegOperation {
    OP_OPEN_KEY = 0,
    OP_CLOSE_KEY = 1,
    OP_QUERY_KEY = 2,
    OP_QUERY_VALUE = 3,
    OP_ENUM_KEY = 4,
    OP_ENUM_VALUE = 5,
    OP_CREATE_OPEN = 6,
    OP_FLUSH_KEY = 7,
    OP_LOAD_KEY = 8,
    OP_UNLOAD_KEY = 9,
    OP_CREATE_NEW = 10,
    OP_SET_VALUE = 11,
    OP_DELETE_KEY = 12,
    OP_DELETE_VALUE = 13,
};

inline constexpr int REG_OPERATION_COUNT = 14;

// The request text (record field 3) of each operation code, in code order.
inline constexpr std::array<std::string_view, REG_OPERATION_COUNT> g_RegOperationNames = {
    "RegOpenKey",        "RegCloseKey",        "RegQueryKey",  "RegQueryValue",  "EnumerateKey",
    "EnumerateValueKey", "RegCreateKey(Open)", "RegFlushKey",  "RegLoadKey",     "RegUnloadKey",
    "RegCreateKey(New)", "RegSetValueKey",     "RegDeleteKey", "RegDeleteValue",
};

// Value operations carry "key path\value name" in the path field; the others a key path.
inline constexpr bool IsValueOperation(int nCode) {
    return nCode == OP_QUERY_VALUE || nCode == OP_ENUM_VALUE || nCode == OP_SET_VALUE ||
           nCode == OP_DELETE_VALUE;
}

// Name shown for a key's unnamed value.
inline constexpr std::string_view DEFAULT_VALUE_NAME = "(Default)";

// Result texts (record field 5). Failures are upper-case status names.
inline constexpr std::string_view RESULT_SUCCESS = "SUCCESS";
inline constexpr std::string_view RESULT_NAME_NOT_FOUND = "NAME NOT FOUND";
inline constexpr std::string_view RESULT_ACCESS_DENIED = "ACCESS DENIED";
inline constexpr std::string_view RESULT_NO_MORE_ENTRIES = "NO MORE ENTRIES";
inline constexpr std::string_view RESULT_BUFFER_OVERFLOW = "BUFFER OVERFLOW";
inline constexpr std::string_view RESULT_KEY_DELETED = "KEY DELETED";

// Root keys: the abbreviation a path begins with, and the name it stands for.
struct SRootKeyName {
    std::string_view abbrev;
    std::string_view full;
};
inline constexpr std::array<SRootKeyName, 5> g_RootKeyNames = {{
    {"HKLM", "HKEY_LOCAL_MACHINE"},
    {"HKCU", "HKEY_CURRENT_USER"},
    {"HKCR", "HKEY_CLASSES_ROOT"},
    {"HKU", "HKEY_USERS"},
    {"HKCC", "HKEY_CURRENT_CONFIG"},
}};

// Value data texts (fields 6 and 7) read "TYPE: data", for example "REG_DWORD: 0x00000001 (1)".
