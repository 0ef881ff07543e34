// Find over the store gives exactly the answers of the record class's FindString, for every
// field, every case and word rule, ASCII or not, shared texts or texts kept with the record.
#include "store/RecordFind.h"
#include "store/HivewatchDoc.h"
#include "store/RecordLock.h"
#include "store/RegOperations.h"
#include "tests/RecordCopies.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <set>
#include <vector>

namespace {

// Every operation, succeeded and failed, with values empty, equal, different and long.
void AddOperationRecords(CHivewatchDoc& doc) {
    const QString strLong =
        QStringLiteral("REG_SZ: ") + QString(80, QLatin1Char('w')) + QStringLiteral(" Changed");
    const QString values[][2] = {{"", ""},
                                 {"REG_SZ: a", "REG_SZ: a"},
                                 {"REG_DWORD: 0x1 (1)", "REG_DWORD: 0x2 (2)"},
                                 {"", "REG_SZ: x"},
                                 {strLong, ""},
                                 {"", strLong}};
    int nSeq = 1;
    for (int nCode = 0; nCode < REG_OPERATION_COUNT; ++nCode) {
        for (const char* pResult : {"SUCCESS", "ACCESS DENIED", ""}) {
            for (const auto& v : values) {
                auto* p = new CRegInfoObj;
                p->m_nSeq = nSeq;
                p->m_strTime =
                    QStringLiteral("10:%1:30.250").arg(nSeq % 60, 2, 10, QLatin1Char('0'));
                p->m_strProcessName =
                    nSeq % 2 ? QStringLiteral("App.exe") : QStringLiteral("svc_host.exe");
                p->m_nPid = -nSeq;
                p->m_strRequest =
                    QString::fromLatin1(g_RegOperationNames[size_t(nCode)].data(),
                                        qsizetype(g_RegOperationNames[size_t(nCode)].size()));
                p->m_strPath = QStringLiteral("HKLM\\SOFTWARE\\Key_%1\\Value").arg(nSeq);
                p->m_strResult = QString::fromLatin1(pResult);
                p->m_strOldValue = v[0];
                p->m_strNewValue = v[1];
                doc.AppendRecord(p);
                ++nSeq;
            }
        }
    }
    // Texts that are not ASCII, one of them folding to ASCII letters.
    auto* p = new CRegInfoObj;
    p->m_nSeq = 5000;
    p->m_strTime = QStringLiteral("7:21:49 AM");
    p->m_strProcessName = QStringLiteral("\u212Aelvin.exe"); // KELVIN SIGN folds to 'k'
    p->m_strRequest = QStringLiteral("RegQueryValue");
    p->m_strPath = QStringLiteral("HKCU\\\u00c9t\u00e9\\\u017Fong"); // LONG S folds to 's'
    p->m_strResult = QStringLiteral("SUCCESS");
    p->m_strOldValue = QStringLiteral("REG_SZ: ") + QChar(char16_t(0xD83D)) + QStringLiteral("x");
    // The only character that is not ASCII is in the text's last bytes.
    p->m_strNewValue = QStringLiteral("REG_SZ: mar\u212A");
    doc.AppendRecord(p);
}

} // namespace

TEST(RecordFind, AnswersAreTheRecordClassAnswers) {
    CHivewatchDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(TestDataPath("hivewatch_edge_records.hvw")));
    CHivewatchDoc replay;
    ASSERT_TRUE(replay.OnOpenDocument(TestDataPath("hivewatch_replay_capture.hvw")));
    CHivewatchDoc ops;
    AddOperationRecords(ops);
    const QStringList needles = {"key",
                                 "KEY",
                                 "Key_1",
                                 "opened",
                                 "Opened key",
                                 "no data",
                                 "(no data)",
                                 "no result",
                                 "Failed: ACCESS",
                                 "Failed:",
                                 "Changed",
                                 "to REG",
                                 " to ",
                                 "Changed REG_DWORD",
                                 "ged REG",
                                 "(1) to",
                                 "a to REG_SZ",
                                 "ta)",
                                 "ed: REG",
                                 "SS: w",
                                 "read",
                                 "xread",
                                 "key,",
                                 "ad (no",
                                 "DATA)",
                                 "data)x",
                                 "Changed REG_DWORD: 0x1 (1) to REG_DWORD: 0x2",
                                 "Set to same data",
                                 "Created value",
                                 "Enumerated",
                                 "subkeys",
                                 "12",
                                 "-1",
                                 "-12",
                                 "10:0",
                                 ":",
                                 ".",
                                 "250",
                                 "30.25",
                                 "app.exe",
                                 "APP",
                                 "svc",
                                 "host",
                                 "svc_host",
                                 "_",
                                 "\\",
                                 "w",
                                 "ww Changed",
                                 "REG_SZ",
                                 "sz: A",
                                 "0x1",
                                 "(1)",
                                 "1)",
                                 "HKLM\\SOFTWARE",
                                 "Value",
                                 "k",
                                 "K",
                                 "kelvin",
                                 "mark",
                                 "\u212A",
                                 "s",
                                 "\u017F",
                                 "long",
                                 "\u00e9t\u00e9",
                                 "\u00c9T\u00c9",
                                 QString(QChar(char16_t(0xD83D))),
                                 "AM",
                                 "7:21",
                                 "Akagi64",
                                 "akagi64.EXE",
                                 "CodePage",
                                 "RegOpenKey",
                                 "regopenkey",
                                 "SUCCESS",
                                 "success",
                                 "950",
                                 "REG_SZ: 950",
                                 "NAME NOT FOUND",
                                 "zz-not-anywhere",
                                 "\u00e9",
                                 "smile",
                                 "a,b",
                                 "\"",
                                 "\r\n",
                                 "99:99",
                                 "\u0661"};
    for (CHivewatchDoc* pDoc : {&doc, &replay, &ops}) {
        const std::vector<CRegInfoObj> records = CopyRecords(*pDoc);
        CAutoLock lock(&g_RecordLock);
        for (const QString& strNeedle : needles) {
            for (int nCase : {0, 1}) {
                for (int nWord : {0, 1}) {
                    CRecordFinder finder(pDoc->m_listRecords, strNeedle, nCase, nWord);
                    for (size_t i = 0; i < records.size(); ++i) {
                        ASSERT_EQ(finder.Matches((long long)i),
                                  records[i].FindString(strNeedle, nCase, nWord) != 0)
                            << "\"" << strNeedle.toStdString() << "\" case " << nCase << " word "
                            << nWord << " in " << records[i].GetCVSLine().left(120).toStdString()
                            << " / " << records[i].GetDescription().left(80).toStdString();
                    }
                }
            }
        }
    }
}

