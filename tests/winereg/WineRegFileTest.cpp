// Reading and writing registry text files: values, escapes, damaged input and real files.
#include "tests/TestSupport.h"
#include "winereg/WineRegReader.h"
#include "winereg/WineRegWriter.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <random>
#include <string_view>

using namespace std::literals;

namespace {

QByteArray Wine(const char* pBody) {
    return QByteArray("WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n") +
           pBody;
}

struct SParsed {
    bool m_bOk = false;
    QString m_strError;
    SWineRegFileInfo m_info;
    std::unique_ptr<CWineRegKey> m_pTop = std::make_unique<CWineRegKey>();
};

SParsed Parse(const QByteArray& data) {
    SParsed p;
    p.m_bOk = CWineRegReader::Parse(data, *p.m_pTop, p.m_info, p.m_strError);
    return p;
}

// UTF-16LE data of s (which may hold zeros), with the terminating zero unless told otherwise.
QByteArray Utf16(std::u16string_view s, bool bTerminate = true) {
    QByteArray d = RegStringData(QStringView(s.data(), qsizetype(s.size())));
    if (!bTerminate)
        d.chop(2);
    return d;
}

// Deep comparison of two trees: names, options, values, in order.
void ExpectSameTree(const CWineRegKey& a, const CWineRegKey& b, const QString& strPath = {}) {
    ASSERT_EQ(a.Name(), b.Name()) << strPath.toStdString();
    EXPECT_EQ(a.m_nModified, b.m_nModified) << strPath.toStdString();
    EXPECT_EQ(a.m_class, b.m_class) << strPath.toStdString();
    EXPECT_EQ(a.m_bLink, b.m_bLink) << strPath.toStdString();
    ASSERT_EQ(a.ValueCount(), b.ValueCount()) << strPath.toStdString();
    for (qsizetype i = 0; i < a.ValueCount(); ++i)
        EXPECT_TRUE(a.Value(i) == b.Value(i))
            << strPath.toStdString() << " value " << a.Value(i).m_strName.toStdString();
    ASSERT_EQ(a.SubKeyCount(), b.SubKeyCount()) << strPath.toStdString();
    for (qsizetype i = 0; i < a.SubKeyCount(); ++i)
        ExpectSameTree(*a.SubKey(i), *b.SubKey(i), strPath + u'\\' + a.SubKey(i)->Name());
}

} // namespace

TEST(WineRegReader, ValueKinds) {
    const SParsed p = Parse(Wine("[Software\\\\Test] 1710099824\n"
                                 "#time=1da732342eb0d20\n"
                                 "@=\"default\"\n"
                                 "\"Sz\"=\"plain\"\n"
                                 "\"Dword\"=dword:0000002a\n"
                                 "\"Short\"=dword:ff\n"
                                 "\"Bin\"=hex:01,02,ff\n"
                                 "\"Empty\"=hex:\n"
                                 "\"Expand\"=hex(2):25,00,50,00,41,00,54,00,48,00,25,00,00,00\n"
                                 "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\n"
                                 "\"Qword\"=hex(b):2c,01,00,00,00,00,00,00\n"
                                 "\"Odd\"=hex(100):aa\n"
                                 "\"Str2\"=str(2):\"%SystemRoot%\\\\x\"\n"
                                 "\"Str7\"=str(7):\"a\\0b\\0\"\n"
                                 "\"StrSz\"=str:\"s\"\n"));
    ASSERT_TRUE(p.m_bOk) << p.m_strError.toStdString();
    EXPECT_EQ(p.m_info.m_strRelativeTo, QStringLiteral("REGISTRY\\Machine"));
    const CWineRegKey* pKey = p.m_pTop->FindKey(u"software\\TEST");
    ASSERT_TRUE(pKey);
    EXPECT_EQ(pKey->Name(), QStringLiteral("Test")) << "lookups ignore case, names keep it";
    EXPECT_EQ(pKey->m_nModified, 0x1da732342eb0d20ull);
    auto text = [&](const char16_t* pName) {
        const SWineRegValue* p = pKey->FindValue(pName);
        return p ? p->Text().toStdString() : std::string("<missing>");
    };
    EXPECT_EQ(text(u""), "REG_SZ: default");
    EXPECT_EQ(text(u"sz"), "REG_SZ: plain");
    EXPECT_EQ(text(u"Dword"), "REG_DWORD: 0x0000002a (42)");
    EXPECT_EQ(text(u"Short"), "REG_DWORD: 0x000000ff (255)");
    EXPECT_EQ(text(u"Bin"), "REG_BINARY: 01 02 FF");
    EXPECT_EQ(text(u"Empty"), "REG_BINARY: ");
    EXPECT_EQ(text(u"Expand"), "REG_EXPAND_SZ: %PATH%");
    EXPECT_EQ(text(u"Multi"), "REG_MULTI_SZ: a, b");
    EXPECT_EQ(text(u"Qword"), "REG_QWORD: 0x000000000000012c (300)");
    EXPECT_EQ(text(u"Odd"), "REG_0x100: AA");
    EXPECT_EQ(text(u"Str2"), "REG_EXPAND_SZ: %SystemRoot%\\x");
    EXPECT_EQ(text(u"Str7"), "REG_MULTI_SZ: a, b");
    EXPECT_EQ(text(u"StrSz"), "REG_SZ: s");
    // String data is stored as the registry holds it: UTF-16LE with the terminating zero.
    EXPECT_EQ(pKey->FindValue(u"Sz")->m_data, Utf16(u"plain"));
    EXPECT_EQ(pKey->FindValue(u"Str7")->m_data, pKey->FindValue(u"Multi")->m_data);
    // Values are kept in the registry's name order, the unnamed one first.
    EXPECT_EQ(pKey->Value(0).m_strName, QString());
    EXPECT_EQ(pKey->Value(1).m_strName, QStringLiteral("Bin"));
}

