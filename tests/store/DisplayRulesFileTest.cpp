// The rules kept across runs: written and read back whole, the recent filters bounded, and
// files that are missing, damaged, edited by hand or too large.
#include "filter/DisplayRulesFile.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

void Write(const QString& strPath, const QByteArray& bytes) {
    QFile f(strPath);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace

TEST(DisplayRulesFile, EverythingComesBackAsItWasSaved) {
    EXPECT_TRUE(
        CDisplayRulesFile::DefaultPath().startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")))
        << "tests keep to their own configuration folder";
    const QString strPath = TestTempDir() + "rules.json";
    const CDisplayRulesFile file(strPath);
    SDisplayRules rules;
    rules.filter = {FilterRule(FC_PROCESS, REL_IS, "reg.exe"),
                    FilterRule(FC_PATH, REL_CONTAINS, " \"quoted\" ", FILTER_EXCLUDE),
                    FilterRule(FC_OLD_VALUE, REL_IS, "")};
    rules.bFilterOff = true;
    rules.highlight = {FilterRule(FC_PID, REL_LESS_THAN, "-3"),
                       FilterRule(FC_TIME, REL_BEGINS_WITH, "\u00e9")};
    rules.clrHighlight = 0x123456;
    rules.recent = {rules.filter, {FilterRule(FC_SEQ, REL_MORE_THAN, "7", FILTER_EXCLUDE)}};
    QString strError;
    ASSERT_TRUE(file.Save(rules, strError)) << strError.toStdString();
    SDisplayRules back;
    QString strMessage;
    ASSERT_TRUE(file.Load(back, strMessage));
    EXPECT_TRUE(strMessage.isEmpty()) << strMessage.toStdString();
    EXPECT_EQ(back, rules);
    // Each rule is kept as the text the command line takes.
    EXPECT_TRUE(ReadWholeFile(strPath).contains("\"rule\": \"Process Name is reg.exe\""));

    // No file: the defaults, and nothing to tell.
    ASSERT_TRUE(CDisplayRulesFile(TestTempDir() + "none.json").Load(back, strMessage));
    EXPECT_EQ(back, SDisplayRules());
    EXPECT_TRUE(strMessage.isEmpty());
}

TEST(DisplayRulesFile, RecentFiltersAreTheLastTenWithoutRepeats) {
    QList<CFilterRules> recent;
    for (int i = 0; i < 12; ++i)
        RememberRecentFilter(recent, {FilterRule(FC_SEQ, REL_IS, QString::number(i))});
    ASSERT_EQ(recent.size(), MAX_RECENT_FILTERS);
    EXPECT_EQ(recent.front().front().strValue, "11");
    EXPECT_EQ(recent.back().front().strValue, "2");
    RememberRecentFilter(recent, {FilterRule(FC_SEQ, REL_IS, "5")});
    EXPECT_EQ(recent.size(), MAX_RECENT_FILTERS);
    EXPECT_EQ(recent.front().front().strValue, "5");
    EXPECT_EQ(recent.count(CFilterRules{FilterRule(FC_SEQ, REL_IS, "5")}), 1);
    RememberRecentFilter(recent, {});
    EXPECT_EQ(recent.front().front().strValue, "5") << "an empty filter is not remembered";
}

TEST(DisplayRulesFile, RulesEditedBadlyAreLeftOutAndSaid) {
    const QString strPath = TestTempDir() + "rules.json";
    Write(strPath, R"({"filter": [
        {"action": "include", "rule": "Process Name is reg.exe"},
        {"action": "include", "rule": "Proces Name is x"},
        {"action": "maybe", "rule": "PID is 4"},
        {"action": "exclude", "rule": "PID less than many"}],
      "highlightColor": "yellow",
      "recentFilters": [[{"action": "exclude", "rule": "Path contains Run"}], 5, []]})");
    SDisplayRules rules;
    QString strMessage;
    ASSERT_TRUE(CDisplayRulesFile(strPath).Load(rules, strMessage));
    EXPECT_EQ(rules.filter, (CFilterRules{FilterRule(FC_PROCESS, REL_IS, "reg.exe")}));
    EXPECT_EQ(rules.recent,
              (QList<CFilterRules>{{FilterRule(FC_PATH, REL_CONTAINS, "Run", FILTER_EXCLUDE)}}));
    EXPECT_EQ(rules.clrHighlight, DEFAULT_HIGHLIGHT_COLOR);
    for (const char* p : {"Proces Name is x", "\"maybe\"", "PID less than needs a whole number",
                          "highlight colour"})
        EXPECT_TRUE(strMessage.contains(QLatin1String(p))) << p << ": " << strMessage.toStdString();
}

TEST(DisplayRulesFile, DamagedFilesAreKeptAsideNeverOverwritten) {
    const QString strDir = TestTempDir();
    const QString strPath = strDir + "rules.json";
    for (const QByteArray& bytes : {QByteArray("{\"filter\": [tru"), QByteArray("[1, 2]"),
                                    QByteArray(CDisplayRulesFile::MAX_FILE_BYTES + 1, ' ')}) {
        Write(strPath, bytes);
        SDisplayRules rules;
        rules.bFilterOff = true;
        QString strMessage;
        EXPECT_FALSE(CDisplayRulesFile(strPath).Load(rules, strMessage));
        EXPECT_EQ(rules, SDisplayRules());
        EXPECT_TRUE(strMessage.contains("are damaged")) << strMessage.toStdString();
        EXPECT_FALSE(QFile::exists(strPath));
    }
    // Each damaged copy under a name of its own.
    EXPECT_EQ(QDir(strDir).entryList(QDir::Files),
              (QStringList{"rules.json.damaged", "rules.json.damaged-2", "rules.json.damaged-3"}));
    EXPECT_EQ(ReadWholeFile(strPath + ".damaged"), "{\"filter\": [tru");

    // A folder in its place cannot be read, and is left alone.
    QDir().mkpath(strDir + "folder.json");
    SDisplayRules rules;
    QString strMessage;
    EXPECT_FALSE(CDisplayRulesFile(strDir + "folder.json").Load(rules, strMessage));
    EXPECT_TRUE(strMessage.contains("could not be read")) << strMessage.toStdString();
    EXPECT_TRUE(QFileInfo(strDir + "folder.json").isDir());
    QString strError;
    EXPECT_FALSE(CDisplayRulesFile(strDir + "folder.json").Save(rules, strError));
    EXPECT_FALSE(strError.isEmpty());
    EXPECT_FALSE(CDisplayRulesFile(QString()).Save(rules, strError));
    EXPECT_TRUE(strError.contains("configuration folder"));
}
