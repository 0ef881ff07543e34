// Files written while a capture runs are the files a save and an export at its end write.
#include "capture/CaptureStream.h"
#include "capture/CsvExport.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>

namespace {

CRegInfoObj* Record(int n) {
    auto* p = new CRegInfoObj;
    p->m_nSeq = n;
    p->m_strTime = QStringLiteral("12:00:%1.000").arg(n % 60, 2, 10, QLatin1Char('0'));
    p->m_strProcessName = n % 3 ? QStringLiteral("reg.exe") : QStringLiteral("régé.exe");
    p->m_nPid = 100 + n % 7;
    p->m_strRequest = n % 2 ? QStringLiteral("RegSetValueKey") : QStringLiteral("RegOpenKey");
    p->m_strPath = QStringLiteral("HKCU\\Software\\K%1\\V, \"q\"").arg(n % 50);
    p->m_strResult = QStringLiteral("SUCCESS");
    p->m_strOldValue = n % 4 ? QString() : QStringLiteral("REG_SZ: a\rb");
    p->m_strNewValue =
        QStringLiteral("REG_DWORD: 0x%1 (%2)").arg(n, 8, 16, QLatin1Char('0')).arg(n);
    return p;
}

class CaptureStream : public ::testing::Test {
protected:
    void SetUp() override { g_SetObj.ResetDefaults(); }
    void TearDown() override { g_SetObj.ResetDefaults(); }
    QString m_strDir = TestTempDir();
};

} // namespace

// Records arriving between writes, shared and unshared texts, ASCII and not, one scope left out.
TEST_F(CaptureStream, FilesMatchASaveAndAnExportAtTheEnd) {
    CHivewatchDoc doc;
    CCaptureStream stream(doc, m_strDir + "s.hvw", m_strDir + "s.csv", EXPORT_MODIFIED);
    ASSERT_TRUE(stream.Open(nullptr));
    int n = 0;
    for (int nRound = 0; nRound < 5; ++nRound) {
        for (int i = 0; i < 3000 * nRound; ++i)
            doc.AppendRecord(Record(++n));
        EXPECT_TRUE(stream.WritePending());
    }
    EXPECT_FALSE(QFile::exists(m_strDir + "s.hvw")) << "in place only when complete";
    ASSERT_TRUE(stream.Finish()) << stream.ErrorText().toStdString();
    EXPECT_EQ(stream.RecordsWritten(), n);
    ASSERT_TRUE(doc.OnSaveDocument(m_strDir + "saved.hvw"));
    ASSERT_TRUE(ExportCsv(doc, m_strDir + "exported.csv", EXPORT_MODIFIED).bOk);
    EXPECT_EQ(ReadWholeFile(m_strDir + "s.hvw"), ReadWholeFile(m_strDir + "saved.hvw"));
    EXPECT_EQ(ReadWholeFile(m_strDir + "s.csv"), ReadWholeFile(m_strDir + "exported.csv"));

    // An empty capture: the count alone, and the header alone.
    CHivewatchDoc empty;
    CCaptureStream none(empty, m_strDir + "e.hvw", m_strDir + "e.csv", EXPORT_ALL);
    ASSERT_TRUE(none.Open(nullptr));
    ASSERT_TRUE(none.Finish());
    EXPECT_EQ(ReadWholeFile(m_strDir + "e.hvw"), QByteArray(4, '\0'));
    EXPECT_EQ(ReadWholeFile(m_strDir + "e.csv"), QByteArray(CSV_HEADER));
}

