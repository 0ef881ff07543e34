#include "store/FilterRule.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

const std::array<const char*, FILTER_COLUMN_COUNT> kColumnTitles = {
    "Seq",  "Time sample", "Process Name", "PID",       "Request",
    "Path", "Description", "Result",       "Old Value", "New Value",
};

const std::array<const char*, FILTER_RELATION_COUNT> kRelationWords = {
    "is", "is not", "contains", "excludes", "begins with", "ends with", "less than", "more than",
};

bool IsBlank(QChar c) {
    return c.isSpace();
}

qsizetype SkipBlanks(const QString& str, qsizetype i) {
    while (i < str.size() && IsBlank(str[i]))
        ++i;
    return i;
}

// A word at i that ends at a blank or the end of the text.
bool WordAt(const QString& str, qsizetype i, const QString& strWord) {
    if (QStringView(str).mid(i, strWord.size()).compare(strWord, Qt::CaseInsensitive) != 0)
        return false;
    const qsizetype nEnd = i + strWord.size();
    return nEnd == str.size() || IsBlank(str[nEnd]);
}

// Indices of kTitles, the longest title first, so that a title that begins another never
// takes its place.
template <size_t N> std::array<int, N> LongestFirst(const std::array<const char*, N>& titles) {
    std::array<int, N> order;
    for (size_t i = 0; i < N; ++i)
        order[i] = int(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return std::strlen(titles[size_t(a)]) > std::strlen(titles[size_t(b)]);
    });
    return order;
}

QString JoinedTitles() {
    QStringList titles;
    for (const char* p : kColumnTitles)
        titles << QString::fromLatin1(p);
    return titles.join(QStringLiteral(", "));
}

QString JoinedRelations() {
    QStringList words;
    for (const char* p : kRelationWords)
        words << QString::fromLatin1(p);
    return words.join(QStringLiteral(", "));
}

// The value part: plain (trimmed) or quoted.
bool ParseValue(const QString& strRest, QString& strValue, QString& strError) {
    const QString strTrimmed = strRest.trimmed();
    if (!strTrimmed.startsWith(QLatin1Char('"'))) {
        strValue = strTrimmed;
        return true;
    }
    QString str;
    qsizetype i = 1;
    for (; i < strTrimmed.size(); ++i) {
        const QChar c = strTrimmed[i];
        if (c != QLatin1Char('"')) {
            str += c;
            continue;
        }
        if (i + 1 < strTrimmed.size() && strTrimmed[i + 1] == QLatin1Char('"')) {
            str += c;
            ++i;
            continue;
        }
        break; // the closing quote
    }
    if (i >= strTrimmed.size()) {
        strError = QStringLiteral("the value's opening quote has no closing quote; write a "
                                  "quote inside the value as two quotes (\"\")");
        return false;
    }
    if (i + 1 != strTrimmed.size()) {
        strError = QStringLiteral("text follows the quoted value; put the whole value "
                                  "between the quotes");
        return false;
    }
    strValue = str;
    return true;
}

} // namespace

QString FilterColumnTitle(EFilterColumn nColumn) {
    if (nColumn < 0 || nColumn >= FILTER_COLUMN_COUNT)
        return {};
    return QString::fromLatin1(kColumnTitles[size_t(nColumn)]);
}

QString FilterRelationWord(EFilterRelation nRelation) {
    if (nRelation < 0 || nRelation >= FILTER_RELATION_COUNT)
        return {};
    return QString::fromLatin1(kRelationWords[size_t(nRelation)]);
}

QString FilterActionWord(EFilterAction nAction) {
    return nAction == FILTER_EXCLUDE ? QStringLiteral("Exclude") : QStringLiteral("Include");
}

bool FilterRuleNumber(const QString& strValue, int64_t& nOut) {
    bool bOk = false;
    const qlonglong n = strValue.trimmed().toLongLong(&bOk, 10);
    if (!bOk)
        return false;
    nOut = n;
    return true;
}

