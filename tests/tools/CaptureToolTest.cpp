// hivewatch-capture: its arguments, and the real program capturing and converting.
#include "capture/CsvExport.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "tests/TestSupport.h"
#include "tools/capture/CaptureToolOptions.h"
#include "winereg/WineRegistry.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

bool Parse(const QStringList& args, SCaptureToolOptions& opts, QString& strError) {
    opts = SCaptureToolOptions();
    return ParseCaptureToolArgs(args, opts, strError);
}

struct SRun {
    int nExit;
    QString strOut, strErr;
};

// Runs the real program; fnStarted runs while it does.
SRun RunToolWith(const QStringList& args, const QString& strTrace,
                 const std::function<void(QProcess&)>& fnStarted) {
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
    p.waitForStarted();
    fnStarted(p);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

SRun RunTool(const QStringList& args, const QString& strTrace = {}) {
    return RunToolWith(args, strTrace, [](QProcess&) {});
}

// The default settings in a file of their own, so no settings file beside the program counts.
QString DefaultSettings(const CSetObj& obj = CSetObj()) {
    const QString strPath = TestTempDir() + "setobj.dat";
    EXPECT_TRUE(SaveSettingsFile(strPath, &obj));
    return strPath;
}

// Waits for a file that a started program writes.
QByteArray WaitForFile(const QString& strPath) {
    for (int i = 0; i < 500 && QFileInfo(strPath).size() == 0; ++i)
        QThread::msleep(10);
    QThread::msleep(50);
    return QFileInfo::exists(strPath) ? ReadWholeFile(strPath) : QByteArray();
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
    ASSERT_TRUE(Parse({"--in", "a.hvw", "--undo-reg", "u.reg", "--redo-reg", "r.reg"}, o, e))
        << e.toStdString();
    EXPECT_EQ(o.Outputs(), (QStringList{"r.reg", "u.reg"}));
    ASSERT_TRUE(Parse({"--until-idle", "3", "--out", "a.hvw", "--undo-reg", "u.reg"}, o, e));
    ASSERT_TRUE(Parse({"--seconds", "1", "--redo-reg", "r.reg"}, o, e));
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
        {"--seconds", "nan", "--out", "a"}, // numbers are finite
        {"--until-idle", "inf", "--out", "a"},
        {"--count", "0.5", "--out", "a"}, // and whole where they count
        {"--count", "1e3", "--out", "a"},
        {"--count", "0", "--out", "a"},
        {"--pending-target", "--attach", "5", "--out", "a"},
        {"--in", "a.hvw", "--csv", "c", "--pending-target"},
        {"--in", "a.hvw", "--out", "b.hvw", "--undo-reg", "u.reg"},
        {"--in", "a.hvw", "--redo-reg"},
    };
    for (const QStringList& args : bad) {
        EXPECT_FALSE(Parse(args, o, e)) << args.join(' ').toStdString();
        EXPECT_FALSE(e.isEmpty());
    }
}

TEST(CaptureToolArgs, RulesAreReadInOrderAndMalformedOnesRefused) {
    SCaptureToolOptions o;
    QString e;
    ASSERT_TRUE(
        Parse({"--include", "Process Name is reg.exe", "--exclude", "request BEGINS WITH RegSet",
               "--include", "PID less than 400", "--csv", "x"},
              o, e))
        << e.toStdString();
    ASSERT_EQ(o.arRules.size(), 3);
    EXPECT_EQ(o.arRules[0].nColumn, FC_PROCESS);
    EXPECT_EQ(o.arRules[0].nAction, FILTER_INCLUDE);
    EXPECT_EQ(o.arRules[1].nRelation, REL_BEGINS_WITH);
    EXPECT_EQ(o.arRules[1].nAction, FILTER_EXCLUDE);
    EXPECT_EQ(o.arRules[2].strValue, "400");
    // Rules narrow a conversion too.
    ASSERT_TRUE(Parse({"--in", "a.hvw", "--csv", "a.csv", "--exclude", "Path contains Run"}, o, e));
    EXPECT_EQ(o.arRules.size(), 1);

    const std::pair<QStringList, const char*> bad[] = {
        {{"--include", "Proces Name is x", "--csv", "x"}, "--include rule \"Proces Name is x\""},
        {{"--exclude", "PID less than many", "--csv", "x"}, "needs a whole number"},
        {{"--include", "Path is", "--csv", "x"}, "no value follows"},
        {{"--csv", "x", "--exclude"}, "--exclude needs a value"},
    };
    for (const auto& [args, pWhat] : bad) {
        EXPECT_FALSE(Parse(args, o, e)) << args.join(' ').toStdString();
        EXPECT_TRUE(e.contains(QString::fromUtf8(pWhat))) << e.toStdString();
    }
}

