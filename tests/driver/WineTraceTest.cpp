// Reading Wine server traces: the line pieces, the parser's records on a real trace, and the
// wine-trace source through the built driver.
#include "tests/TestSupport.h"
#include "tests/driver/DriverTestSupport.h"

#include "driver/DriverConfig.h"
#include "driver/LineSplitter.h"
#include "driver/WineServerSource.h"
#include "driver/WineShadowLoader.h"
#include "driver/WineTraceParser.h"
#include "driver/WineValueText.h"
#include "platform/WineEnvironment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

namespace {

std::string Record(const SDriverEvent& ev) {
    return std::to_string(ev.m_nPid) + " " +
           FormatRecordText(ev).substr(FormatRecordText(ev).find('\t') + 1);
}

// Every record of the trace whose path mentions strMark, as "pid process\trequest\t...".
std::vector<std::string> RecordsOf(const char* pszFile, const std::string& strMark,
                                   uint64_t* pSkipped = nullptr) {
    std::ifstream in(TestDataPath(pszFile).toStdString(), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    CWineShadowRegistry shadow;
    CWineTraceParser parser(&shadow);
    CLineSplitter splitter;
    std::vector<SDriverEvent> arEvents;
    std::vector<std::string> arRecords;
    splitter.Feed(ss.str(), [&](std::string_view line, bool) {
        arEvents.clear();
        parser.ParseLine(line, arEvents);
        for (const SDriverEvent& ev : arEvents)
            if (ev.m_strPath.find(strMark) != std::string::npos)
                arRecords.push_back(Record(ev));
    });
    if (pSkipped)
        *pSkipped = parser.SkippedLines();
    return arRecords;
}

std::vector<SDriverEvent> Parse(CWineTraceParser& parser,
                                std::initializer_list<const char*> lines) {
    std::vector<SDriverEvent> arEvents;
    for (const char* psz : lines)
        parser.ParseLine(psz, arEvents);
    return arEvents;
}

// A process 0020 (Linux 500, started from a shell: app.exe) whose thread 0024 has opened
// HKCU\Software as handle 0004.
void StartProcess(CWineTraceParser& parser) {
    Parse(parser,
          {"0024: init_first_thread( unix_pid=500, unix_tid=500, debug_level=0 )",
           "0024: init_first_thread() = 0 { pid=0020, tid=0024, server_start=1 (-2.5000000) }",
           "0024: create_file( access=80100000, objattr={rootdir=0000,attributes=00000040,sd={},"
           "name=L\"\\\\??\\\\C:\\\\app.exe\"} )",
           "0024: create_file() = 0 { handle=0008 }",
           "0024: init_process_done( teb=1, peb=2, ldt_copy=0 )",
           "0024: init_process_done() = 0 { entry=3, suspend=0 }",
           "0024: open_key( parent=0000, access=1, attributes=40, "
           "name=L\"\\\\Registry\\\\User\\\\S-1-5-21-0-0-0-1000\\\\Software\" )",
           "0024: open_key() = 0 { hkey=0004 }"});
}

} // namespace

// The registry operations of reg.exe and regedit.exe in a real Wine 8.0 trace, exactly.
TEST(WineTrace, RecordsOfTheRegAndRegeditCommands) {
    uint64_t nSkipped = 99;
    const std::vector<std::string> ar = RecordsOf("wine_trace_reg_ops.txt", "HwTrace", &nSkipped);
    const std::vector<std::string> arExpected = {
        // reg add /d 42: a new key, a value that was not there
        "18938 reg.exe\tRegCreateKey(New)\tHKCU\\Software\\HwTrace\tSUCCESS\t\t",
        "18938 reg.exe\tRegSetValueKey\tHKCU\\Software\\HwTrace\\Answer\tSUCCESS\t\tREG_DWORD: "
        "0x0000002a (42)",
        "18938 reg.exe\tRegCloseKey\tHKCU\\Software\\HwTrace\tSUCCESS\t\t",
        // reg add /d 43: the key is opened, the old data is reported
        "18985 reg.exe\tRegCreateKey(Open)\tHKCU\\Software\\HwTrace\tSUCCESS\t\t",
        "18985 reg.exe\tRegSetValueKey\tHKCU\\Software\\HwTrace\\Answer\tSUCCESS\t"
        "REG_DWORD: 0x0000002a (42)\tREG_DWORD: 0x0000002b (43)",
        "18985 reg.exe\tRegCloseKey\tHKCU\\Software\\HwTrace\tSUCCESS\t\t",
        // reg query /v Answer: the data read goes in the old value
        "18992 reg.exe\tRegOpenKey\tHKCU\\Software\\HwTrace\tSUCCESS\t\t",
        "18992 reg.exe\tRegQueryValue\tHKCU\\Software\\HwTrace\\Answer\tSUCCESS\tREG_DWORD: "
        "0x0000002b (43)\t",
        "18992 reg.exe\tRegCloseKey\tHKCU\\Software\\HwTrace\tSUCCESS\t\t",
        // reg query of a missing key
        "19008 reg.exe\tRegOpenKey\tHKCU\\Software\\HwTrace\\Missing\tNAME NOT FOUND\t\t",
        // regedit /S import.reg (Wine's regedit widens hex(2) and hex(7) data byte by byte, so
        // Path reads "%" and Multi "a": the strings end at the first zero character, and the
        // bytes follow, since the text alone does not give them back)
        "19011 regedit.exe\tRegCreateKey(New)\tHKCU\\Software\\HwTrace\\Imported\tSUCCESS\t\t",
        "19011 regedit.exe\tRegSetValueKey\tHKCU\\Software\\HwTrace\\Imported\\Name\tSUCCESS\t\t"
        "REG_SZ: Hello \"quoted\" world",
        "19011 regedit.exe\tRegSetValueKey\tHKCU\\Software\\HwTrace\\Imported\\Count\tSUCCESS\t\t"
        "REG_DWORD: 0x0000002a (42)",
        "19011 regedit.exe\tRegSetValueKey\tHKCU\\Software\\HwTrace\\Imported\\Bin\tSUCCESS\t\t"
        "REG_BINARY: 01 02 03 FF",
        "19011 regedit.exe\tRegSetValueKey\tHKCU\\Software\\HwTrace\\Imported\\Multi\tSUCCESS\t\t"
        "REG_MULTI_SZ: a [bytes: 6100000000000000620000000000000000000000]",
        "19011 "
        "regedit.exe\tRegSetValueKey\tHKCU\\Software\\HwTrace\\Imported\\(Default)\tSUCCESS\t\t"
        "REG_SZ: default value",
        "19011 regedit.exe\tRegCloseKey\tHKCU\\Software\\HwTrace\\Imported\tSUCCESS\t\t",
        "19011 "
        "regedit.exe\tRegCreateKey(New)\tHKCU\\Software\\HwTrace\\Imported\\Child\tSUCCESS\t\t",
        "19011 "
        "regedit.exe\tRegSetValueKey\tHKCU\\Software\\HwTrace\\Imported\\Child\\Path\tSUCCESS\t\t"
        "REG_EXPAND_SZ: % [bytes: 25000000500000004100000054000000480000002500000000000000]",
        "19011 regedit.exe\tRegCloseKey\tHKCU\\Software\\HwTrace\\Imported\\Child\tSUCCESS\t\t",
        // reg delete /v Answer: the removed data is the old value
        "19059 reg.exe\tRegOpenKey\tHKCU\\Software\\HwTrace\tSUCCESS\t\t",
        "19059 reg.exe\tRegDeleteValue\tHKCU\\Software\\HwTrace\\Answer\tSUCCESS\tREG_DWORD: "
        "0x0000002b (43)\t",
        "19059 reg.exe\tRegCloseKey\tHKCU\\Software\\HwTrace\tSUCCESS\t\t",
    };
    ASSERT_GE(ar.size(), arExpected.size());
    for (size_t i = 0; i < arExpected.size(); ++i)
        EXPECT_EQ(ar[i], arExpected[i]) << "record " << i;
    // reg delete /f: the tree is walked and removed from the bottom up; each delete lists what
    // the key held (the keys were made in the trace, so the shadow knows all of it).
    std::vector<std::string> arDeletes;
    for (size_t i = arExpected.size(); i < ar.size(); ++i) {
        EXPECT_EQ(ar[i].substr(0, 14), "19067 reg.exe\t") << ar[i];
        if (ar[i].find("RegDeleteKey") != std::string::npos)
            arDeletes.push_back(ar[i]);
    }
    EXPECT_EQ(
        arDeletes,
        (std::vector<std::string>{
            "19067 reg.exe\tRegDeleteKey\tHKCU\\Software\\HwTrace\\Imported\\Child\tSUCCESS\t"
            "KEY: "
            "\"Path\"=REG_EXPAND_SZ:25000000500000004100000054000000480000002500000000000000\t",
            "19067 reg.exe\tRegDeleteKey\tHKCU\\Software\\HwTrace\\Imported\tSUCCESS\t"
            "KEY: @=REG_SZ:\"default value\" \"Bin\"=REG_BINARY:010203ff "
            "\"Count\"=REG_DWORD:2a000000 "
            "\"Multi\"=REG_MULTI_SZ:6100000000000000620000000000000000000000 "
            "\"Name\"=REG_SZ:\"Hello %22quoted%22 world\"\t",
            "19067 reg.exe\tRegDeleteKey\tHKCU\\Software\\HwTrace\tSUCCESS\tKEY: (empty)\t"}));
    EXPECT_EQ(nSkipped, 0u) << "every line of Wine 8.0's trace is understood";
}

TEST(WineTrace, LineShapes) {
    SWineTraceLine line;
    ASSERT_TRUE(SplitWineTraceLine("0024: open_key( parent=0000, name=L\"a\" )", line));
    EXPECT_EQ(line.m_eKind, SWineTraceLine::REQUEST);
    EXPECT_EQ(line.m_nId, 0x24u);
    EXPECT_EQ(line.m_args, "parent=0000, name=L\"a\"");
    ASSERT_TRUE(SplitWineTraceLine("00ec: create_key() = OBJECT_NAME_EXISTS { hkey=0038 }", line));
    EXPECT_EQ(line.m_eKind, SWineTraceLine::REPLY);
    EXPECT_EQ(line.m_status, "OBJECT_NAME_EXISTS");
    EXPECT_EQ(line.m_args, "hkey=0038");
    ASSERT_TRUE(SplitWineTraceLine("00ec: close_handle() = 0\r", line));
    EXPECT_EQ(line.m_status, "0");
    ASSERT_TRUE(SplitWineTraceLine("0020: *process killed*", line));
    EXPECT_EQ(line.m_eKind, SWineTraceLine::NOTICE);
    EXPECT_EQ(line.m_name, "process killed");
    EXPECT_TRUE(SplitWineTraceLine("wineserver: starting (pid=18661)", line));
    // Shapes a newer Wine might print are refused, not guessed at.
    for (const char* psz :
         {"", "garbage", "0024 open_key( x )", "0024: open_key( x", "0024: open_key",
          "0024: open_key() = ", "0024: *fd", "0024: get() = 0 { x=1", "12: open_key( x )"})
        EXPECT_FALSE(SplitWineTraceLine(psz, line)) << psz;
}

TEST(WineTrace, ArgumentsStringsAndBytes) {
    // Nested lists and strings holding separators do not end an argument early.
    const std::string_view args =
        "objattr={rootdir=0030,name=L\"a, hkey=1 }\\\"\"}, class=L\"\", hkey=0038";
    EXPECT_EQ(WineTraceArg(args, "hkey").value_or("-"), "0038");
    EXPECT_EQ(WineTraceArg(args, "objattr").value_or("-"),
              "{rootdir=0030,name=L\"a, hkey=1 }\\\"\"}");
    EXPECT_FALSE(WineTraceArg(args, "rootdir"));

    EXPECT_EQ(WineTraceString("L\"Gr\\xfc\\x00dfe\"").value_or("-"), "Gr\xC3\xBC\xC3\x9F"
                                                                     "e");
    EXPECT_EQ(WineTraceString("L\"\\xd83d\\xde00 \\\\ \\\" \\t\"").value_or("-"),
              "\xF0\x9F\x98\x80 \\ \" \t");
    EXPECT_EQ(WineTraceString("L\"\\xd83d.\"").value_or("-"), "\xEF\xBF\xBD.") << "lone surrogate";
    EXPECT_EQ(WineTraceString("L\"\"").value_or("-"), "");
    EXPECT_FALSE(WineTraceString("L\"open"));
    EXPECT_FALSE(WineTraceString("L\"ends in \\\""));

    bool bCut = true;
    EXPECT_EQ(WineTraceBytes("{2a,00,ff}", bCut).value_or("-"), std::string("\x2a\x00\xff", 3));
    EXPECT_FALSE(bCut);
    EXPECT_EQ(WineTraceBytes("{01,02...(total 3000)}", bCut).value_or("-"), "\x01\x02");
    EXPECT_TRUE(bCut);
    EXPECT_EQ(WineTraceBytes("{}", bCut).value_or("-"), "");
    for (const char* psz : {"{2}", "{2g}", "{01;02}", "01,02", "{01,}"})
        EXPECT_FALSE(WineTraceBytes(psz, bCut)) << psz;
    EXPECT_DOUBLE_EQ(WineTraceSecondsAgo("1dd86124c9dadf0 (-0.9431720)").value_or(0), 0.943172);
    EXPECT_EQ(WineTraceHex("ffffffff").value_or(0), 0xFFFFFFFFu);
    EXPECT_FALSE(WineTraceHex("123456789"));
}

TEST(WineTrace, RootsAndResults) {
    const std::string_view sid = "S-1-5-21-0-0-0-1000";
    EXPECT_EQ(CWineTraceParser::RecordPath("\\Registry\\Machine\\Software\\Classes\\.txt", sid),
              "HKCR\\.txt");
    EXPECT_EQ(CWineTraceParser::RecordPath("\\REGISTRY\\MACHINE\\SOFTWARE\\ClassesX", sid),
              "HKLM\\SOFTWARE\\ClassesX");
    EXPECT_EQ(
        CWineTraceParser::RecordPath(
            "\\Registry\\Machine\\System\\CurrentControlSet\\Hardware Profiles\\Current\\Software",
            sid),
        "HKCC\\Software");
    EXPECT_EQ(CWineTraceParser::RecordPath("\\Registry\\User\\S-1-5-21-0-0-0-1000", sid), "HKCU");
    EXPECT_EQ(CWineTraceParser::RecordPath("\\Registry\\User\\.Default\\Control Panel", sid),
              "HKU\\.Default\\Control Panel");
    EXPECT_EQ(CWineTraceParser::RecordPath("\\Registry\\User\\S-1-5-21-0-0-0-10000\\X", sid),
              "HKU\\S-1-5-21-0-0-0-10000\\X");
    EXPECT_EQ(CWineTraceParser::RecordPath("\\Registry", sid), "\\Registry");

    EXPECT_EQ(CWineTraceParser::ResultText("0"), "SUCCESS");
    EXPECT_EQ(CWineTraceParser::ResultText("OBJECT_NAME_NOT_FOUND"), "NAME NOT FOUND");
    EXPECT_EQ(CWineTraceParser::ResultText("OBJECT_PATH_NOT_FOUND"), "PATH NOT FOUND");
    EXPECT_EQ(CWineTraceParser::ResultText("NO_MORE_ENTRIES"), "NO MORE ENTRIES");
    EXPECT_EQ(CWineTraceParser::ResultText("ACCESS_DENIED"), "ACCESS DENIED");
    EXPECT_EQ(CWineTraceParser::ResultText("c0000034"), "0xC0000034");
}

// Handles belong to their process, end with their close, and relative names join their parent.
TEST(WineTrace, HandlesFollowTheirProcess) {
    CWineTraceParser parser;
    StartProcess(parser);
    auto ar = Parse(parser, {"0024: create_key( access=1, options=0, objattr={rootdir=0004,"
                             "attributes=0,sd={},name=L\"App\\\\Sub\"}, class=L\"\" )",
                             "0024: create_key() = 0 { hkey=0008 }",
                             "0024: close_handle( handle=0004 )", "0024: close_handle() = 0",
                             "0024: flush_key( hkey=0004 )", "0024: flush_key() = INVALID_HANDLE",
                             "0024: delete_key( hkey=0008 )", "0024: delete_key() = 0"});
    ASSERT_EQ(ar.size(), 4u);
    EXPECT_EQ(ar[0].m_nOperation, OP_CREATE_NEW);
    EXPECT_EQ(ar[0].m_strPath, "HKCU\\Software\\App\\Sub");
    EXPECT_EQ(ar[0].m_nPid, 500u);
    EXPECT_EQ(ar[1].m_nOperation, OP_CLOSE_KEY);
    EXPECT_EQ(ar[1].m_strPath, "HKCU\\Software");
    EXPECT_EQ(ar[2].m_strPath, "?") << "a closed handle names nothing";
    EXPECT_EQ(ar[2].m_strResult, "INVALID HANDLE");
    EXPECT_EQ(ar[3].m_strPath, "HKCU\\Software\\App\\Sub");

    // Another process's handle 0008 is not this one's; a reused process id starts afresh.
    ar = Parse(parser,
               {"0034: init_first_thread( unix_pid=600, unix_tid=600 )",
                "0034: init_first_thread() = 0 { pid=0030, tid=0034 }",
                "0034: init_process_done( teb=1 )", "0034: init_process_done() = 0 { entry=1 }",
                "0034: delete_key( hkey=0008 )", "0034: delete_key() = 0", "0020: *process killed*",
                "0044: init_first_thread( unix_pid=700, unix_tid=700 )",
                "0044: init_first_thread() = 0 { pid=0020, tid=0044 }",
                "0044: init_process_done( teb=1 )", "0044: init_process_done() = 0 { entry=1 }",
                "0044: flush_key( hkey=0008 )", "0044: flush_key() = 0"});
    ASSERT_EQ(ar.size(), 2u);
    EXPECT_EQ(ar[0].m_strPath, "?");
    EXPECT_EQ(ar[0].m_nPid, 600u);
    EXPECT_EQ(ar[1].m_strPath, "?");
    EXPECT_EQ(ar[1].m_nPid, 700u);
}

// A child started by a process is named by its image and its threads are its own.
TEST(WineTrace, ChildProcessesAndTheirThreads) {
    CWineTraceParser parser;
    StartProcess(parser);
    const auto ar = Parse(parser, {"0024: new_process( token=0000, "
                                   "info={curdir=L\"C:\\\\\",imagepath=L\"C:\\\\x\\\\Setup.EXE\","
                                   "cmdline=L\"setup\"}, env=L\"A=1\\0\" )",
                                   "0024: new_process() = 0 { info=0010, pid=0028, handle=0014 }",
                                   "0024: new_thread( process=0014, access=001fffff, flags=1 )",
                                   "0024: new_thread() = 0 { tid=002c, handle=0018 }",
                                   "002c: init_first_thread( unix_pid=800, unix_tid=800 )",
                                   "002c: init_first_thread() = 0 { pid=0028, tid=002c }",
                                   "002c: new_thread( process=ffffffff, access=001fffff, flags=1 )",
                                   "002c: new_thread() = 0 { tid=0030, handle=0020 }",
                                   "0030: open_key( parent=0000, access=1, attributes=40, "
                                   "name=L\"\\\\Registry\\\\Machine\" )",
                                   "0030: open_key() = 0 { hkey=0004 }"});
    ASSERT_EQ(ar.size(), 1u);
    EXPECT_EQ(ar[0].m_nPid, 800u);
    EXPECT_EQ(ar[0].m_strProcess, "Setup.EXE");
    EXPECT_EQ(ar[0].m_strPath, "HKLM");
}

// Values: old data from the shadow, Modified only on a change, cut data marked, bad lines counted.
TEST(WineTrace, ValuesAndUnreadableLines) {
    CWineShadowRegistry shadow;
    CWineTraceParser parser(&shadow);
    StartProcess(parser);
    shadow.SetValue("\\Registry\\User\\S-1-5-21-0-0-0-1000\\SOFTWARE", "v",
                    {4, std::string("\1\0\0\0", 4)});
    const auto ar = Parse(
        parser,
        {"0024: set_key_value( hkey=0004, type=4, namelen=2, name=L\"V\", data={01,00,00,00} )",
         "0024: set_key_value() = 0",
         "0024: set_key_value( hkey=0004, type=3, namelen=2, name=L\"\", data={01,02...(total "
         "5000)} )",
         "0024: set_key_value() = 0", "0024: get_key_value( hkey=0004, name=L\"\" )",
         "0024: get_key_value() = 0 { type=3, total=5000, data={01,02...(total 5000)} }",
         "0024: delete_key_value( hkey=0004, name=L\"v\" )", "0024: delete_key_value() = 0",
         "0024: delete_key_value( hkey=0004, name=L\"v\" )",
         "0024: delete_key_value() = OBJECT_NAME_NOT_FOUND",
         "0024: set_key_value( hkey=0004, type=4, name=L\"broken )", "0024: set_key_value() = 0",
         "0024: a line from a future Wine", "0024: enum_key( hkey=zz, index=0 )",
         "0024: enum_key() = 0 { subkeys=0 }"});
    ASSERT_EQ(ar.size(), 5u);
    EXPECT_EQ(ar[0].m_strPath, "HKCU\\Software\\V");
    EXPECT_EQ(ar[0].m_strOldValue, ar[0].m_strNewValue) << "the same data: not modified";
    EXPECT_EQ(ar[1].m_strPath, "HKCU\\Software\\(Default)");
    EXPECT_EQ(ar[1].m_strNewValue, "REG_BINARY: 01 02...");
    EXPECT_EQ(ar[2].m_strOldValue, "REG_BINARY: 01 02...") << "a query shows what it read";
    EXPECT_EQ(ar[3].m_strOldValue, "REG_DWORD: 0x00000001 (1)");
    EXPECT_EQ(ar[4].m_strOldValue, "") << "the value is gone";
    EXPECT_EQ(ar[4].m_strResult, "NAME NOT FOUND");
    EXPECT_EQ(parser.SkippedLines(), 3u);
}

TEST(WineTrace, ShadowFollowsLinksAndDeletesTrees) {
    CWineShadowRegistry shadow;
    shadow.CreateKey("\\Registry\\Machine\\System\\ControlSet001");
    shadow.AddLink("\\Registry\\Machine\\System\\CurrentControlSet",
                   "\\Registry\\Machine\\System\\ControlSet001");
    shadow.SetValue("\\Registry\\Machine\\System\\CurrentControlSet\\Control", "x", {1, "a"});
    ASSERT_TRUE(shadow.FindValue("\\REGISTRY\\Machine\\System\\ControlSet001\\CONTROL", "X"));
    shadow.CreateKey("\\Registry\\Machine\\System\\ControlSet001\\Control\\Sub");
    shadow.CreateKey("\\Registry\\Machine\\System\\ControlSet001\\ControlX");
    shadow.DeleteKey("\\Registry\\Machine\\System\\CurrentControlSet\\Control");
    EXPECT_FALSE(shadow.FindValue("\\Registry\\Machine\\System\\ControlSet001\\Control", "x"));
    const CWineRegistry& reg = shadow.Registry();
    EXPECT_FALSE(reg.FindKey(u"\\Registry\\Machine\\System\\ControlSet001\\Control\\Sub"));
    EXPECT_TRUE(reg.FindKey(u"\\Registry\\Machine\\System\\ControlSet001\\ControlX"))
        << "the key and its subkey went, the sibling stayed";
    EXPECT_TRUE(reg.FindKey(u"\\Registry\\Machine\\System\\CurrentControlSet"))
        << "the link itself stays";
}

TEST(WineTrace, LineSplitterBoundsLines) {
    CLineSplitter splitter;
    std::vector<std::pair<std::string, bool>> ar;
    const auto onLine = [&](std::string_view s, bool b) { ar.emplace_back(std::string(s), b); };
    splitter.Feed("a\nb", onLine);
    splitter.Feed("c\n", onLine);
    splitter.Feed(std::string(CLineSplitter::MAX_LINE, 'x'), onLine);
    splitter.Feed("yy\nlast", onLine);
    splitter.Finish(onLine);
    EXPECT_EQ(ar, (std::vector<std::pair<std::string, bool>>{
                      {"a", false}, {"bc", false}, {"", true}, {"last", false}}));
}

TEST(WineTrace, SourcesFromTheEnvironment) {
    std::map<std::string, std::string> env;
    const auto get = [&](const char* p) { return env.contains(p) ? env[p].c_str() : nullptr; };
    std::string strError;
    env = {{"HIVEWATCH_DRIVER_SOURCE", "wine"}, {"HOME", "/home/u"}};
    auto cfg = SDriverConfig::FromEnvironment(get, strError);
    ASSERT_TRUE(cfg);
    EXPECT_EQ(cfg->m_eSource, EDriverSource::WINE);
    EXPECT_EQ(cfg->m_strWinePrefix, "/home/u/.wine");
    env["WINEPREFIX"] = "/p";
    EXPECT_EQ(SDriverConfig::FromEnvironment(get, strError)->m_strWinePrefix, "/p");
    env["HIVEWATCH_DRIVER_SOURCE"] = "wine:/other";
    EXPECT_EQ(SDriverConfig::FromEnvironment(get, strError)->m_strWinePrefix, "/other");
    env = {{"HIVEWATCH_DRIVER_SOURCE", "wine-trace:/t.txt"}};
    cfg = SDriverConfig::FromEnvironment(get, strError);
    EXPECT_EQ(cfg->m_eSource, EDriverSource::WINE_TRACE);
    EXPECT_EQ(cfg->m_strReplayPath, "/t.txt");
    env = {{"HIVEWATCH_DRIVER_SOURCE", "wine"}};
    EXPECT_FALSE(SDriverConfig::FromEnvironment(get, strError));
    EXPECT_NE(strError.find("WINEPREFIX"), std::string::npos);
    env = {{"HIVEWATCH_DRIVER_SOURCE", "wine:"}, {"HOME", "/home/u"}};
    EXPECT_FALSE(SDriverConfig::FromEnvironment(get, strError));
    EXPECT_NE(strError.find("names no prefix"), std::string::npos) << strError;
}

// A folder that is no Wine prefix is named as such, with what to do.
TEST(WineTrace, AFolderThatIsNoPrefixIsRefused) {
    if (WineFindProgram("wineserver").empty())
        GTEST_SKIP() << "Wine is not installed";
    const std::string strDir = TestTempDir().toStdString() + "not-a-prefix";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(strDir)));
    CWineServerSource source(strDir);
    std::string strError;
    EXPECT_FALSE(source.Start(strError));
    EXPECT_NE(strError.find("is not a Wine prefix (it has no system.reg)"), std::string::npos)
        << strError;
    EXPECT_NE(strError.find("wineboot -i"), std::string::npos);
}

