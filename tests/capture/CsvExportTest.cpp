// CSV export: the header, the record selection by scope, replacing files, failures, and the
// lines of documents and CSV files written before the store was compact.
#include "capture/CsvExport.h"
#include "capture/CaptureEngine.h"
#include "capture/CsvLineWriter.h"
#include "platform/AnsiCodePage.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "tests/RecordCopies.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <utility>
#include <vector>

namespace {

CRegInfoObj* Rec(int nSeq, const char* pRequest, const char* pResult, const char* pOld,
                 const char* pNew) {
    auto* p = new CRegInfoObj;
    p->m_nSeq = nSeq;
    p->m_strTime = QStringLiteral("00:00:01.000");
    p->m_strProcessName = QStringLiteral("p.exe");
    p->m_nPid = 7;
    p->m_strRequest = QString::fromLatin1(pRequest);
    p->m_strPath = QStringLiteral("HKCU\\K\\v");
    p->m_strResult = QString::fromLatin1(pResult);
    p->m_strOldValue = QString::fromUtf8(pOld);
    p->m_strNewValue = QString::fromUtf8(pNew);
    return p;
}

QList<int> ExportedSeqs(const QString& strPath) {
    QList<int> seqs;
    const QList<QByteArray> lines = ReadWholeFile(strPath).split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i)
        if (!lines[i].isEmpty())
            seqs << lines[i].left(lines[i].indexOf(',')).toInt();
    return seqs;
}

} // namespace

TEST(CsvExport, EmptyDocumentWritesOnlyTheHeaderAndReplacesTheFile) {
    const QString strPath = TestTempDir() + "out";
    QFile f(strPath);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(5000, 'x'));
    f.close();
    CHivewatchDoc doc;
    const SExportResult r = ExportCsv(doc, strPath, EXPORT_ALL);
    EXPECT_TRUE(r.bOk);
    EXPECT_EQ(ReadWholeFile(strPath),
              QByteArray("Seq,Time,ProcessName,PID,Request,Path,OldValue,NewValue\r\n"));
}

TEST(CsvExport, ScopesSelectWritesThatChangedSomething) {
    CHivewatchDoc doc;
    doc.AppendRecord(Rec(1, "RegOpenKey", "SUCCESS", "", ""));
    doc.AppendRecord(Rec(2, "RegSetValueKey", "SUCCESS", "REG_SZ: a", "REG_SZ: a")); // unchanged
    doc.AppendRecord(Rec(3, "RegSetValueKey", "SUCCESS", "REG_SZ: a", "REG_SZ: \u00e9"));
    doc.AppendRecord(Rec(4, "RegDeleteKey", "ACCESS DENIED", "", ""));
    doc.AppendRecord(Rec(5, "RegLoadKey", "SUCCESS", "", ""));
    doc.AppendRecord(Rec(6, "RegDeleteValue", "SUCCESS", "REG_DWORD: 1", ""));
    const QString strPath = TestTempDir() + "out.csv";
    struct {
        int nScope;
        QList<int> seqs;
    } cases[] = {{EXPORT_ALL, {1, 2, 3, 4, 5, 6}},
                 {EXPORT_WRITE, {3, 6}},
                 {EXPORT_MODIFIED, {3, 5, 6}},
                 {99, {1, 2, 3, 4, 5, 6}}};
    for (const auto& c : cases) {
        const SExportResult r = ExportCsv(doc, strPath, c.nScope);
        ASSERT_TRUE(r.bOk);
        EXPECT_EQ(ExportedSeqs(strPath), c.seqs) << "scope " << c.nScope;
        EXPECT_EQ(r.nRecords, c.seqs.size());
    }
    // Text outside ASCII is written whole in the narrow code page.
    ExportCsv(doc, strPath, EXPORT_WRITE);
    EXPECT_TRUE(ReadWholeFile(strPath).contains("REG_SZ: \xC3\xA9\r\n"));
}

