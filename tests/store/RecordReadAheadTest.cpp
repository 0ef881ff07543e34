// Loading records with a second thread that reads and parses ahead: the same records and the
// same errors as the loader that reads on its own thread, records in other forms left to the
// archive's reader, the bytes after the last record left in the archive, and a reader left
// early that stops.
#include "store/RecordReadAhead.h"
#include "store/RecordList.h"
#include "store/RecordLoader.h"
#include "store/RegInfoObj.h"
#include "tests/RecordCopies.h"
#include "utils/Archive.h"

#include <gtest/gtest.h>

#include <QBuffer>

#include <optional>
#include <string>

namespace {

constexpr long long NEVER_AHEAD = 1LL << 62;

// Records of many sizes, so that they fall across the read-ahead's blocks at many offsets,
// with a few the read-ahead does not take: a string of the longest form (65535 units or more)
// and a record larger than one of its blocks.
QByteArray ArchivedRecords(int nRecords) {
    CRecordList list;
    for (int i = 0; i < nRecords; ++i) {
        CRegInfoObj r;
        r.m_nSeq = i;
        r.m_strTime = i % 101 == 0 ? QStringLiteral("7:21:49 AM")
                                   : QStringLiteral("12:00:%1.%2")
                                         .arg(i / 1000 % 60, 2, 10, QLatin1Char('0'))
                                         .arg(i % 1000, 3, 10, QLatin1Char('0'));
        r.m_strProcessName = i % 3 ? QStringLiteral("setup.exe") : QStringLiteral("caf\u00e9.exe");
        r.m_nPid = 100 + i % 7;
        r.m_strRequest = QStringLiteral("RegSetValueKey");
        r.m_strPath = QStringLiteral("HKLM\\Software\\") + QString(i % 311, QLatin1Char('k'));
        if (i % 5 == 2) // a path that is not ASCII, in one unit or in two
            r.m_strPath += i % 10 == 2 ? QStringLiteral("\u00e9") : QStringLiteral("\U0001F600");
        r.m_strResult = QStringLiteral("SUCCESS");
        r.m_strOldValue = QStringLiteral("REG_DWORD: %1").arg(i % 13);
        r.m_strNewValue = QStringLiteral("REG_SZ: ") + QString(i % 97, QChar(u'\u00e8'));
        if (i % 5000 == 2500)
            r.m_strNewValue = QString(70000, QLatin1Char('x')); // the longest form
        if (i % 7000 == 3500) {
            const QString strBig(40000, QLatin1Char('b')); // seven of them: 560 KB
            r.m_strTime = r.m_strProcessName = r.m_strRequest = r.m_strPath = r.m_strResult =
                r.m_strOldValue = r.m_strNewValue = strBig;
        }
        list.Append(r);
    }
    return ArchiveOf(list);
}

struct SLoaded {
    QByteArray stored; // the records loaded, archived again
    long long nCount = 0;
    std::optional<CArchiveException::Cause> error;
    uint64_t nLeft = 0; // bytes the archive still held after a load without error
};

// With bExpect the loader knows the records of all steps, and reads on from one to the next.
SLoaded Load(const QByteArray& bytes, long long nRecords, long long nStep, long long nReadAheadFrom,
             bool bExpect = false) {
    QByteArray input = bytes;
    QBuffer in(&input);
    in.open(QIODevice::ReadOnly);
    CArchive ar(&in, CArchive::load, 4096);
    CRecordList list;
    SLoaded out;
    try {
        CRecordLoader loader(list, nReadAheadFrom);
        if (bExpect)
            loader.ExpectRecords(nRecords);
        for (long long nDone = 0; nDone < nRecords; nDone += nStep)
            loader.Load(ar, std::min(nStep, nRecords - nDone));
        out.nLeft = ar.BytesRemaining(); // as the document checks it, the loader still there
    } catch (const CArchiveException& e) {
        out.error = e.m_cause;
    }
    out.nCount = list.GetCount();
    out.stored = ArchiveOf(list);
    return out;
}

} // namespace

// Read ahead in one load or in steps (each read-ahead stopping inside a block and giving the
// rest back, or one going on across the steps), the records archive again to the same bytes,
// and what follows them is left.
TEST(RecordReadAhead, LoadsTheSameRecordsAndLeavesWhatFollows) {
    constexpr int RECORDS = 20000;
    const QByteArray records = ArchivedRecords(RECORDS);
    const QByteArray trailer("after the records", 17);
    for (const bool bExpect : {false, true}) {
        for (const long long nStep : {(long long)RECORDS, 1000LL, 4099LL}) {
            const SLoaded loaded = Load(records + trailer, RECORDS, nStep, 1, bExpect);
            const std::string strCase =
                "step " + std::to_string(nStep) + (bExpect ? ", expected" : "");
            EXPECT_FALSE(loaded.error) << strCase;
            ASSERT_EQ(loaded.nCount, RECORDS) << strCase;
            EXPECT_TRUE(loaded.stored == records) << strCase;
            EXPECT_EQ(loaded.nLeft, uint64_t(trailer.size())) << strCase;
        }
    }
}

// A file that ends early: the records before the cut are appended, the one cut is not, and the
// error is the archive's, as with the loader that reads on its own thread.
TEST(RecordReadAhead, FileCutShortGivesTheSameRecordsAndError) {
    constexpr int RECORDS = 8000;
    const QByteArray records = ArchivedRecords(RECORDS);
    for (const qsizetype nCut : {qsizetype(0), qsizetype(3), records.size() / 3,
                                 records.size() / 2 + 11, records.size() - 1}) {
        const QByteArray cut = records.left(nCut);
        const SLoaded ahead = Load(cut, RECORDS, 700, 1, true);
        const SLoaded here = Load(cut, RECORDS, RECORDS, NEVER_AHEAD);
        ASSERT_TRUE(here.error) << "cut at " << nCut;
        EXPECT_EQ(ahead.error, here.error) << "cut at " << nCut;
        EXPECT_EQ(ahead.nCount, here.nCount) << "cut at " << nCut;
        EXPECT_LT(ahead.nCount, RECORDS) << "cut at " << nCut;
        EXPECT_TRUE(ahead.stored == here.stored) << "cut at " << nCut;
    }
}

// A caller that stops taking batches (its filing failed) ends the reader, which waits for a
// free slot meanwhile, without a hang.
TEST(RecordReadAhead, ReaderLeftEarlyStops) {
    QByteArray records = ArchivedRecords(20000);
    for (int nTaken = 0; nTaken < 3; ++nTaken) {
        QBuffer in(&records);
        in.open(QIODevice::ReadOnly);
        CArchive ar(&in, CArchive::load, 4096);
        CRecordReadAhead ahead(ar, 20000);
        for (int i = 0; i < nTaken; ++i) {
            const CRecordReadAhead::SBatch* pBatch = ahead.Next();
            ASSERT_NE(pBatch, nullptr);
            EXPECT_EQ(pBatch->nCount, CRecordReadAhead::BATCH_RECORDS);
        }
    }
}