// The driver module replays a trace and counts the lines it could not read.
TEST(WineTraceDriver, ReplaysATraceAndCountsSkippedLines) {
    const std::string strTrace = TestTempDir().toStdString() + "trace.txt";
    {
        std::ifstream in(TestDataPath("wine_trace_reg_ops.txt").toStdString(), std::ios::binary);
        std::ofstream out(strTrace, std::ios::binary);
        out << "not a trace line\n" << in.rdbuf();
    }
    SetDriverEnv(("wine-trace:" + strTrace).c_str(), nullptr, nullptr, "fast");
    CLoadedDriver driver;
    ASSERT_TRUE(driver.IsOpen());
    std::vector<unsigned char> filter = MakeFilterBuffer("reg.exe");
    uint32_t n = 0;
    ASSERT_TRUE(driver.Control(IOCTL_REGDRV_SET_FILTER, filter.data(), uint32_t(filter.size()),
                               nullptr, 0, n));
    ASSERT_TRUE(driver.Control(IOCTL_REGDRV_START, nullptr, 0, nullptr, 0, n));
    ASSERT_TRUE(driver.Control(IOCTL_REGDRV_APPLY, nullptr, 0, nullptr, 0, n));
    const auto ar = driver.ReadUntil(
        [](const SRecord& r) {
            return r.m_arFields[2] == "RegDeleteKey" &&
                   r.m_arFields[3] == "HKCU\\Software\\HwTrace";
        },
        60);
    SetDriverEnv(nullptr);
    ASSERT_FALSE(ar.empty());
    EXPECT_EQ(ar[0].m_arFields[1], "System");
    EXPECT_EQ(ar[0].m_arFields[6], "Dropped: 0, Skipped trace lines: 1");
    int nSets = 0;
    for (size_t i = 1; i < ar.size(); ++i) {
        EXPECT_EQ(ar[i].m_arFields[1], "reg.exe") << "the include list holds";
        nSets += ar[i].m_arFields[2] == "RegSetValueKey" &&
                 ar[i].m_arFields[3].ends_with("HwTrace\\Answer");
    }
    EXPECT_EQ(nSets, 2);
}

