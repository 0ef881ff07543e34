// Driver record text, time stamps and the walk over a read buffer, at their edges.
#include "capture/CaptureEngine.h"
#include "capture/EventTime.h"
#include "capture/RecordText.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "store/RecordLock.h"
#include "tests/RecordCopies.h"
#include "utils/ByteBuffer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <memory>

namespace {

// 2024-03-05 14:07:09.123 UTC as a file time.
constexpr uint64_t kFileTime = 133541212291230000ull;

std::vector<uint8_t> Pack(const std::vector<std::string>& texts, size_t nSize = READ_BUFFER_SIZE) {
    std::vector<uint8_t> buf(nSize, 0);
    CByteWriter w(buf);
    uint32_t nSeq = 1;
    for (const std::string& t : texts)
        EXPECT_TRUE(RegDrvPackEvent(w, nSeq++, kFileTime, t));
    buf.resize(w.Position());
    return buf;
}

class WalkTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_engine.m_bRunning = 1;
        m_engine.m_bCapturing = 1;
        g_SetObj.m_nCaptureScope = SCOPE_ALL;
    }
    void TearDown() override {
        m_engine.m_bRunning = 0;
        m_engine.m_bCapturing = 0;
        g_SetObj.m_nCaptureScope = SCOPE_ALL;
    }
    std::vector<int> Pids() {
        std::vector<int> v;
        for (const CRegInfoObj& r : CopyRecords(m_doc))
            v.push_back(r.m_nPid);
        return v;
    }
    CHivewatchDoc m_doc;
    CCaptureEngine m_engine{&m_doc};
};

} // namespace

TEST(RecordText, FieldsAndProcessIds) {
    SRecordFields f = SplitRecordText("1\tp\tRegOpenKey\tHKLM\\A\tSUCCESS\told\tnew\textra\tmore");
    EXPECT_EQ(f[0], "1");
    EXPECT_EQ(f[6], "new"); // text after the seventh tab is ignored
    f = SplitRecordText("12\tp.exe\tRegOpenKey");
    EXPECT_EQ(f[2], "RegOpenKey");
    EXPECT_EQ(f[3], "");
    EXPECT_EQ(f[6], "");
    f = SplitRecordText("");
    EXPECT_EQ(f[0], "");

    EXPECT_EQ(ParsePidField("1234abc"), 1234);
    EXPECT_EQ(ParsePidField(""), 0);
    EXPECT_EQ(ParsePidField("abc"), 0);
    EXPECT_EQ(ParsePidField("  -17"), -17);
    EXPECT_EQ(ParsePidField("+8"), 8);
    EXPECT_EQ(ParsePidField("99999999999999999999"), INT32_MAX);
    EXPECT_EQ(ParsePidField("-99999999999999999999"), INT32_MIN);
}

// The one-pass split of a text in a read buffer finds the same fields, its zero and whether it
// is ASCII at every length around the 64-byte steps it reads in, and never reads past the room
// it is given.
TEST(RecordText, SplitInABufferAgreesWithTheSplitOfAText) {
    for (size_t nLen = 0; nLen < 140; ++nLen)
        for (size_t nTabEvery : {1, 2, 3, 5, 17})
            for (size_t nHighAt : {size_t(0), nLen / 2 + 1, nLen + 1}) { // 0: none
                std::string strText;
                for (size_t i = 0; i < nLen; ++i)
                    strText += (i + 1) % nTabEvery == 0 ? '\t' : char('a' + i % 26);
                if (nHighAt > 0 && nHighAt <= nLen)
                    strText[nHighAt - 1] = char(0xE9);
                std::vector<char> buf(strText.begin(), strText.end());
                buf.push_back('\0');
                buf.push_back(char(0xE9)); // after the zero: not part of the text
                buf.push_back('\t');
                SRecordFields fields;
                size_t nText = 0;
                bool bAscii = false;
                ASSERT_TRUE(SplitRecordTextAt(buf.data(), buf.size(), fields, nText, bAscii));
                EXPECT_EQ(nText, nLen);
                EXPECT_EQ(bAscii, nHighAt == 0 || nHighAt > nLen) << nLen;
                EXPECT_EQ(fields, SplitRecordText(strText)) << nLen << " " << nTabEvery;
                // Without its zero in the room given, the text is not taken.
                EXPECT_FALSE(SplitRecordTextAt(buf.data(), nLen, fields, nText, bAscii));
            }
}

