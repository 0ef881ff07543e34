// hivewatch-capture: its arguments, and the real program capturing and converting.
#include "settings/SetObj.h"
#include "tests/TestSupport.h"
#include "tools/capture/CaptureToolOptions.h"

#include <gtest/gtest.h>

#include <QProcess>

namespace {

bool Parse(const QStringList& args, SCaptureToolOptions& opts, QString& strError) {
    opts = SCaptureToolOptions();
    return ParseCaptureToolArgs(args, opts, strError);
}

struct SRun {
    int nExit;
    QString strOut, strErr;
};

SRun RunTool(const QStringList& args, const QString& strTrace = {}) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
    if (!strTrace.isEmpty()) {
        env.insert(QStringLiteral("HIVEWATCH_DRIVER_SOURCE"), QStringLiteral("replay:") + strTrace);
        env.insert(QStringLiteral("HIVEWATCH_DRIVER_PACE"), QStringLiteral("fast"));
    }
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(TestTempDir());
    p.start(QStringLiteral(HW_BIN_DIR "/hivewatch-capture"), args);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

} // namespace

TEST(CaptureToolArgs, AcceptsTheDocumentedForms) {
    SCaptureToolOptions o;
    QString e;
    ASSERT_TRUE(Parse({"--seconds", "5", "--out", "a.hvw", "--csv", "a.csv"}, o, e))
        << e.toStdString();
    EXPECT_EQ(o.dSeconds, 5);
    ASSERT_TRUE(Parse({"--count", "100", "--csv", "x", "--export-scope", "modified", "--launch",
                       "/bin/echo", "-n", "--out"},
                      o, e));
    EXPECT_EQ(o.nCount, 100);
    EXPECT_EQ(o.nExportScope, 2);
    EXPECT_EQ(o.strLaunch, QStringLiteral("/bin/echo"));
    EXPECT_EQ(o.arLaunchArgs, (QStringList{"-n", "--out"})); // the program's own arguments
    ASSERT_TRUE(Parse({"--in", "a.hvw", "--csv", "a.csv"}, o, e));
}

TEST(CaptureToolArgs, RejectsWhatCannotWork) {
    SCaptureToolOptions o;
    QString e;
    const QStringList bad[] = {
        {},                                // nothing to write
        {"--seconds", "-1", "--out", "a"}, // not positive
        {"--seconds", "abc", "--out", "a"},
        {"--count", "--out", "a"}, // value missing
        {"--attach", "0", "--out", "a"},
        {"--attach", "5", "--launch", "x", "--out", "a"},
        {"--export-scope", "some", "--csv", "a"},
        {"--in", "a.hvw", "--out", "b.hvw", "--csv", "c"}, // conversion writes CSV only
        {"--in", "a.hvw"},
        {"--frobnicate", "1", "--out", "a"},
        {"stray", "--out", "a"},
        {"--launch"},
    };
    for (const QStringList& args : bad) {
        EXPECT_FALSE(Parse(args, o, e)) << args.join(' ').toStdString();
        EXPECT_FALSE(e.isEmpty());
    }
}

TEST(CaptureToolRun, ReplaysATraceIntoBothFilesAndConvertsBack) {
    const QString strDir = TestTempDir();
    const SRun run = RunTool({"--until-idle", "1", "--out", strDir + "a.hvw", "--csv",
                              strDir + "a.csv", "--settings", strDir + "none.dat"},
                             TestDataPath("procmon_cucsec_excel_resaved.csv"));
    // A named settings file that does not exist is an error, not a silent default.
    EXPECT_EQ(run.nExit, 1);
    EXPECT_TRUE(run.strErr.contains(QStringLiteral("does not exist"))) << run.strErr.toStdString();

    // Default settings, named explicitly so that no settings file beside the program counts.
    CSetObj defaults;
    ASSERT_TRUE(SaveSettingsFile(strDir + "setobj.dat", &defaults));
    const SRun ok =
        RunTool({"--until-idle", "1", "--out", strDir + "a.hvw", "--csv", strDir + "a.csv",
                 "--export-scope", "all", "--settings", strDir + "setobj.dat"},
                TestDataPath("procmon_cucsec_excel_resaved.csv"));
    ASSERT_EQ(ok.nExit, 0) << ok.strErr.toStdString();
    // The default settings report only the modifying operations that succeeded or failed.
    const QByteArray csv = ReadWholeFile(strDir + "a.csv");
    ASSERT_TRUE(csv.startsWith("Seq,Time,ProcessName,PID,Request,Path,OldValue,NewValue\r\n"));
    const int nLines = int(csv.count("\r\n")) - 1;
    EXPECT_GT(nLines, 0);
    EXPECT_FALSE(csv.contains(",RegOpenKey,"));
    EXPECT_TRUE(ok.strOut.contains(QStringLiteral("wrote %1 records to").arg(nLines)));

    const SRun conv = RunTool({"--in", strDir + "a.hvw", "--csv", strDir + "b.csv"});
    ASSERT_EQ(conv.nExit, 0) << conv.strErr.toStdString();
    EXPECT_EQ(ReadWholeFile(strDir + "b.csv"), csv);
}

TEST(CaptureToolRun, BadArgumentsAndUnreadableFilesFailClearly) {
    const SRun usage = RunTool({"--seconds"});
    EXPECT_EQ(usage.nExit, 2);
    EXPECT_TRUE(usage.strErr.contains(QStringLiteral("Usage:")));
    const SRun missing = RunTool({"--in", "/nonexistent.hvw", "--csv", "x.csv"});
    EXPECT_EQ(missing.nExit, 1);
    EXPECT_TRUE(missing.strErr.contains(QStringLiteral("/nonexistent.hvw")));
    const SRun noProcess = RunTool({"--attach", "999999999", "--seconds", "1", "--csv", "x.csv"});
    EXPECT_EQ(noProcess.nExit, 1);
    EXPECT_TRUE(noProcess.strErr.contains(QStringLiteral("no running process")));
}
