// Reading Process Monitor exports and turning their rows into driver events.
#include "tests/TestSupport.h"
#include "tests/driver/DriverTestSupport.h"

#include "driver/ProcmonRowMapper.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

namespace {

std::vector<std::vector<std::string>> ReadAll(const std::string& strCsv) {
    std::istringstream in(strCsv);
    CProcmonCsvReader reader(in);
    std::vector<std::vector<std::string>> arRows;
    std::vector<std::string> arFields;
    while (reader.ReadFields(arFields))
        arRows.push_back(arFields);
    return arRows;
}

std::string LocalTimeText(uint64_t nFileTime) {
    const uint64_t n100ns = nFileTime - FILETIME_UNIX_EPOCH;
    const std::time_t t = std::time_t(n100ns / 10000000);
    std::tm tm{};
    localtime_r(&t, &tm);
    char sz[32];
    std::snprintf(sz, sizeof(sz), "%02d:%02d:%02d.%03d", tm.tm_hour, tm.tm_min, tm.tm_sec,
                  int(n100ns / 10000 % 1000));
    return sz;
}

std::string TimeText(std::string_view text) {
    const std::optional<STimeOfDay> t = CProcmonRowMapper::ParseTimeOfDay(text);
    if (!t)
        return "invalid";
    char sz[32];
    std::snprintf(sz, sizeof(sz), "%02d:%02d:%02d.%03d", t->m_nHour, t->m_nMinute, t->m_nSecond,
                  t->m_nMilli);
    return sz;
}

std::tm FixedDate() {
    std::tm tm{};
    tm.tm_year = 124;
    tm.tm_mon = 2;
    tm.tm_mday = 15;
    return tm;
}

SProcmonRow Row(std::string strOp, std::string strPath, std::string strDetail = {},
                std::string strResult = "SUCCESS") {
    return {"10:00:00.0000000", "x.exe", "12", strOp, strPath, strResult, strDetail};
}

struct STraceCount {
    int m_nRows = 0;
    int m_nMapped = 0;
    std::map<int, int> m_perOperation;
    std::vector<SDriverEvent> m_arFirst;
};

STraceCount ReplayFile(const char* pszName) {
    std::ifstream in(TestDataPath(pszName).toStdString(), std::ios::binary);
    CProcmonCsvReader reader(in);
    std::string strError;
    EXPECT_TRUE(reader.ReadHeader(strError)) << strError;
    STraceCount count;
    SProcmonRow row;
    while (reader.ReadRow(row)) {
        ++count.m_nRows;
        if (std::optional<SDriverEvent> ev = CProcmonRowMapper::Map(row, FixedDate())) {
            ++count.m_nMapped;
            ++count.m_perOperation[ev->m_nOperation];
            const std::string strText = FormatRecordText(*ev);
            EXPECT_EQ(std::count(strText.begin(), strText.end(), '\t'), 6);
            if (count.m_arFirst.size() < 3)
                count.m_arFirst.push_back(*ev);
        }
    }
    return count;
}

class ReplayTraces : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }
};

} // namespace

TEST(ProcmonCsv, QuotingAndLineEnds) {
    const auto ar = ReadAll("\xEF\xBB\xBF\"a\",\"b \"\"q\"\", c\"\r\n"
                            "bare,\"multi\nline\",\r\n"
                            "x\"y,\"\"\n"
                            "last,\"unterminated");
    ASSERT_EQ(ar.size(), 4u);
    EXPECT_EQ(ar[0], (std::vector<std::string>{"a", "b \"q\", c"}));
    EXPECT_EQ(ar[1], (std::vector<std::string>{"bare", "multi\nline", ""}));
    EXPECT_EQ(ar[2], (std::vector<std::string>{"x\"y", ""}));
    EXPECT_EQ(ar[3], (std::vector<std::string>{"last", "unterminated"}));
    EXPECT_TRUE(ReadAll("").empty());
    EXPECT_TRUE(ReadAll("\xEF\xBB").empty()) << "a cut BOM is no data";
}