TEST(WineRegReader, StringEscapes) {
    const SParsed p = Parse(Wine("[A\\\\B\\]c]\n"
                                 "\"q\\\"uote\\\\d\"=\"\\a\\b\\t\\n\\v\\f\\r\\e|\\0|\\101\\0012\"\n"
                                 "\"hex\"=\"\\xe9t\\xe9\\x00e9A\\x263a\\x\"\n"
                                 "\"pair\"=\"\\xd83d\\xde00\"\n"
                                 "\"raw\"=\"gr\xc3\xbc\xc3\x9f\"\n"
                                 "\"unknown\"=\"\\q\\[\"\n"));
    ASSERT_TRUE(p.m_bOk) << p.m_strError.toStdString();
    const CWineRegKey* pKey = p.m_pTop->FindKey(u"A\\B]c");
    ASSERT_TRUE(pKey) << "\\] in a key name is a bracket, \\\\ the separator";
    const SWineRegValue* pQuote = pKey->FindValue(u"q\"uote\\d");
    ASSERT_TRUE(pQuote);
    EXPECT_EQ(pQuote->m_data, Utf16(u"\a\b\t\n\v\f\r\x1b|\0|A\x01"
                                    u"2"sv));
    EXPECT_EQ(RegStringFromData(pKey->FindValue(u"hex")->m_data),
              QString::fromUtf16(u"\u00e9t\u00e9\u00e9A\u263ax"));
    EXPECT_EQ(RegStringFromData(pKey->FindValue(u"pair")->m_data),
              QString::fromUtf16(u"\U0001F600"));
    EXPECT_EQ(RegStringFromData(pKey->FindValue(u"raw")->m_data),
              QString::fromUtf16(u"gr\u00fc\u00df"));
    EXPECT_EQ(RegStringFromData(pKey->FindValue(u"unknown")->m_data), QStringLiteral("q["));
}