// A lone CR is a line break to a spreadsheet: a field holding one is quoted, whether it is
// short, or long with the CR in its first 16 bytes or after its last full 16-byte block, and
// whether the line is written from the stored bytes (ASCII) or through the record class.
TEST(CsvExport, ALoneCarriageReturnIsQuotedWherever) {
    CHivewatchDoc doc;
    doc.AppendRecord(Rec(1, "RegSetValueKey", "SUCCESS", "REG_SZ: a\rb", "REG_SZ: abcdefghij\rbc"));
    doc.AppendRecord(
        Rec(2, "RegSetValueKey", "SUCCESS", "REG_SZ:\r0123456789abcdefghij", "REG_SZ: x"));
    doc.AppendRecord(
        Rec(3, "RegSetValueKey", "SUCCESS", "REG_SZ: \u00e9\rb", "REG_SZ: \u00e9bcdefghij\rbc"));
    const QString strPath = TestTempDir() + "cr.csv";
    ASSERT_TRUE(ExportCsv(doc, strPath, EXPORT_ALL).bOk);
    const QByteArray prefix = "00:00:01.000,p.exe,7,RegSetValueKey,HKCU\\K\\v,";
    const QByteArray lines[] = {"1," + prefix + "\"REG_SZ: a\rb\",\"REG_SZ: abcdefghij\rbc\"\r\n",
                                "2," + prefix + "\"REG_SZ:\r0123456789abcdefghij\",REG_SZ: x\r\n",
                                "3," + prefix +
                                    "\"REG_SZ: \xC3\xA9\rb\",\"REG_SZ: \xC3\xA9"
                                    "bcdefghij\rbc\"\r\n"};
    EXPECT_EQ(ReadWholeFile(strPath), QByteArray(CSV_HEADER) + lines[0] + lines[1] + lines[2]);
}

// The scan behind the stored-bytes lines: a character that needs quotes, or a byte above 0x7F,
// is found at every place of texts of every length around the 16-byte steps.
TEST(CsvExport, ScanFindsQuotesAndWideBytesAtEveryPlace) {
    for (size_t n = 0; n <= 40; ++n) {
        const std::string plain(n, 'a');
        EXPECT_EQ(CsvScan(plain), 0u) << n;
        for (size_t i = 0; i < n; ++i) {
            for (char c : {',', '"', '\r', '\n'}) {
                std::string s = plain;
                s[i] = c;
                EXPECT_EQ(CsvScan(s), CSV_QUOTES) << n << " " << i << " " << int(c);
            }
            std::string s = plain;
            s[i] = '\xE9';
            EXPECT_EQ(CsvScan(s), CSV_NOT_ASCII) << n << " " << i;
        }
    }
}

TEST(CsvExport, UncreatableFileIsReportedAndNothingIsWalked) {
    CHivewatchDoc doc;
    const QString strPath = TestTempDir() + "no/such/folder/x.csv";
    const SExportResult r = ExportCsv(doc, strPath, EXPORT_ALL);
    EXPECT_FALSE(r.bOk);
    EXPECT_FALSE(r.bCreated);
    EXPECT_TRUE(r.strError.startsWith(QStringLiteral("File could not be created:")));
    EXPECT_EQ(r.nCause, 3); // bad path, and in words, naming the file
    EXPECT_TRUE(r.strError.contains(strPath + ": the folder does not exist"))
        << r.strError.toStdString();
}

// A failure or a cancel part-way leaves the old file exactly as it was, and nothing beside it.
TEST(CsvExport, FullDiskAndCancelLeaveTheOldFile) {
    CHivewatchDoc doc;
    for (int i = 0; i < 250000; ++i)
        doc.AppendRecord(Rec(i, "RegSetValueKey", "SUCCESS", "REG_SZ: a", "REG_SZ: b"));
    const QString strDir = TestTempDir();
    const QString strPath = strDir + "old.csv";
    QFile f(strPath);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("old contents");
    f.close();

    std::vector<std::pair<int64_t, int64_t>> calls;
    SExportResult r = ExportCsv(doc, strPath, EXPORT_ALL, [&](int64_t nDone, int64_t nTotal) {
        calls.emplace_back(nDone, nTotal);
        return calls.size() < 2;
    });
    EXPECT_FALSE(r.bOk);
    EXPECT_TRUE(r.bCancelled);
    EXPECT_TRUE(r.bCreated);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_GT(calls[1].first, calls[0].first);
    EXPECT_EQ(calls[0].second, 250000);
    EXPECT_EQ(ReadWholeFile(strPath), QByteArray("old contents"));
    EXPECT_EQ(QDir(strDir).entryList(QDir::Files | QDir::Hidden), QStringList{"old.csv"});

    // Not cancelled: the progress ends at the total and the file is complete.
    calls.clear();
    r = ExportCsv(doc, strPath, EXPORT_ALL, [&](int64_t nDone, int64_t nTotal) {
        calls.emplace_back(nDone, nTotal);
        return true;
    });
    ASSERT_TRUE(r.bOk);
    EXPECT_EQ(calls.back(), std::make_pair(int64_t(250000), int64_t(250000)));
    EXPECT_EQ(ReadWholeFile(strPath).count('\n'), 250001);

    CFullDisk disk;
    if (!disk.Available())
        GTEST_SKIP() << disk.Why().toStdString();
    const QString strFull = disk.Dir() + "old.csv";
    QFile small(strFull);
    ASSERT_TRUE(small.open(QIODevice::WriteOnly | QIODevice::Truncate));
    small.write("old contents");
    small.close();
    disk.Fill();
    r = ExportCsv(doc, strFull, EXPORT_ALL);
    disk.Release();
    EXPECT_FALSE(r.bOk);
    EXPECT_EQ(r.nCause, 13); // disk full
    EXPECT_TRUE(r.strError.contains(strFull)) << r.strError.toStdString();
    EXPECT_EQ(ReadWholeFile(strFull), QByteArray("old contents"));
    EXPECT_EQ(QDir(disk.Dir()).entryList(QDir::Files | QDir::Hidden), QStringList{"old.csv"});
}

