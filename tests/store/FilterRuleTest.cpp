// Display rules as text: what the command line and the saved rules are read with, and the
// messages that say what is wrong with a rule.
#include "store/FilterRule.h"

#include <gtest/gtest.h>

namespace {

SFilterRule Parsed(const QString& strText, EFilterAction nAction = FILTER_INCLUDE) {
    SFilterRule rule;
    QString strError;
    EXPECT_TRUE(ParseFilterRule(strText, nAction, rule, strError))
        << strText.toStdString() << ": " << strError.toStdString();
    return rule;
}

QString ErrorOf(const QString& strText) {
    SFilterRule rule;
    QString strError;
    EXPECT_FALSE(ParseFilterRule(strText, FILTER_INCLUDE, rule, strError)) << strText.toStdString();
    return strError;
}

} // namespace

TEST(FilterRuleText, ColumnsAndRelationsAreReadLongestFirstIgnoringCase) {
    SFilterRule r = Parsed("Process Name is reg.exe");
    EXPECT_EQ(r.nColumn, FC_PROCESS);
    EXPECT_EQ(r.nRelation, REL_IS);
    EXPECT_EQ(r.strValue, "reg.exe");

    // "is not" is a relation of its own; a value that only begins with "not" is not.
    r = Parsed("process name IS NOT  notepad.exe ", FILTER_EXCLUDE);
    EXPECT_EQ(r.nRelation, REL_IS_NOT);
    EXPECT_EQ(r.strValue, "notepad.exe");
    EXPECT_EQ(r.nAction, FILTER_EXCLUDE);
    r = Parsed("Process Name is notepad.exe");
    EXPECT_EQ(r.nRelation, REL_IS);
    EXPECT_EQ(r.strValue, "notepad.exe");

    // Every column and relation as the lists name them.
    for (int c = 0; c < FILTER_COLUMN_COUNT; ++c) {
        for (int n = 0; n < FILTER_RELATION_COUNT; ++n) {
            const QString strText = FilterColumnTitle(EFilterColumn(c)) + " " +
                                    FilterRelationWord(EFilterRelation(n)) + " 42";
            r = Parsed(strText);
            EXPECT_EQ(r.nColumn, c) << strText.toStdString();
            EXPECT_EQ(r.nRelation, n) << strText.toStdString();
            EXPECT_EQ(r.strValue, "42");
        }
    }
    r = Parsed("Old Value begins with REG_SZ: a b");
    EXPECT_EQ(r.nColumn, FC_OLD_VALUE);
    EXPECT_EQ(r.nRelation, REL_BEGINS_WITH);
    EXPECT_EQ(r.strValue, "REG_SZ: a b");
}

TEST(FilterRuleText, QuotedValuesRoundTripWhateverTheyHold) {
    const QString values[] = {"",       " lead",      "trail ", "\"quoted\"", "a \"b\" c",
                              "\"",     "is not x",   "  ",     "plain",      "\u00c9t\u00e9",
                              "x\"\"y", "\"\" begins"};
    for (const QString& v : values) {
        SFilterRule rule;
        rule.nColumn = FC_PATH;
        rule.nRelation = REL_CONTAINS;
        rule.strValue = v;
        rule.nAction = FILTER_EXCLUDE;
        const QString strText = FilterRuleText(rule);
        EXPECT_EQ(Parsed(strText, FILTER_EXCLUDE), rule) << strText.toStdString();
    }
    // A value with blanks inside needs no quotes; one with a quote inside stays as typed.
    EXPECT_EQ(FilterRuleText(Parsed("Path contains a \"b\" c")), "Path contains a \"b\" c");
    EXPECT_EQ(Parsed("Path is \"\"").strValue, "");
    EXPECT_EQ(Parsed("Path is \"a\"\"b\"").strValue, "a\"b");
    // "is" followed by a quoted "not ..." is the relation is.
    const SFilterRule r = Parsed("Request is \"not x\"");
    EXPECT_EQ(r.nRelation, REL_IS);
    EXPECT_EQ(r.strValue, "not x");
}

TEST(FilterRuleText, MalformedRulesSayWhatIsWrong) {
    EXPECT_TRUE(ErrorOf("Proces Name is x").contains("does not begin with a column"));
    EXPECT_TRUE(ErrorOf("Proces Name is x").contains("Process Name"));
    EXPECT_TRUE(ErrorOf("").contains("does not begin with a column"));
    EXPECT_TRUE(ErrorOf("PathX contains a").contains("does not begin with a column"));
    EXPECT_TRUE(ErrorOf("Process Name equals x")
                    .contains("no relation follows the column "
                              "Process Name"));
    EXPECT_TRUE(ErrorOf("Process Name isnot x").contains("no relation"));
    EXPECT_TRUE(ErrorOf("Path contains").contains("no value follows \"contains\""));
    EXPECT_TRUE(ErrorOf("Path contains   ").contains("no value"));
    EXPECT_TRUE(ErrorOf("PID less than 12a").contains("PID less than needs a whole number"));
    EXPECT_TRUE(ErrorOf("Seq is 1.5").contains("whole number"));
    EXPECT_TRUE(ErrorOf("Seq more than 99999999999999999999999").contains("whole number"));
    EXPECT_TRUE(ErrorOf("Path is \"abc").contains("no closing quote"));
    EXPECT_TRUE(ErrorOf("Path is \"a\" b").contains("text follows the quoted value"));
    EXPECT_TRUE(
        ErrorOf("Path is " + QString(MAX_FILTER_VALUE_LENGTH + 1, 'x')).contains("at most 4096"));
    // The message quotes the rule it is about.
    EXPECT_TRUE(ErrorOf("Seq is x").startsWith("rule \"Seq is x\": "));

    // Numbers are needed only where they are compared as numbers.
    EXPECT_EQ(Parsed("PID contains 1x").strValue, "1x");
    EXPECT_EQ(Parsed("PID begins with -").strValue, "-");
    EXPECT_EQ(Parsed("Seq less than -5").strValue, "-5");
    EXPECT_EQ(Parsed("Time sample less than 10:00").strValue, "10:00");
}
