// The store's rule matching gives the answers the rules' plain meaning gives, for every column
// and relation, on shared texts and texts kept with their record, ASCII or not.
#include "store/RecordMatcher.h"
#include "store/RecordLock.h"
#include "tests/RecordCopies.h"
#include "tests/store/FilterOracle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

std::string Describe(const CFilterRules& rules) {
    QStringList ar;
    for (const SFilterRule& r : rules)
        ar << FilterActionWord(r.nAction) + " " + FilterRuleText(r);
    return ar.join(" & ").toStdString();
}

class Matcher : public ::testing::Test {
protected:
    void SetUp() override {
        AddVariedRecords(m_doc);
        m_records = CopyRecords(m_doc);
    }

    // Values a rule on the column may take: texts of a few records, parts of them, other cases.
    QStringList ValuesFor(EFilterColumn nColumn, EFilterRelation nRelation) const {
        QStringList ar;
        for (size_t i = 0; i < m_records.size(); i += 17) {
            const QString str = OracleText(m_records[i], nColumn);
            switch (nRelation) {
            case REL_CONTAINS:
            case REL_EXCLUDES:
                ar << str.mid(str.size() / 3, 4).toUpper();
                break;
            case REL_BEGINS_WITH:
                ar << str.left(5).toLower();
                break;
            case REL_ENDS_WITH:
                ar << str.right(3).toUpper();
                break;
            default:
                ar << (i % 2 ? str.toUpper() : str);
                break;
            }
        }
        if (!(IsNumberColumn(nColumn) && IsNumericRelation(nRelation)))
            ar << ""
               << "KELVIN"
               << "\u00c9T\u00c9"
               << "xyz-not-there";
        ar.removeDuplicates();
        return ar;
    }

    // Every record against the matcher, one by one, and the doc's shown rows against it.
    void ExpectSameAnswers(const CFilterRules& rules) {
        CRecordMatcher matcher(rules);
        std::vector<long long> expected;
        CAutoLock lock(&g_RecordLock);
        for (size_t i = 0; i < m_records.size(); ++i) {
            const bool bWant = OracleShown(rules, m_records[i]);
            ASSERT_EQ(matcher.Matches(m_doc.m_listRecords, (long long)i), bWant)
                << Describe(rules) << " on record " << i << " ("
                << m_records[i].m_strProcessName.toStdString() << ", "
                << m_records[i].m_strPath.left(40).toStdString() << ")";
            if (bWant)
                expected.push_back((long long)i);
        }
        // Asked a second time, from the answers kept by id.
        for (size_t i = 0; i < m_records.size(); ++i)
            ASSERT_EQ(matcher.Matches(m_doc.m_listRecords, (long long)i),
                      OracleShown(rules, m_records[i]));
        ASSERT_TRUE(m_doc.SetDisplayFilter(rules, 3));
        std::vector<long long> shown;
        m_doc.ForEachShownIndex([&](long long n) {
            shown.push_back(n);
            return true;
        });
        ASSERT_EQ(shown, expected) << Describe(rules);
    }

    CHivewatchDoc m_doc;
    std::vector<CRegInfoObj> m_records;
};

} // namespace

TEST_F(Matcher, EveryColumnAndRelationAlone) {
    ASSERT_GT(m_records.size(), 200u);
    for (int c = 0; c < FILTER_COLUMN_COUNT; ++c) {
        for (int n = 0; n < FILTER_RELATION_COUNT; ++n) {
            for (const QString& v : ValuesFor(EFilterColumn(c), EFilterRelation(n))) {
                for (EFilterAction a : {FILTER_INCLUDE, FILTER_EXCLUDE}) {
                    ExpectSameAnswers({FilterRule(EFilterColumn(c), EFilterRelation(n), v, a)});
                    if (HasFatalFailure())
                        return;
                }
            }
        }
    }
}

// Include rules of one column are alternatives; columns and Exclude rules all must agree.
TEST_F(Matcher, RuleListsCombineByColumn) {
    const CFilterRules twoProcesses = {FilterRule(FC_PROCESS, REL_IS, "app.exe"),
                                       FilterRule(FC_PROCESS, REL_IS, "REG.exe")};
    ExpectSameAnswers(twoProcesses);
    CFilterRules writes = twoProcesses;
    writes << FilterRule(FC_REQUEST, REL_IS, "RegSetValueKey")
           << FilterRule(FC_REQUEST, REL_BEGINS_WITH, "RegDelete");
    ExpectSameAnswers(writes);
    writes << FilterRule(FC_RESULT, REL_IS, "SUCCESS", FILTER_EXCLUDE);
    ExpectSameAnswers(writes);
    // Only Exclude rules: everything else shows.
    ExpectSameAnswers({FilterRule(FC_PATH, REL_CONTAINS, "key_", FILTER_EXCLUDE),
                       FilterRule(FC_SEQ, REL_LESS_THAN, "100", FILTER_EXCLUDE)});

    // Random lists of up to six rules over every column.
    std::mt19937 rng(17);
    for (int nList = 0; nList < 300; ++nList) {
        CFilterRules rules;
        const int nRules = 1 + int(rng() % 6);
        for (int k = 0; k < nRules; ++k) {
            const auto c = EFilterColumn(rng() % FILTER_COLUMN_COUNT);
            const auto n = EFilterRelation(rng() % FILTER_RELATION_COUNT);
            const QStringList values = ValuesFor(c, n);
            rules << FilterRule(c, n, values[int(rng() % uint32_t(values.size()))],
                                rng() % 3 == 0 ? FILTER_EXCLUDE : FILTER_INCLUDE);
        }
        ExpectSameAnswers(rules);
        if (HasFatalFailure())
            return;
    }
}