// The shadow is filled from a prefix's files with the shared reader; the user's SID comes along,
// and a missing file is said, not fatal.
TEST(WineTrace, ShadowLoadsThePrefixFiles) {
    const QString strDir = TestTempDir() + QStringLiteral("prefix");
    ASSERT_TRUE(QDir().mkpath(strDir));
    ASSERT_TRUE(QFile::copy(TestDataPath("wine_user.reg"), strDir + QStringLiteral("/user.reg")));
    CWineShadowRegistry shadow;
    std::string strSid;
    std::vector<std::string> arErrors;
    EXPECT_FALSE(LoadWineShadow(strDir.toStdString(), shadow, strSid, arErrors));
    EXPECT_FALSE(arErrors.empty()) << "system.reg and userdef.reg are missing";
    EXPECT_EQ(strSid, "S-1-5-21-48926810-3388489794-1000-1000");
    const std::optional<SShadowValue> p = shadow.FindValue(
        "\\Registry\\User\\" + strSid + "\\Control Panel\\Accessibility\\AudioDescription", "ON");
    ASSERT_TRUE(p);
    EXPECT_EQ(WineValueText(p->m_nType, p->m_data), "REG_SZ: 0");
}

namespace {

// A parser with a listener of process starts.
struct SStarts {
    std::vector<std::pair<uint32_t, uint32_t>> m_ar;
    void Attach(CWineTraceParser& parser) {
        parser.SetStartListener(
            [this](uint32_t nPid, uint32_t nParent) { m_ar.emplace_back(nPid, nParent); });
    }
};

// "0024: create_file( ... name=L"\??\C:\x\NAME" )" and its reply.
std::vector<std::string> OpenFile(const char* pszThread, const char* pszName) {
    return {std::string(pszThread) +
                ": create_file( access=80100000, objattr={rootdir=0000,"
                "attributes=00000040,sd={},name=L\"\\\\??\\\\C:\\\\x\\\\" +
                pszName + "\"} )",
            std::string(pszThread) + ": create_file() = 0 { handle=0008 }"};
}

std::vector<SDriverEvent> ParseAll(CWineTraceParser& parser,
                                   const std::vector<std::string>& arLines) {
    std::vector<SDriverEvent> ar;
    for (const std::string& str : arLines)
        parser.ParseLine(str, ar);
    return ar;
}

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> ar;
    for (const auto& part : parts)
        ar.insert(ar.end(), part.begin(), part.end());
    return ar;
}

} // namespace