TEST(WineRegReader, ContinuationsCrlfAndOptions) {
    const SParsed p = Parse("WINE REGISTRY Version 2\r\n"
                            ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\r\n"
                            "\r\n#arch=win64\r\n\r\n"
                            "[Key] 1\r\n"
                            "#time=1\r\n"
                            "#class=\"My \\\"class\\\"\"\r\n"
                            "#link\r\n"
                            "#futureoption=1\r\n"
                            "  \"Cont\"=hex:01,02,\\\r\n"
                            "  03,04,\\\r\n"
                            "\t05\r\n"
                            "; a comment\r\n"
                            "\"Last\"=dword:00000001"); // no line end at all
    ASSERT_TRUE(p.m_bOk) << p.m_strError.toStdString();
    EXPECT_EQ(p.m_info.m_strRelativeTo, QStringLiteral("REGISTRY\\User\\S-1-5-21-0-0-0-1000"));
    EXPECT_EQ(p.m_info.m_strArch, QStringLiteral("win64"));
    const CWineRegKey* pKey = p.m_pTop->FindSubKey(u"key");
    ASSERT_TRUE(pKey);
    EXPECT_EQ(pKey->m_nModified, 1u) << "#time= wins over the seconds of the key line";
    EXPECT_EQ(pKey->m_class, QStringLiteral("My \"class\""));
    EXPECT_TRUE(pKey->m_bLink);
    EXPECT_EQ(pKey->FindValue(u"Cont")->m_data, QByteArray("\x01\x02\x03\x04\x05", 5));
    EXPECT_EQ(pKey->FindValue(u"Last")->Text(), QStringLiteral("REG_DWORD: 0x00000001 (1)"));
}

TEST(WineRegReader, DamagedInputSaysWhereAndWhat) {
    struct SCase {
        QByteArray m_data;
        const char* m_pExpected;
    };
    const SCase arCases[] = {
        {"", "line 1: the file is empty"},
        {"WINE REG", "line 1: not a registry file"},
        {"WINE REGISTRY Version 1\n", "line 1: this Wine registry version is not supported"},
        {Wine("\"v\"=\"x\"\n"), "line 4: a value comes before the first key"},
        {Wine("[Software\\\\Wi"), "line 4: the key line has no closing bracket"},
        {Wine("[K]\n\"name\"=\"unterminated"), "line 5: the string has no closing quote"},
        {Wine("[K]\n\"name=\"x\"\n"), "line 5: '=' expected after the value name"},
        {Wine("[K]\n\"name\"=x\n"), "line 5: unrecognised value data"},
        {Wine("[K]\n\"n\"=\"x\" trailing\n"), "line 5: unexpected text after the closing quote"},
        {Wine("[K]\n\"n\"=dword:123456789\n"), "line 5: dword: needs 1 to 8 hexadecimal digits"},
        {Wine("[K]\n\"n\"=dword:\n"), "line 5: dword: needs 1 to 8"},
        {Wine("[K]\n\"n\"=hex:01,0\n"), "line 5: two hexadecimal digits expected"},
        {Wine("[K]\n\"n\"=hex:01,\n"), "line 5: the hex data ends with a comma"},
        {Wine("[K]\n\"n\"=hex:01 02\n"), "line 5: ',' expected between hex bytes"},
        {Wine("[K]\n\"n\"=hex:01,\\\n"), "line 5: the file ends inside a continued value"},
        {Wine("[K]\n\"n\"=hex:01,\\\n  02,\\\n\n"), "line 7: the hex data ends with a comma"},
        {Wine("[K]\n\"n\"=hex(zz):01\n"), "line 5: hex(N): expected"},
        {Wine("[K]\n\"n\"=str(2:\"x\"\n"), "line 5: str(N):\"...\" expected"},
        {Wine("[K]\n\"n\"=\"x\\"), "line 5: the line ends inside an escape"},
        {Wine("[K]\n#time=xyz\n"), "line 5: #time= needs up to 16 hexadecimal digits"},
        {Wine("[K]\nstray text\n"), "line 5: unrecognised line"},
        {Wine("[K]\n\"n\"\n"), "line 5: '=' expected after the value name"},
        {"Windows Registry Editor Version 5.00\n[-HKEY_CURRENT_USER\\X]\n",
         "line 2: deleting keys ([-...]) is not supported"},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\X]\n\"v\"=-\n", "line 3: deleting values (=-)"},
    };
    for (const SCase& c : arCases) {
        const SParsed p = Parse(c.m_data);
        EXPECT_FALSE(p.m_bOk) << c.m_data.toStdString();
        EXPECT_TRUE(p.m_strError.startsWith(QLatin1String(c.m_pExpected)))
            << "got \"" << p.m_strError.toStdString() << "\" for:\n"
            << c.m_data.toStdString();
    }
}

TEST(WineRegReader, RefusesPathsDeeperThanTheRegistryAllows) {
    QByteArray line = "[";
    for (int i = 0; i < 100000; ++i)
        line += "k\\\\";
    const SParsed p = Parse(Wine(line + "end]\n"));
    EXPECT_FALSE(p.m_bOk);
    EXPECT_TRUE(p.m_strError.contains(QLatin1String("deeper than 512")))
        << p.m_strError.toStdString();
    EXPECT_EQ(p.m_pTop->SubKeyCount(), 0);
}