TEST_F(Matcher, AnswersKeptByIdAreForgottenWhenTheStoreIsEmptied) {
    const CFilterRules rules = {FilterRule(FC_PROCESS, REL_IS, "svc_host.exe"),
                                FilterRule(FC_OLD_VALUE, REL_IS, "REG_SZ: a")};
    CRecordMatcher matcher(rules);
    {
        CAutoLock lock(&g_RecordLock);
        for (long long i = 0; i < (long long)m_records.size(); ++i)
            matcher.Matches(m_doc.m_listRecords, i);
    }
    // Emptied and filled in another order: the same ids now name other texts.
    m_doc.ClearDisplay();
    for (int i = 0; i < 3; ++i) {
        auto* p = new CRegInfoObj;
        p->m_nSeq = i;
        p->m_strProcessName = i == 2 ? QStringLiteral("svc_host.exe") : QStringLiteral("x.exe");
        p->m_strRequest = QStringLiteral("RegQueryValue");
        p->m_strOldValue = i == 2 ? QStringLiteral("REG_SZ: a") : QStringLiteral("REG_SZ: b");
        m_doc.AppendRecord(p);
    }
    matcher.ResetAnswers();
    CAutoLock lock(&g_RecordLock);
    EXPECT_FALSE(matcher.Matches(m_doc.m_listRecords, 0));
    EXPECT_FALSE(matcher.Matches(m_doc.m_listRecords, 1));
    EXPECT_TRUE(matcher.Matches(m_doc.m_listRecords, 2));
}

// A long needle in a haystack not much longer: the bytes that are not ASCII lie between the
// parts read for the needle's first and last bytes, and must still send the text to QString.
TEST(MatcherRules, LettersThatFoldToAsciiAreFoundAnywhereInTheText) {
    CHivewatchDoc doc;
    for (int nAt : {0, 25, 40, 57}) {
        auto* p = new CRegInfoObj;
        p->m_strRequest = QStringLiteral("RegOpenKey");
        p->m_strPath = QString(nAt, 'x') + QChar(0x212A) + QString(57 - nAt, 'x'); // KELVIN SIGN
        doc.AppendRecord(p);
    }
    CAutoLock lock(&g_RecordLock);
    for (long long i = 0; i < 4; ++i) {
        const CRegInfoObj r = RecordAt(doc, i);
        const int nAt = int(r.m_strPath.indexOf(QChar(0x212A)));
        for (int nLen : {17, 40, 50}) {
            // The needle's 'k' where the record has its Kelvin sign, when it fits.
            const int nStart = std::clamp(nAt - nLen / 2, 0, int(r.m_strPath.size()) - nLen);
            QString strNeedle = r.m_strPath.mid(nStart, nLen);
            strNeedle.replace(QChar(0x212A), 'k');
            for (EFilterRelation n : {REL_CONTAINS, REL_EXCLUDES}) {
                const CFilterRules rules = {FilterRule(FC_PATH, n, strNeedle)};
                CRecordMatcher matcher(rules);
                EXPECT_EQ(matcher.Matches(doc.m_listRecords, i), OracleShown(rules, r))
                    << "at " << nAt << ", needle of " << nLen;
                EXPECT_EQ(OracleShown(rules, r), n == REL_CONTAINS);
            }
        }
    }
}

TEST(MatcherRules, RulesThatCannotBeMatchedAreLeftOut) {
    SFilterRule bad = FilterRule(FC_PID, REL_LESS_THAN, "many");
    const CRecordMatcher matcher({bad, FilterRule(FC_PATH, REL_CONTAINS, "x")});
    ASSERT_EQ(matcher.Rules().size(), 1);
    EXPECT_EQ(matcher.Rules().front().nColumn, FC_PATH);
    EXPECT_TRUE(CRecordMatcher({bad}).IsEmpty());
    EXPECT_TRUE(CRecordMatcher().IsEmpty());
}
