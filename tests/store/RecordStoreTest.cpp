// Compact record store: texts of every kind read back exactly, driver records converted as the
// record class converts them, shared texts never confused, trims across chunk borders, and
// capture documents written before the store was compact loading and saving back unchanged.
#include "platform/AnsiCodePage.h"
#include "store/ArchivedRecord.h"
#include "store/HivewatchDoc.h"
#include "store/RecordList.h"
#include "store/RecordLock.h"
#include "store/TextTable.h"
#include "store/Wtf8.h"
#include "tests/RecordCopies.h"
#include "tests/TestSupport.h"
#include "utils/Archive.h"

#include <gtest/gtest.h>

#include <QBuffer>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace {

const QChar HIGH(char16_t(0xD83D)), LOW(char16_t(0xDE00));

CRegInfoObj Make(int nSeq, const QString& strTime, const QString& strProcess,
                 const QString& strRequest, const QString& strPath, const QString& strResult,
                 const QString& strOld, const QString& strNew) {
    CRegInfoObj r;
    r.m_nSeq = nSeq;
    r.m_strTime = strTime;
    r.m_strProcessName = strProcess;
    r.m_nPid = nSeq % 100000 - 3;
    r.m_strRequest = strRequest;
    r.m_strPath = strPath;
    r.m_strResult = strResult;
    r.m_strOldValue = strOld;
    r.m_strNewValue = strNew;
    return r;
}

// Texts the store keeps in different ways: shared (up to 64 UTF-8 bytes) or with the record,
// ASCII or not, pairs and lone halves of surrogates, the long forms.
std::vector<CRegInfoObj> AwkwardRecords() {
    const QString str64(64, QLatin1Char('s')), str65(65, QLatin1Char('s'));
    const QString strAccents = QStringLiteral("\u00e9t\u00e9 \u4E0A\u5348");
    const QString strPair = QStringLiteral("smile ") + HIGH + LOW;
    const QString strLoneHigh = QStringLiteral("a") + HIGH;
    const QString strLoneLow = LOW + QStringLiteral("b");
    const QString strLong = QString(100000, QLatin1Char('L'));
    const QString strLongWide = QString(30000, QChar(char16_t(0x00e9)));
    return {
        Make(1, "12:34:56.789", "explorer.exe", "RegOpenKey", "HKLM\\A", "SUCCESS", "", ""),
        Make(2, "7:21:49 AM", strAccents, "RegSetValueKey", "HKCU\\" + strAccents, "SUCCESS",
             strPair, strLoneHigh),
        Make(3, "", "", "", "", "", "", ""),
        Make(-2147483647 - 1, "99:99:99.999", strLoneLow, "regsetvaluekey", strLoneHigh, strLoneLow,
             str64, str65),
        Make(2147483647, QString(12, QChar(char16_t(0x0661))), str65, str65, strLong, str65,
             strLong, strLongWide),
        Make(6, "12:34:56,789", str64, str64, "HKLM\\" + strLongWide, str64, str64, str64),
        Make(7, "00:00:00.000", "a,b\"c\r\nd", "Process Start", "HKCR\\a\tb", "NAME NOT FOUND",
             "REG_MULTI_SZ: a\r\nb", "x"),
        // Short process name and request, a result too long to share (as a loaded document or
        // a replayed trace can hold), ASCII and not.
        Make(8, "00:00:01.000", "app.exe", "RegQueryValue", "HKLM\\R", "BUFFER OVERFLOW " + str65,
             "", ""),
        Make(9, "00:00:01.000", "app.exe", "RegSetValueKey", "HKLM\\R", strAccents + str65, "a",
             "b"),
    };
}

QByteArray Serialized(const std::vector<CRegInfoObj>& records) {
    QBuffer buf;
    buf.open(QIODevice::ReadWrite);
    CArchive ar(&buf, CArchive::store);
    for (CRegInfoObj r : records)
        r.Serialize(ar);
    ar.Close();
    return buf.data();
}

