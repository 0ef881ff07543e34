// A list of display rules made ready to test stored records, millions of times over.
#pragma once

#include "store/FilterRule.h"
#include "store/RecordList.h"

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
    // The same with its entry at hand, and its segment when the walk has it (null: looked up
    // when a rule needs the record's own bytes).
    bool Matches(const CRecordList& list, long long nIndex, const SRecordEntry& entry,
                 const unsigned char* pSegment);
    // Whether every record's own bytes are read (a rule on the path, time or description),
    // so that a walk should hand each record's segment over.
    bool NeedsSegments() const;

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
        int64_t nNumber = 0; // number columns with a numeric relation
    };
    // An Exclude rule alone, or every Include rule of one column (any of them may match).
    struct SClause {
        bool bExclude = false;
        std::vector<SRule> arRules;
    };
    // Seq and PID compared as numbers, without a text: the usual number rules, kept apart so
    // that the walk tests them directly from the entry.
    struct SNumberTest {
        bool bPid;
        EFilterRelation nRelation;
        int64_t n;
    };
    struct SNumberClause {
        bool bExclude;
        std::vector<SNumberTest> arTests;
    };
    struct SProgram {
        std::array<std::vector<SClause>, SOURCE_COUNT> clauses;
        std::vector<SNumberClause> numbers; // when every number rule compares numbers
        bool bNumbersCompared = false;
        CFilterRules rules;
        unsigned nSources = 0; // a bit for each source some rule reads
        bool Has(ESource n) const { return (nSources >> n & 1) != 0; }
    };
    // The texts and numbers a clause may ask for; only those of its source are filled in.
    struct SFields {
        int64_t nSeq = 0, nPid = 0;
        std::string_view process, request, result, oldValue, newValue, path, time, description;
    };
    // A description's answer, kept under its words and the ids of the texts between them.
    struct SDescriptionSlot {
        const char* pRecipe = nullptr;
        uint32_t nArg1 = 0, nArg2 = 0;
        bool bPass = false;
    };
    static constexpr size_t DESCRIPTION_SLOTS = 4096;

    static ESource SourceOf(EFilterColumn nColumn);
    static SRule PrepareRule(const SFilterRule& rule);
    static void CompareNumbers(SProgram& program);
    static bool NumbersPass(const SProgram& program, int64_t nSeq, int64_t nPid);
    static bool RuleMatches(const SRule& rule, const SFields& f);
    static bool TextMatches(const SRule& rule, std::string_view hay);
    static bool ClausesPass(const std::vector<SClause>& clauses, const SFields& f);
    // The path's clauses, straight on the text.
    bool PathPasses(std::string_view path) const;
    bool Passes(ESource nSource, const SFields& f) const {
        return ClausesPass(m_pProgram->clauses[size_t(nSource)], f);
    }
    // Kept answers: -1 unknown, 0 fails, 1 passes.
    bool KeptAnswer(std::vector<int8_t>& answers, uint32_t nId, size_t nSize, ESource nSource,
                    const SFields& f);
    bool TuplePasses(const CRecordList& list, uint32_t nTuple);
    bool ValuePasses(const CRecordList& list, ESource nSource, uint32_t nId);
    bool DescriptionPasses(const CRecordList& list, const SRecordView& v);
    bool TimePasses(const SRecordView& v);

    std::shared_ptr<const SProgram> m_pProgram;
    std::vector<int8_t> m_tupleAnswers, m_oldAnswers, m_newAnswers;
    std::vector<SDescriptionSlot> m_descriptions;
    CTimeTextFormatter m_formatter;
    std::string m_strScratch;
};
