// The "TYPE: data" text of a value the Wine trace carries as type number and raw bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Longest data text a record carries; longer texts end with "...".
inline constexpr size_t MAX_VALUE_TEXT = 1024;

// bTruncated: the trace cut the data, so the text ends with "..." even when short.
std::string WineValueText(uint32_t nType, std::string_view data, bool bTruncated = false);
