// Value texts read back, the listing a key delete record carries, and .reg files written and
// imported with their deletions.
#include "tests/TestSupport.h"
#include "winereg/RegFileWriter.h"
#include "winereg/RegKeyContents.h"
#include "winereg/WineRegistry.h"

#include <gtest/gtest.h>

#include <QFile>

#include <random>

namespace {

QByteArray Utf16(const QString& str, bool bTerminate = true) {
    QByteArray d = RegStringData(str);
    if (!bTerminate)
        d.chop(2);
    return d;
}

// Names no file format makes easy: quotes, escapes of both formats, brackets, control
// characters, non-ASCII, a character outside the BMP and a lone surrogate.
QStringList OddNames() {
    return {QStringLiteral("C:\\Program Files\\App\\"),
            QStringLiteral("say \"hi\""),
            QStringLiteral("100% [x] %41"),
            QStringLiteral("tab\there"),
            QString::fromUtf16(u"Gr\u00fc\u00dfe \u65e5\u672c \U0001F600"),
            QString(QChar(0xD800)) + QStringLiteral("lone")};
}

void ExpectSameKeys(const CWineRegKey& a, const CWineRegKey& b, const QString& strPath = {}) {
    ASSERT_EQ(a.ValueCount(), b.ValueCount()) << strPath.toStdString();
    for (qsizetype i = 0; i < a.ValueCount(); ++i)
        EXPECT_TRUE(a.Value(i) == b.Value(i))
            << strPath.toStdString() << " value " << a.Value(i).m_strName.toStdString();
    ASSERT_EQ(a.SubKeyCount(), b.SubKeyCount()) << strPath.toStdString();
    for (qsizetype i = 0; i < a.SubKeyCount(); ++i) {
        ASSERT_EQ(a.SubKey(i)->Name(), b.SubKey(i)->Name()) << strPath.toStdString();
        ExpectSameKeys(*a.SubKey(i), *b.SubKey(i), strPath + u'\\' + a.SubKey(i)->Name());
    }
}

// The .reg file's text: the bytes after the byte order mark as UTF-16LE.
QString FileText(const QByteArray& bytes) {
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2),
                              (bytes.size() - 2) / 2);
}

} // namespace

TEST(RegValueFromText, EveryTypeComesBackAsItsData) {
    const std::vector<SWineRegValue> values = {
        {{}, REG_SZ, Utf16(QStringLiteral("C:\\x \"q\" ..y"))},
        {{}, REG_SZ, Utf16(QString())},
        {{}, REG_EXPAND_SZ, Utf16(QStringLiteral("%SystemRoot%\\a"))},
        {{}, REG_LINK, Utf16(QStringLiteral("\\Registry\\Machine\\X"))},
        {{}, REG_MULTI_SZ, RegMultiStringData({QStringLiteral("one"), QStringLiteral("two")})},
        {{}, REG_MULTI_SZ, RegMultiStringData({})},
        {{}, REG_DWORD, RegDwordData(0xfffffffe)},
        {{}, REG_DWORD_BIG_ENDIAN, QByteArray("\x01\x02\x03\x04", 4)},
        {{}, REG_DWORD, QByteArray("\x01\x02", 2)},
        {{}, REG_QWORD, RegQwordData(0x123456789abcdef0ull)},
        {{}, REG_BINARY, QByteArray("\x00\xff\x10", 3)},
        {{}, REG_BINARY, QByteArray()},
        {{}, REG_NONE, QByteArray("\x7f", 1)},
        {{}, 0x1c, QByteArray("\x01\x02", 2)},
        {{}, REG_SZ, Utf16(OddNames()[4])},
    };
    for (const SWineRegValue& v : values) {
        const QString strText = v.Text();
        uint32_t nType = 99;
        QByteArray data;
        ASSERT_EQ(RegValueFromText(strText, nType, data), ERegTextData::EXACT)
            << strText.toStdString();
        EXPECT_EQ(nType, v.m_nType) << strText.toStdString();
        EXPECT_EQ(data, v.m_data) << strText.toStdString();
    }
}