::testing::AssertionResult SameRecord(const CRegInfoObj& a, const CRegInfoObj& b) {
    const auto same = [](const QString& x, const QString& y) {
        return x.size() == y.size() && x == y && x.isEmpty() == y.isEmpty();
    };
    if (a.m_nSeq != b.m_nSeq || a.m_nPid != b.m_nPid || !same(a.m_strTime, b.m_strTime) ||
        !same(a.m_strProcessName, b.m_strProcessName) || !same(a.m_strRequest, b.m_strRequest) ||
        !same(a.m_strPath, b.m_strPath) || !same(a.m_strResult, b.m_strResult) ||
        !same(a.m_strOldValue, b.m_strOldValue) || !same(a.m_strNewValue, b.m_strNewValue) ||
        a.GetFunType() != b.GetFunType())
        return ::testing::AssertionFailure()
               << "records " << a.m_nSeq << " and " << b.m_nSeq
               << " differ: " << a.GetCVSLine().left(200).toStdString() << " / "
               << b.GetCVSLine().left(200).toStdString();
    return ::testing::AssertionSuccess();
}

} // namespace

TEST(RecordStore, EveryKindOfTextReadsAndSavesBackExactly) {
    const std::vector<CRegInfoObj> records = AwkwardRecords();
    CRecordList list;
    for (const CRegInfoObj& r : records)
        list.Append(r);
    ASSERT_EQ(list.GetCount(), (long long)records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        CRegInfoObj copy;
        ASSERT_TRUE(list.GetRecord((long long)i, copy));
        EXPECT_TRUE(SameRecord(copy, records[i]));
        EXPECT_EQ(copy.GetCVSLine(), records[i].GetCVSLine());
        EXPECT_EQ(copy.GetDescription(), records[i].GetDescription());
        EXPECT_EQ(copy.Modified(), records[i].Modified());
        EXPECT_EQ(CRecordList::Modified(list.View((long long)i)), records[i].Modified());
    }
    // The store writes what the record class writes, and reads it back to the same bytes.
    const QByteArray bytes = Serialized(records);
    EXPECT_EQ(ArchiveOf(list).toHex(), bytes.toHex());
    QBuffer buf;
    buf.setData(bytes);
    buf.open(QIODevice::ReadOnly);
    CArchive ar(&buf, CArchive::load, 1 << 16);
    CRecordList loaded;
    for (size_t i = 0; i < records.size(); ++i)
        loaded.LoadOne(ar);
    EXPECT_EQ(ar.BytesRemaining(), 0u);
    EXPECT_EQ(ArchiveOf(loaded), bytes);
}

// Narrow driver texts become what the record class made of them: the code page's conversion,
// bytes that are not valid included, shared or not.
TEST(RecordStore, DriverFieldsConvertAsTheRecordClassConverts) {
    const std::string strLong(4096, 'v');
    const std::vector<SRecordFields> cases = {
        {"1", "app.exe", "RegOpenKey", "HKLM\\A", "SUCCESS", "", ""},
        {"2", "\xE4\xB8\x8A\xE5\x8D\x88.exe", "RegSetValueKey", "HKCU\\\xC3\xA9t\xC3\xA9",
         "SUCCESS", "REG_SZ: \xF0\x9F\x98\x80", "REG_SZ: \xFF\xFE bad \x80"},
        {"3", "app.exe", "RegSetValueKey", "HKLM\\\xC3", "SUCCESS", strLong, strLong},
        {"4", std::string_view(strLong).substr(0, 65), "\xC3\xA9", "", "\xC3\xA9", "x", ""},
        {"5", "app.exe", "RegOpenKey", "HKLM\\A", "SUCCESS", "", ""},
        {"6", "app.exe", "RegQueryValue", "HKLM\\R", std::string_view(strLong).substr(0, 70), "",
         ""},
        {"7", "app.exe", "RegQueryValue", "HKLM\\R", std::string_view(strLong).substr(0, 70), "",
         ""},
    };
    CRecordList list;
    for (size_t i = 0; i < cases.size(); ++i)
        list.AppendCaptured(uint32_t(i + 1), 133541212291230000ull, int32_t(i), cases[i]);
    for (size_t i = 0; i < cases.size(); ++i) {
        CRegInfoObj r;
        ASSERT_TRUE(list.GetRecord((long long)i, r));
        const auto wide = [](std::string_view s) {
            return AnsiToUtf16(s.data(), qsizetype(s.size()));
        };
        EXPECT_EQ(r.m_nSeq, int(i + 1));
        EXPECT_EQ(r.m_nPid, int(i));
        EXPECT_EQ(r.m_strProcessName, wide(cases[i][1])) << i;
        EXPECT_EQ(r.m_strRequest, wide(cases[i][2])) << i;
        EXPECT_EQ(r.m_strPath, wide(cases[i][3])) << i;
        EXPECT_EQ(r.m_strResult, wide(cases[i][4])) << i;
        EXPECT_EQ(r.m_strOldValue, wide(cases[i][5])) << i;
        EXPECT_EQ(r.m_strNewValue, wide(cases[i][6])) << i;
        EXPECT_EQ(r.GetFunType(), RequestToFunType(wide(cases[i][2])));
    }
}

