// Archive layer: string forms byte for byte, real archives written by the Windows framework,
// and corrupt input that must fail cleanly.
#include "utils/Archive.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <QBuffer>

#include <cstring>
#include <vector>

namespace {

QByteArray Store(const std::function<void(CArchive&)>& fn) {
    QBuffer buf;
    buf.open(QIODevice::WriteOnly);
    CArchive ar(&buf, CArchive::store);
    fn(ar);
    ar.Close();
    return buf.data();
}

struct SLoader {
    explicit SLoader(const QByteArray& bytes) : m_bytes(bytes), m_buf(&m_bytes) {
        m_buf.open(QIODevice::ReadOnly);
    }
    QByteArray m_bytes;
    QBuffer m_buf;
    CArchive m_ar{&m_buf, CArchive::load};
};

QByteArray Hex(const char* pHex) {
    return QByteArray::fromHex(pHex);
}

} // namespace

TEST(ArchiveStrings, WideFormsByLength) {
    EXPECT_EQ(Store([](CArchive& ar) { ar.WriteString(QString()); }), Hex("FFFEFF00"));
    EXPECT_EQ(Store([](CArchive& ar) { ar.WriteString(QStringLiteral("*")); }),
              Hex("FFFEFF012A00"));

    const QString s254(254, QLatin1Char('a')), s255(255, QLatin1Char('b'));
    const QString s65534(0xFFFE, QLatin1Char('c'));
    const QByteArray b254 = Store([&](CArchive& ar) { ar.WriteString(s254); });
    EXPECT_EQ(b254.left(4), Hex("FFFEFFFE"));
    EXPECT_EQ(b254.size(), 4 + 2 * 254);
    const QByteArray b255 = Store([&](CArchive& ar) { ar.WriteString(s255); });
    EXPECT_EQ(b255.left(6), Hex("FFFEFFFFFF00"));
    EXPECT_EQ(b255.size(), 6 + 2 * 255);
    const QByteArray b65534 = Store([&](CArchive& ar) { ar.WriteString(s65534); });
    EXPECT_EQ(b65534.left(10), Hex("FFFEFFFFFFFFFEFF0000"));

    for (const QString* p : {&s254, &s255, &s65534}) {
        SLoader in(Store([&](CArchive& ar) { ar.WriteString(*p); }));
        EXPECT_EQ(in.m_ar.ReadString(), *p);
        EXPECT_EQ(in.m_ar.BytesRemaining(), 0u);
    }
}

TEST(ArchiveStrings, NonBmpTextRoundTrips) {
    const QString str = QStringLiteral("Pont-y-p\u0175l \U0001F600 \u0645");
    SLoader in(Store([&](CArchive& ar) { ar.WriteString(str); }));
    EXPECT_EQ(in.m_ar.ReadString(), str);
}

TEST(ArchiveStrings, NarrowFormsWithEveryLengthSize) {
    const QByteArray text300(300, 'x');
    QByteArray bytes = Hex("03") + "abc";
    bytes += Hex("FF2C01") + text300;       // 16-bit length
    bytes += Hex("FFFFFF03000000") + "xyz"; // 32-bit length
    SLoader in(bytes);
    EXPECT_EQ(in.m_ar.ReadString(), QStringLiteral("abc"));
    EXPECT_EQ(in.m_ar.ReadString(), QString::fromLatin1(text300));
    EXPECT_EQ(in.m_ar.ReadString(), QStringLiteral("xyz"));
}

