// Include and exclude texts composed from the settings and the pending target.
#include "capture/FilterComposer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// As the window composes it: its process name, hivewatch, is already HIVEWATCH.EXE to the
// driver.
QString Include(const CSetObj& s) {
    return ComposeFilterTexts(s, QStringLiteral("hivewatch")).strInclude;
}
QString Exclude(const CSetObj& s) {
    return ComposeFilterTexts(s, QStringLiteral("hivewatch")).strExclude;
}

} // namespace

TEST(FilterComposer, AllProcessesScope) {
    CSetObj s;
    EXPECT_EQ(Include(s), QStringLiteral("*"));
    EXPECT_EQ(Exclude(s), QStringLiteral("HIVEWATCH.EXE"));
    EXPECT_EQ(ComposeFilterTexts(s).nTargetPid, -1);

    s.m_arProcInclude = {QStringLiteral("notepad.exe"), QStringLiteral("*"),
                         QStringLiteral("calc.exe")};
    EXPECT_EQ(Include(s), QStringLiteral("*"));
    s.m_arPathInclude = {QStringLiteral("HKLM\\SOFTWARE")};
    EXPECT_EQ(Include(s), QStringLiteral("*;HKLM\\SOFTWARE"));

    s.m_arProcInclude.clear();
    EXPECT_EQ(Include(s), QStringLiteral(";HKLM\\SOFTWARE")); // the leading separator stays

    s.m_arProcInclude = {QStringLiteral("a.exe"), QStringLiteral("b")};
    s.m_arPathInclude = {QStringLiteral("HKLM\\A"), QStringLiteral("*"), QStringLiteral("HKLM\\B")};
    EXPECT_EQ(Include(s), QStringLiteral("A.EXE;B;HKLM\\A;"));

    s.m_arProcExclude = {QStringLiteral("svchost.exe"), QStringLiteral("x")};
    s.m_arPathExclude = {QStringLiteral("HKCU\\Software\\Classes"), QStringLiteral("*")};
    EXPECT_EQ(Exclude(s), QStringLiteral("SVCHOST.EXE;X;HIVEWATCH.EXE;HKCU\\SOFTWARE\\CLASSES;*"));
}

// No Hivewatch program reports itself: a process name the driver would not match with
// HIVEWATCH.EXE (it ignores case and a trailing .exe) is excluded as well.
TEST(FilterComposer, AllProcessesScopeExcludesTheRunningProgram) {
    CSetObj s;
    const auto exclude = [&](const char* pOwn) {
        return ComposeFilterTexts(s, QString::fromLatin1(pOwn)).strExclude;
    };
    EXPECT_EQ(exclude("hivewatch-capture"), QStringLiteral("HIVEWATCH.EXE;HIVEWATCH-CAPTURE"));
    EXPECT_EQ(exclude("Hivewatch.EXE"), QStringLiteral("HIVEWATCH.EXE"));
    EXPECT_EQ(exclude("HIVEWATCH"), QStringLiteral("HIVEWATCH.EXE"));
    EXPECT_EQ(exclude(""), QStringLiteral("HIVEWATCH.EXE"));
    EXPECT_EQ(exclude("odd;name"), QStringLiteral("HIVEWATCH.EXE")); // never a second entry
    s.m_arProcExclude = {QStringLiteral("a.exe")};
    s.m_arPathExclude = {QStringLiteral("HKLM\\X")};
    EXPECT_EQ(exclude("hivewatch-regedit"),
              QStringLiteral("A.EXE;HIVEWATCH.EXE;HIVEWATCH-REGEDIT;HKLM\\X"));
    // This test program's own name, found by the composer itself.
    EXPECT_TRUE(ComposeFilterTexts(s).strExclude.contains(QStringLiteral("HW_CAPTURE_TESTS")));
    s.m_nCaptureScope = SCOPE_ATTACHED;
    EXPECT_FALSE(exclude("hivewatch-capture").contains(QStringLiteral("HIVEWATCH")));
}