// A program started from a shell is named by the last program file it opened before it had
// started (not by wineboot.exe, which it opened to start another process); its events wait
// for that name, in order. The processes it starts are linked to it, by Linux process IDs,
// also when they start after it ended.
TEST(WineTrace, ProcessStartsNamesAndParents) {
    CWineTraceParser parser;
    SStarts starts;
    starts.Attach(parser);
    auto ar = ParseAll(parser, Concat({{"0024: init_first_thread( unix_pid=500, unix_tid=500 )",
                                        "0024: init_first_thread() = 0 { pid=0020, tid=0024 }",
                                        "0024: open_key( parent=0000, access=1, attributes=40, "
                                        "name=L\"\\\\Registry\\\\Machine\\\\A\" )",
                                        "0024: open_key() = 0 { hkey=0004 }"},
                                       OpenFile("0024", "wineboot.exe"),
                                       OpenFile("0024", "MSIEXEC.EXE"),
                                       OpenFile("0024", "ntdll.dll")}));
    EXPECT_TRUE(ar.empty()) << "held until the process has started";
    ar = ParseAll(parser,
                  {"0024: init_process_done( teb=1 )", "0024: init_process_done() = 0 { entry=1 }",
                   "0024: flush_key( hkey=0004 )", "0024: flush_key() = 0"});
    ASSERT_EQ(ar.size(), 2u);
    EXPECT_EQ(ar[0].m_nOperation, OP_OPEN_KEY);
    EXPECT_EQ(ar[0].m_strProcess, "MSIEXEC.EXE");
    EXPECT_EQ(ar[1].m_strProcess, "MSIEXEC.EXE");
    EXPECT_LE(ar[0].m_nFileTime, ar[1].m_nFileTime);

    // It starts a child, and a grandchild through a process handle it names as the parent;
    // the child ends before the grandchild has started.
    ar = ParseAll(parser,
                  {"0024: new_process( parent_process=0000, info={imagepath=L\"C:\\\\a.exe\"} )",
                   "0024: new_process() = 0 { info=0010, pid=0028, handle=0014 }",
                   "0024: new_process( parent_process=0014, info={imagepath=L\"C:\\\\b.exe\"} )",
                   "0024: new_process() = 0 { info=0018, pid=0030, handle=001c }",
                   "002c: init_first_thread( unix_pid=600, unix_tid=600 )",
                   "002c: init_first_thread() = 0 { pid=0028, tid=002c }", "0028: *process killed*",
                   "0034: init_first_thread( unix_pid=700, unix_tid=700 )",
                   "0034: init_first_thread() = 0 { pid=0030, tid=0034 }",
                   "0034: open_key( parent=0000, access=1, attributes=40, "
                   "name=L\"\\\\Registry\\\\Machine\\\\B\" )",
                   "0034: open_key() = 0 { hkey=0004 }"});
    ASSERT_EQ(ar.size(), 1u) << "a child is named by its image at once";
    EXPECT_EQ(ar[0].m_strProcess, "b.exe");
    EXPECT_EQ(ar[0].m_nPid, 700u);
    EXPECT_EQ(starts.m_ar,
              (std::vector<std::pair<uint32_t, uint32_t>>{{500, 0}, {600, 500}, {700, 600}}));

    // Wine's own start-up processes, started from the first program that needs them, are not
    // the program's children.
    ParseAll(parser,
             {"0024: new_process( "
              "info={imagepath=L\"C:\\\\windows\\\\system32\\\\wineboot.exe\",cmdline=L\"x\"} )",
              "0024: new_process() = 0 { info=0020, pid=0048, handle=0024 }",
              "0024: new_process( info={imagepath=L\"C:\\\\windows\\\\explorer.exe\","
              "cmdline=L\"explorer.exe /desktop\"} )",
              "0024: new_process() = 0 { info=0028, pid=0050, handle=002c }",
              "004c: init_first_thread( unix_pid=900, unix_tid=900 )",
              "004c: init_first_thread() = 0 { pid=0048, tid=004c }",
              "0054: init_first_thread( unix_pid=901, unix_tid=901 )",
              "0054: init_first_thread() = 0 { pid=0050, tid=0054 }"});
    EXPECT_EQ(starts.m_ar.back(), (std::pair<uint32_t, uint32_t>{901, 0}));
    EXPECT_EQ(starts.m_ar[starts.m_ar.size() - 2], (std::pair<uint32_t, uint32_t>{900, 0}));

    // Ended before it had started: its events go out with the best name known.
    ar = ParseAll(parser, Concat({{"0044: init_first_thread( unix_pid=800, unix_tid=800 )",
                                   "0044: init_first_thread() = 0 { pid=0040, tid=0044 }",
                                   "0044: open_key( parent=0000, access=1, attributes=40, "
                                   "name=L\"\\\\Registry\\\\Machine\\\\C\" )",
                                   "0044: open_key() = 0 { hkey=0004 }"},
                                  OpenFile("0044", "tool.exe"),
                                  {"0040: *process killed*"}}));
    ASSERT_EQ(ar.size(), 1u);
    EXPECT_EQ(ar[0].m_strProcess, "tool.exe");
}

