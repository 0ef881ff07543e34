// The shown records: their index, and the document's rows under a filter while records arrive,
// are trimmed, cleared, loaded, searched and saved.
#include "settings/SetObj.h"
#include "store/RecordLock.h"
#include "store/ShownIndex.h"
#include "tests/RecordCopies.h"
#include "tests/TestSupport.h"
#include "tests/store/FilterOracle.h"
#include "utils/ParallelParts.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

namespace {

constexpr long long CHUNK = (long long)CShownIndex::CHUNK_ENTRIES;

std::vector<long long> Positions(const CShownIndex& index) {
    std::vector<long long> v;
    for (long long i = 0; i < index.GetCount(); ++i)
        v.push_back(index.At(i));
    return v;
}

CRegInfoObj* Record(int nSeq, const QString& strProcess, const QString& strRequest) {
    auto* p = new CRegInfoObj;
    p->m_nSeq = nSeq;
    p->m_strTime = QStringLiteral("10:00:00.000");
    p->m_strProcessName = strProcess;
    p->m_nPid = 10 + nSeq % 3;
    p->m_strRequest = strRequest;
    p->m_strPath = QStringLiteral("HKCU\\Software\\K%1").arg(nSeq);
    p->m_strResult = QStringLiteral("SUCCESS");
    p->m_strOldValue = QStringLiteral("REG_SZ: a");
    p->m_strNewValue = QStringLiteral("REG_SZ: b");
    return p;
}

// Sequence numbers of the rows, top (newest) first, as the list shows them.
std::vector<int> RowSeqs(const CHivewatchDoc& doc) {
    std::vector<int> v;
    for (long long nRow = 0; nRow < doc.GetShownCount(); ++nRow) {
        CRegInfoObj r;
        EXPECT_TRUE(doc.CopyRecordAtRow(nRow, r));
        v.push_back(r.m_nSeq);
    }
    return v;
}

// What the rows must be: the records the oracle passes, newest first.
std::vector<int> ExpectedRowSeqs(const CHivewatchDoc& doc, const CFilterRules& rules) {
    std::vector<int> v;
    const std::vector<CRegInfoObj> records = CopyRecords(doc);
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
        if (OracleShown(rules, *it))
            v.push_back(it->m_nSeq);
    }
    return v;
}

class Rows : public ::testing::Test {
protected:
    void SetUp() override { g_SetObj.m_nHistoryDepth = 0; }
    void TearDown() override { g_SetObj.m_nHistoryDepth = 0; }
    CHivewatchDoc m_doc;
};

} // namespace

TEST(ShownIndex, ChunksFillEmptyAndJoinInOrder) {
    CShownIndex index;
    EXPECT_EQ(index.GetBytesHeld(), 0u);
    std::vector<long long> expected;
    for (long long p = 5; (long long)expected.size() < 2 * CHUNK + 100; p += 1 + p % 3) {
        index.Append(p);
        expected.push_back(p);
    }
    ASSERT_EQ(Positions(index), expected);
    // Four bytes a position, in whole chunks.
    EXPECT_LE(index.GetBytesHeld(), size_t(index.GetCount()) * 4 + 2 * CHUNK * 4);
    for (size_t i = 0; i < expected.size(); i += 997) {
        EXPECT_EQ(index.Find(expected[i]), (long long)i);
        EXPECT_EQ(index.Find(expected[i] + 1) >= 0,
                  i + 1 < expected.size() && expected[i + 1] == expected[i] + 1);
    }
    EXPECT_EQ(index.Find(4), -1);
    EXPECT_EQ(index.Find(expected.back() + 1), -1);

    // Dropping across a chunk boundary gives its memory back.
    const size_t nBytes = index.GetBytesHeld();
    const long long nCut = expected[size_t(CHUNK + 10)];
    index.DropBefore(nCut);
    EXPECT_EQ(index.At(0), nCut);
    EXPECT_EQ(index.GetCount(), (long long)expected.size() - CHUNK - 10);
    EXPECT_LT(index.GetBytesHeld(), nBytes);
    index.DropBefore(nCut); // nothing below it any more
    EXPECT_EQ(index.At(0), nCut);

    // Joining a second index that starts part-way into a chunk.
    CShownIndex more;
    more.Append(expected.back() + 10);
    more.DropBefore(expected.back() + 11);
    std::vector<long long> tail;
    for (long long p = expected.back() + 20; p < expected.back() + 20 + CHUNK + 7; p += 2) {
        more.Append(p);
        tail.push_back(p);
    }
    std::vector<long long> all = Positions(index);
    index.Splice(std::move(more));
    all.insert(all.end(), tail.begin(), tail.end());
    EXPECT_EQ(Positions(index), all);
    EXPECT_TRUE(more.IsEmpty());

    index.DropBefore(all.back() + 1);
    EXPECT_TRUE(index.IsEmpty());
    index.Append(all.back() + 5); // an emptied index takes positions again
    EXPECT_EQ(Positions(index), std::vector<long long>{all.back() + 5});
}

