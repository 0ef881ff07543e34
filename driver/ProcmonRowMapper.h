// Turns Process Monitor trace rows into driver events: operation names, paths, values, times.
#pragma once

#include "driver/DriverEvent.h"
#include "driver/ProcmonCsvReader.h"

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

struct STimeOfDay {
    int m_nHour = 0;
    int m_nMinute = 0;
    int m_nSecond = 0;
    int m_nMilli = 0;

    int TotalMillis() const {
        return ((m_nHour * 60 + m_nMinute) * 60 + m_nSecond) * 1000 + m_nMilli;
    }
};

class CProcmonRowMapper {
public:
    static constexpr int SKIPPED = -1;

    // "7:21:49.0877812 AM", "14:54:10,5440845", "上午 01:09:44.8222664" or the spreadsheet's
    // "47:57.9" (minutes:seconds, read as hour 0). The fraction is cut to milliseconds.
    static std::optional<STimeOfDay> ParseTimeOfDay(std::string_view text);
    // Our operation code for a trace operation, or SKIPPED for rows that are not mapped.
    static int MapOperation(std::string_view operation, std::string_view detail);
    // The path with its root abbreviated; empty when it does not start with a known root.
    static std::optional<std::string> MapPath(std::string_view path);
    // "TYPE: data" text of the value a Detail column describes; empty when it names no type.
    static std::string ValueText(std::string_view detail);
    // The value name an enumeration's Detail column names ("Name: ..."), if any.
    static std::optional<std::string> EnumeratedName(std::string_view detail);

    // The whole row, timed on the local date of tmDate; empty when the row is skipped.
    static std::optional<SDriverEvent> Map(const SProcmonRow& row, const std::tm& tmDate);
};