// The installer service (msiexec.exe started by services.exe) works for the installer that asked.
TEST(WineTrace, InstallerServiceBelongsToTheInstaller) {
    CWineTraceParser parser;
    SStarts starts;
    starts.Attach(parser);
    ParseAll(
        parser,
        {"0024: init_first_thread( unix_pid=100, unix_tid=100 )",
         "0024: init_first_thread() = 0 { pid=0020, tid=0024 }",
         "0024: new_process( info={imagepath=L\"C:\\\\windows\\\\system32\\\\services.exe\"} )",
         "0024: new_process() = 0 { info=0010, pid=0028, handle=0014 }",
         "002c: init_first_thread( unix_pid=200, unix_tid=200 )",
         "002c: init_first_thread() = 0 { pid=0028, tid=002c }",
         "0024: new_process( info={imagepath=L\"C:\\\\windows\\\\system32\\\\msiexec.exe\"} )",
         "0024: new_process() = 0 { info=0018, pid=0030, handle=001c }",
         "0034: init_first_thread( unix_pid=300, unix_tid=300 )",
         "0034: init_first_thread() = 0 { pid=0030, tid=0034 }",
         "002c: new_process( info={imagepath=L\"C:\\\\windows\\\\system32\\\\msiexec.exe\"} )",
         "002c: new_process() = 0 { info=0020, pid=0038, handle=0024 }",
         "003c: init_first_thread( unix_pid=400, unix_tid=400 )",
         "003c: init_first_thread() = 0 { pid=0038, tid=003c }",
         "002c: new_process( info={imagepath=L\"C:\\\\windows\\\\system32\\\\plugplay.exe\"} )",
         "002c: new_process() = 0 { info=0028, pid=0040, handle=002c }",
         "0044: init_first_thread( unix_pid=500, unix_tid=500 )",
         "0044: init_first_thread() = 0 { pid=0040, tid=0044 }"});
    EXPECT_EQ(starts.m_ar, (std::vector<std::pair<uint32_t, uint32_t>>{
                               {100, 0}, {200, 100}, {300, 100}, {400, 300}, {500, 200}}))
        << "the service's msiexec works for the installer 300; plugplay is services' own";
}