// Few shown records hold little: the last chunk grows as it fills and a finished walk trims
// it; positions stay as they were through each move.
TEST(ShownIndex, TheLastChunkGrowsAsItFillsAndIsTrimmed) {
    CShownIndex index;
    std::vector<long long> expected;
    for (long long p = 3; p < 3 + 3 * 1000; p += 3) {
        index.Append(p);
        expected.push_back(p);
    }
    EXPECT_LE(index.GetBytesHeld(), expected.size() * 4 * 3 / 2 + 1024);
    index.TrimTail();
    EXPECT_EQ(index.GetBytesHeld(), expected.size() * 4);
    EXPECT_EQ(Positions(index), expected);
    for (long long p = expected.back() + 1; (long long)expected.size() < CHUNK + 50; ++p) {
        index.Append(p);
        expected.push_back(p);
    }
    EXPECT_EQ(Positions(index), expected);
    index.TrimTail();
    EXPECT_EQ(index.GetBytesHeld(), expected.size() * 4);
    CShownIndex more;
    for (long long p = expected.back() + 5; p < expected.back() + 5 + 2 * CHUNK; p += 7)
        more.Append(p);
    std::vector<long long> all = expected;
    const std::vector<long long> tail = Positions(more);
    all.insert(all.end(), tail.begin(), tail.end());
    index.Splice(std::move(more));
    EXPECT_EQ(Positions(index), all);
}

TEST(ShownIndex, PositionsFarBeyondFourBillionKeepTheirValues) {
    CShownIndex index;
    const long long nFar = (1ll << 32) + 12345;
    index.Append(7);
    index.Append(nFar - 10);
    index.Append(nFar + 3); // more than 2^32 after the first: the oldest is let go
    EXPECT_EQ(Positions(index), (std::vector<long long>{nFar - 10, nFar + 3}));
    EXPECT_EQ(index.Find(nFar + 3), 1);

    CShownIndex a, b;
    a.Append(1);
    b.Append((1ll << 31) + 1);
    b.Append((1ll << 32) - 1);
    a.Splice(std::move(b));
    EXPECT_EQ(Positions(a), (std::vector<long long>{1, (1ll << 31) + 1, (1ll << 32) - 1}));
}

