// A list of display rules made ready to test stored records, millions of times over.
#pragma once

#include "store/FilterRule.h"
#include "store/RecordList.h"
#include "store/TextMatch.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

// Tests records in the store's own form, reading only the fields the rules name. What depends
// on a shared text alone is answered once per text: the process name, request and result once
// per tuple, each value once per text id, a description once per what it is made of. Seq and
// PID are compared as numbers, every other column as text ignoring case, with the answers
// QString's case-insensitive comparisons give.
//
// The kept answers are the instance's own: one instance serves one thread, and the store must
// not change while it tests (the record lock is held). Copies share the prepared rules and
// start without answers.
class CRecordMatcher {
public:
    CRecordMatcher() = default;
    // Rules that fail CheckFilterRule are left out.
    explicit CRecordMatcher(const CFilterRules& rules);
    CRecordMatcher(const CRecordMatcher& other);
    CRecordMatcher& operator=(const CRecordMatcher& other);
    CRecordMatcher(CRecordMatcher&&) noexcept = default;
    CRecordMatcher& operator=(CRecordMatcher&&) noexcept = default;

    // No rules: every record passes.
    bool IsEmpty() const { return !m_pProgram; }
    const CFilterRules& Rules() const;

    // Whether the record at nIndex (0 .. count - 1) passes the rules.
    bool Matches(const CRecordList& list, long long nIndex);
    // The same with its entry at hand (a walk over the entries).
    bool Matches(const CRecordList& list, long long nIndex, const SRecordEntry& entry);

    // Forgets the answers kept by text id: the store has been emptied and its ids mean other
    // texts from now on.
    void ResetAnswers();

private:
    // Where a column's text comes from, which decides how an answer can be kept.
    enum ESource { SRC_NUMBERS, SRC_TUPLE, SRC_OLD, SRC_NEW, SRC_PATH, SRC_TIME, SRC_DESCRIPTION };
    static constexpr int SOURCE_COUNT = 7;

    struct SRule {
        EFilterColumn nColumn;
        EFilterRelation nRelation;
        QString strNeedle;
        std::string needleAscii; // folded to lower case; valid when bAsciiNeedle
        bool bAsciiNeedle = false;
        int64_t nNumber = 0;                     // number columns with a numeric relation
        std::shared_ptr<CTextMatcher> pContains; // contains and excludes
    };
    // An Exclude rule alone, or every Include rule of one column (any of them may match).
    struct SClause {
        bool bExclude = false;
        std::vector<SRule> arRules;
    };
    struct SProgram {
        std::array<std::vector<SClause>, SOURCE_COUNT> clauses;
        CFilterRules rules;
        bool Has(ESource n) const { return !clauses[size_t(n)].empty(); }
    };
    // The texts and numbers a clause may ask for; only those of its source are filled in.
    struct SFields {
        int64_t nSeq = 0, nPid = 0;
        std::string_view process, request, result, oldValue, newValue, path, time, description;
    };
    struct SDescriptionSlot {
        uint32_t nTuple = CTextTable::NOT_SHARED;
        uint32_t nOld = 0, nNew = 0;
        const char* pRecipe = nullptr;
        bool bPass = false;
    };
    static constexpr size_t DESCRIPTION_SLOTS = 1024;

    static ESource SourceOf(EFilterColumn nColumn);
    static SRule PrepareRule(const SFilterRule& rule);
    static bool RuleMatches(const SRule& rule, const SFields& f);
    static bool TextMatches(const SRule& rule, std::string_view hay);
    static bool ClausesPass(const std::vector<SClause>& clauses, const SFields& f);
    bool Passes(ESource nSource, const SFields& f) const {
        return ClausesPass(m_pProgram->clauses[size_t(nSource)], f);
    }
    // Kept answers: -1 unknown, 0 fails, 1 passes.
    bool KeptAnswer(std::vector<int8_t>& answers, uint32_t nId, size_t nSize, ESource nSource,
                    const SFields& f);
    bool TuplePasses(const CRecordList& list, uint32_t nTuple);
    bool ValuePasses(const CRecordList& list, ESource nSource, uint32_t nId);
    bool DescriptionPasses(const SRecordView& v);
    bool TimePasses(const SRecordView& v);

    std::shared_ptr<const SProgram> m_pProgram;
    std::vector<int8_t> m_tupleAnswers, m_oldAnswers, m_newAnswers;
    std::vector<SDescriptionSlot> m_descriptions;
    CTimeTextFormatter m_formatter;
    std::string m_strScratch;
};