TEST(WineRegReader, EveryTruncationAndCorruptionOfTheRealFileIsHandled) {
    const QByteArray data = ReadWholeFile(TestDataPath("wine_user.reg"));
    ASSERT_GT(data.size(), 100000);
    int nFailed = 0;
    for (qsizetype n = 0; n < data.size(); n += (n < 4096 ? 7 : 257)) {
        const SParsed p = Parse(data.left(n));
        if (!p.m_bOk) {
            ++nFailed;
            EXPECT_TRUE(p.m_strError.startsWith(QLatin1String("line "))) << n;
        }
    }
    EXPECT_GT(nFailed, 50) << "cuts inside strings and continued hex must be noticed";
    // A cut inside a continued hex value is an error, not a shorter value.
    const qsizetype nCont = data.indexOf(",\\\n  ");
    ASSERT_GT(nCont, 0);
    const SParsed cut = Parse(data.left(nCont + 3));
    EXPECT_FALSE(cut.m_bOk);
    EXPECT_TRUE(cut.m_strError.contains(QLatin1String("ends inside a continued value")))
        << cut.m_strError.toStdString();
    // Random damage: any outcome but a crash, a hang or a sanitizer report.
    std::mt19937 rng(8);
    for (int i = 0; i < 200; ++i) {
        QByteArray damaged = data.left(qsizetype(1 + rng() % 20000));
        for (int j = 0; j < 8; ++j)
            damaged[qsizetype(rng() % uint32_t(damaged.size()))] =
                "\\\"[]\n\r\x80\0,x7"[rng() % 11];
        Parse(damaged);
    }
}

