// Splitting a driver record's text into its seven fields and reading the process ID.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

// Field 1 process ID, 2 process name, 3 request, 4 path, 5 result, 6 old value, 7 new value.
// Text after a seventh tab is ignored; missing fields are empty.
using SRecordFields = std::array<std::string_view, 7>;
SRecordFields SplitRecordText(std::string_view text);

// Decimal value with leading white space and a sign allowed, stopping at the first
// non-digit; no digits give 0. Values beyond 32 bits saturate.
int32_t ParsePidField(std::string_view field);