TEST(ArchiveCorrupt, LengthsBeyondTheDataFailWithoutReadingOrAllocating) {
    struct SCase {
        const char* pHex;
        CArchiveException::Cause cause;
    } cases[] = {
        {"FFFEFF05410042", CArchiveException::badFormat},       // 5 chars announced, 1.5 there
        {"FFFEFFFFFFFFFEFFFF7F", CArchiveException::badFormat}, // 2 GiB wide string
        {"FFFFFFFFFFFFFF", CArchiveException::badFormat},       // reserved 32-bit length
        {"0A61", CArchiveException::badFormat},                 // narrow, 10 announced
        {"FFFE", CArchiveException::endOfFile},                 // tag cut short
        {"", CArchiveException::endOfFile},
    };
    for (const SCase& c : cases) {
        SLoader in(Hex(c.pHex));
        try {
            in.m_ar.ReadString();
            ADD_FAILURE() << "no error for " << c.pHex;
        } catch (const CArchiveException& e) {
            EXPECT_EQ(e.m_cause, c.cause) << c.pHex;
        }
    }
}

TEST(ArchiveCorrupt, IntegersAndCounts) {
    SLoader in(Hex("010203"));
    EXPECT_THROW(in.m_ar.ReadInt32(), CArchiveException);

    SLoader counts(Hex("02000000"
                       "00"
                       "00"
                       "FFFFFF7F"));
    EXPECT_EQ(counts.m_ar.ReadCount(1), 2);
    counts.m_ar.ReadUInt16();
    EXPECT_THROW(counts.m_ar.ReadCount(1), CArchiveException); // 2^31 elements in 0 bytes

    SLoader negative(Hex("FFFFFFFF"));
    EXPECT_EQ(negative.m_ar.ReadCount(4), -1); // the caller treats it as empty
}

TEST(ArchiveIntegers, LittleEndianAcrossBufferBoundaries) {
    const QByteArray bytes = Store([](CArchive& ar) {
        for (int i = 0; i < 5000; ++i)
            ar.WriteInt32(i * 7919 - 100000);
    });
    ASSERT_EQ(bytes.size(), 20000);
    EXPECT_EQ(bytes.left(4), Hex("6079FEFF"));
    SLoader in(bytes);
    for (int i = 0; i < 5000; ++i)
        ASSERT_EQ(in.m_ar.ReadInt32(), i * 7919 - 100000);
    EXPECT_THROW(in.m_ar.ReadUInt8(), CArchiveException);
}

// A reader with a buffer of its own takes the buffered bytes, then bytes straight from the
// device, and gives back what it did not use: more than the archive's buffer has room for
// before its position, then a few that fit there. The archive's reads go on in order.
TEST(ArchiveIntegers, BytesTakenAsideAndGivenBackAreReadAgainInOrder) {
    const QByteArray bytes = Store([](CArchive& ar) {
        for (int i = 0; i < 5000; ++i)
            ar.WriteInt32(i * 7919 - 100000);
    });
    SLoader in(bytes); // a buffer of 4096 bytes
    ASSERT_EQ(in.m_ar.ReadInt32(), -100000);
    std::vector<char> block(10000);
    const size_t nBuffered = in.m_ar.ReadSome(block.data(), block.size());
    EXPECT_EQ(nBuffered, 4092u);
    const size_t nDirect = in.m_ar.ReadSome(block.data() + nBuffered, block.size() - nBuffered);
    ASSERT_EQ(nBuffered + nDirect, block.size());
    EXPECT_EQ(std::memcmp(block.data(), bytes.constData() + 4, block.size()), 0);
    EXPECT_EQ(in.m_ar.BytesRemaining(), uint64_t(bytes.size() - 10004));

    in.m_ar.Unread(block.data() + 4000, 6000); // the values from 1001 on
    EXPECT_EQ(in.m_ar.BytesRemaining(), uint64_t(bytes.size() - 4004));
    ASSERT_EQ(in.m_ar.ReadInt32(), 1001 * 7919 - 100000);
    ASSERT_EQ(in.m_ar.ReadInt32(), 1002 * 7919 - 100000);
    const int32_t nBack = 1002 * 7919 - 100000;
    in.m_ar.Unread(&nBack, 4); // room before the position
    for (int i = 1002; i < 5000; ++i)
        ASSERT_EQ(in.m_ar.ReadInt32(), i * 7919 - 100000) << i;
    EXPECT_EQ(in.m_ar.ReadSome(block.data(), block.size()), 0u);
    EXPECT_THROW(in.m_ar.ReadUInt8(), CArchiveException);
}

