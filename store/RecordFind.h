// Find over the stored records: the answers CRegInfoObj::FindString gives, from the bytes.
#pragma once

#include "store/RecordList.h"
#include "store/RegInfoObj.h"
#include "store/RegOperations.h"
#include "store/TextMatch.h"

#include <QString>

#include <array>
#include <string>
#include <vector>

// Searches every text FindString searches (sequence number, time, process name, process ID,
// request, path, result, old and new value, description) with the same case and whole-word
// rules. What is shared between records is searched once: a shared text's or tuple's answer
// is kept by id, a description's by what it is made of. Used under the record lock, while
// the list does not change.
class CRecordFinder {
public:
    CRecordFinder(const CRecordList& list, const QString& strText, int bMatchCase, int bWholeWord);

    bool Matches(long long nIndex);

private:
    bool TextMatches(uint32_t nId, std::string_view text);
    bool TupleMatches(const SRecordView& v);
    bool NumberMatches(int32_t n) const;
    bool PidMatches(int32_t nPid);
    bool TimeMatches(const SRecordView& v);
    bool DescriptionMatches(const SRecordView& v);
    bool DescriptionTextMatches(const SRecordView& v, const SDescriptionRecipe& recipe);
    bool RecipeCanMatch(const SDescriptionRecipe& recipe) const;

    struct SDescriptionSlot {
        uint32_t nTuple = CTextTable::NOT_SHARED;
        uint32_t nOld = 0, nNew = 0;
        const char* pRecipe = nullptr;
        bool bMatch = false;
    };
    static constexpr size_t DESCRIPTION_SLOTS = 4096;

    const CRecordList& m_list;
    const CTextTable& m_texts;
    CTextMatcher m_matcher;
    bool m_bNumbers = false;          // the text can be found in a number
    bool m_bClockTime = false;        // in a time text of digits
    int64_t m_nFewestDigitsValue = 0; // numbers nearer 0 are too short to hold the text
    struct SPidSlot {
        int32_t nPid = 0;
        bool bKnown = false, bMatch = false;
    };
    static constexpr uint32_t PID_SLOTS = 256;
    std::array<SPidSlot, PID_SLOTS> m_pids{};
    uint64_t m_nLastTimeKey = UINT64_MAX; // the time text last examined, and its answer
    bool m_bLastTimeMatch = false;
    std::vector<int8_t> m_textAnswers;  // by text id: -1 not known yet, 0 or 1
    std::vector<int8_t> m_tupleAnswers; // by tuple id
    std::vector<SDescriptionSlot> m_descriptions;
    // By operation and success: whether a description can match where none of the record's
    // own texts did (only through the words the description adds).
    std::array<std::array<bool, 2>, REG_OPERATION_COUNT> m_descriptionCanMatch{};
    CTimeTextFormatter m_formatter;
    std::string m_strScratch;
};