TEST(ProcmonCsv, HugeInputStaysBounded) {
    std::string str(CProcmonCsvReader::MAX_FIELD_SIZE + 100, 'a');
    str += std::string(200, ',');
    const auto ar = ReadAll(str);
    ASSERT_EQ(ar.size(), 1u);
    EXPECT_EQ(ar[0].size(), CProcmonCsvReader::MAX_FIELDS);
    EXPECT_EQ(ar[0][0].size(), CProcmonCsvReader::MAX_FIELD_SIZE);
}

TEST(ProcmonCsv, HeaderColumnsByNameAndShortRows) {
    std::istringstream in("Result,Path,Operation,PID,Process Name,Time of Day,Detail\n"
                          "SUCCESS,HKLM\\A,RegOpenKey\n");
    CProcmonCsvReader reader(in);
    std::string strError;
    ASSERT_TRUE(reader.ReadHeader(strError));
    SProcmonRow row;
    ASSERT_TRUE(reader.ReadRow(row));
    EXPECT_EQ(row.m_strOperation, "RegOpenKey");
    EXPECT_EQ(row.m_strPath, "HKLM\\A");
    EXPECT_TRUE(row.m_strTime.empty());
    EXPECT_FALSE(CProcmonRowMapper::Map(row, FixedDate())) << "no time, no record";

    std::istringstream bad("Time of Day,Process Name,PID\n");
    CProcmonCsvReader badReader(bad);
    EXPECT_FALSE(badReader.ReadHeader(strError));
    EXPECT_NE(strError.find("Operation"), std::string::npos);
}

TEST(ProcmonTimes, EveryExportedFormat) {
    EXPECT_EQ(TimeText("7:21:49.0877812 AM"), "07:21:49.087");
    EXPECT_EQ(TimeText("12:00:01.5 AM"), "00:00:01.500");
    EXPECT_EQ(TimeText("12:30:00.0 PM"), "12:30:00.000");
    EXPECT_EQ(TimeText("11:59:59.9999999 pm"), "23:59:59.999");
    EXPECT_EQ(TimeText("14:54:10,5440845"), "14:54:10.544");
    EXPECT_EQ(TimeText("\xE4\xB8\x8A\xE5\x8D\x88 01:09:44.8222664"), "01:09:44.822");
    EXPECT_EQ(TimeText("\xE4\xB8\x8B\xE5\x8D\x88 01:09:44.8222664"), "13:09:44.822");
    EXPECT_EQ(TimeText("47:57.9"), "00:47:57.900");
    EXPECT_EQ(TimeText("08:00:00"), "08:00:00.000");
    for (const char* psz : {"", "abc", "25:00:00", "13:00:00 PM", "10:61:00", "1", "10:00:00.5x",
                            "1:2:3:4", "\xE4\xB8"})
        EXPECT_EQ(TimeText(psz), "invalid") << psz;
}

TEST(ProcmonMapping, OperationsPathsAndValues) {
    EXPECT_EQ(CProcmonRowMapper::MapOperation("RegCreateKey", "Desired Access: All Access, "
                                                              "Disposition: REG_CREATED_NEW_KEY"),
              OP_CREATE_NEW);
    EXPECT_EQ(
        CProcmonRowMapper::MapOperation("RegCreateKey", "Disposition: REG_OPENED_EXISTING_KEY"),
        OP_CREATE_OPEN);
    EXPECT_EQ(CProcmonRowMapper::MapOperation("RegCreateKey", ""), OP_CREATE_OPEN);
    EXPECT_EQ(CProcmonRowMapper::MapOperation("RegSetInfoKey", ""), OP_QUERY_KEY);
    EXPECT_EQ(CProcmonRowMapper::MapOperation("RegUnLoadKey", ""), OP_UNLOAD_KEY);
    EXPECT_EQ(CProcmonRowMapper::MapOperation("RegEnumValue", ""), OP_ENUM_VALUE);
    EXPECT_EQ(CProcmonRowMapper::MapOperation("RegRenameKey", ""), CProcmonRowMapper::SKIPPED);
    EXPECT_EQ(CProcmonRowMapper::MapOperation("Process Start", ""), CProcmonRowMapper::SKIPPED);

    EXPECT_EQ(CProcmonRowMapper::MapPath("HKEY_LOCAL_MACHINE\\Software"), "HKLM\\Software");
    EXPECT_EQ(CProcmonRowMapper::MapPath("hkey_users"), "HKU");
    EXPECT_EQ(CProcmonRowMapper::MapPath("\\REGISTRY\\MACHINE\\SYSTEM"), "HKLM\\SYSTEM");
    EXPECT_FALSE(CProcmonRowMapper::MapPath("C:\\Windows"));
    EXPECT_FALSE(CProcmonRowMapper::MapPath("HKLMX\\A"));

    EXPECT_EQ(CProcmonRowMapper::ValueText("Type: REG_DWORD, Length: 4, Data: 1"),
              "REG_DWORD: 0x00000001 (1)");
    EXPECT_EQ(CProcmonRowMapper::ValueText("Type: REG_QWORD, Length: 8, Data: 300"),
              "REG_QWORD: 0x000000000000012c (300)");
    EXPECT_EQ(CProcmonRowMapper::ValueText("Type: REG_SZ, Length: 20, Data: a, b, Data: c"),
              "REG_SZ: a, b, Data: c");
    EXPECT_EQ(CProcmonRowMapper::ValueText("Type: REG_LINK, Length: 210"), "REG_LINK: ");
    EXPECT_EQ(CProcmonRowMapper::ValueText("Length: 80"), "");
}