// A target is watched by its process tree (the driver gets its process ID), so its name is not
// in the include text: a child of another name would be lost. The paths still apply.
TEST(FilterComposer, AttachedAndNewProgramScopes) {
    CSetObj s;
    s.m_nCaptureScope = SCOPE_ATTACHED;
    s.m_strAttachName = QStringLiteral("notepad.exe");
    s.m_nAttachPid = 1234;
    s.m_arProcExclude = {QStringLiteral("ignored.exe")};
    s.m_arPathExclude = {QStringLiteral("HKLM\\X")};
    SComposedFilter f = ComposeFilterTexts(s);
    EXPECT_EQ(f.strInclude, QString());
    EXPECT_EQ(f.strExclude, QStringLiteral("HKLM\\X")); // the own executable is not excluded
    EXPECT_EQ(f.nTargetPid, 1234);

    s.m_nCaptureScope = SCOPE_NEW_PROGRAM;
    s.m_strNewProgram = QStringLiteral("C:\\Tools\\app.exe");
    s.m_arPathInclude = {QStringLiteral("HKCU")};
    f = ComposeFilterTexts(s);
    EXPECT_EQ(f.strInclude, QStringLiteral(";HKCU"));
    EXPECT_EQ(f.nTargetPid, -1) << "known once the program is started";

    s.m_nCaptureScope = 7; // no process part at all
    EXPECT_EQ(Include(s), QStringLiteral(";HKCU"));
    EXPECT_EQ(Exclude(s), QStringLiteral("HKLM\\X"));
}

// Texts too long for their 1024-byte area lose whole entries, never part of one; the
// program's own exclusion always goes. Texts that fit go unchanged.
TEST(FilterComposer, LongTextsLoseWholeEntriesOnly) {
    CSetObj s;
    s.m_arProcInclude.clear();
    for (int i = 0; i < 300; ++i)
        s.m_arProcInclude << QStringLiteral("proc%1.exe").arg(i, 2, 10, QLatin1Char('0')).left(10);
    SComposedFilter f = ComposeFilterTexts(s);
    EXPECT_EQ(f.strInclude.size(), 3299);
    // 93 entries of ten characters and their separators take 1022 bytes; a 94th would not fit.
    EXPECT_EQ(FitFilterText(f.strInclude), f.strInclude.left(93 * 11 - 1).toLatin1());

    EXPECT_EQ(FitFilterText(QString(1023, QLatin1Char('A'))), QByteArray(1023, 'A'));
    EXPECT_EQ(FitFilterText(QString(1024, QLatin1Char('A'))), QByteArray()); // never a part
    EXPECT_EQ(FitFilterText(QStringLiteral("B;") + QString(1030, QChar(0x00C9)) + ";C"), "B;C");
    EXPECT_EQ(FitFilterText(QString(511, QChar(0x00C9))).size(), 1022); // fits as it is
    const QString strSparse = QStringLiteral(";A;;B;") + QString(1017, QLatin1Char('C'));
    EXPECT_EQ(FitFilterText(strSparse, QStringLiteral("A")), strSparse.toLatin1()); // as it is

    // An exclude entry that fills the area ahead of one for HKLM: the HKLM entry is left out
    // whole instead of becoming "HKLM", which would exclude every HKLM record.
    s.ResetDefaults();
    const QString strLong = QStringLiteral("HKCU\\") + QString(980, QLatin1Char('A'));
    s.m_arPathExclude = {strLong, QStringLiteral("HKLM\\SOFTWARE\\Nothing")};
    f = ComposeFilterTexts(s, QStringLiteral("hivewatch-capture"));
    EXPECT_EQ(f.strExcludeKept, QStringLiteral("HIVEWATCH.EXE;HIVEWATCH-CAPTURE"));
    EXPECT_EQ(FitFilterText(f.strExclude, f.strExcludeKept),
              "HIVEWATCH.EXE;HIVEWATCH-CAPTURE;" + strLong.toUpper().toLatin1());

    // One process exclude entry longer than the area cannot crowd out the own exclusion.
    s.m_arProcExclude = {QString(1040, QLatin1Char('p')), QStringLiteral("q.exe")};
    s.m_arPathExclude = {QStringLiteral("HKLM\\X")};
    f = ComposeFilterTexts(s, QStringLiteral("hivewatch"));
    EXPECT_EQ(FitFilterText(f.strExclude, f.strExcludeKept), "Q.EXE;HIVEWATCH.EXE;HKLM\\X");
    // Kept entries have their room set aside before the entries ahead of them are taken.
    s.m_arProcExclude = QStringList(100, QStringLiteral("abcdefghij"));
    f = ComposeFilterTexts(s, QStringLiteral("hivewatch"));
    EXPECT_EQ(FitFilterText(f.strExclude, f.strExcludeKept),
              QStringList(91, QStringLiteral("ABCDEFGHIJ")).join(';').toLatin1() +
                  ";HIVEWATCH.EXE;HKLM\\X");

    // An attached target sends no name; its path entries are cut whole like any other.
    s.ResetDefaults();
    s.m_nCaptureScope = SCOPE_ATTACHED;
    s.m_strAttachName = QStringLiteral("notepad.exe");
    s.m_arPathInclude = QStringList(200, QStringLiteral("HKLM\\SOFTWARE"));
    f = ComposeFilterTexts(s);
    const QByteArray include = FitFilterText(f.strInclude, f.strIncludeKept);
    EXPECT_TRUE(include.startsWith("HKLM\\SOFTWARE;")) << include.left(40).toStdString();
    EXPECT_EQ(include.size(), 73 * 14 - 1); // 73 whole path entries; a cut drops empty ones
}

