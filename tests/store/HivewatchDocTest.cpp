// Capture document: the trim and row rules, .hvw save and load, damaged files, the window
// steps, and saving while the capture appends.
#include "store/HivewatchDoc.h"
#include "settings/SetObj.h"
#include "store/DocumentHost.h"
#include "store/RecordLock.h"
#include "tests/RecordCopies.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include <atomic>
#include <memory>
#include <thread>

namespace {

CRegInfoObj* NewRecord(int nSeq) {
    auto* p = new CRegInfoObj;
    p->m_nSeq = nSeq;
    p->m_strTime = QStringLiteral("01:02:03.004");
    p->m_strProcessName = QStringLiteral("svc.exe");
    p->m_nPid = 100 + nSeq;
    p->m_strRequest = QStringLiteral("RegSetValueKey");
    p->m_strPath = QStringLiteral("HKLM\\SOFTWARE\\Vendor\\Value%1").arg(nSeq);
    p->m_strResult = QStringLiteral("SUCCESS");
    p->m_strOldValue = QStringLiteral("REG_DWORD: 0x00000000 (0)");
    p->m_strNewValue = QStringLiteral("REG_DWORD: 0x00000001 (1)");
    return p;
}

void WriteBytes(const QString& strPath, const QByteArray& bytes) {
    QFile f(strPath);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

std::vector<int> Seqs(const CHivewatchDoc& doc) {
    std::vector<int> v;
    for (const CRegInfoObj& r : CopyRecords(doc))
        v.push_back(r.m_nSeq);
    return v;
}

struct CRecordingHost : IDocumentHost {
    void SwitchCaptureOff() override { ++m_nSwitchOff; }
    void ClearListControl() override { ++m_nClear; }
    bool HasListView() const override { return true; }
    void RefreshItemCount() override { ++m_nRefresh; }
    int m_nSwitchOff = 0, m_nClear = 0, m_nRefresh = 0;
};

class DocTest : public ::testing::Test {
protected:
    void SetUp() override { g_SetObj.m_nHistoryDepth = 0; }
    void TearDown() override { g_SetObj.m_nHistoryDepth = 0; }
    QString m_strDir = TestTempDir();
};

} // namespace

TEST_F(DocTest, HistoryDepthKeepsTheNewestN) {
    for (int nDepth : {0, 1, 3, 5}) {
        g_SetObj.m_nHistoryDepth = nDepth;
        CHivewatchDoc doc;
        for (int i = 1; i <= 8; ++i) {
            doc.AppendRecord(NewRecord(i));
            const int nExpected = nDepth == 0 ? i : std::min(i, nDepth);
            ASSERT_EQ(doc.GetRecordCount(), nExpected) << "depth " << nDepth;
        }
        if (nDepth == 3) {
            EXPECT_EQ(Seqs(doc), (std::vector<int>{6, 7, 8}));
        }
        EXPECT_EQ(doc.m_bNewRecords, 1);
    }
}

TEST_F(DocTest, LoweringTheDepthTrimsAtTheNextAppendOnly) {
    CHivewatchDoc doc;
    for (int i = 1; i <= 6; ++i)
        doc.AppendRecord(NewRecord(i));
    g_SetObj.m_nHistoryDepth = 2;
    EXPECT_EQ(doc.GetRecordCount(), 6);
    doc.AppendRecord(NewRecord(7));
    EXPECT_EQ(Seqs(doc), (std::vector<int>{6, 7}));
}

TEST_F(DocTest, RowZeroIsTheNewestRecord) {
    CHivewatchDoc doc;
    for (int i = 1; i <= 3; ++i)
        doc.AppendRecord(NewRecord(i));
    CRegInfoObj record;
    ASSERT_TRUE(doc.CopyRecordAtRow(0, record));
    EXPECT_EQ(record.m_nSeq, 3);
    ASSERT_TRUE(doc.CopyRecordAtRow(2, record));
    EXPECT_EQ(record.m_nSeq, 1);
    EXPECT_FALSE(doc.CopyRecordAtRow(3, record));
    EXPECT_FALSE(doc.CopyRecordAtRow(-1, record));
}

TEST_F(DocTest, EmptyDocumentIsAZeroCount) {
    CHivewatchDoc doc;
    const QString strPath = m_strDir + "empty.hvw";
    ASSERT_TRUE(doc.OnSaveDocument(strPath));
    EXPECT_EQ(ReadWholeFile(strPath), QByteArray(4, '\0'));
    doc.AppendRecord(NewRecord(1));
    ASSERT_TRUE(doc.OnOpenDocument(strPath));
    EXPECT_EQ(doc.GetRecordCount(), 0);
}

TEST_F(DocTest, SaveAndOpenRoundTripWithFlags) {
    CHivewatchDoc doc;
    for (int i = 1; i <= 50; ++i)
        doc.AppendRecord(NewRecord(i));
    doc.SetModifiedFlag();
    const QString strPath = m_strDir + "a.hvw";
    ASSERT_TRUE(doc.OnSaveDocument(strPath));
    EXPECT_EQ(doc.m_bNewRecords, 0);
    EXPECT_FALSE(doc.IsModified());

    CRecordingHost host;
    CHivewatchDoc loaded;
    loaded.SetHost(&host);
    loaded.AppendRecord(NewRecord(999));
    g_SetObj.m_nHistoryDepth = 10; // a load is never trimmed
    ASSERT_TRUE(loaded.OnOpenDocument(strPath));
    EXPECT_EQ(loaded.GetRecordCount(), 50);
    EXPECT_EQ(host.m_nSwitchOff, 1);
    EXPECT_EQ(host.m_nClear, 1);
    EXPECT_EQ(host.m_nRefresh, 1);
    EXPECT_FALSE(loaded.IsModified());
    EXPECT_EQ(loaded.m_bNewRecords, 1); // from the append before the load, never saved
    const std::vector<CRegInfoObj> records = CopyRecords(loaded);
    for (int i = 0; i < 50; ++i) {
        std::unique_ptr<CRegInfoObj> pExpected(NewRecord(i + 1));
        ASSERT_EQ(records[size_t(i)].GetCVSLine(), pExpected->GetCVSLine());
    }
    // Repeated texts of loaded records share one copy.
    EXPECT_TRUE(records[0].m_strProcessName.isSharedWith(records[49].m_strProcessName));
}

// A count of 0 with nothing after it is an empty document; a negative count or bytes after
// the last record are damage, reported, with the records read kept.
TEST_F(DocTest, NegativeCountAndTrailingBytesAreDamage) {
    const QString strPath = m_strDir + "neg.hvw";
    WriteBytes(strPath, QByteArray::fromHex("FEFFFFFF"));
    CHivewatchDoc doc;
    doc.AppendRecord(NewRecord(1));
    QString strError;
    EXPECT_FALSE(doc.OnOpenDocument(strPath, &strError));
    EXPECT_EQ(doc.GetRecordCount(), 0);
    EXPECT_TRUE(strError.contains(QStringLiteral("damaged"))) << strError.toStdString();
    EXPECT_TRUE(strError.contains(QStringLiteral("negative"))) << strError.toStdString();

    CHivewatchDoc three;
    for (int i = 1; i <= 3; ++i)
        three.AppendRecord(NewRecord(i));
    ASSERT_TRUE(three.OnSaveDocument(strPath));
    WriteBytes(strPath, ReadWholeFile(strPath) + QByteArray(1, '\0'));
    CRecordingHost host;
    CHivewatchDoc loaded;
    loaded.SetHost(&host);
    EXPECT_FALSE(loaded.OnOpenDocument(strPath, &strError));
    EXPECT_EQ(Seqs(loaded), (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(strError.contains(QStringLiteral("follows the last record")));
    EXPECT_TRUE(loaded.IsModified());
    EXPECT_EQ(host.m_nRefresh, 1); // the list shows what was read
}

// The bytes of one record, field by field, so that a change of the order can never pass
// unnoticed: saved captures depend on it.
TEST_F(DocTest, RecordBytesArePinned) {
    CHivewatchDoc doc;
    auto* p = new CRegInfoObj;
    p->m_nSeq = 0x01020304;
    p->m_strTime = QStringLiteral("T");
    p->m_strProcessName = QStringLiteral("p\u00e9");
    p->m_nPid = -2;
    p->m_strRequest = QStringLiteral("R");
    p->m_strPath = QStringLiteral("HK");
    p->m_strResult = QString();
    p->m_strOldValue = QStringLiteral("o");
    p->m_strNewValue = QStringLiteral("n");
    doc.AppendRecord(p);
    const QString strPath = m_strDir + "pin.hvw";
    ASSERT_TRUE(doc.OnSaveDocument(strPath));
    const auto str = [](const char* pHex) { return QByteArray::fromHex(pHex); };
    const QByteArray expected = str("01000000")                     // record count
                                + str("04030201")                   // m_nSeq
                                + str("FFFEFF01") + str("5400")     // m_strTime "T"
                                + str("FFFEFF02") + str("7000E900") // process name
                                + str("FEFFFFFF")                   // m_nPid
                                + str("FFFEFF01") + str("5200")     // request
                                + str("FFFEFF02") + str("48004B00") // path
                                + str("FFFEFF00")                   // result, empty
                                + str("FFFEFF01") + str("6F00")     // old value
                                + str("FFFEFF01") + str("6E00");    // new value
    EXPECT_EQ(ReadWholeFile(strPath).toHex(), expected.toHex());
}

// A save that cannot be completed reports it and changes nothing: the old file, the flags
// that make closing ask to save, and no temporary file left.
TEST_F(DocTest, FailedSaveOnAFullDiskChangesNothing) {
    CFullDisk disk;
    if (!disk.Available())
        GTEST_SKIP() << disk.Why().toStdString();
    const QString strPath = disk.Dir() + "old.hvw";
    WriteBytes(strPath, QByteArray(3000, 'o'));
    CHivewatchDoc doc;
    for (int i = 1; i <= 8; ++i)
        doc.AppendRecord(NewRecord(i));
    doc.SetModifiedFlag();
    disk.Fill();
    QString strError;
    EXPECT_FALSE(doc.OnSaveDocument(strPath, &strError));
    disk.Release();
    EXPECT_TRUE(strError.contains(strPath)) << strError.toStdString();
    EXPECT_EQ(ReadWholeFile(strPath), QByteArray(3000, 'o'));
    EXPECT_EQ(doc.m_bNewRecords, 1);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(QDir(disk.Dir()).entryList(QDir::Files | QDir::Hidden), QStringList{"old.hvw"});

    ASSERT_TRUE(doc.OnSaveDocument(strPath, &strError)) << strError.toStdString();
    EXPECT_EQ(doc.m_bNewRecords, 0);
}

TEST_F(DocTest, SaveRefusesTargetsThatAreNotRegularFiles) {
    const QString strFifo = m_strDir + "fifo.hvw";
    ASSERT_EQ(mkfifo(QFile::encodeName(strFifo).constData(), 0600), 0);
    QDir().mkpath(m_strDir + "folder.hvw");
    CHivewatchDoc doc;
    doc.AppendRecord(NewRecord(1));
    for (const QString& strPath : {strFifo, m_strDir + "folder.hvw"}) {
        QString strError;
        EXPECT_FALSE(doc.OnSaveDocument(strPath, &strError));
        EXPECT_TRUE(strError.contains(QStringLiteral("FIFO")) ||
                    strError.contains(QStringLiteral("folder")))
            << strError.toStdString();
        EXPECT_EQ(doc.m_bNewRecords, 1);
    }
    EXPECT_FALSE(QFileInfo(strFifo).isFile());
    EXPECT_TRUE(QFileInfo(m_strDir + "folder.hvw").isDir());
}

TEST_F(DocTest, ShortFileKeepsTheWholeRecordsReadAndReportsTheError) {
    CHivewatchDoc doc;
    for (int i = 1; i <= 3; ++i)
        doc.AppendRecord(NewRecord(i));
    const QString strPath = m_strDir + "cut.hvw";
    ASSERT_TRUE(doc.OnSaveDocument(strPath));
    const QByteArray full = ReadWholeFile(strPath);
    const qsizetype nRecord = (full.size() - 4) / 3;

    for (qsizetype nCut : {qsizetype(1), nRecord / 2, nRecord - 1}) {
        QFile f(strPath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(full.left(4 + 2 * nRecord + nCut));
        f.close();
        CHivewatchDoc loaded;
        QString strError;
        EXPECT_FALSE(loaded.OnOpenDocument(strPath, &strError));
        EXPECT_EQ(Seqs(loaded), (std::vector<int>{1, 2})) << "cut " << nCut;
        EXPECT_TRUE(strError.contains(QStringLiteral("2 records"))) << strError.toStdString();
        EXPECT_TRUE(loaded.IsModified()) << "a partial open is not the file's content";
    }

    // A count far beyond the data reads what is there, then stops with an error.
    QByteArray lying = full;
    lying.replace(0, 4, QByteArray::fromHex("FFFFFF7F"));
    QFile f(strPath);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(lying);
    f.close();
    CHivewatchDoc loaded;
    EXPECT_FALSE(loaded.OnOpenDocument(strPath));
    EXPECT_EQ(loaded.GetRecordCount(), 3);
}

TEST_F(DocTest, UnreadableFileLeavesEverythingAsItWas) {
    CRecordingHost host;
    CHivewatchDoc doc;
    doc.SetHost(&host);
    doc.AppendRecord(NewRecord(1));
    QString strError;
    EXPECT_FALSE(doc.OnOpenDocument(m_strDir + "missing.hvw", &strError));
    EXPECT_FALSE(strError.isEmpty());
    EXPECT_EQ(doc.GetRecordCount(), 1);
    EXPECT_EQ(host.m_nSwitchOff + host.m_nClear, 0);
}

TEST_F(DocTest, NewAndClearDisplay) {
    CRecordingHost host;
    CHivewatchDoc doc;
    doc.SetHost(&host);
    doc.AppendRecord(NewRecord(1));
    doc.SetModifiedFlag();
    doc.ClearDisplay();
    EXPECT_EQ(doc.GetRecordCount(), 0);
    EXPECT_EQ(host.m_nClear, 1);
    EXPECT_EQ(host.m_nSwitchOff, 0); // the capture goes on
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.m_bNewRecords, 1);

    doc.AppendRecord(NewRecord(2));
    EXPECT_TRUE(doc.OnNewDocument());
    EXPECT_EQ(doc.GetRecordCount(), 0);
    EXPECT_EQ(host.m_nSwitchOff, 1);
    EXPECT_EQ(doc.m_bNewRecords, 1); // New leaves it as it was
}

// The count at the head of the file must match the records after it while a capture thread
// appends and trims.
TEST_F(DocTest, SavingDuringCaptureWritesAConsistentFile) {
    g_SetObj.m_nHistoryDepth = 500;
    CHivewatchDoc doc;
    std::atomic<bool> bStop{false};
    std::thread capture([&] {
        for (int i = 0; !bStop; ++i)
            doc.AppendRecord(NewRecord(i));
    });
    const QString strPath = m_strDir + "live.hvw";
    for (int n = 0; n < 20; ++n) {
        ASSERT_TRUE(doc.OnSaveDocument(strPath));
        CHivewatchDoc check;
        ASSERT_TRUE(check.OnOpenDocument(strPath));
        EXPECT_LE(check.GetRecordCount(), 500);
    }
    bStop = true;
    capture.join();
}

TEST_F(DocTest, CopiesFollowTheRowRuleAndMissRowsWithoutRecords) {
    CHivewatchDoc doc;
    for (int i = 1; i <= 5; ++i)
        doc.AppendRecord(NewRecord(i));
    CRegInfoObj record;
    ASSERT_TRUE(doc.CopyRecordAtRow(0, record));
    EXPECT_EQ(record.m_nSeq, 5);
    ASSERT_TRUE(doc.CopyRecordAtRow(4, record));
    EXPECT_EQ(record.m_nSeq, 1);
    EXPECT_EQ(record.m_strPath, QStringLiteral("HKLM\\SOFTWARE\\Vendor\\Value1"));
    record.m_nSeq = -7;
    EXPECT_FALSE(doc.CopyRecordAtRow(5, record));
    EXPECT_FALSE(doc.CopyRecordAtRow(-1, record));
    EXPECT_FALSE(doc.CopyRecordAt(5, record));
    EXPECT_EQ(record.m_nSeq, -7) << "a miss leaves the copy as it was";
}

// Records 1..5 are list indices 0..4; display row r is index 4 - r.
TEST_F(DocTest, FindWalksAwayFromTheSelectionAndWrapsWithTheSelectionLast) {
    CHivewatchDoc doc;
    for (int i = 1; i <= 5; ++i)
        doc.AppendRecord(NewRecord(i));
    const QString strAll = QStringLiteral("svc.exe");
    // Row 1 (index 3) selected: Down finds row 2 (index 2), Up row 0 (index 4).
    EXPECT_EQ(doc.FindRecordIndex(strAll, 0, 0, 3, true), 2);
    EXPECT_EQ(doc.FindRecordIndex(strAll, 0, 0, 3, false), 4);
    // Bottom row (index 0) selected, only the top row's record matches: Down wraps to it.
    EXPECT_EQ(doc.FindRecordIndex(QStringLiteral("Value5"), 0, 0, 0, true), 4);
    // Only the selected record matches: it is examined last and found again.
    EXPECT_EQ(doc.FindRecordIndex(QStringLiteral("Value3"), 0, 0, 2, true), 2);
    EXPECT_EQ(doc.FindRecordIndex(QStringLiteral("Value3"), 0, 0, 2, false), 2);
    EXPECT_EQ(doc.FindRecordIndex(QStringLiteral("nowhere"), 0, 0, 2, true), -1);
    // Match case and whole word reach the record's own search.
    EXPECT_EQ(doc.FindRecordIndex(QStringLiteral("SVC.EXE"), 1, 0, 3, true), -1);
    EXPECT_EQ(doc.FindRecordIndex(QStringLiteral("Vendor\\Value"), 0, 1, 3, true), -1);
    CHivewatchDoc empty;
    EXPECT_EQ(empty.FindRecordIndex(strAll, 0, 0, 0, true), -1);
}

TEST_F(DocTest, FindCanBeCancelledFromItsProgressCallback) {
    CHivewatchDoc doc;
    const int nCount = (1 << 18) + 10;
    for (int i = 1; i <= nCount; ++i)
        doc.AppendRecord(NewRecord(i));
    long long nCalls = 0;
    EXPECT_EQ(doc.FindRecordIndex(QStringLiteral("nowhere"), 0, 0, 0, true,
                                  [&](long long nDone, long long nTotal) {
                                      ++nCalls;
                                      EXPECT_EQ(nTotal, nCount);
                                      EXPECT_GT(nDone, 0);
                                      return false;
                                  }),
              -1);
    EXPECT_EQ(nCalls, 1);
}