TEST(RegValueFromText, CutAndForeignTextsAreNotTakenForData) {
    uint32_t nType = 0;
    QByteArray data;
    const auto read = [&](const QString& str) { return RegValueFromText(str, nType, data); };
    EXPECT_EQ(read(RegValueText(REG_BINARY, QByteArray(2000, '\x01'), 1024)), ERegTextData::CUT);
    EXPECT_EQ(read(RegValueText(REG_SZ, Utf16(QString(600, u'x')), 100)), ERegTextData::CUT);
    EXPECT_EQ(read(QStringLiteral("REG_BINARY: ...")), ERegTextData::CUT);
    for (const char* p :
         {"", "REG_SZ", "REG_SZ:x", "REG_NOPE: 1", "REG_DWORD: 0x1 (1)",
          "REG_DWORD: 0x00000001 (2)", "REG_DWORD: 0x0000000g (16)", "REG_QWORD: 0x00000001 (1)",
          "REG_BINARY: 0", "REG_BINARY: 01  02", "REG_BINARY: 01 ", "REG_BINARY: zz",
          "REG_MULTI_SZ: a, , b", "REG_BINARY: 0102"})
        EXPECT_EQ(read(QString::fromUtf8(p)), ERegTextData::UNREADABLE) << p;
    // Lower-case hex pairs are read, and the text they give differs: not the records' text.
    EXPECT_EQ(read(QStringLiteral("REG_BINARY: 0a")), ERegTextData::UNREADABLE);
    EXPECT_EQ(read(QStringLiteral("REG_BINARY: 0A")), ERegTextData::EXACT);
}

// What the readable text cannot show goes after it as bytes, so records stay exact; what does
// not fit the record is marked as known in part.
TEST(RegValueFromText, RecordTextsCarryTheBytesTheTextCannotShow) {
    const std::vector<SWineRegValue> values = {
        {{}, REG_SZ, Utf16(QStringLiteral("abc"), false)},
        {{}, REG_SZ, Utf16(QStringLiteral("a")) + Utf16(QStringLiteral("b"))},
        {{}, REG_MULTI_SZ, RegMultiStringData({QStringLiteral("a, b"), QStringLiteral("c")})},
        {{}, REG_MULTI_SZ, QByteArray("a\0\0\0\0\0\0\0b\0\0\0\0\0\0\0\0\0\0\0", 20)},
        {{}, REG_SZ, Utf16(QStringLiteral("Loading..."))},
        {{}, REG_BINARY, QByteArray(600, '\x0f')},
        {{}, REG_SZ, Utf16(QStringLiteral("x [bytes: 780000]"))},
        {{}, REG_SZ, Utf16(QStringLiteral("tab\there\r\n"))},
    };
    for (const SWineRegValue& v : values) {
        QString strText = RegRecordValueText(v.m_nType, v.m_data, 1024, 4000);
        // As a record field holds it.
        for (QChar& c : strText)
            if (c.unicode() < 0x20)
                c = QLatin1Char(' ');
        EXPECT_NE(strText, v.Text()) << "needs its bytes: " << strText.toStdString();
        uint32_t nType = 0;
        QByteArray data;
        ASSERT_EQ(RegValueFromText(strText, nType, data), ERegTextData::EXACT)
            << strText.toStdString();
        EXPECT_EQ(nType, v.m_nType);
        EXPECT_EQ(data, v.m_data) << strText.toStdString();
    }
    const SWineRegValue plain{{}, REG_SZ, Utf16(QStringLiteral("plain"))};
    EXPECT_EQ(RegRecordValueText(plain.m_nType, plain.m_data, 1024, 4000), plain.Text());
    uint32_t nType = 0;
    QByteArray data;
    const QString strBig = RegRecordValueText(REG_BINARY, QByteArray(3000, 'x'), 1024, 4000);
    EXPECT_LE(strBig.toUtf8().size(), 4000);
    EXPECT_EQ(RegValueFromText(strBig, nType, data), ERegTextData::CUT);
    const QString strOdd = RegRecordValueText(REG_SZ, QByteArray(2001, 'x'), 5000, 4000);
    EXPECT_EQ(RegValueFromText(strOdd, nType, data), ERegTextData::CUT)
        << "a text that is not exact and has no room for its bytes is not taken as exact";
    // Bytes after a text they do not match are part of a string.
    EXPECT_EQ(RegValueFromText(u"REG_SZ: x [bytes: 41]", nType, data), ERegTextData::EXACT);
    EXPECT_EQ(data, Utf16(QStringLiteral("x [bytes: 41]")));
}