TEST(ParallelParts, PartsCoverTheRangeAndErrorsComeBack) {
    for (long long nCount : {0ll, 1ll, 5ll, 1000ll}) {
        std::vector<std::atomic<int>> seen(static_cast<size_t>(nCount));
        RunInParts(nCount, 4, [&](int, long long nFirst, long long nEnd) {
            for (long long i = nFirst; i < nEnd; ++i)
                seen[size_t(i)]++;
        });
        for (const auto& n : seen)
            EXPECT_EQ(n, 1);
    }
    EXPECT_THROW(RunInParts(100, 3,
                            [](int nPart, long long, long long) {
                                if (nPart == 2)
                                    throw std::bad_alloc();
                            }),
                 std::bad_alloc);
    EXPECT_EQ(PartsFor(10, 100), 1);
    EXPECT_GE(PartsFor(1'000'000'000, 1), 1);
    EXPECT_LE(PartsFor(1'000'000'000, 1), MAX_PARALLEL_PARTS);
}

TEST_F(Rows, FilteredRowsFollowAppendsTrimsAndClears) {
    const CFilterRules rules = {FilterRule(FC_PROCESS, REL_IS, "reg.exe"),
                                FilterRule(FC_REQUEST, REL_IS, "RegSetValueKey", FILTER_EXCLUDE)};
    ASSERT_TRUE(m_doc.SetDisplayFilter(rules));
    EXPECT_TRUE(m_doc.IsFiltered());
    EXPECT_EQ(m_doc.GetShownCount(), 0);
    g_SetObj.m_nHistoryDepth = 40;
    const char* requests[] = {"RegSetValueKey", "RegOpenKey", "RegQueryValue"};
    int nSeq = 1;
    for (int nBatch = 0; nBatch < 12; ++nBatch) {
        std::vector<CRegInfoObj*> batch;
        for (int i = 0; i < 9; ++i, ++nSeq)
            batch.push_back(Record(nSeq, nSeq % 4 ? "reg.exe" : "other.exe", requests[nSeq % 3]));
        m_doc.AppendRecords(batch.data(), batch.size());
        ASSERT_EQ(RowSeqs(m_doc), ExpectedRowSeqs(m_doc, rules)) << "batch " << nBatch;
        ASSERT_EQ(m_doc.GetShownCount(), (long long)ExpectedRowSeqs(m_doc, rules).size());
    }
    EXPECT_EQ(m_doc.GetRecordCount(), 40);
    // Rows and list indices map both ways; hidden records have no row.
    for (long long i = 0; i < m_doc.GetRecordCount(); ++i) {
        const long long nRow = m_doc.RowOfIndex(i);
        const bool bShown = OracleShown(rules, RecordAt(m_doc, i));
        EXPECT_EQ(nRow >= 0, bShown);
        if (nRow >= 0) {
            EXPECT_EQ(m_doc.IndexAtRow(nRow), i);
        }
    }
    EXPECT_EQ(m_doc.IndexAtRow(m_doc.GetShownCount()), -1);
    EXPECT_EQ(m_doc.IndexAtRow(-1), -1);
    CRegInfoObj r;
    EXPECT_FALSE(m_doc.CopyRecordAtRow(m_doc.GetShownCount(), r));

    // Records filed the capture thread's way are tested too; a new depth trims them.
    g_SetObj.m_nHistoryDepth = 7;
    {
        CAutoLock lock(&g_RecordLock);
        ASSERT_TRUE(m_doc.BeginCaptureGroup(m_doc.GetGeneration()));
        for (int i = 0; i < 5; ++i, ++nSeq) {
            const std::string strPid = std::to_string(nSeq);
            m_doc.AppendCaptured(
                uint32_t(nSeq), 0, nSeq,
                {strPid, i % 2 ? "REG.EXE" : "x.exe", "RegOpenKey", "HKLM\\A", "SUCCESS", "", ""});
        }
        m_doc.EndCaptureGroup();
    }
    EXPECT_EQ(RowSeqs(m_doc), ExpectedRowSeqs(m_doc, rules));
    EXPECT_EQ(m_doc.GetRecordCount(), 7);

    m_doc.ClearDisplay();
    EXPECT_EQ(m_doc.GetShownCount(), 0);
    EXPECT_TRUE(m_doc.IsFiltered()); // the rules stay for what comes next
    m_doc.AppendRecord(Record(1000, "reg.exe", "RegOpenKey"));
    m_doc.AppendRecord(Record(1001, "reg.exe", "RegSetValueKey"));
    EXPECT_EQ(RowSeqs(m_doc), std::vector<int>{1000});

    // No rules: every record, at once, and no memory for the rows.
    ASSERT_TRUE(m_doc.SetDisplayFilter({}));
    EXPECT_FALSE(m_doc.IsFiltered());
    EXPECT_EQ(RowSeqs(m_doc), (std::vector<int>{1001, 1000}));
    EXPECT_EQ(m_doc.GetShownBytesHeld(), 0u);
}

TEST_F(Rows, WalksSplitOverThreadsShowWhatOneThreadShows) {
    AddVariedRecords(m_doc);
    // Enough records for several parts of the default split, and several chunks.
    for (int nRound = 0; nRound < 3; ++nRound) {
        std::vector<CRegInfoObj*> batch;
        for (int i = 0; i < 100000; ++i)
            batch.push_back(Record(5000 + i, i % 7 ? "app.exe" : "reg.exe",
                                   i % 2 ? "RegOpenKey" : "RegSetValueKey"));
        m_doc.AppendRecords(batch.data(), batch.size());
    }
    const CFilterRules rules = {FilterRule(FC_PROCESS, REL_IS, "reg.exe"),
                                FilterRule(FC_PATH, REL_CONTAINS, "k1", FILTER_EXCLUDE)};
    ASSERT_TRUE(m_doc.SetDisplayFilter(rules, 1));
    std::vector<long long> one;
    m_doc.ForEachShownIndex([&](long long i) {
        one.push_back(i);
        return true;
    });
    for (int nParts : {2, 3, 8}) {
        ASSERT_TRUE(m_doc.SetDisplayFilter(rules, nParts));
        std::vector<long long> split;
        m_doc.ForEachShownIndex([&](long long i) {
            split.push_back(i);
            return true;
        });
        EXPECT_EQ(split, one) << nParts << " parts";
        EXPECT_EQ(m_doc.CountShownBy(rules, nParts), (long long)one.size());
    }
    EXPECT_GT(one.size(), 10000u);
    EXPECT_EQ(m_doc.GetShownCount(), (long long)one.size());
    // Four bytes a shown record, however many parts the walk was split into.
    EXPECT_EQ(m_doc.GetShownBytesHeld(), one.size() * 4);
}

TEST_F(Rows, FindSearchesTheShownRecordsOnly) {
    // Seq 1..6; the filter shows 2, 4, 6 (rows: 6, 4, 2). Every record holds "Software".
    for (int i = 1; i <= 6; ++i)
        m_doc.AppendRecord(Record(i, i % 2 ? "a.exe" : "b.exe", "RegOpenKey"));
    ASSERT_TRUE(m_doc.SetDisplayFilter({FilterRule(FC_PROCESS, REL_IS, "b.exe")}));
    // Positions 0, 1, 2 are Seq 2, 4, 6. Down from position 1 goes to 0, then wraps to 2.
    EXPECT_EQ(m_doc.FindRecordIndex("Software", 0, 0, 1, true), 0);
    EXPECT_EQ(m_doc.FindRecordIndex("Software", 0, 0, 0, true), 2);
    EXPECT_EQ(m_doc.FindRecordIndex("Software", 0, 0, 2, false), 0);
    // A text that only a hidden record holds is not found; the selected one is found last.
    EXPECT_EQ(m_doc.FindRecordIndex("K3", 0, 0, 1, true), -1);
    EXPECT_EQ(m_doc.FindRecordIndex("K4", 0, 0, 1, true), 1);
}

TEST_F(Rows, LoadedRecordsAreFilteredAndShownRecordsSaveAlone) {
    const CFilterRules rules = {FilterRule(FC_SEQ, REL_MORE_THAN, "2"),
                                FilterRule(FC_SEQ, REL_IS, "5", FILTER_EXCLUDE)};
    for (int i = 1; i <= 6; ++i)
        m_doc.AppendRecord(Record(i, "a.exe", "RegOpenKey"));
    ASSERT_TRUE(m_doc.SetDisplayFilter(rules));
    const QString strDir = TestTempDir();
    ASSERT_TRUE(m_doc.SaveShownRecords(strDir + "shown.hvw"));
    EXPECT_FALSE(m_doc.IsModified());
    ASSERT_TRUE(m_doc.OnSaveDocument(strDir + "all.hvw"));

    CHivewatchDoc shown;
    ASSERT_TRUE(shown.OnOpenDocument(strDir + "shown.hvw"));
    std::vector<int> seqs;
    for (const CRegInfoObj& r : CopyRecords(shown))
        seqs.push_back(r.m_nSeq);
    EXPECT_EQ(seqs, (std::vector<int>{3, 4, 6}));

    // A filter in force when a document is opened applies to its records.
    CHivewatchDoc loaded;
    ASSERT_TRUE(loaded.SetDisplayFilter(rules));
    ASSERT_TRUE(loaded.OnOpenDocument(strDir + "all.hvw"));
    EXPECT_EQ(RowSeqs(loaded), (std::vector<int>{6, 4, 3}));
    EXPECT_EQ(loaded.GetRecordCount(), 6);
}

TEST_F(Rows, HighlightedRowsAreTheRecordsTheHighlightRulesPass) {
    for (int i = 1; i <= 4; ++i)
        m_doc.AppendRecord(Record(i, i % 2 ? "a.exe" : "b.exe", "RegOpenKey"));
    ASSERT_TRUE(m_doc.SetDisplayFilter({FilterRule(FC_SEQ, REL_IS_NOT, "4")}));
    m_doc.SetHighlightRules({FilterRule(FC_PROCESS, REL_IS, "B.EXE")});
    // Rows: Seq 3, 2, 1.
    std::vector<bool> highlighted;
    for (long long nRow = 0; nRow < 3; ++nRow) {
        CRegInfoObj r;
        bool b = true;
        ASSERT_TRUE(m_doc.CopyRecordAtRow(nRow, r, &b));
        highlighted.push_back(b);
    }
    EXPECT_EQ(highlighted, (std::vector<bool>{false, true, false}));
    m_doc.SetHighlightRules({});
    CRegInfoObj r;
    bool b = true;
    ASSERT_TRUE(m_doc.CopyRecordAtRow(1, r, &b));
    EXPECT_FALSE(b);
}