TEST(EventTime, LocalTimeOfDayWithMilliseconds) {
    const char* pOldTz = std::getenv("TZ");
    const std::string strOld = pOldTz ? pOldTz : "";
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(FormatEventTime(kFileTime), QStringLiteral("14:07:09.123"));
    setenv("TZ", "JST-9", 1); // nine hours east, no daylight saving
    tzset();
    EXPECT_EQ(FormatEventTime(kFileTime), QStringLiteral("23:07:09.123"));
    EXPECT_EQ(FormatEventTime(kFileTime + 9'990'000), QStringLiteral("23:07:10.122"));
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(FormatEventTime(FILETIME_UNIX_EPOCH - 10'000), QStringLiteral("23:59:59.999"));
    EXPECT_EQ(FormatEventTime(0), QStringLiteral("00:00:00.000")); // 1601
    if (pOldTz)
        setenv("TZ", strOld.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST_F(WalkTest, DecodesEveryFieldAndSharesRepeatedTexts) {
    const auto buf =
        Pack({"500\tapp.exe\tRegSetValueKey\tHKCU\\Env\\Path\tSUCCESS\tREG_SZ: a\tREG_SZ: b",
              "500\tapp.exe\tRegCloseKey\tHKCU\\Env\tSUCCESS"});
    m_engine.WalkBuffer(buf.data(), buf.size());
    ASSERT_EQ(m_doc.GetRecordCount(), 2);
    const std::vector<CRegInfoObj> records = CopyRecords(m_doc);
    const CRegInfoObj* p = &records[0];
    EXPECT_EQ(p->m_nSeq, 1);
    EXPECT_EQ(p->m_strTime.size(), 12);
    EXPECT_EQ(p->m_strProcessName, QStringLiteral("app.exe"));
    EXPECT_EQ(p->m_strPath, QStringLiteral("HKCU\\Env\\Path"));
    EXPECT_EQ(p->m_strOldValue, QStringLiteral("REG_SZ: a"));
    EXPECT_EQ(p->m_strNewValue, QStringLiteral("REG_SZ: b"));
    EXPECT_EQ(records[1].m_strNewValue, QString());
    EXPECT_TRUE(p->m_strProcessName.isSharedWith(records[1].m_strProcessName));
}

// Records filed the short way (every text shared, the path alone in the record's bytes) and
// the long way read back alike: paths on both sides of the length that still fits in one
// byte, texts too long to share, and a record repeated so that its texts are found again.
TEST_F(WalkTest, EveryPathLengthAndSharingReadsBackAsDecoded) {
    std::vector<std::string> texts;
    for (size_t nPath : {0, 1, 126, 127, 128, 129, 300})
        for (const char* pNew : {"REG_SZ: a", ""}) {
            const std::string strText = "42\tapp.exe\tRegSetValueKey\tHKLM\\" +
                                        std::string(nPath, 'k') + "\tSUCCESS\tREG_SZ: b\t" + pNew;
            texts.push_back(strText);
            texts.push_back(strText); // found in the caches the second time
        }
    const std::string strLongValue(200, 'v'); // not shared
    texts.push_back("7\tapp.exe\tRegQueryValue\tHKLM\\K\tSUCCESS\t" + strLongValue + "\t");
    texts.push_back("7\t" + std::string(80, 'p') + "\tRegQueryValue\tHKLM\\K\tSUCCESS\t\t");
    const auto buf = Pack(texts);
    m_engine.WalkBuffer(buf.data(), buf.size());
    const std::vector<CRegInfoObj> records = CopyRecords(m_doc);
    ASSERT_EQ(records.size(), texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        std::unique_ptr<CRegInfoObj> pExpected(
            m_engine.DecodeRecord(uint32_t(i + 1), texts[i], records[i].m_strTime));
        const CRegInfoObj& r = records[i];
        EXPECT_EQ(r.m_nSeq, pExpected->m_nSeq);
        EXPECT_EQ(r.m_nPid, pExpected->m_nPid);
        EXPECT_EQ(r.m_strProcessName, pExpected->m_strProcessName) << i;
        EXPECT_EQ(r.m_strRequest, pExpected->m_strRequest) << i;
        EXPECT_EQ(r.m_strPath, pExpected->m_strPath) << i;
        EXPECT_EQ(r.m_strResult, pExpected->m_strResult) << i;
        EXPECT_EQ(r.m_strOldValue, pExpected->m_strOldValue) << i;
        EXPECT_EQ(r.m_strNewValue, pExpected->m_strNewValue) << i;
    }
}

TEST_F(WalkTest, ReportedSizeAboveTheBufferIsWalkedOnlyToItsEnd) {
    // Records fill the whole 65523 bytes; the driver claims more than that.
    std::vector<std::string> texts;
    const std::string text =
        "7\tp\tRegOpenKey\tHKLM\\" + std::string(57, 'k'); // 100 bytes with header
    for (int i = 0; i < 700; ++i)
        texts.push_back(text);
    auto buf = Pack(texts, 70000);
    ASSERT_EQ(buf.size(), 70000u);
    m_engine.WalkBuffer(buf.data(), 70000);
    EXPECT_EQ(m_doc.GetRecordCount(),
              655); // 655 whole records end at 65500; the rest is past 65523
}

TEST_F(WalkTest, TextWithoutItsZeroEndsTheWalk) {
    auto buf = Pack({"1\ta\tRegOpenKey\tHKLM", "2\tb\tRegOpenKey\tHKLM"});
    // Cut the buffer inside the second record's text: its zero is beyond the bytes returned.
    m_engine.WalkBuffer(buf.data(), buf.size() - 6);
    EXPECT_EQ(Pids(), (std::vector<int>{1}));
    // A lone partial header is not read either.
    m_engine.WalkBuffer(buf.data(), 10);
    EXPECT_EQ(Pids(), (std::vector<int>{1}));
}

TEST_F(WalkTest, StopsAsSoonAsCaptureIsSwitchedOff) {
    const auto buf = Pack({"1\ta\tRegOpenKey\tHKLM"});
    m_engine.m_bCapturing = 0;
    m_engine.WalkBuffer(buf.data(), buf.size());
    m_engine.m_bCapturing = 1;
    m_engine.m_bQuit = 1;
    m_engine.WalkBuffer(buf.data(), buf.size());
    m_engine.m_bQuit = 0;
    EXPECT_EQ(m_doc.GetRecordCount(), 0);
}