TEST(CaptureToolArgs, UnknownOptionsAreReportedAsUnknown) {
    SCaptureToolOptions o;
    QString e;
    for (const QStringList& args :
         {QStringList{"--out", "a", "--frobnicate"}, QStringList{"--frob", "--out", "a"}}) {
        EXPECT_FALSE(Parse(args, o, e));
        EXPECT_TRUE(e.startsWith(QStringLiteral("unknown option --frob"))) << e.toStdString();
    }
    ASSERT_TRUE(Parse({"--pending-target", "--seconds", "2.5", "--out", "a"}, o, e));
    EXPECT_TRUE(o.bPendingTarget);
    EXPECT_EQ(o.dSeconds, 2.5);
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

    // Both files were written while the records arrived; they are the very files a save and an
    // export of the document write.
    const SRun conv = RunTool({"--in", strDir + "a.hvw", "--csv", strDir + "b.csv"});
    ASSERT_EQ(conv.nExit, 0) << conv.strErr.toStdString();
    EXPECT_EQ(ReadWholeFile(strDir + "b.csv"), csv);
    CHivewatchDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(strDir + "a.hvw"));
    ASSERT_TRUE(doc.OnSaveDocument(strDir + "b.hvw"));
    EXPECT_EQ(ReadWholeFile(strDir + "b.hvw"), ReadWholeFile(strDir + "a.hvw"));
}

// The same rules give the same rows as the window: its export of the events shown.
TEST(CaptureToolRun, RulesGiveTheRowsTheWindowShows) {
    const QString strDir = TestTempDir();
    const QString strIn = TestDataPath("hivewatch_replay_capture.hvw");
    const QStringList arRules = {"Request is RegQueryValue", "Request begins with RegCreate",
                                 "Path contains \\Nls\\"};
    QStringList args = {"--in", strIn, "--csv", strDir + "tool.csv"};
    CFilterRules rules;
    for (const QString& strRule : arRules) {
        const bool bExclude = strRule.startsWith("Path");
        args << (bExclude ? "--exclude" : "--include") << strRule;
        SFilterRule rule;
        QString strError;
        ASSERT_TRUE(
            ParseFilterRule(strRule, bExclude ? FILTER_EXCLUDE : FILTER_INCLUDE, rule, strError));
        rules << rule;
    }
    const SRun run = RunTool(args);
    ASSERT_EQ(run.nExit, 0) << run.strErr.toStdString();

    CHivewatchDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(strIn));
    ASSERT_TRUE(doc.SetDisplayFilter(rules));
    ASSERT_TRUE(ExportCsv(doc, strDir + "window.csv", EXPORT_ALL, {}, true).bOk);
    const QByteArray csv = ReadWholeFile(strDir + "tool.csv");
    EXPECT_EQ(csv, ReadWholeFile(strDir + "window.csv"));
    const int nLines = int(csv.count("\r\n")) - 1;
    EXPECT_EQ(nLines, doc.GetShownCount());
    EXPECT_GT(nLines, 10);
    EXPECT_LT(nLines, doc.GetRecordCount());
    EXPECT_FALSE(csv.contains("\\Nls\\"));
    EXPECT_TRUE(run.strOut.contains(QStringLiteral("wrote %1 records to").arg(nLines)));

    // A live capture is narrowed as it arrives, in both files: the same capture without the
    // rule, less its records that match.
    const QString strTrace = TestDataPath("procmon_cucsec_excel_resaved.csv");
    const QString strSettings = DefaultSettings();
    const SRun all = RunTool(
        {"--until-idle", "1", "--settings", strSettings, "--csv", strDir + "all.csv"}, strTrace);
    ASSERT_EQ(all.nExit, 0) << all.strErr.toStdString();
    const SRun live =
        RunTool({"--until-idle", "1", "--settings", strSettings, "--out", strDir + "live.hvw",
                 "--csv", strDir + "live.csv", "--exclude", "Request is RegSetValueKey"},
                strTrace);
    ASSERT_EQ(live.nExit, 0) << live.strErr.toStdString();
    QList<QByteArray> expected;
    for (const QByteArray& line : ReadWholeFile(strDir + "all.csv").split('\n')) {
        if (!line.contains(",RegSetValueKey,"))
            expected << line;
    }
    const QByteArray liveCsv = ReadWholeFile(strDir + "live.csv");
    EXPECT_EQ(liveCsv.split('\n'), expected);
    const int nLive = int(liveCsv.count("\r\n")) - 1;
    EXPECT_GT(nLive, 0);
    EXPECT_LT(nLive, int(ReadWholeFile(strDir + "all.csv").count("\r\n")) - 1);
    CHivewatchDoc saved;
    ASSERT_TRUE(saved.OnOpenDocument(strDir + "live.hvw"));
    EXPECT_EQ(saved.GetRecordCount(), nLive);
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