// Wine's total of an enumeration counts the name before the data: whole values are not cut.
TEST(WineTrace, EnumerationTotalsCountTheName) {
    CWineTraceParser parser;
    StartProcess(parser);
    const auto ar = Parse(
        parser, {"0024: enum_key_value( hkey=0004, index=0, info_class=1 )",
                 "0024: enum_key_value() = 0 { type=1, total=14, namelen=6, name=L\"Yes\", "
                 "data={79,00,65,00,00,00,00,00} }",
                 "0024: enum_key_value( hkey=0004, index=1, info_class=2 )",
                 "0024: enum_key_value() = 0 { type=4, total=4, namelen=0, data={07,00,00,00} }",
                 "0024: enum_key_value( hkey=0004, index=2, info_class=1 )",
                 "0024: enum_key_value() = 0 { type=3, total=20, namelen=6, name=L\"Cut\", "
                 "data={01,02} }"});
    ASSERT_EQ(ar.size(), 3u);
    EXPECT_EQ(ar[0].m_strNewValue, "REG_SZ: ye [bytes: 7900650000000000]")
        << "a second zero is not shown by the text: the bytes follow it";
    EXPECT_EQ(ar[1].m_strNewValue, "REG_DWORD: 0x00000007 (7)");
    EXPECT_EQ(ar[2].m_strNewValue, "REG_BINARY: 01 02...") << "12 of 14 data bytes missing";
}