TEST(RegKeyContents, ListingComesBackWithEveryNameTypeAndSubkey) {
    CWineRegKey key;
    int n = 0;
    for (const QString& strName : OddNames()) {
        key.SetValue({strName, REG_SZ, Utf16(strName)});
        key.SetValue({strName + QString::number(++n), REG_BINARY, QByteArray("\x00\xfe", 2)});
    }
    key.SetValue({QString(), REG_EXPAND_SZ, Utf16(QStringLiteral("%TEMP%"))});
    key.SetValue({QStringLiteral("unterminated"), REG_SZ, Utf16(QStringLiteral("ab"), false)});
    key.SetValue({QStringLiteral("inner zero"), REG_SZ, Utf16(QStringLiteral("a")) + Utf16("b")});
    key.SetValue({QStringLiteral("empty"), REG_NONE, QByteArray()});
    key.SetValue({QStringLiteral("dots"), REG_SZ, Utf16(QStringLiteral("..."))});
    CWineRegKey* pSub = key.CreateKey(u"Sub [1]\\Deeper%");
    pSub->SetValue({QStringLiteral("q"), REG_QWORD, RegQwordData(7)});
    key.CreateKey(u"Empty");
    key.CreateKey(OddNames()[4]);

    const QString strText = RegKeyContentsText(key, 1 << 20);
    EXPECT_FALSE(strText.contains(QChar(u'\t'))) << "a record field keeps no control character";
    const SRegKeyContents back = ParseRegKeyContents(strText);
    ASSERT_EQ(back.m_eState, SRegKeyContents::LISTED) << back.m_strWhy.toStdString();
    ExpectSameKeys(*back.m_pKey, key);
    EXPECT_TRUE(back.m_arCut.empty());

    const SRegKeyContents empty = ParseRegKeyContents(RegKeyContentsText(CWineRegKey(), 100));
    ASSERT_EQ(empty.m_eState, SRegKeyContents::LISTED);
    EXPECT_EQ(empty.m_pKey->ValueCount() + empty.m_pKey->SubKeyCount(), 0);
}

TEST(RegKeyContents, CutValuesTooBigKeysAndDamagedListings) {
    CWineRegKey key;
    key.SetValue({QStringLiteral("long"), REG_BINARY, QByteArray(10, 'x')});
    key.SetValue({QStringLiteral("short"), REG_DWORD, RegDwordData(1)});
    const QString strCut = RegKeyContentsText(key, 1000, [](const CWineRegKey&, const auto& v) {
        return v.m_strName == QLatin1String("long");
    });
    const SRegKeyContents cut = ParseRegKeyContents(strCut);
    ASSERT_EQ(cut.m_eState, SRegKeyContents::LISTED);
    EXPECT_TRUE(cut.IsCut(*cut.m_pKey, u"LONG"));
    EXPECT_FALSE(cut.IsCut(*cut.m_pKey, u"short"));

    for (int i = 0; i < 50; ++i)
        key.CreateKey(QStringLiteral("K%1").arg(i))->SetValue({{}, REG_DWORD, RegDwordData(1)});
    const QString strBig = RegKeyContentsText(key, 300);
    EXPECT_LE(strBig.toUtf8().size(), 300);
    const SRegKeyContents big = ParseRegKeyContents(strBig);
    ASSERT_EQ(big.m_eState, SRegKeyContents::TOO_BIG);
    EXPECT_EQ(big.m_nValues, 52);
    EXPECT_EQ(big.m_nKeys, 51);

    EXPECT_EQ(ParseRegKeyContents(u"").m_eState, SRegKeyContents::NOT_GIVEN);
    EXPECT_EQ(ParseRegKeyContents(u"REG_SZ: KEY: x").m_eState, SRegKeyContents::NOT_GIVEN);
    for (const char16_t* p :
         {u"KEY: x", u"KEY: \"a\"=REG_SZ:\"b", u"KEY: \"a=REG_SZ:01", u"KEY: @=REG_NOPE:01",
          u"KEY: @=REG_BINARY:0", u"KEY: @=REG_SZ:\"%4\"", u"KEY: [a", u"KEY: [a\\\\b]",
          u"KEY: \"\"=REG_SZ:00", u"KEY: @=REG_BINARY:00x",
          u"KEY: (too big to list: x values in 2 keys)", u"KEY:@=REG_BINARY:00"}) {
        const SRegKeyContents bad = ParseRegKeyContents(QStringView(p));
        EXPECT_EQ(bad.m_eState, SRegKeyContents::DAMAGED) << QString::fromUtf16(p).toStdString();
        EXPECT_FALSE(bad.m_strWhy.isEmpty());
    }
    // Random damage to a real listing never reads outside it.
    std::mt19937 rng(18);
    for (int i = 0; i < 300; ++i) {
        QString str = strCut;
        str[qsizetype(rng() % str.size())] = QChar(char16_t(rng() % 128));
        str.truncate(qsizetype(rng() % (str.size() + 1)));
        ParseRegKeyContents(str);
    }
}