// Driver times are formatted when shown, in the local time of that moment; loaded texts stay
// as they were; times beyond what the field keeps are kept as their text.
TEST(RecordStore, DriverTimesAreFormattedWhenShown) {
    const char* pOldTz = std::getenv("TZ");
    const std::string strOld = pOldTz ? pOldTz : "";
    const uint64_t nTime = 133541212291230000ull; // 2024-03-05 14:07:09.123 UTC
    CRecordList list;
    const SRecordFields f = {"1", "p", "RegOpenKey", "HKLM", "SUCCESS", "", ""};
    list.AppendCaptured(1, nTime, 1, f);
    list.AppendCaptured(2, ~uint64_t(0), 1, f);
    list.Append(Make(3, "14:07:09.123", "p", "RegOpenKey", "HKLM", "SUCCESS", "", ""));
    CRegInfoObj r;
    setenv("TZ", "UTC", 1);
    tzset();
    ASSERT_TRUE(list.GetRecord(0, r));
    EXPECT_EQ(r.m_strTime, QStringLiteral("14:07:09.123"));
    ASSERT_TRUE(list.GetRecord(1, r));
    const QString strFar = r.m_strTime;
    EXPECT_EQ(strFar.size(), 12);
    setenv("TZ", "JST-9", 1);
    tzset();
    ASSERT_TRUE(list.GetRecord(0, r));
    EXPECT_EQ(r.m_strTime, QStringLiteral("23:07:09.123"));
    ASSERT_TRUE(list.GetRecord(1, r));
    EXPECT_EQ(r.m_strTime, strFar);
    ASSERT_TRUE(list.GetRecord(2, r));
    EXPECT_EQ(r.m_strTime, QStringLiteral("14:07:09.123"));
    if (pOldTz)
        setenv("TZ", strOld.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

// Values that differ by one character, by case or by their place, and more values than are
// ever shared: every record keeps its own.
TEST(RecordStore, SharedTextsAreNeverConfused) {
    CRecordList list;
    const int nCount = 20000;
    for (int i = 0; i < nCount; ++i) {
        const QString strValue = QStringLiteral("REG_DWORD: %1").arg(i);
        const QString strCase =
            i % 2 ? QStringLiteral("Explorer.exe") : QStringLiteral("explorer.exe");
        list.Append(Make(i, "01:02:03.004", strCase, i % 3 ? "RegSetValueKey" : "regSetValueKey",
                         "HKLM\\K" + QString::number(i % 10), strValue, strValue,
                         strCase + QString::number(i)));
    }
    for (int i = 0; i < nCount; i += 7) {
        CRegInfoObj r;
        ASSERT_TRUE(list.GetRecord(i, r));
        const QString strValue = QStringLiteral("REG_DWORD: %1").arg(i);
        const QString strCase =
            i % 2 ? QStringLiteral("Explorer.exe") : QStringLiteral("explorer.exe");
        ASSERT_EQ(r.m_strProcessName, strCase);
        ASSERT_EQ(r.m_strRequest,
                  i % 3 ? QStringLiteral("RegSetValueKey") : QStringLiteral("regSetValueKey"));
        ASSERT_EQ(r.m_strResult, strValue);
        ASSERT_EQ(r.m_strOldValue, strValue);
        ASSERT_EQ(r.m_strNewValue, strCase + QString::number(i));
        ASSERT_EQ(r.m_strPath, "HKLM\\K" + QString::number(i % 10));
    }

    // The table stops growing at its bound; texts beyond it are kept with their records.
    CTextTable table;
    uint32_t nLast = 0;
    for (uint32_t i = 0; i <= CTextTable::MAX_TEXTS + 5; ++i)
        nLast = table.Intern(std::to_string(i));
    EXPECT_EQ(nLast, CTextTable::NOT_SHARED);
    EXPECT_EQ(table.Text(table.Intern("12345")), "12345");
    EXPECT_EQ(table.Intern(std::string(65, 'x')), CTextTable::NOT_SHARED);
    EXPECT_EQ(table.Intern(""), 0u);
}

// The byte compare behind every shared text reads short strings in overlapping words: at
// every length up to three words, a difference in any one byte is seen, and equal bytes match
// wherever the strings lie.
TEST(RecordStore, ByteCompareSeesEveryDifferingByte) {
    const std::string strBase = "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMN";
    for (size_t n = 0; n <= 40; ++n) {
        const std::string a = strBase.substr(0, n);
        const std::string shifted = "#" + a; // the same bytes at another alignment
        ASSERT_TRUE(SameBytes(a, std::string_view(shifted).substr(1))) << n;
        for (size_t i = 0; i < n; ++i) {
            std::string b = a;
            b[i] = char(b[i] ^ 0x20);
            ASSERT_FALSE(SameBytes(a, b)) << n << " " << i;
        }
        if (n > 0)
            ASSERT_FALSE(SameBytes(a, std::string_view(a).substr(0, n - 1))) << n;
    }
}

// Records appended one after another that differ in a single field, or only in where the
// bytes of two neighbouring fields part, read back each as it was: one record's shared texts
// never stand in for another's. The same bytes from the driver and from a loaded document are
// different texts when they are not ASCII (the driver's are in the narrow code page).
TEST(RecordStore, RecordsThatDifferInOneFieldNeverShareIt) {
    const QString str70(70, QLatin1Char('v'));
    const CRegInfoObj base = Make(1, "01:02:03.004", "app.exe", "RegSetValueKey", "HKLM\\K",
                                  "SUCCESS", "REG_SZ: a", "REG_SZ: b");
    std::vector<CRegInfoObj> records;
    const auto variant = [&](const std::function<void(CRegInfoObj&)>& fnChange) {
        CRegInfoObj r = base;
        r.m_nSeq = int(records.size()) + 1;
        fnChange(r);
        // The unchanged record just before it, so that its shared texts are at hand.
        records.push_back(base);
        records.back().m_nSeq = r.m_nSeq;
        records.push_back(r);
    };
    variant([](CRegInfoObj& r) { r.m_strProcessName = QStringLiteral("App.exe"); });
    variant([](CRegInfoObj& r) { r.m_strRequest = QStringLiteral("RegDeleteValue"); });
    variant([](CRegInfoObj& r) { r.m_strResult = QStringLiteral("ACCESS DENIED"); });
    variant([](CRegInfoObj& r) { r.m_strOldValue = QStringLiteral("REG_SZ: b"); });
    variant([](CRegInfoObj& r) { r.m_strNewValue = QStringLiteral("REG_SZ: a"); });
    variant([](CRegInfoObj& r) { r.m_strPath = QStringLiteral("HKLM\\L"); });
    variant([](CRegInfoObj& r) { r.m_strTime = QStringLiteral("01:02:03.005"); });
    variant([](CRegInfoObj& r) { r.m_nPid = 4; });
    variant([&](CRegInfoObj& r) { r.m_strResult = str70; });
    variant([&](CRegInfoObj& r) { r.m_strNewValue = str70; });
    // The bytes of neighbouring fields part one place further on.
    variant([](CRegInfoObj& r) {
        r.m_strProcessName = QStringLiteral("app.exeR");
        r.m_strRequest = QStringLiteral("egSetValueKey");
    });
    variant([](CRegInfoObj& r) {
        r.m_strOldValue = QStringLiteral("REG_SZ: aR");
        r.m_strNewValue = QStringLiteral("EG_SZ: b");
    });
    CRecordList list;
    for (const CRegInfoObj& r : records)
        list.Append(r);
    for (size_t i = 0; i < records.size(); ++i) {
        CRegInfoObj copy;
        ASSERT_TRUE(list.GetRecord((long long)i, copy));
        EXPECT_TRUE(SameRecord(copy, records[i])) << "record " << i;
        EXPECT_EQ(CRecordList::Modified(list.View((long long)i)), records[i].Modified()) << i;
    }

    // A lone surrogate half from a document, and the same bytes as a driver sends them.
    const QString strLone = QStringLiteral("REG_SZ: ") + HIGH;
    std::string strStored;
    AppendUtf16AsWtf8(strStored, strLone);
    CRecordList mixed;
    mixed.Append(Make(1, "01:02:03.004", "app.exe", "RegSetValueKey", "HKLM\\K", "SUCCESS", strLone,
                      strLone));
    mixed.AppendCaptured(
        2, 133541212291230000ull, 7,
        {"7", "app.exe", "RegSetValueKey", "HKLM\\K", "SUCCESS", strStored, strStored});
    CRegInfoObj fromDocument, fromDriver;
    ASSERT_TRUE(mixed.GetRecord(0, fromDocument));
    ASSERT_TRUE(mixed.GetRecord(1, fromDriver));
    EXPECT_EQ(fromDocument.m_strOldValue, strLone);
    const QString strConverted = AnsiToUtf16(strStored.data(), qsizetype(strStored.size()));
    EXPECT_NE(strConverted, strLone);
    EXPECT_EQ(fromDriver.m_strOldValue, strConverted);
    EXPECT_EQ(fromDriver.m_strNewValue, strConverted);
}

// Trimming to the depth removes the oldest records across chunk borders; lookups by index
// stay right after every trim, and passed chunks give their memory back.
TEST(RecordStore, TrimsAcrossChunkBordersKeepTheNewest) {
    constexpr long long CHUNK = CMyList<SRecordEntry>::CHUNK_ENTRIES;
    const long long nDepth = CHUNK + 123;
    CRecordList list;
    size_t nHeldAtDepth = 0;
    for (long long i = 0; i < 6 * CHUNK + 50; ++i) {
        const std::string strPath = "HKLM\\SOFTWARE\\Key" + std::to_string(i);
        list.AppendTexts(int32_t(i), 1, "01:02:03.004",
                         {"p.exe", "RegOpenKey", strPath, "SUCCESS", "", ""});
        list.TrimTo(nDepth);
        if (i == nDepth)
            nHeldAtDepth = list.GetBytesHeld();
        if (i % 40000 == 0 || i == 2 * CHUNK || i == 2 * CHUNK + 1) {
            const long long nCount = list.GetCount();
            const long long nFirst = i + 1 - nCount;
            for (long long k : {0LL, nCount / 2, nCount - 1}) {
                CRegInfoObj r;
                ASSERT_TRUE(list.GetRecord(k, r));
                ASSERT_EQ(r.m_nSeq, int(nFirst + k)) << "after " << i;
                ASSERT_EQ(r.m_strPath, QStringLiteral("HKLM\\SOFTWARE\\Key%1").arg(nFirst + k));
            }
        }
    }
    EXPECT_EQ(list.GetCount(), nDepth);
    // Memory follows the depth, not the records appended: at most three chunks are spanned.
    EXPECT_LE(list.GetBytesHeld(), 2 * nHeldAtDepth);
    list.RemoveAll();
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_LT(list.GetBytesHeld(), size_t(64) << 10);
}

// Capture documents saved before the store was compact load, show the same records and save
// back byte for byte; records rebuilt from copies save the same bytes too.
TEST(RecordStore, DocumentsWrittenBeforeLoadAndSaveBackUnchanged) {
    for (const char* pName : {"hivewatch_replay_capture.hvw", "hivewatch_edge_records.hvw"}) {
        const QByteArray original = ReadWholeFile(TestDataPath(pName));
        ASSERT_FALSE(original.isEmpty()) << pName;
        CHivewatchDoc doc;
        QString strError;
        ASSERT_TRUE(doc.OnOpenDocument(TestDataPath(pName), &strError)) << strError.toStdString();
        const QString strSaved = TestTempDir() + QString::fromLatin1(pName);
        ASSERT_TRUE(doc.OnSaveDocument(strSaved, &strError)) << strError.toStdString();
        EXPECT_TRUE(ReadWholeFile(strSaved) == original) << pName;

        // The record class's own writer on the copies gives the same bytes.
        const std::vector<CRegInfoObj> records = CopyRecords(doc);
        const QByteArray count = original.left(4);
        EXPECT_TRUE(count + Serialized(records) == original) << pName;

        CHivewatchDoc rebuilt;
        for (const CRegInfoObj& r : records)
            rebuilt.AppendRecord(new CRegInfoObj(r));
        ASSERT_TRUE(rebuilt.OnSaveDocument(strSaved));
        EXPECT_TRUE(ReadWholeFile(strSaved) == original) << pName;
    }
}

namespace {

// Records read from a file go through the loader's own paths: texts that differ from one seen
// before in one unit only (ASCII or not, same length), strings in the long form between short
// ones, times in other forms; enough of them that records lie across the loader's windows and
// the archive's buffer refills at every offset.
std::vector<CRegInfoObj> LoaderRecords() {
    std::vector<CRegInfoObj> records;
    const QString strLongPath = QStringLiteral("HKLM\\") + QString(300, QLatin1Char('p'));
    // 254 units: the longest string of the short form; one more is of the long form.
    const QString strLongValue = QStringLiteral("REG_SZ: ") + QString(246, QLatin1Char('v'));
    for (int i = 0; i < 30000; ++i) {
        const int k = i % 7;
        QString strProcess = k == 3 ? QStringLiteral("caf\u00e9.exe") : QStringLiteral("cafe.exe");
        if (k == 5)
            strProcess = QStringLiteral("cafd.exe");
        const QString strRequest =
            i % 4 ? QStringLiteral("RegSetValueKey") : QStringLiteral("RegSetValueKez");
        const QString strResult = i % 5 ? QStringLiteral("SUCCESS") : QStringLiteral("SUCCESs");
        QString strTime = QStringLiteral("12:00:%1.%2")
                              .arg(i / 1000 % 60, 2, 10, QLatin1Char('0'))
                              .arg(i % 1000, 3, 10, QLatin1Char('0'));
        if (i % 97 == 0)
            strTime = QStringLiteral("12:00:0x.000"); // a time of the usual length, not its form
        if (i % 89 == 0)
            strTime = QStringLiteral("12:00:0\u0661.000"); // a digit that is not ASCII
        const QString strPath =
            i % 53 == 0 ? strLongPath : QStringLiteral("HKCU\\K%1").arg(i % 1000);
        QString strOld = QStringLiteral("REG_DWORD: 0x%1").arg(i % 3, 8, 16, QLatin1Char('0'));
        QString strNew =
            i % 11 == 0 ? QStringLiteral("REG_SZ: \u00e9") : QStringLiteral("REG_SZ: e");
        if (i % 61 == 0)
            strNew = strLongValue;
        if (i % 67 == 0)
            strOld = strLongValue + QStringLiteral("v");
        if (i % 71 == 0)
            strNew = strLongValue + QStringLiteral("v"); // the last string of its record
        records.push_back(
            Make(i, strTime, strProcess, strRequest, strPath, strResult, strOld, strNew));
    }
    return records;
}

} // namespace

// The file a document is saved to opens into the same records, and saves back to the same
// bytes, also over a document that held more records before (whose memory the load reuses)
// and then fewer.
TEST(RecordStore, LoadedRecordsMatchTheFileAtEveryBufferBorder) {
    const std::vector<CRegInfoObj> records = LoaderRecords();
    CHivewatchDoc source;
    for (const CRegInfoObj& r : records)
        source.AppendRecord(new CRegInfoObj(r));
    const QString strDir = TestTempDir();
    ASSERT_TRUE(source.OnSaveDocument(strDir + "loader.hvw"));
    const QByteArray bytes = ReadWholeFile(strDir + "loader.hvw");
    EXPECT_TRUE(bytes.mid(4) == Serialized(records));

    CHivewatchDoc small;
    small.AppendRecord(new CRegInfoObj(records[3]));
    ASSERT_TRUE(small.OnSaveDocument(strDir + "small.hvw"));

    CHivewatchDoc doc;
    for (int nRound = 0; nRound < 2; ++nRound) {
        QString strError;
        ASSERT_TRUE(doc.OnOpenDocument(strDir + "loader.hvw", &strError)) << strError.toStdString();
        const std::vector<CRegInfoObj> loaded = CopyRecords(doc);
        ASSERT_EQ(loaded.size(), records.size());
        for (size_t i = 0; i < records.size(); ++i)
            ASSERT_TRUE(SameRecord(loaded[i], records[i])) << "record " << i;
        ASSERT_TRUE(doc.OnSaveDocument(strDir + "again.hvw"));
        EXPECT_TRUE(ReadWholeFile(strDir + "again.hvw") == bytes);

        ASSERT_TRUE(doc.OnOpenDocument(strDir + "small.hvw"));
        ASSERT_EQ(doc.GetRecordCount(), 1);
        EXPECT_TRUE(SameRecord(RecordAt(doc, 0), records[3]));
    }
}

// A time read from its archived units is kept as the same time as when it is read from its
// text: digits just outside '0'..'9', separators swapped, a unit with a high byte and other
// lengths all keep the text.
TEST(RecordStore, ArchivedTimesAreReadAsTheirText) {
    const std::u16string cases[] = {u"00:00:00.000",
                                    u"23:59:59.999",
                                    u"99:99:99.999",
                                    u"14:07:09.123",
                                    u"/4:07:09.123",
                                    u"14:0::09.123",
                                    u"14:07:09.12/",
                                    u"14:07:09:123",
                                    u"14.07:09.123",
                                    u"14:07.09.123",
                                    u"14:07:09.1234",
                                    u"4:07:09.123",
                                    u"7:21:49 AM",
                                    u"",
                                    u"14\uFF1A07:09.123",
                                    u"1\u0134:07:09.123",
                                    u"14:07:09.\u0130\u0131\u0132",
                                    u"\u3130\u3131:07:09.123",
                                    u"\u80301:07:09.123",
                                    u"1\uFFFF:07:09.123",
                                    u"14\u803A07:09.123"};
    const auto check = [](const std::u16string& s) {
        std::vector<unsigned char> units;
        for (const char16_t c : s) {
            units.push_back(uint8_t(c));
            units.push_back(uint8_t(c >> 8));
        }
        const SArchivedWide wide{units.data(), uint32_t(s.size()), 0};
        const QString strText = QString::fromStdU16String(s);
        EXPECT_EQ(ArchivedTime(wide), CRecordList::TimeFromText(strText.toStdString()))
            << strText.toStdString();
    };
    for (const std::u16string& s : cases)
        check(s);
    // Times with a few units changed to ones near the digits and separators, in the low or
    // the high byte.
    const char16_t near[] = {u'/',   u':',   u';',   u'.',   u'0',   u'9',
                             0x0130, 0x3039, 0x7FFF, 0x8030, 0x803A, 0xFFFF};
    uint32_t nRandom = 12345;
    for (int i = 0; i < 20000; ++i) {
        std::u16string s = u"12:34:56.789";
        for (int k = 0; k < 1 + i % 3; ++k) {
            nRandom = nRandom * 1103515245u + 12345u;
            s[(nRandom >> 8) % s.size()] = near[(nRandom >> 20) % std::size(near)];
        }
        check(s);
    }
    EXPECT_EQ(CRecordList::TimeFromText("14:07:09.123"), CRecordList::ClockTime(14, 7, 9, 123));
}