bool CheckFilterRule(const SFilterRule& rule, QString& strError) {
    if (rule.nColumn < 0 || rule.nColumn >= FILTER_COLUMN_COUNT || rule.nRelation < 0 ||
        rule.nRelation >= FILTER_RELATION_COUNT) {
        strError = QStringLiteral("the rule names no known column or relation");
        return false;
    }
    if (rule.strValue.size() > MAX_FILTER_VALUE_LENGTH) {
        strError = QStringLiteral("the value is %1 characters long; a rule's value may have at "
                                  "most %2")
                       .arg(rule.strValue.size())
                       .arg(MAX_FILTER_VALUE_LENGTH);
        return false;
    }
    int64_t n = 0;
    if (IsNumberColumn(rule.nColumn) && IsNumericRelation(rule.nRelation) &&
        !FilterRuleNumber(rule.strValue, n)) {
        strError = QStringLiteral("%1 %2 needs a whole number, not \"%3\"")
                       .arg(FilterColumnTitle(rule.nColumn), FilterRelationWord(rule.nRelation),
                            rule.strValue);
        return false;
    }
    return true;
}

bool ParseFilterRule(const QString& strText, EFilterAction nAction, SFilterRule& out,
                     QString& strError) {
    static const auto s_columns = LongestFirst(kColumnTitles);
    static const auto s_relations = LongestFirst(kRelationWords);
    const auto fail = [&](const QString& strWhy) {
        strError = QStringLiteral("rule \"%1\": %2").arg(strText, strWhy);
        return false;
    };
    qsizetype i = SkipBlanks(strText, 0);
    int nColumn = -1;
    for (int c : s_columns) {
        const QString strTitle = QString::fromLatin1(kColumnTitles[size_t(c)]);
        if (WordAt(strText, i, strTitle)) {
            nColumn = c;
            i += strTitle.size();
            break;
        }
    }
    if (nColumn < 0)
        return fail(QStringLiteral("it does not begin with a column (one of %1); write COLUMN "
                                   "RELATION VALUE, e.g. \"Process Name is reg.exe\"")
                        .arg(JoinedTitles()));
    i = SkipBlanks(strText, i);
    int nRelation = -1;
    for (int r : s_relations) {
        const QString strWord = QString::fromLatin1(kRelationWords[size_t(r)]);
        if (WordAt(strText, i, strWord)) {
            nRelation = r;
            i += strWord.size();
            break;
        }
    }
    if (nRelation < 0)
        return fail(QStringLiteral("no relation follows the column %1 (one of %2)")
                        .arg(FilterColumnTitle(EFilterColumn(nColumn)), JoinedRelations()));
    const QString strRest = strText.mid(i);
    if (strRest.trimmed().isEmpty())
        return fail(QStringLiteral("no value follows \"%1\"; give one, or \"\" for an empty text")
                        .arg(FilterRelationWord(EFilterRelation(nRelation))));
    SFilterRule rule;
    rule.nColumn = EFilterColumn(nColumn);
    rule.nRelation = EFilterRelation(nRelation);
    rule.nAction = nAction;
    QString strWhy;
    if (!ParseValue(strRest, rule.strValue, strWhy) || !CheckFilterRule(rule, strWhy))
        return fail(strWhy);
    out = rule;
    return true;
}

QString FilterRuleText(const SFilterRule& rule) {
    const QString& v = rule.strValue;
    const bool bQuote = v.isEmpty() || v.trimmed() != v || v.startsWith(QLatin1Char('"'));
    QString strValue = v;
    if (bQuote) {
        strValue.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        strValue = QLatin1Char('"') + strValue + QLatin1Char('"');
    }
    return FilterColumnTitle(rule.nColumn) + QLatin1Char(' ') + FilterRelationWord(rule.nRelation) +
           QLatin1Char(' ') + strValue;
}

QString FilterRulesSummary(const CFilterRules& rules) {
    if (rules.isEmpty())
        return QStringLiteral("(no rules)");
    constexpr int MAX_CHARS = 60;
    QString str =
        FilterActionWord(rules.front().nAction) + QLatin1Char(' ') + FilterRuleText(rules.front());
    if (str.size() > MAX_CHARS)
        str = str.left(MAX_CHARS - 3) + QStringLiteral("...");
    if (rules.size() > 1)
        str += QStringLiteral("; +%1 more").arg(rules.size() - 1);
    return str;
}
