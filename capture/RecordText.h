// Splitting a driver record's text into its seven fields and reading the process ID.
#pragma once

#include "store/RegOperations.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// Field 1 process ID, 2 process name, 3 request, 4 path, 5 result, 6 old value, 7 new value
// (SRecordFields). Text after a seventh tab is ignored; missing fields are empty.
SRecordFields SplitRecordText(std::string_view text);
// The same for a record text in a read buffer, whose end is its terminating zero: nRoom bytes
// may be looked at. False when no zero comes within them; else nText is the text's length and
// bAscii says whether every byte of the text is ASCII (learnt in the same pass).
bool SplitRecordTextAt(const char* pText, size_t nRoom, SRecordFields& fields, size_t& nText,
                       bool& bAscii);
inline bool SplitRecordTextAt(const char* pText, size_t nRoom, SRecordFields& fields,
                              size_t& nText) {
    bool bAscii = false;
    return SplitRecordTextAt(pText, nRoom, fields, nText, bAscii);
}

// Decimal value with leading white space and a sign allowed, stopping at the first
// non-digit; no digits give 0. Values beyond 32 bits saturate.
int32_t ParsePidField(std::string_view field);
