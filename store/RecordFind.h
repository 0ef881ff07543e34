// Find over the stored records: the answers CRegInfoObj::FindString gives, from the bytes.
#pragma once

#include "store/RecordList.h"
#include "store/RegInfoObj.h"
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
    bool TimeMatches(const SRecordView& v);
    bool DescriptionMatches(const SRecordView& v);
    bool DescriptionTextMatches(const SRecordView& v, const SDescriptionRecipe& recipe);

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
    bool m_bNumbers = false;            // the text can be found in a number
    bool m_bClockTime = false;          // in a time text of digits
    std::vector<int8_t> m_textAnswers;  // by text id: -1 not known yet, 0 or 1
    std::vector<int8_t> m_tupleAnswers; // by tuple id
    std::vector<SDescriptionSlot> m_descriptions;
    CTimeTextFormatter m_formatter;
    std::string m_strScratch;
};
