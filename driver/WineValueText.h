// The "TYPE: data" text of a value the Wine trace carries as type number and raw bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Longest data text a record shows; longer texts end with "...".
inline constexpr size_t MAX_VALUE_TEXT = 1024;
// The most bytes a value text may take with the data's exact bytes after it (see
// RegRecordValueText), clear of the record's field limit.
inline constexpr size_t MAX_VALUE_BYTES = 4000;

// The record text of a value: exact, with the bytes after the text where the text alone does
// not give them back. bTruncated: the trace cut the data, so the text ends with "..." even
// when short.
std::string WineValueText(uint32_t nType, std::string_view data, bool bTruncated = false);
