// A capture document of a varied mix: thousands of processes and keys, every operation.
#pragma once

#include "store/FilterRule.h"

#include <cstddef>
#include <string>
#include <vector>

class CHivewatchDoc;

// Files nRecords records the way the capture thread files them. Processes: VARIED_PROCESSES
// names ("svc0042.exe" ...), each with PIDs of its own; keys: VARIED_KEYS paths under five
// roots, of three to eight parts from a vocabulary, values named under them; every one of the
// fourteen operations, reads far more often than writes; results of five kinds; values of
// every form, some longer than the store shares. The same seed gives the same records.
inline constexpr int VARIED_PROCESSES = 3000;
inline constexpr int VARIED_KEYS = 20000;
void FillVariedDocument(CHivewatchDoc& doc, size_t nRecords, unsigned nSeed = 1);

// A process name of the mix, and one of the words its paths are made of.
std::string VariedProcessName(int n);
const char* VariedPathWord(int n);

// Rule lists a user narrows such a capture with: one busy process, its writes, exclusions,
// ranges of numbers, a part of a path, values and descriptions.
struct SVariedRuleSet {
    const char* pName;
    CFilterRules rules;
    bool bReadsTexts; // matching reads the records' own bytes, not only their entries
};
const std::vector<SVariedRuleSet>& VariedRuleSets();
