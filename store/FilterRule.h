// A display rule: a column, a relation and a value that pick records to show, hide or paint.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>

// The seven list columns in their list order, then three texts the list does not show.
enum EFilterColumn {
    FC_SEQ,
    FC_TIME,
    FC_PROCESS,
    FC_PID,
    FC_REQUEST,
    FC_PATH,
    FC_DESCRIPTION,
    FC_RESULT,
    FC_OLD_VALUE,
    FC_NEW_VALUE,
    FILTER_COLUMN_COUNT
};

enum EFilterRelation {
    REL_IS,
    REL_IS_NOT,
    REL_CONTAINS,
    REL_EXCLUDES,
    REL_BEGINS_WITH,
    REL_ENDS_WITH,
    REL_LESS_THAN,
    REL_MORE_THAN,
    FILTER_RELATION_COUNT
};

enum EFilterAction { FILTER_INCLUDE, FILTER_EXCLUDE };

struct SFilterRule {
    EFilterColumn nColumn = FC_PROCESS;
    EFilterRelation nRelation = REL_IS;
    QString strValue;
    EFilterAction nAction = FILTER_INCLUDE;

    bool operator==(const SFilterRule& other) const = default;
};

// A rule, for code that writes rule lists out.
inline SFilterRule FilterRule(EFilterColumn nColumn, EFilterRelation nRelation,
                              const QString& strValue, EFilterAction nAction = FILTER_INCLUDE) {
    return {nColumn, nRelation, strValue, nAction};
}

// A record is shown when it matches no Exclude rule and, for every column that has Include
// rules, at least one of them. An empty list shows every record.
using CFilterRules = QList<SFilterRule>;

// Rules beyond these bounds are refused: a list or a value of any size would cost its
// matching time on every record.
inline constexpr int MAX_FILTER_RULES = 256;
inline constexpr int MAX_FILTER_VALUE_LENGTH = 4096;

QString FilterColumnTitle(EFilterColumn nColumn);
QString FilterRelationWord(EFilterRelation nRelation);
QString FilterActionWord(EFilterAction nAction); // "Include", "Exclude"
// Seq and PID compare as numbers; every other column as text, ignoring case.
inline bool IsNumberColumn(EFilterColumn nColumn) {
    return nColumn == FC_SEQ || nColumn == FC_PID;
}
// The relations whose value must be a whole number in a number column.
inline bool IsNumericRelation(EFilterRelation nRelation) {
    return nRelation == REL_IS || nRelation == REL_IS_NOT || nRelation == REL_LESS_THAN ||
           nRelation == REL_MORE_THAN;
}

// "COLUMN RELATION VALUE", e.g. "Process Name is reg.exe" or "PID less than 400". Column
// titles and relation words are matched ignoring case, the longest first ("is not" before
// "is"). The value is the rest, without surrounding blanks, or, written in double quotes, the
// text between them (a quote inside doubled), which may be empty or begin or end with blanks.
// False with strError saying what is wrong and how to write it.
bool ParseFilterRule(const QString& strText, EFilterAction nAction, SFilterRule& out,
                     QString& strError);
// The text ParseFilterRule reads back to the same rule; the value is quoted when it must be.
QString FilterRuleText(const SFilterRule& rule);
// Whether a rule can be matched: a whole number where the column and relation compare
// numbers, a value of bounded length. False with strError saying why.
bool CheckFilterRule(const SFilterRule& rule, QString& strError);
// The whole-number value of a rule in a number column; false when it is not one.
bool FilterRuleNumber(const QString& strValue, int64_t& nOut);

// A short summary of a rule list for menus, e.g. "Include Process Name is reg.exe; +2 more".
QString FilterRulesSummary(const CFilterRules& rules);