// File names are bytes: a name that is not UTF-8 is read and written by those very bytes, and
// messages show the odd bytes as \xHH. A FIFO named as the input is refused, not waited on.
TEST(CaptureToolRun, NamesThatAreNotUtf8AreUsedAsGivenAndAFifoIsRefused) {
    const QString strDir = TestTempDir();
    const QByteArray dir = QFile::encodeName(strDir);
    ASSERT_TRUE(QFile::copy(TestDataPath("hivewatch_edge_records.hvw"), strDir + "ok.hvw"));
    ASSERT_EQ(RunTool({"--in", strDir + "ok.hvw", "--csv", strDir + "ok.csv"}).nExit, 0);
    const QByteArray csv = ReadWholeFile(strDir + "ok.csv");
    // The names are made by the shell: QProcess would pass every argument as UTF-8.
    auto runShell = [&](const char* pCommand) {
        QProcess p;
        p.start(QStringLiteral("/bin/sh"),
                {QStringLiteral("-c"), QString::fromLatin1(pCommand),
                 QStringLiteral(HW_BIN_DIR "/hivewatch-capture"), strDir});
        p.waitForFinished(60000);
        return SRun{p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                    QString::fromUtf8(p.readAllStandardError())};
    };
    const SRun out =
        runShell(R"sh(exec "$0" --in "$1ok.hvw" --csv "$(printf '%s\377\376 bad.csv' "$1")")sh");
    ASSERT_EQ(out.nExit, 0) << out.strErr.toStdString();
    EXPECT_TRUE(out.strOut.contains(QStringLiteral("to %1\\xFF\\xFE bad.csv").arg(strDir)))
        << out.strOut.toStdString();
    QFile written;
    const int fd = ::open((dir + "\xff\xfe bad.csv").constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0) << "the file has the very name given, not another";
    ASSERT_TRUE(written.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
    EXPECT_EQ(written.readAll(), csv);

    ASSERT_TRUE(QFile::copy(strDir + "ok.hvw", strDir + "in.hvw"));
    ASSERT_EQ(::rename(dir + "in.hvw", dir + "\xff\xfe in.hvw"), 0);
    const SRun in =
        runShell(R"sh(exec "$0" --in "$(printf '%s\377\376 in.hvw' "$1")" --csv "$1in.csv")sh");
    ASSERT_EQ(in.nExit, 0) << in.strErr.toStdString();
    EXPECT_EQ(ReadWholeFile(strDir + "in.csv"), csv);

    const SRun missing =
        runShell(R"sh(exec "$0" --in "$(printf '%s\377 none.hvw' "$1")" --csv "$1x.csv")sh");
    EXPECT_EQ(missing.nExit, 1);
    EXPECT_TRUE(missing.strErr.contains(QStringLiteral("\\xFF none.hvw: the file does not exist")))
        << missing.strErr.toStdString();

    ASSERT_EQ(mkfifo(dir + "fifo.hvw", 0600), 0);
    const SRun fifo = RunTool({"--in", strDir + "fifo.hvw", "--csv", strDir + "f.csv"});
    EXPECT_EQ(fifo.nExit, 1);
    EXPECT_TRUE(fifo.strErr.contains(QStringLiteral("FIFO"))) << fifo.strErr.toStdString();
}

// A full disk or a file-size limit makes the write fail, the tool say so and exit 1, and the
// old file stay; the file-size signal does not kill the tool.
TEST(CaptureToolRun, FullDiskFailsAndKeepsTheOldFiles) {
    const QString strDir = TestTempDir();
    CHivewatchDoc doc;
    for (int i = 1; i <= 8; ++i) {
        auto* p = new CRegInfoObj;
        p->m_nSeq = i;
        doc.AppendRecord(p);
    }
    ASSERT_TRUE(doc.OnSaveDocument(strDir + "eight.hvw"));

    CFullDisk disk;
    if (!disk.Available())
        GTEST_SKIP() << disk.Why().toStdString();
    const QByteArray old(3000, 'o');
    for (const char* pName : {"old.hvw", "old.csv"}) {
        QFile f(disk.Dir() + pName);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(old);
    }
    disk.Fill();
    // The tool must ignore the file-size signal itself, so it starts with the default action.
    std::signal(SIGXFSZ, SIG_DFL);
    const SRun conv = RunTool({"--in", strDir + "eight.hvw", "--csv", disk.Dir() + "old.csv"});
    SRun capture{1, {}, {}};
    if (disk.IsMounted()) // the driver copy must be written, so no file-size limit here
        capture = RunTool(
            {"--count", "8", "--out", disk.Dir() + "old.hvw", "--settings", DefaultSettings()},
            TestDataPath("procmon_sre_malware.csv"));
    std::signal(SIGXFSZ, SIG_IGN);
    disk.Release();
    EXPECT_EQ(conv.nExit, 1) << conv.strErr.toStdString();
    EXPECT_TRUE(conv.strErr.contains(QStringLiteral("old.csv"))) << conv.strErr.toStdString();
    EXPECT_TRUE(conv.strOut.isEmpty()) << conv.strOut.toStdString();
    EXPECT_EQ(capture.nExit, 1) << capture.strOut.toStdString();
    if (disk.IsMounted()) {
        EXPECT_TRUE(capture.strErr.contains(QStringLiteral("the disk is full")))
            << capture.strErr.toStdString();
    }
    EXPECT_EQ(ReadWholeFile(disk.Dir() + "old.csv"), old);
    EXPECT_EQ(ReadWholeFile(disk.Dir() + "old.hvw"), old);
}

// --count N: exactly N records in the document and the CSV, though the capture thread files
// thousands a second.
TEST(CaptureToolRun, CountStopsAtExactlyThatManyRecords) {
    const QString strDir = TestTempDir();
    const SRun run = RunTool({"--count", "8", "--out", strDir + "a.hvw", "--csv", strDir + "a.csv",
                              "--settings", DefaultSettings()},
                             TestDataPath("procmon_akagi64_uacme.csv"));
    ASSERT_EQ(run.nExit, 0) << run.strErr.toStdString();
    EXPECT_EQ(run.strOut.count(QStringLiteral("wrote 8 records")), 2) << run.strOut.toStdString();
    EXPECT_EQ(ReadWholeFile(strDir + "a.csv").count('\n'), 9);
    EXPECT_EQ(ReadWholeFile(strDir + "a.hvw").left(4), QByteArray::fromHex("08000000"));
}

TEST(CaptureToolRun, OutputsThatCannotWorkAreRefusedBeforeCapturing) {
    const QString strDir = TestTempDir();
    const QString strFifo = strDir + "fifo";
    ASSERT_EQ(mkfifo(QFile::encodeName(strFifo).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(strDir + "a.hvw", strDir + "link.hvw"));
    QFile existing(strDir + "a.hvw");
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.close();
    struct {
        QStringList args;
        const char* pWhy;
    } cases[] = {
        {{"--seconds", "30", "--out", strDir + "x", "--csv", strDir + "./x"}, "same file"},
        {{"--seconds", "30", "--out", strDir + "a.hvw", "--csv", strDir + "link.hvw"}, "same file"},
        {{"--in", strDir + "a.hvw", "--csv", strDir + "link.hvw"}, "same file"},
        {{"--seconds", "30", "--out", strFifo}, "FIFO"},
        {{"--seconds", "30", "--csv", strDir}, "folder"},
        {{"--seconds", "30", "--csv", strDir + "none/x.csv"}, "folder does not exist"},
    };
    for (const auto& c : cases) {
        const SRun run = RunTool(c.args);
        EXPECT_EQ(run.nExit, 1) << c.args.join(' ').toStdString();
        EXPECT_TRUE(run.strErr.contains(QLatin1String(c.pWhy))) << run.strErr.toStdString();
    }
    EXPECT_TRUE(QFileInfo::exists(strFifo) && !QFileInfo(strFifo).isFile());
}

// The registry changes of a saved capture as redo and undo files: each names what it does,
// reads back as a .reg file, and carries the registry both ways.
TEST(CaptureToolRun, RedoAndUndoFilesFromASavedCapture) {
    const QString strDir = TestTempDir();
    CHivewatchDoc doc;
    const auto add = [&](const char* pRequest, const char* pPath, const char* pOld,
                         const char* pNew) {
        auto* p = new CRegInfoObj;
        p->m_strProcessName = QStringLiteral("setup.exe");
        p->m_strRequest = QString::fromUtf8(pRequest);
        p->m_strPath = QString::fromUtf8(pPath);
        p->m_strResult = QStringLiteral("SUCCESS");
        p->m_strOldValue = QString::fromUtf8(pOld);
        p->m_strNewValue = QString::fromUtf8(pNew);
        doc.AppendRecord(p);
    };
    add("RegCreateKey(New)", "HKCU\\Software\\Tool", "", "");
    add("RegSetValueKey", "HKCU\\Software\\Tool\\On", "", "REG_DWORD: 0x00000001 (1)");
    add("RegSetValueKey", "HKLM\\Software\\Shared\\Mode", "REG_SZ: old", "REG_SZ: new");
    add("RegDeleteKey", "HKCU\\Software\\Stale", "KEY: \"x\"=REG_SZ:\"y\"", "");
    QString strError;
    ASSERT_TRUE(doc.OnSaveDocument(strDir + "c.hvw", &strError)) << strError.toStdString();

    const SRun run = RunTool({"--in", strDir + "c.hvw", "--redo-reg", strDir + "redo.reg",
                              "--undo-reg", strDir + "undo.reg"});
    ASSERT_EQ(run.nExit, 0) << run.strErr.toStdString();
    EXPECT_TRUE(run.strOut.contains(QStringLiteral("wrote the undo file %1undo.reg: 1 key created, "
                                                   "1 key deleted, 1 value created, 1 value "
                                                   "changed, 1 value deleted")
                                        .arg(strDir)))
        << run.strOut.toStdString();
    CWineRegistry registry;
    registry.CreateKey(u"HKCU\\Software\\Tool")
        ->SetValue({QStringLiteral("On"), REG_DWORD, RegDwordData(1)});
    registry.CreateKey(u"HKLM\\Software\\Shared")
        ->SetValue({QStringLiteral("Mode"), REG_SZ, RegStringData(u"new")});
    ASSERT_TRUE(registry.ImportRegFile(strDir + "undo.reg", strError)) << strError.toStdString();
    EXPECT_EQ(registry.FindKey(u"HKCU\\Software\\Tool"), nullptr);
    EXPECT_EQ(registry.FindKey(u"HKLM\\Software\\Shared")->FindValue(u"Mode")->m_data,
              RegStringData(u"old"));
    EXPECT_EQ(registry.FindKey(u"HKCU\\Software\\Stale")->FindValue(u"x")->m_data,
              RegStringData(u"y"));
    ASSERT_TRUE(registry.ImportRegFile(strDir + "redo.reg", strError)) << strError.toStdString();
    EXPECT_EQ(registry.FindKey(u"HKCU\\Software\\Stale"), nullptr);
    EXPECT_NE(registry.FindKey(u"HKCU\\Software\\Tool"), nullptr);

    const SRun same = RunTool({"--in", strDir + "c.hvw", "--redo-reg", strDir + "x.reg",
                               "--undo-reg", strDir + "./x.reg"});
    EXPECT_EQ(same.nExit, 1);
    EXPECT_TRUE(same.strErr.contains(QStringLiteral("same file"))) << same.strErr.toStdString();
}

// After a live capture of a recorded Wine trace: the document and both files, the tree that
// reg.exe made and deleted again in neither.
TEST(CaptureToolRun, RedoAndUndoFilesAfterALiveCapture) {
    const QString strDir = TestTempDir();
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HIVEWATCH_DRIVER_SOURCE"),
               QStringLiteral("wine-trace:") + TestDataPath("wine_trace_reg_ops.txt"));
    env.insert(QStringLiteral("HIVEWATCH_DRIVER_PACE"), QStringLiteral("fast"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(HW_BIN_DIR "/hivewatch-capture"),
            {"--until-idle", "2", "--settings", DefaultSettings(), "--out", strDir + "w.hvw",
             "--redo-reg", strDir + "w-redo.reg", "--undo-reg", strDir + "w-undo.reg"});
    ASSERT_TRUE(p.waitForFinished(120000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const QString strOut = QString::fromLocal8Bit(p.readAllStandardOutput());
    EXPECT_TRUE(strOut.contains(QStringLiteral("records to %1w.hvw").arg(strDir)));
    for (const QString& strName : {QStringLiteral("w-redo.reg"), QStringLiteral("w-undo.reg")}) {
        const QByteArray bytes = ReadWholeFile(strDir + strName);
        ASSERT_TRUE(bytes.startsWith(QByteArrayView("\xff\xfeW\0i\0n\0d\0o\0w\0s\0", 16)))
            << strName.toStdString();
        const QString strText = QString::fromUtf16(
            reinterpret_cast<const char16_t*>(bytes.constData() + 2), (bytes.size() - 2) / 2);
        EXPECT_FALSE(strText.contains(QStringLiteral("HwTrace"))) << strName.toStdString();
        CWineRegistry registry;
        QString strError;
        EXPECT_TRUE(registry.ImportRegFile(strDir + strName, strError)) << strError.toStdString();
    }
}

// A hang-up ends the capture like Ctrl-C: what was captured is saved.
TEST(CaptureToolRun, HangUpSavesWhatWasCaptured) {
    const QString strDir = TestTempDir();
    const SRun run = RunToolWith(
        {"--seconds", "100", "--out", strDir + "a.hvw", "--settings", DefaultSettings()}, {},
        [](QProcess& p) {
            QThread::msleep(1500);
            kill(pid_t(p.processId()), SIGHUP);
        });
    ASSERT_EQ(run.nExit, 0) << run.strErr.toStdString();
    CHivewatchDoc doc;
    EXPECT_TRUE(doc.OnOpenDocument(strDir + "a.hvw"));
    EXPECT_TRUE(run.strOut.contains(QStringLiteral("wrote %1 records").arg(doc.GetRecordCount())));
}

// A target left pending in the settings starts nothing unless asked for.
TEST(CaptureToolRun, PendingTargetIsUsedOnlyWhenAsked) {
    const QString strDir = TestTempDir();
    CSetObj pending;
    pending.m_nCaptureScope = SCOPE_NEW_PROGRAM;
    pending.m_strNewProgram = QStringLiteral("/bin/sh");
    pending.m_strNewParams = QStringLiteral("-c \"echo ran > %1marker\"").arg(strDir);
    const QString strSettings = DefaultSettings(pending);

    const SRun plain =
        RunTool({"--seconds", "1", "--csv", strDir + "a.csv", "--settings", strSettings});
    EXPECT_EQ(plain.nExit, 0) << plain.strErr.toStdString();
    EXPECT_TRUE(plain.strErr.contains(QStringLiteral("pending target")));
    QThread::msleep(300); // a started program would have written it long before
    EXPECT_FALSE(QFileInfo::exists(strDir + "marker"));

    const SRun asked = RunTool({"--seconds", "1", "--csv", strDir + "a.csv", "--settings",
                                strSettings, "--pending-target"});
    EXPECT_EQ(asked.nExit, 0) << asked.strErr.toStdString();
    EXPECT_EQ(WaitForFile(strDir + "marker"), QByteArray("ran\n"));

    CSetObj gone;
    gone.m_nCaptureScope = SCOPE_ATTACHED;
    gone.m_nAttachPid = 999999999;
    const SRun attach = RunTool({"--seconds", "1", "--csv", strDir + "b.csv", "--settings",
                                 DefaultSettings(gone), "--pending-target"});
    EXPECT_EQ(attach.nExit, 1);
    EXPECT_TRUE(attach.strErr.contains(QStringLiteral("is not running")));
}

TEST(CaptureToolRun, LaunchPassesArgumentsExactlyAndSaysWhyItFailed) {
    const QString strDir = TestTempDir();
    const QString strOut = strDir + "args.txt";
    const SRun run = RunTool({"--seconds", "1", "--csv", strDir + "a.csv", "--settings",
                              DefaultSettings(), "--launch", "/bin/sh", "-c",
                              "for a in \"$@\"; do printf '[%s]' \"$a\"; done > \"$0\"", strOut,
                              "two words", "\"quoted\"", "", "tab\there"});
    EXPECT_EQ(run.nExit, 0) << run.strErr.toStdString();
    EXPECT_EQ(WaitForFile(strOut), QByteArray("[two words][\"quoted\"][][tab\there]"));

    for (const auto& [strProgram, pWhy] :
         {std::pair{strDir + "missing", "was not found"}, std::pair{strDir, "is a folder"}}) {
        const SRun failed = RunTool({"--seconds", "1", "--csv", strDir + "b.csv", "--settings",
                                     DefaultSettings(), "--launch", strProgram});
        EXPECT_EQ(failed.nExit, 1);
        EXPECT_TRUE(failed.strErr.contains(QLatin1String(pWhy))) << failed.strErr.toStdString();
        EXPECT_TRUE(failed.strErr.contains(QStringLiteral("Can not start a new process")));
    }
}

TEST(CaptureToolRun, UnreadableNamedSettingsStopTheTool) {
    const QString strPath = TestTempDir() + "setobj.dat";
    QFile f(strPath);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("short");
    f.close();
    const SRun run =
        RunTool({"--seconds", "1", "--csv", TestTempDir() + "a.csv", "--settings", strPath});
    EXPECT_EQ(run.nExit, 1);
    EXPECT_TRUE(run.strErr.contains(QStringLiteral("damaged"))) << run.strErr.toStdString();
    EXPECT_TRUE(run.strErr.contains(QStringLiteral("stopping"))) << run.strErr.toStdString();
    EXPECT_FALSE(run.strErr.contains(QStringLiteral("defaults stay")));
    EXPECT_EQ(ReadWholeFile(strPath), QByteArray("short")) << "a named file is left as it is";

    // A FIFO would wait forever for a writer: it is refused at once.
    const QString strFifo = TestTempDir() + "fifo";
    ASSERT_EQ(mkfifo(QFile::encodeName(strFifo).constData(), 0600), 0);
    const SRun fifo =
        RunTool({"--seconds", "1", "--csv", TestTempDir() + "b.csv", "--settings", strFifo});
    EXPECT_EQ(fifo.nExit, 1);
    EXPECT_TRUE(fifo.strErr.contains(QStringLiteral("it is a FIFO, not a regular file")))
        << fifo.strErr.toStdString();
}

// Filter lists too long for the driver's filter would lose entries: the tool refuses them and
// says by how much they are too long.
TEST(CaptureToolRun, FilterListsThatDoNotFitStopTheTool) {
    CSetObj tooLong;
    tooLong.m_arProcExclude = {QString(1040, QLatin1Char('p'))};
    const QString strSettings = DefaultSettings(tooLong);
    const QString strCsv = TestTempDir() + "a.csv";
    const SRun run = RunTool({"--seconds", "1", "--csv", strCsv, "--settings", strSettings});
    EXPECT_EQ(run.nExit, 1);
    EXPECT_TRUE(run.strErr.contains(
        QStringLiteral("the filter lists of %1 do not fit the driver's filter: the exclude")
            .arg(strSettings)))
        << run.strErr.toStdString();
    EXPECT_TRUE(run.strErr.contains(QStringLiteral("too many"))) << run.strErr.toStdString();
    EXPECT_TRUE(run.strErr.contains(QStringLiteral("stopping without capturing")));
    EXPECT_FALSE(QFileInfo::exists(strCsv));
}