TEST(ProcmonMapping, ValuePathsKeepBackslashesInNames) {
    const std::optional<SDriverEvent> ev = CProcmonRowMapper::Map(
        Row("RegEnumValue", "HKLM\\Run",
            "Index: 0, Name: C:\\Program Files\\a.exe, Type: REG_SZ, Length: 4, Data: x"),
        FixedDate());
    ASSERT_TRUE(ev);
    EXPECT_EQ(ev->m_strPath, "HKLM\\Run\\C:\\Program Files\\a.exe");
    EXPECT_EQ(ev->m_strNewValue, "REG_SZ: x");
    EXPECT_EQ(ev->m_nPid, 12u);

    const auto evSet = CProcmonRowMapper::Map(
        Row("RegSetValue", "HKCU\\Software\\Classes\\exefile\\shell\\open\\command\\(Default)",
            "Type: REG_SZ, Length: 56, Data: C:\\Windows\\System32\\cmd.exe"),
        FixedDate());
    ASSERT_TRUE(evSet);
    EXPECT_EQ(evSet->m_nOperation, OP_SET_VALUE);
    EXPECT_TRUE(evSet->m_strOldValue.empty());
    EXPECT_EQ(evSet->m_strNewValue, "REG_SZ: C:\\Windows\\System32\\cmd.exe");

    const auto evEnd = CProcmonRowMapper::Map(
        Row("RegEnumValue", "HKLM\\Run", "Length: 12", "NO MORE ENTRIES"), FixedDate());
    ASSERT_TRUE(evEnd);
    EXPECT_EQ(evEnd->m_strPath, "HKLM\\Run");
    EXPECT_EQ(evEnd->m_strResult, "NO MORE ENTRIES");
    EXPECT_EQ(CProcmonRowMapper::Map(Row("RegOpenKey", "HKLM", "", "x"), FixedDate())->m_nPid, 12u);
    SProcmonRow badPid = Row("RegOpenKey", "HKLM");
    badPid.m_strPid = "99999999999999999999";
    EXPECT_EQ(CProcmonRowMapper::Map(badPid, FixedDate())->m_nPid, 0u);
}

// Row totals and per-operation counts are those of the trace files' own documentation.
TEST_F(ReplayTraces, MalwareTrace12Hour) {
    const STraceCount c = ReplayFile("procmon_sre_malware.csv");
    EXPECT_EQ(c.m_nRows, 9226);
    EXPECT_EQ(c.m_nMapped, 6718);
    EXPECT_EQ(c.m_perOperation.at(OP_QUERY_KEY), 1486 + 408);
    EXPECT_EQ(c.m_perOperation.at(OP_ENUM_KEY), 133);
    EXPECT_EQ(c.m_perOperation.at(OP_SET_VALUE), 4);
    EXPECT_EQ(LocalTimeText(c.m_arFirst.at(0).m_nFileTime), "07:21:49.115");
    EXPECT_EQ(c.m_arFirst[0].m_strResult, "NAME NOT FOUND");
    EXPECT_EQ(c.m_arFirst[0].m_strProcess, "malware.exe");
}