// A deleted key's record lists what it held when the shadow knows all of it: a shadow loaded
// from the prefix knows every key; one that started empty only the keys made in the trace.
// A listing too big for the record says so; a cut value is listed as such.
TEST(WineTrace, DeletedKeysListWhatTheyHeld) {
    const auto deleteOf = [](CWineShadowRegistry& shadow, const char* pszName) {
        CWineTraceParser parser(&shadow);
        StartProcess(parser);
        const std::string strOpen =
            std::string("0024: open_key( parent=0004, access=1, attributes=40, name=L\"") +
            pszName + "\" )";
        const auto ar = Parse(parser, {strOpen.c_str(), "0024: open_key() = 0 { hkey=0008 }",
                                       "0024: delete_key( hkey=0008 )", "0024: delete_key() = 0"});
        return ar.empty() ? std::string("no record") : ar.back().m_strOldValue;
    };
    CWineShadowRegistry loaded;
    CWineRegKey* pKey = loaded.Registry().CreateKey(u"HKCU\\Software\\Known");
    pKey->SetValue({QStringLiteral("v"), REG_DWORD, RegDwordData(3)});
    pKey->CreateSubKey(u"Sub");
    loaded.SetValue("\\Registry\\User\\S-1-5-21-0-0-0-1000\\Software\\Known", "cut",
                    {REG_BINARY, std::string(4, 'x'), true});
    loaded.SetComplete(true);
    EXPECT_EQ(deleteOf(loaded, "Known"),
              "KEY: \"cut\"=REG_BINARY:... \"v\"=REG_DWORD:03000000 [Sub]");
    EXPECT_EQ(loaded.Registry().FindKey(u"HKCU\\Software\\Known"), nullptr);

    CWineShadowRegistry empty;
    empty.Registry()
        .CreateKey(u"HKCU\\Software\\Seen")
        ->SetValue({QStringLiteral("v"), REG_DWORD, RegDwordData(3)});
    EXPECT_EQ(deleteOf(empty, "Seen"), "") << "what else it held is not known";

    CWineShadowRegistry big;
    big.SetComplete(true);
    CWineRegKey* pBig = big.Registry().CreateKey(u"HKCU\\Software\\Big");
    for (int i = 0; i < 400; ++i)
        pBig->SetValue({QStringLiteral("value%1").arg(i), REG_DWORD, RegDwordData(uint32_t(i))});
    EXPECT_EQ(deleteOf(big, "Big"), "KEY: (too big to list: 400 values in 1 keys)");
}