// The whole file is read with its own layout and written again; every string (all in the
// wide form) must come back to the last byte, so the two byte streams are identical.
TEST(ArchiveRealFiles, WideStringsOfWorldGpsReadAndWriteBackExactly) {
    const QByteArray original = ReadWholeFile(TestDataPath("mfc_shareaza_WorldGPS.dat"));
    ASSERT_EQ(original.size(), 353860);
    SLoader in(original);
    QBuffer outBuf;
    outBuf.open(QIODevice::WriteOnly);
    CArchive out(&outBuf, CArchive::store);

    auto copyCount = [&]() {
        uint32_t n = in.m_ar.ReadUInt16();
        out.WriteUInt16(uint16_t(n));
        if (n == 0xFFFF) {
            n = in.m_ar.ReadUInt32();
            out.WriteUInt32(n);
        }
        return n;
    };
    int nStrings = 0, nEmpty = 0;
    QStringList seen;
    auto copyString = [&]() {
        const QString s = in.m_ar.ReadString();
        out.WriteString(s);
        ++nStrings;
        nEmpty += s.isEmpty();
        return s;
    };
    const uint32_t nCountries = copyCount();
    EXPECT_EQ(nCountries, 231u);
    for (uint32_t c = 0; c < nCountries; ++c) {
        char code[2];
        in.m_ar.Read(code, 2);
        out.Write(code, 2);
        seen << copyString();
        const uint32_t nCities = copyCount();
        for (uint32_t i = 0; i < nCities; ++i) {
            seen << copyString() << copyString();
            out.WriteUInt16(in.m_ar.ReadUInt16());
            out.WriteUInt16(in.m_ar.ReadUInt16());
        }
    }
    out.Close();
    EXPECT_EQ(in.m_ar.BytesRemaining(), 0u);
    EXPECT_EQ(nStrings, 15017);
    EXPECT_EQ(nEmpty, 1275);
    EXPECT_TRUE(seen.contains(QStringLiteral("United States")));
    EXPECT_TRUE(seen.contains(QStringLiteral("State of Alabama")));
    EXPECT_TRUE(seen.contains(QStringLiteral("Pont-y-p\u0175l")));
    EXPECT_TRUE(seen.contains(QStringLiteral("Montr\u00e9al")));
    EXPECT_TRUE(outBuf.data() == original) << "re-written archive differs";
}

TEST(ArchiveRealFiles, NarrowStringOfSerialExample) {
    SLoader in(ReadWholeFile(TestDataPath("mfc_lds10452_7_2Serial_serial.bin")));
    EXPECT_EQ(in.m_ar.ReadInt32(), 52);
    float f = 0;
    unsigned char raw[4];
    in.m_ar.Read(raw, 4);
    std::memcpy(&f, raw, 4);
    EXPECT_EQ(f, 88.5f);
    EXPECT_EQ(in.m_ar.ReadString(), QStringLiteral("zhangsan"));
    EXPECT_EQ(in.m_ar.BytesRemaining(), 0u);
}

TEST(ArchiveRealFiles, NarrowStringsInsideCreatureExport) {
    const QByteArray all = ReadWholeFile(TestDataPath("mfc_creatures1_norn.exp"));
    SLoader in(all.mid(0x144E9));
    const char* expected[] = {
        "42434b31",       "<Un Named>", "33646164", "336d756d", "18:08 Jun 02 2020",
        "The birthplace", "",           "",         "",         ""};
    for (const char* p : expected)
        EXPECT_EQ(in.m_ar.ReadString(), QString::fromLatin1(p));
    EXPECT_EQ(0x14534u, 0x144E9u + (all.size() - 0x144E9 - in.m_ar.BytesRemaining()));
}