TEST(WineRegReader, WindowsRegExports) {
    SParsed p = Parse(ReadWholeFile(TestDataPath("regedit5_misc_system_utf16.reg")));
    ASSERT_TRUE(p.m_bOk) << p.m_strError.toStdString();
    EXPECT_EQ(p.m_info.m_eFormat, EWineRegFormat::REGEDIT5);
    const CWineRegKey* pApp =
        p.m_pTop->FindKey(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Microsoft\\Windows\\Appx");
    ASSERT_TRUE(pApp);
    EXPECT_EQ(pApp->FindValue(u"AllowAllTrustedApps")->Text(),
              QStringLiteral("REG_DWORD: 0x0000ffff (65535)"));
    int nDwords = 0, nStrings = 0, nKeys = 0;
    std::function<void(const CWineRegKey&)> count = [&](const CWineRegKey& key) {
        ++nKeys;
        for (qsizetype i = 0; i < key.ValueCount(); ++i)
            (key.Value(i).m_nType == REG_DWORD ? nDwords : nStrings) += 1;
        for (qsizetype i = 0; i < key.SubKeyCount(); ++i)
            count(*key.SubKey(i));
    };
    count(*p.m_pTop);
    EXPECT_EQ(nDwords, 27);
    EXPECT_EQ(nStrings, 5);

    p = Parse(ReadWholeFile(TestDataPath("wine_trace_reg_ops_import.reg")));
    ASSERT_TRUE(p.m_bOk) << p.m_strError.toStdString();
    const CWineRegKey* pImported =
        p.m_pTop->FindKey(u"HKEY_CURRENT_USER\\Software\\HwTrace\\Imported");
    ASSERT_TRUE(pImported);
    EXPECT_EQ(pImported->FindValue(u"Name")->Text(),
              QStringLiteral("REG_SZ: Hello \"quoted\" world"));
    EXPECT_EQ(pImported->FindValue(u"Multi")->Text(), QStringLiteral("REG_MULTI_SZ: a, b"));
    EXPECT_EQ(pImported->FindValue(u"")->Text(), QStringLiteral("REG_SZ: default value"));
    EXPECT_EQ(pImported->FindKey(u"Child")->FindValue(u"Path")->Text(),
              QStringLiteral("REG_EXPAND_SZ: %PATH%"));

    // Old exports hold string types as single bytes.
    p = Parse("REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"e\"=hex(2):25,41,25,00\n");
    ASSERT_TRUE(p.m_bOk) << p.m_strError.toStdString();
    EXPECT_EQ(p.m_pTop->FindKey(u"HKEY_CURRENT_USER\\A")->FindValue(u"e")->m_data, Utf16(u"%A%"));
}

TEST(WineRegWriter, RealFileComesBackByteForByte) {
    const QByteArray original = ReadWholeFile(TestDataPath("wine_user.reg"));
    const SParsed p = Parse(original);
    ASSERT_TRUE(p.m_bOk) << p.m_strError.toStdString();
    // The keys are the 94 written ones and the parents they imply, no more.
    QSet<QString> keys;
    for (const QByteArray& line : original.split('\n'))
        if (line.startsWith('[')) {
            QString strPath = QString::fromLatin1(line.mid(1, line.indexOf(']') - 1));
            strPath.replace(QLatin1String("\\\\"), QLatin1String("\x01"));
            const QStringList arParts = strPath.toLower().split(QLatin1Char('\x01'));
            for (qsizetype n = 1; n <= arParts.size(); ++n)
                keys.insert(arParts.mid(0, n).join(QLatin1Char('/')));
        }
    EXPECT_EQ(p.m_pTop->CountKeys(), keys.size());
    CWineRegWriter::SOptions options;
    options.m_strRelativeTo = p.m_info.m_strRelativeTo;
    options.m_strArch = p.m_info.m_strArch;
    const QByteArray written = CWineRegWriter::Write(*p.m_pTop, options);
    const QList<QByteArray> arWritten = written.split('\n'), arOriginal = original.split('\n');
    for (qsizetype i = 0; i < std::min(arWritten.size(), arOriginal.size()); ++i)
        ASSERT_EQ(arWritten[i].toStdString(), arOriginal[i].toStdString()) << "line " << i + 1;
    EXPECT_EQ(written, original);
}

TEST(WineRegWriter, WhatIsWrittenReadsBackTheSame) {
    CWineRegKey top;
    CWineRegKey* pKey = top.CreateKey(u"Odd [name]\\\u00e9\u263a\\x");
    pKey->m_nModified = 0x1da732342eb0d20ull;
    pKey->m_class = QStringLiteral("cls\"");
    const std::u16string_view arStrings[] = {
        u"",
        u"\\\"[]",
        u"\a\b\t\n\v\f\r\x1b",
        u"\x01"
        u"7\x02x",
        u"\u00e9"
        u"a\u00e9g",
        u"\U0001F600",
        u"tab\there",
        u"a\0b"sv,
    };
    int n = 0;
    for (std::u16string_view s : arStrings) {
        const QString strName =
            QStringLiteral("s%1").arg(n++) + QString::fromUtf16(s.data(), qsizetype(s.size()));
        pKey->SetValue({strName, REG_SZ, Utf16(s)});
    }
    pKey->SetValue({QString(), REG_EXPAND_SZ, Utf16(u"%x%")});
    pKey->SetValue({QStringLiteral("unterminated"), REG_SZ, Utf16(u"abc", false)});
    pKey->SetValue({QStringLiteral("odd size"), REG_SZ, QByteArray("abc", 3)});
    pKey->SetValue({QStringLiteral("multi"), REG_MULTI_SZ, RegMultiStringData({"a", "b"})});
    pKey->SetValue({QStringLiteral("dword"), REG_DWORD, RegDwordData(0xdeadbeef)});
    pKey->SetValue({QStringLiteral("short dword"), REG_DWORD, QByteArray("\x01", 1)});
    pKey->SetValue({QStringLiteral("long"), REG_BINARY, QByteArray(1000, '\x5a')});
    pKey->SetValue({QStringLiteral("none"), REG_NONE, QByteArray()});
    pKey->SetValue({QStringLiteral("type 1234"), 0x1234, QByteArray("\0\xff", 2)});
    top.CreateKey(u"Empty key");
    top.SetValue({QStringLiteral("base value"), REG_DWORD, RegDwordData(1)});

    const QByteArray text = CWineRegWriter::Write(top, {});
    for (const QByteArray& line : text.split('\n'))
        EXPECT_LE(line.size(), 82) << "hex lines wrap: " << line.toStdString();
    const SParsed back = Parse(text);
    ASSERT_TRUE(back.m_bOk) << back.m_strError.toStdString() << "\n" << text.toStdString();
    ExpectSameTree(top, *back.m_pTop);
    EXPECT_EQ(CWineRegWriter::Write(*back.m_pTop, {}), text);
}

TEST(WineRegWriter, SaveReplacesTheFileAtomically) {
    const QString strPath = TestTempDir() + QStringLiteral("sub/dir/system.reg");
    CWineRegKey top;
    top.CreateKey(u"A")->SetValue({QStringLiteral("v"), REG_DWORD, RegDwordData(1)});
    QString strError;
    ASSERT_TRUE(CWineRegWriter::SaveFile(strPath, top, {}, strError)) << strError.toStdString();
    top.CreateKey(u"B");
    ASSERT_TRUE(CWineRegWriter::SaveFile(strPath, top, {}, strError)) << strError.toStdString();
    EXPECT_EQ(ReadWholeFile(strPath), CWineRegWriter::Write(top, {}));
    EXPECT_EQ(QDir(QFileInfo(strPath).absolutePath()).entryList(QDir::Files).size(), 1)
        << "no temporary file is left behind";
    EXPECT_FALSE(CWineRegWriter::SaveFile(strPath + QStringLiteral("/x.reg"), top, {}, strError));
    EXPECT_FALSE(strError.isEmpty());
}

TEST(WineRegValue, TextOfEveryKind) {
    EXPECT_EQ(RegValueText(REG_DWORD, RegDwordData(1)),
              QStringLiteral("REG_DWORD: 0x00000001 (1)"));
    EXPECT_EQ(RegValueText(REG_DWORD, RegDwordData(0xffffffff)),
              QStringLiteral("REG_DWORD: 0xffffffff (4294967295)"));
    EXPECT_EQ(RegValueText(REG_DWORD_BIG_ENDIAN, QByteArray("\x00\x00\x01\x02", 4)),
              QStringLiteral("REG_DWORD_BIG_ENDIAN: 0x00000102 (258)"));
    EXPECT_EQ(RegValueText(REG_DWORD, QByteArray("\x01\x02", 2)),
              QStringLiteral("REG_DWORD: 01 02"));
    EXPECT_EQ(RegValueText(REG_QWORD, RegQwordData(0x100000000ull)),
              QStringLiteral("REG_QWORD: 0x0000000100000000 (4294967296)"));
    EXPECT_EQ(RegValueText(REG_SZ, Utf16(u"abc", false) + 'x'), QStringLiteral("REG_SZ: abc"))
        << "an odd last byte is no character";
    EXPECT_EQ(RegValueText(REG_SZ, Utf16(u"a\0b"sv)), QStringLiteral("REG_SZ: a"));
    EXPECT_EQ(RegValueText(REG_MULTI_SZ, RegMultiStringData({})), QStringLiteral("REG_MULTI_SZ: "));
    EXPECT_EQ(RegValueText(REG_MULTI_SZ, Utf16(u"x", false)), QStringLiteral("REG_MULTI_SZ: x"));
    EXPECT_EQ(RegValueText(REG_BINARY, QByteArray(100, '\x0f'), 20),
              QStringLiteral("REG_BINARY: 0F 0F 0F 0F 0F ..."));
    EXPECT_EQ(RegValueText(REG_SZ, Utf16(u"abcdefghij"), 8), QStringLiteral("REG_SZ: abcde..."));
    EXPECT_EQ(RegValueText(REG_RESOURCE_LIST, QByteArray("\x01", 1)),
              QStringLiteral("REG_RESOURCE_LIST: 01"));
    uint32_t nType = 0;
    EXPECT_TRUE(RegTypeFromName(RegTypeName(0x1c), nType));
    EXPECT_EQ(nType, 0x1cu);
    EXPECT_TRUE(RegTypeFromName(u"REG_EXPAND_SZ", nType));
    EXPECT_EQ(nType, REG_EXPAND_SZ);
    EXPECT_FALSE(RegTypeFromName(u"REG_0x4", nType)) << "named types have one spelling";
    EXPECT_FALSE(RegTypeFromName(u"REG_SZX", nType));
    EXPECT_EQ(RegMultiStringFromData(RegMultiStringData({"a", "", "b"})), QStringList{"a"})
        << "an empty string ends the list";
}