// What the Options dialog and hivewatch-capture tell the user: the bytes the entries take and
// the room left for them beside the entries that always go.
TEST(FilterComposer, OverflowIsDescribedWithTheRoomLeft) {
    CSetObj s;
    EXPECT_TRUE(FilterOverflowText(ComposeFilterTexts(s, QStringLiteral("hivewatch"))).isEmpty());
    s.m_arPathExclude = {QString(1009, QLatin1Char('X'))}; // with HIVEWATCH.EXE; exactly 1023
    EXPECT_TRUE(FilterOverflowText(ComposeFilterTexts(s, QStringLiteral("hivewatch"))).isEmpty());
    s.m_arPathExclude = {QString(1040, QLatin1Char('X'))};
    EXPECT_EQ(FilterOverflowText(ComposeFilterTexts(s, QStringLiteral("hivewatch"))),
              QStringLiteral("the exclude (Process Exclude(s) and Path Exclude(s)) entries take "
                             "1040 bytes, but only 1009 bytes are left for them (31 too many)"));
    s.m_arPathInclude = QStringList(100, QStringLiteral("HKLM\\ABCDEF"));
    const QString strBoth = FilterOverflowText(ComposeFilterTexts(s, QStringLiteral("hivewatch")));
    EXPECT_TRUE(strBoth.startsWith(QStringLiteral(
        "the include (Process Include(s) and Path Include(s)) entries take 1201 bytes, but "
        "only 1023 bytes are left for them (178 too many); the exclude")))
        << strBoth.toStdString();
}

TEST(FilterComposer, BlockCarriesTheSwitchesAndOnlyTheComposedTexts) {
    CSetObj s;
    std::memset(s.m_Filter.szExclude, 'Z',
                sizeof(s.m_Filter.szExclude)); // stored texts never go out
    s.m_Filter.bSwitch[14] = 1;
    s.m_Filter.bSwitch[2] = 1;
    for (int scope : {SCOPE_ATTACHED, SCOPE_NEW_PROGRAM, SCOPE_ALL}) {
        s.m_nCaptureScope = scope;
        const FILTER_BLOCK block = BuildFilterBlock(s, ComposeFilterTexts(s));
        EXPECT_EQ(std::memcmp(block.bSwitch, s.m_Filter.bSwitch, 17), 0);
        const char* pBytes = reinterpret_cast<const char*>(&block);
        const QByteArray inc(pBytes, 1024), exc(pBytes + 1024, 1024);
        EXPECT_EQ(inc.indexOf('\0') >= 0, true);
        EXPECT_EQ(QByteArray(inc.constData()), ComposeFilterTexts(s).strInclude.toUtf8());
        EXPECT_EQ(QByteArray(exc.constData()), ComposeFilterTexts(s).strExclude.toUtf8());
        EXPECT_EQ(inc.mid(inc.indexOf('\0')).count('\0'), 1024 - inc.indexOf('\0'));
    }
}