// Find walks the document from the selection and wraps, with the store's answers.
TEST(RecordFind, DocumentFindUsesTheStoreAnswers) {
    CHivewatchDoc doc;
    AddOperationRecords(doc);
    const std::vector<CRegInfoObj> records = CopyRecords(doc);
    const long long n = (long long)records.size();
    for (const QString& strNeedle :
         {QStringLiteral("Deleted value"), QStringLiteral("\u212A"), QStringLiteral("Key_7\\")}) {
        for (long long nSel : {0LL, n / 2, n - 1}) {
            for (bool bDown : {true, false}) {
                long long nExpected = -1;
                for (long long i = 0; i < n && nExpected < 0; ++i) {
                    const long long nCandidate = ((nSel + (bDown ? -(1 + i) : 1 + i)) % n + n) % n;
                    if (records[size_t(nCandidate)].FindString(strNeedle, 0, 0))
                        nExpected = nCandidate;
                }
                EXPECT_EQ(doc.FindRecordIndex(strNeedle, 0, 0, nSel, bDown), nExpected)
                    << strNeedle.toStdString() << " from " << nSel << (bDown ? " down" : " up");
            }
        }
    }
}

// The walk is split over threads, a round at a time: whatever the parts and wherever the
// matches lie (in several parts, on either side of a round's end), the first match in search
// order is the answer, and the progress is asked between rounds.
TEST(RecordFind, EveryPartAndRoundGivesTheFirstMatchInSearchOrder) {
    constexpr long long COUNT = 300'000; // more than one round
    const std::set<long long> needles = {5, 70'000, 150'000, 262'143, 262'144, 299'999};
    CHivewatchDoc doc;
    std::vector<CRegInfoObj*> records;
    for (long long i = 0; i < COUNT; ++i) {
        auto* p = new CRegInfoObj;
        p->m_nSeq = int(i + 1);
        p->m_strProcessName = QStringLiteral("app.exe");
        p->m_strRequest = QStringLiteral("RegOpenKey");
        p->m_strPath =
            needles.count(i) ? QStringLiteral("HKLM\\Needle") : QStringLiteral("HKLM\\Hay");
        if (i == COUNT - 1)
            p->m_strPath += QStringLiteral("\\Last");
        p->m_strResult = QStringLiteral("SUCCESS");
        records.push_back(p);
    }
    doc.AppendRecords(records.data(), records.size());
    for (long long nSel : {0LL, 4LL, 6LL, 100'000LL, 262'144LL, COUNT - 1}) {
        for (bool bDown : {true, false}) {
            long long nExpected = -1;
            for (long long i = 0; i < COUNT && nExpected < 0; ++i) {
                const long long n = ((nSel + (bDown ? -(1 + i) : 1 + i)) % COUNT + COUNT) % COUNT;
                if (needles.count(n))
                    nExpected = n;
            }
            for (int nParts : {1, 2, 3, 7}) {
                EXPECT_EQ(
                    doc.FindRecordIndex(QStringLiteral("needle"), 0, 0, nSel, bDown, {}, nParts),
                    nExpected)
                    << "from " << nSel << (bDown ? " down" : " up") << " in " << nParts << " parts";
            }
        }
    }

    std::vector<long long> arDone;
    const auto progress = [&](long long nDone, long long nTotal) {
        EXPECT_EQ(nTotal, COUNT);
        arDone.push_back(nDone);
        return true;
    };
    EXPECT_EQ(doc.FindRecordIndex(QStringLiteral("nowhere"), 0, 0, 0, true, progress, 2), -1);
    EXPECT_EQ(arDone, std::vector<long long>{262'144});
    // Stopped after the first round: the match in the second one is never reported.
    const auto stop = [](long long, long long) { return false; };
    EXPECT_EQ(doc.FindRecordIndex(QStringLiteral("last"), 0, 0, 0, false, progress, 2), COUNT - 1);
    EXPECT_EQ(doc.FindRecordIndex(QStringLiteral("last"), 0, 0, 0, false, stop, 2), -1);
    EXPECT_EQ(doc.FindRecordIndex(QStringLiteral("needle"), 0, 0, 0, false, stop, 2), 5)
        << "found in the first round, before the progress is asked";
}