TEST_F(ReplayTraces, AkagiTraceWithChineseMarkers) {
    const STraceCount c = ReplayFile("procmon_akagi64_uacme.csv");
    EXPECT_EQ(c.m_nRows, 11562);
    EXPECT_EQ(c.m_nMapped, 9873);
    EXPECT_EQ(c.m_perOperation.at(OP_CREATE_NEW) + c.m_perOperation.at(OP_CREATE_OPEN), 11);
    EXPECT_EQ(c.m_perOperation.at(OP_CREATE_NEW), 3);
    EXPECT_EQ(c.m_perOperation.at(OP_DELETE_KEY), 2);
    EXPECT_EQ(c.m_perOperation.at(OP_FLUSH_KEY), 2);
    EXPECT_EQ(LocalTimeText(c.m_arFirst.at(0).m_nFileTime), "01:09:44.827");
    EXPECT_EQ(c.m_arFirst[0].m_strResult, "REPARSE");
}

TEST_F(ReplayTraces, PostgresTraceWithDecimalComma) {
    const STraceCount c = ReplayFile("procmon_lab_os4_postgres.csv");
    EXPECT_EQ(c.m_nRows, 6714);
    EXPECT_EQ(c.m_nMapped, 6230);
    EXPECT_EQ(c.m_perOperation.at(OP_QUERY_VALUE), 1610 + 1);
    EXPECT_EQ(c.m_perOperation.at(OP_ENUM_VALUE), 15);
    EXPECT_EQ(LocalTimeText(c.m_arFirst.at(0).m_nFileTime), "14:54:10.547");
}

TEST_F(ReplayTraces, SpreadsheetResavedTrace) {
    const STraceCount c = ReplayFile("procmon_cucsec_excel_resaved.csv");
    EXPECT_EQ(c.m_nRows, 3640);
    EXPECT_EQ(c.m_nMapped, 3640);
    EXPECT_EQ(c.m_perOperation.at(OP_QUERY_KEY), 1055 + 269 + 8);
    EXPECT_EQ(c.m_perOperation.at(OP_CREATE_NEW) + c.m_perOperation.at(OP_CREATE_OPEN), 62);
    EXPECT_EQ(c.m_perOperation.at(OP_CREATE_NEW), 14);
    EXPECT_EQ(LocalTimeText(c.m_arFirst.at(0).m_nFileTime), "00:47:57.900");
    EXPECT_EQ(c.m_arFirst[0].m_strOldValue, "REG_DWORD: 0x00000000 (0)"); // the data a query read
}

TEST_F(ReplayTraces, LoadedDriverReplaysAWholeTraceInOrder) {
    const std::string strSource =
        "replay:" + TestDataPath("procmon_lab_os4_postgres.csv").toStdString();
    SetDriverEnv(strSource.c_str(), nullptr, nullptr, "fast");
    CLoadedDriver drv;
    ASSERT_TRUE(drv.IsOpen());
    ASSERT_TRUE(drv.Configure("*"));
    std::vector<SRecord> arAll;
    const auto tmEnd = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (arAll.size() < 6230 && std::chrono::steady_clock::now() < tmEnd) {
        for (SRecord& rec : drv.Read())
            arAll.push_back(std::move(rec));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(arAll.size(), 6230u);
    EXPECT_TRUE(drv.Read().empty());
    EXPECT_EQ(arAll[0].m_arFields[0], "13140");
    EXPECT_EQ(arAll[0].m_arFields[2], "RegOpenKey");
    EXPECT_EQ(LocalTimeText(arAll[0].m_nFileTime), "14:54:10.547");
    EXPECT_EQ(LocalTimeText(arAll.back().m_nFileTime), "14:56:51.216");
    for (size_t i = 1; i < arAll.size(); ++i) {
        ASSERT_EQ(arAll[i].m_nSeq, arAll[i - 1].m_nSeq + 1);
        ASSERT_GE(arAll[i].m_nFileTime, arAll[i - 1].m_nFileTime);
    }
}