// CSV files written before the store was compact come out the same from their documents.
TEST(CsvExport, DocumentsWrittenBeforeExportTheSameLines) {
    for (const char* pName : {"hivewatch_replay_capture", "hivewatch_edge_records"}) {
        CHivewatchDoc doc;
        ASSERT_TRUE(doc.OnOpenDocument(TestDataPath((std::string(pName) + ".hvw").c_str())));
        const QString strPath = TestTempDir() + QString::fromLatin1(pName) + ".csv";
        ASSERT_TRUE(ExportCsv(doc, strPath, EXPORT_ALL).bOk);
        EXPECT_TRUE(ReadWholeFile(strPath) ==
                    ReadWholeFile(TestDataPath((std::string(pName) + ".csv").c_str())))
            << pName;
    }
}

// Lines of captured records, written from the stored bytes, are the record class's lines in
// the narrow code page, ASCII or not, quoted or not, in every export scope.
TEST(CsvExport, CapturedRecordsExportTheRecordClassLines) {
    std::vector<uint8_t> buf(READ_BUFFER_SIZE);
    CByteWriter w(buf);
    const char* texts[] = {
        "10\tapp.exe\tRegSetValueKey\tHKCU\\A,B\\v\tSUCCESS\tREG_SZ: say \"hi\"\tREG_SZ: b",
        "11\t\xE4\xB8\x8A.exe\tRegSetValueKey\tHKCU\\\xC3\xA9\tSUCCESS\tREG_SZ: a\tREG_SZ: "
        "\xC3\xA9",
        "12\tapp.exe\tRegOpenKey\tHKLM\\SOFTWARE\tNAME NOT FOUND",
        "13\tapp.exe\tRegDeleteValue\tHKLM\\x\\v\tSUCCESS\tREG_SZ: \xFF\xFE",
        "14\tapp.exe\tRegSetValueKey\tHKLM\\x\\v\tSUCCESS\tREG_SZ: same\tREG_SZ: same"};
    uint32_t nSeq = 0;
    for (const char* p : texts) {
        ++nSeq;
        ASSERT_TRUE(RegDrvPackEvent(w, nSeq, 133541212291230000ull + nSeq * 12345678ull, p));
    }
    CHivewatchDoc doc;
    CCaptureEngine engine(&doc);
    engine.m_bRunning = 1;
    engine.m_bCapturing = 1;
    engine.WalkBuffer(buf.data(), w.Position());
    engine.m_bRunning = 0;
    engine.m_bCapturing = 0;
    const std::vector<CRegInfoObj> records = CopyRecords(doc);
    ASSERT_EQ(records.size(), std::size(texts));
    const QString strPath = TestTempDir() + "captured.csv";
    for (int nScope : {EXPORT_ALL, EXPORT_WRITE, EXPORT_MODIFIED}) {
        QByteArray expected(CSV_HEADER);
        for (const CRegInfoObj& r : records)
            if (IsRecordExported(r, nScope))
                expected += Utf16ToAnsi(r.GetCVSLine());
        ASSERT_TRUE(ExportCsv(doc, strPath, nScope).bOk);
        EXPECT_EQ(ReadWholeFile(strPath), expected) << "scope " << nScope;
    }
}
