// The write-behind thread puts every byte in the file in order, and a failed write stops the
// writer.
#include "platform/WriteBehindFile.h"
#include "platform/SafeFile.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>

#include <cerrno>
#include <random>

// Pieces of every size, some larger than the queue's bound (which must not stall), with
// writeback requests between them.
TEST(WriteBehindFile, EveryByteArrivesInOrder) {
    const QString strPath = TestTempDir() + "a.dat";
    CSafeFile file(strPath);
    ASSERT_TRUE(file.Open());
    QByteArray expected;
    {
        CWriteBehindFile behind(file);
        std::mt19937 rng(7);
        const size_t nBound = CWriteBehindFile::MAX_QUEUED_BYTES;
        for (int i = 0; i < 60; ++i) {
            const size_t nSize = i % 20 == 5 ? nBound + 12345 : rng() % (nBound / 3) + 1;
            QByteArray piece(qsizetype(nSize), Qt::Uninitialized);
            for (qsizetype k = 0; k < piece.size(); k += 509)
                piece[k] = char(rng());
            ASSERT_EQ(behind.write(piece), piece.size());
            expected += piece;
            if (i % 7 == 0)
                behind.StartWriteback();
        }
        EXPECT_TRUE(behind.Drain());
        EXPECT_FALSE(behind.Failed());
    }
    ASSERT_TRUE(file.Commit()) << file.ErrorText().toStdString();
    EXPECT_TRUE(ReadWholeFile(strPath) == expected);
}

// Once the disk is full, the writer learns it at a later write or at the drain, even while it
// waits for room; the file names the cause and the old file stays.
TEST(WriteBehindFile, AFailedWriteFailsTheRestAndTheDrain) {
    CFullDisk disk;
    if (!disk.Available())
        GTEST_SKIP() << disk.Why().toStdString();
    const QString strPath = disk.Dir() + "a.dat";
    const QByteArray old(3000, 'o');
    {
        QFile f(strPath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(old);
    }
    disk.Fill(4096);
    CSafeFile file(strPath);
    ASSERT_TRUE(file.Open());
    {
        CWriteBehindFile behind(file);
        const QByteArray piece(1 << 20, 'n');
        int nFailedAt = -1;
        for (int i = 0; i < 64 && nFailedAt < 0; ++i)
            if (behind.write(piece) != piece.size())
                nFailedAt = i;
        EXPECT_GE(nFailedAt, 1) << "a failure must reach the writer";
        EXPECT_FALSE(behind.Drain());
        EXPECT_TRUE(behind.Failed());
        EXPECT_EQ(behind.write("x", 1), -1);
    }
    disk.Release();
    EXPECT_EQ(file.ErrorNumber(), disk.IsMounted() ? ENOSPC : EFBIG);
    EXPECT_FALSE(file.Commit());
    EXPECT_EQ(ReadWholeFile(strPath), old);
}
