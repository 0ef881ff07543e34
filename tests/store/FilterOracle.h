// The display rules' meaning written plainly on record copies and QString, to check the fast
// matching of the store against, and a varied set of records to check it on.
#pragma once

#include "store/FilterRule.h"
#include "store/HivewatchDoc.h"

#include <QString>

#include <array>
#include <vector>

// The text a column shows for a record (numbers in decimal).
QString OracleText(const CRegInfoObj& record, EFilterColumn nColumn);
bool OracleRuleMatches(const SFilterRule& rule, const CRegInfoObj& record);
// Shown: no Exclude rule matches and every column with Include rules has one that matches.
bool OracleShown(const CFilterRules& rules, const CRegInfoObj& record);

// Every operation, succeeded and failed, with values empty, equal, different, long (kept with
// the record) and not ASCII; process names that fold to ASCII and one too long to share; paths
// and times of every kind, some records filed as the capture thread files them.
void AddVariedRecords(CHivewatchDoc& doc);