TEST(RegFileWriter, FormatOfTheWindowsRegistryEditor) {
    CRegFileWriter w;
    w.Comment(QStringLiteral("two\nlines"));
    w.Key(QStringLiteral("HKEY_CURRENT_USER\\Software\\A"));
    w.Value({QString(), REG_SZ, Utf16(QStringLiteral("C:\\dir \"x\""))});
    w.Value({QStringLiteral("n"), REG_DWORD, RegDwordData(0x2a)});
    w.Value({QStringLiteral("line\nbreak"), REG_SZ, Utf16(QStringLiteral("a\r\nb"))});
    w.Value({QStringLiteral("big"), REG_BINARY, QByteArray(100, '\xab')});
    w.DeleteValue(QStringLiteral("old"));
    w.DeleteKey(QStringLiteral("HKEY_CURRENT_USER\\Software\\B"));
    const QByteArray bytes = w.Bytes();
    ASSERT_GE(bytes.size(), 2);
    EXPECT_EQ(uint8_t(bytes[0]), 0xFF);
    EXPECT_EQ(uint8_t(bytes[1]), 0xFE);
    const QString strText = FileText(bytes);
    EXPECT_TRUE(strText.startsWith(QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n")));
    EXPECT_TRUE(strText.contains(QStringLiteral("; two\r\n; lines\r\n")));
    EXPECT_TRUE(strText.contains(QStringLiteral("@=\"C:\\\\dir \\\"x\\\"\"\r\n")));
    EXPECT_TRUE(strText.contains(QStringLiteral("\"n\"=dword:0000002a\r\n")));
    EXPECT_TRUE(strText.contains(
        QStringLiteral("\"line\\nbreak\"=hex(1):61,00,0d,00,0a,00,62,00,00,00\r\n")))
        << "a string with a line break goes as bytes";
    EXPECT_TRUE(strText.contains(QStringLiteral("\"old\"=-\r\n")));
    EXPECT_TRUE(strText.contains(QStringLiteral("[-HKEY_CURRENT_USER\\Software\\B]\r\n")));
    for (const QString& strLine : strText.split(QStringLiteral("\r\n"))) {
        EXPECT_LE(strLine.size(), 80) << strLine.toStdString();
        EXPECT_FALSE(strLine.contains(QLatin1Char('\n'))) << "every line ends with CRLF";
    }
}

// Everything a file can say, written and imported again: the registry ends as the file says,
// deletions included, and a second import changes nothing more.
TEST(RegFileImport, WrittenFileImportsExactly) {
    CWineRegistry registry;
    CWineRegKey* pOld = registry.CreateKey(u"HKCU\\Software\\Old\\Child");
    pOld->SetValue({QStringLiteral("x"), REG_SZ, Utf16(QStringLiteral("y"))});
    CWineRegKey* pKeep = registry.CreateKey(u"HKLM\\Software\\Keep");
    pKeep->SetValue({QStringLiteral("gone"), REG_DWORD, RegDwordData(1)});
    pKeep->SetValue({QStringLiteral("stays"), REG_DWORD, RegDwordData(2)});

    CRegFileWriter w;
    w.DeleteKey(QStringLiteral("HKEY_CURRENT_USER\\Software\\Old"));
    w.Value({QStringLiteral("ignored after a deleted key"), REG_DWORD, RegDwordData(9)});
    w.Key(QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Keep"));
    w.DeleteValue(QStringLiteral("gone"));
    w.DeleteValue(QStringLiteral("never there"));
    w.Key(QString::fromUtf16(u"HKEY_CURRENT_USER\\Software\\Neu \u00e9 [1]"));
    CWineRegKey expected;
    const std::vector<SWineRegValue> values = {
        {QString(), REG_SZ, Utf16(QStringLiteral("default"))},
        {QStringLiteral("sz"), REG_SZ, Utf16(QStringLiteral("a \"b\" \\c"))},
        {QStringLiteral("expand"), REG_EXPAND_SZ, Utf16(QStringLiteral("%PATH%"))},
        {QStringLiteral("multi"), REG_MULTI_SZ, RegMultiStringData({"a", "b c"})},
        {QStringLiteral("dword"), REG_DWORD, RegDwordData(0xdeadbeef)},
        {QStringLiteral("qword"), REG_QWORD, RegQwordData(1ull << 40)},
        {QStringLiteral("binary"), REG_BINARY, QByteArray(300, '\x5a')},
        {QStringLiteral("none"), REG_NONE, QByteArray()},
        {QStringLiteral("other"), 0x1c, QByteArray("\x01", 1)},
        {QStringLiteral("odd sz"), REG_SZ, Utf16(QStringLiteral("ab"), false)},
        {QStringLiteral("short dword"), REG_DWORD, QByteArray("\x01", 1)},
    };
    for (const SWineRegValue& v : values) {
        w.Value(v);
        expected.SetValue(v);
    }
    // A lone surrogate has no place in a UTF-16 file read as text: the rest of the odd names.
    for (const QString& strName : OddNames().mid(0, 5)) {
        const SWineRegValue v{strName, REG_SZ, Utf16(strName)};
        w.Value(v);
        expected.SetValue(v);
    }
    const QString strPath = TestTempDir() + QStringLiteral("all.reg");
    QString strError;
    ASSERT_TRUE(w.Save(strPath, strError)) << strError.toStdString();
    ASSERT_TRUE(registry.ImportRegFile(strPath, strError)) << strError.toStdString();

    EXPECT_EQ(registry.FindKey(u"HKCU\\Software\\Old"), nullptr);
    EXPECT_NE(registry.FindKey(u"HKCU\\Software"), nullptr);
    ASSERT_NE(registry.FindKey(u"HKLM\\Software\\Keep"), nullptr);
    EXPECT_EQ(registry.FindKey(u"HKLM\\Software\\Keep")->ValueCount(), 1);
    const CWineRegKey* pNew =
        registry.FindKey(QString::fromUtf16(u"HKCU\\Software\\Neu \u00e9 [1]"));
    ASSERT_NE(pNew, nullptr);
    ExpectSameKeys(*pNew, expected);
    ASSERT_TRUE(registry.ImportRegFile(strPath, strError)) << strError.toStdString();
    ExpectSameKeys(*registry.FindKey(QString::fromUtf16(u"HKCU\\Software\\Neu \u00e9 [1]")),
                   expected);
}

TEST(RegFileImport, RefusesWhatItCannotCarryOut) {
    CWineRegistry registry;
    registry.CreateKey(u"HKCU\\Software\\Stay");
    QString strError;
    EXPECT_FALSE(registry.ImportRegData(
        "Windows Registry Editor Version 5.00\r\n[-HKEY_CURRENT_USER]\r\n", strError));
    EXPECT_TRUE(strError.contains(QStringLiteral("root key"))) << strError.toStdString();
    EXPECT_NE(registry.FindKey(u"HKCU\\Software\\Stay"), nullptr);
    EXPECT_FALSE(registry.ImportRegData(
        "Windows Registry Editor Version 5.00\r\n[HKEY_NOWHERE\\X]\r\n", strError));
    EXPECT_TRUE(strError.contains(QStringLiteral("unknown root"))) << strError.toStdString();
    EXPECT_FALSE(registry.ImportRegData("WINE REGISTRY Version 2\n[A]\n", strError));
    EXPECT_FALSE(registry.ImportRegData(
        "Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\X]\r\n\"a\"=- 1\r\n",
        strError));
    // A plain read of the same deletions still says it cannot hold them.
    CWineRegKey top;
    SWineRegFileInfo info;
    EXPECT_FALSE(
        CWineRegReader::Parse("Windows Registry Editor Version 5.00\r\n[-HKEY_CURRENT_USER\\X]\r\n",
                              top, info, strError));
}