// Once the history depth trims the document, the stream no longer matches it: it stops and
// replaces nothing, so the caller saves the usual way; so does a Clear.
TEST_F(CaptureStream, TrimmedOrClearedDocumentEndsTheStream) {
    QFile old(m_strDir + "t.hvw");
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    g_SetObj.m_nHistoryDepth = 100;
    CHivewatchDoc doc;
    CCaptureStream stream(doc, m_strDir + "t.hvw", QString(), EXPORT_ALL);
    ASSERT_TRUE(stream.Open(nullptr));
    for (int i = 1; i <= 50; ++i)
        doc.AppendRecord(Record(i));
    EXPECT_TRUE(stream.WritePending());
    for (int i = 51; i <= 150; ++i)
        doc.AppendRecord(Record(i));
    EXPECT_FALSE(stream.WritePending());
    EXPECT_FALSE(stream.Finish());
    EXPECT_TRUE(stream.Diverged());
    EXPECT_EQ(ReadWholeFile(m_strDir + "t.hvw"), QByteArray("old"));

    g_SetObj.m_nHistoryDepth = 0;
    CHivewatchDoc cleared;
    CCaptureStream second(cleared, m_strDir + "t.hvw", QString(), EXPORT_ALL);
    ASSERT_TRUE(second.Open(nullptr));
    cleared.AppendRecord(Record(1));
    EXPECT_TRUE(second.WritePending());
    cleared.ClearDisplay();
    EXPECT_FALSE(second.Finish());
    EXPECT_TRUE(second.Diverged());
}

// Records let go of once written: the files are still those of a document that kept them all
// (the lines of records that are not ASCII are made from the record's index, which is no
// longer its position), and the document holds only what is not written yet.
TEST_F(CaptureStream, ReleasedRecordsStillMakeTheSameFiles) {
    CHivewatchDoc doc, kept;
    CCaptureStream stream(doc, m_strDir + "r.hvw", m_strDir + "r.csv", EXPORT_ALL);
    ASSERT_TRUE(stream.Open(nullptr));
    stream.ReleaseWrittenRecords(doc);
    int n = 0;
    for (int nRound = 0; nRound < 4; ++nRound) {
        // More than one hold's worth in a round, so a hold starts at a head that moved.
        for (int i = 0; i < 7000 * nRound + 1; ++i) {
            doc.AppendRecord(Record(++n));
            kept.AppendRecord(Record(n));
        }
        EXPECT_TRUE(stream.WritePending());
        EXPECT_EQ(doc.GetRecordCount(), 0);
    }
    doc.AppendRecord(Record(++n)); // written by Finish alone
    kept.AppendRecord(Record(n));
    ASSERT_TRUE(stream.Finish()) << stream.ErrorText().toStdString();
    EXPECT_EQ(stream.RecordsWritten(), n);
    EXPECT_EQ(stream.CsvLines(), n);
    ASSERT_TRUE(kept.OnSaveDocument(m_strDir + "kept.hvw"));
    ASSERT_TRUE(ExportCsv(kept, m_strDir + "kept.csv", EXPORT_ALL).bOk);
    EXPECT_EQ(ReadWholeFile(m_strDir + "r.hvw"), ReadWholeFile(m_strDir + "kept.hvw"));
    EXPECT_EQ(ReadWholeFile(m_strDir + "r.csv"), ReadWholeFile(m_strDir + "kept.csv"));
}

// Records that went without being written (the history depth trimmed them first) still end
// the stream when it lets go of the ones it wrote.
TEST_F(CaptureStream, ReleasingStreamStopsWhenUnwrittenRecordsGo) {
    CHivewatchDoc doc;
    CCaptureStream stream(doc, m_strDir + "u.hvw", QString(), EXPORT_ALL);
    ASSERT_TRUE(stream.Open(nullptr));
    stream.ReleaseWrittenRecords(doc);
    for (int i = 1; i <= 50; ++i)
        doc.AppendRecord(Record(i));
    EXPECT_TRUE(stream.WritePending());
    g_SetObj.m_nHistoryDepth = 100;
    for (int i = 51; i <= 250; ++i)
        doc.AppendRecord(Record(i));
    EXPECT_FALSE(stream.WritePending());
    EXPECT_TRUE(stream.Diverged());
    EXPECT_FALSE(stream.Finish());
    EXPECT_FALSE(QFile::exists(m_strDir + "u.hvw"));
}