// Names compare without case for all of Unicode: an overwrite under another spelling reports
// the data it replaced, and the value keeps the spelling it was created with.
TEST(WineTrace, UnicodeNamesIgnoreCase) {
    CWineShadowRegistry shadow;
    CWineTraceParser parser(&shadow);
    StartProcess(parser);
    const auto ar = Parse(
        parser,
        {"0024: create_key( access=1, options=0, objattr={rootdir=0004,attributes=0,sd={},"
         "name=L\"Gr\\xfc\\x00dfe\\x65e5\\x672c\"}, class=L\"\" )",
         "0024: create_key() = 0 { hkey=0008 }",
         "0024: set_key_value( hkey=0008, type=1, name=L\"N\\xe4me\\x20ac\", data={61,00,00,00} )",
         "0024: set_key_value() = 0",
         "0024: create_key( access=1, options=0, objattr={rootdir=0004,attributes=0,sd={},"
         "name=L\"GR\\xdc\\x00dfE\\x65e5\\x672c\"}, class=L\"\" )",
         "0024: create_key() = OBJECT_NAME_EXISTS { hkey=000c }",
         "0024: set_key_value( hkey=000c, type=1, name=L\"N\\xc4ME\\x20ac\", data={62,00,00,00} )",
         "0024: set_key_value() = 0"});
    ASSERT_EQ(ar.size(), 4u);
    EXPECT_EQ(ar[2].m_nOperation, OP_CREATE_OPEN);
    EXPECT_EQ(ar[3].m_strOldValue, "REG_SZ: a");
    EXPECT_EQ(ar[3].m_strNewValue, "REG_SZ: b");
    const CWineRegKey* pKey =
        shadow.Registry().FindKey(u"HKCU\\Software\\GR\u00dc\u00dfE\u65e5\u672c");
    ASSERT_NE(pKey, nullptr);
    ASSERT_EQ(pKey->ValueCount(), 1);
    EXPECT_EQ(pKey->Value(0).m_strName, QStringLiteral("N\u00e4me\u20ac"));
}

// Replies are matched to the pending request of their own thread: two threads whose requests
// and replies interleave keep their own handles, names and data.
TEST(WineTrace, InterleavedThreadsKeepTheirOwnRequests) {
    CWineTraceParser parser;
    StartProcess(parser);
    const auto ar = Parse(
        parser,
        {"0024: new_thread( process=ffffffff, access=001fffff, flags=1 )",
         "0024: new_thread() = 0 { tid=0030, handle=0010 }",
         "0024: get_key_value( hkey=0004, name=L\"One\" )",
         "0030: open_key( parent=0004, access=1, attributes=40, name=L\"Two\" )",
         "0030: open_key() = 0 { hkey=0014 }", "0030: get_key_value( hkey=0014, name=L\"Three\" )",
         "0024: get_key_value() = 0 { type=4, total=4, data={01,00,00,00} }",
         "0030: get_key_value() = 0 { type=1, total=4, data={33,00,00,00} }",
         // A reply of another request's name on a thread is not taken for its pending request.
         "0024: set_key_value( hkey=0004, type=4, name=L\"Four\", data={04,00,00,00} )",
         "0024: get_key_value() = 0 { type=4, total=4, data={09,00,00,00} }",
         "0024: set_key_value() = 0"});
    ASSERT_EQ(ar.size(), 4u);
    EXPECT_EQ(ar[0].m_nOperation, OP_OPEN_KEY);
    EXPECT_EQ(ar[0].m_strPath, "HKCU\\Software\\Two");
    EXPECT_EQ(ar[1].m_strPath, "HKCU\\Software\\One");
    EXPECT_EQ(ar[1].m_strOldValue, "REG_DWORD: 0x00000001 (1)");
    EXPECT_EQ(ar[2].m_strPath, "HKCU\\Software\\Two\\Three");
    EXPECT_EQ(ar[2].m_strOldValue, "REG_SZ: 3");
    EXPECT_EQ(ar[3].m_nOperation, OP_SET_VALUE);
    EXPECT_EQ(ar[3].m_strPath, "HKCU\\Software\\Four");
    EXPECT_EQ(ar[3].m_strNewValue, "REG_DWORD: 0x00000004 (4)");
}

// The recorded trace: every process named from the trace, and each reg.exe linked to the
// start.exe a shell started.
TEST(WineTrace, RecordedTraceNamesAndLinksEveryProcess) {
    std::ifstream in(TestDataPath("wine_trace_reg_ops.txt").toStdString(), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    CWineShadowRegistry shadow;
    CWineTraceParser parser(&shadow);
    SStarts starts;
    starts.Attach(parser);
    std::map<uint32_t, std::string> names;
    size_t nRecords = 0;
    CLineSplitter splitter;
    std::vector<SDriverEvent> arEvents;
    splitter.Feed(ss.str(), [&](std::string_view line, bool) {
        arEvents.clear();
        parser.ParseLine(line, arEvents);
        for (const SDriverEvent& ev : arEvents) {
            ++nRecords;
            EXPECT_NE(ev.m_strProcess, "wine") << ev.m_nPid;
            names[ev.m_nPid] = ev.m_strProcess;
        }
    });
    EXPECT_GT(nRecords, 10000u);
    int nReg = 0;
    for (const auto& [nPid, nParent] : starts.m_ar) {
        if (names[nPid] != "reg.exe")
            continue;
        ++nReg;
        EXPECT_EQ(names[nParent], "start.exe") << nPid;
    }
    EXPECT_EQ(nReg, 6) << "the six reg commands of the recording";
    EXPECT_EQ(names[18690], "start.exe")
        << "the first process, started from a shell: it opened wineboot.exe to start it first";
}
