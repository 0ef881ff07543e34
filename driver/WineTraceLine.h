// Reads the pieces of one line of a Wine server debug trace (wineserver -d1): thread, request,
// reply status and the "name=value" arguments, with Wine's string and byte dumps decoded.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct SWineTraceLine {
    enum EKind {
        REQUEST, // "0024: open_key( parent=0000, ... )"
        REPLY,   // "0024: open_key() = 0 { hkey=0004 }"
        NOTICE,  // "0024: *killed* exit_code=0", "0020: *process killed*", "0024: *fd* ..."
        SERVER,  // "wineserver: starting (pid=18661)" and other lines of the server itself
    };
    EKind m_eKind = SERVER;
    uint32_t m_nId = 0;        // the thread (or, for "*process killed*", the process) id
    std::string_view m_name;   // request name, or the notice between the asterisks
    std::string_view m_status; // reply status: "0", "OBJECT_NAME_EXISTS", "c0000034"
    std::string_view m_args;   // request arguments or reply fields, without the brackets
};

// Splits a line; false when it has none of the shapes above.
bool SplitWineTraceLine(std::string_view line, SWineTraceLine& out);

// The raw text of argument strName in a "a=1, b={x=2}, c=L\"..\"" list (nested braces and
// quoted strings are skipped whole); empty when it is missing.
std::optional<std::string_view> WineTraceArg(std::string_view args, std::string_view strName);

// A hexadecimal handle or id ("0038", "ffffffff"); empty when the text is not one.
std::optional<uint32_t> WineTraceHex(std::string_view text);
// A decimal number, possibly negative ("-1", "42").
std::optional<int64_t> WineTraceInt(std::string_view text);

// A dumped string, L"..." or "...", as UTF-8. Wine escapes '\\', '"', control characters
// ("\\n", "\\0", ...) and writes characters above 127 as \\xNN, or \\xNNNN when a hex digit
// follows. Empty when the text is not a complete string.
std::optional<std::string> WineTraceString(std::string_view text);

// A dumped byte block "{2a,00,00,00}"; Wine cuts long blocks after 1024 bytes with
// "...(total N)", which sets bTruncated. Empty when the text is not such a block.
std::optional<std::string> WineTraceBytes(std::string_view text, bool& bTruncated);

// A relative time "1dd86124c9dadf0 (-0.9431720)": the seconds in brackets, negated when
// they lie in the past, so a server start 0.94 s ago reads 0.94.
std::optional<double> WineTraceSecondsAgo(std::string_view text);
