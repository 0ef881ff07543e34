// The net changes of records: every kind of change, what is left out, the data that cannot be
// known, the redo and undo files carried out on a registry, and a recorded Wine trace.
#include "changes/RegChanges.h"
#include "changes/ValuePath.h"
#include "driver/DriverEvent.h"
#include "driver/LineSplitter.h"
#include "driver/SimActivity.h"
#include "driver/SimSeedData.h"
#include "driver/WineTraceParser.h"
#include "store/HivewatchDoc.h"
#include "tests/RegKeyCompare.h"
#include "tests/TestSupport.h"
#include "winereg/RegKeyContents.h"
#include "winereg/WineRegistry.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

namespace {

struct SRow {
    const char* pRequest;
    QString strPath;
    QString strOld;
    QString strNew;
    const char* pProcess = "setup.exe";
    const char* pResult = "SUCCESS";
};

void Append(CHivewatchDoc& doc, const SRow& row) {
    auto* p = new CRegInfoObj;
    p->m_nSeq = doc.GetRecordCount() + 1;
    p->m_strTime = QStringLiteral("12:00:00.000");
    p->m_strProcessName = QString::fromUtf8(row.pProcess);
    p->m_nPid = 100;
    p->m_strRequest = QString::fromUtf8(row.pRequest);
    p->m_strPath = row.strPath;
    p->m_strResult = QString::fromUtf8(row.pResult);
    p->m_strOldValue = row.strOld;
    p->m_strNewValue = row.strNew;
    doc.AppendRecord(p);
}

void Fill(CHivewatchDoc& doc, const std::vector<SRow>& rows) {
    for (const SRow& row : rows)
        Append(doc, row);
}

QString Sz(const QString& str) {
    return RegValueText(REG_SZ, RegStringData(str));
}
QString Dword(uint32_t n) {
    return RegValueText(REG_DWORD, RegDwordData(n));
}

const SRegChangeValue* FindValue(const CRegChangeKey* pKey, const QString& strName) {
    if (!pKey)
        return nullptr;
    for (const SRegChangeValue& v : pKey->m_arValues)
        if (EqualRegNames(v.m_strName, strName))
            return &v;
    return nullptr;
}

void Import(CWineRegistry& registry, const CRegFileWriter& file) {
    QString strError;
    ASSERT_TRUE(registry.ImportRegData(file.Bytes(), strError)) << strError.toStdString() << "\n"
                                                                << file.Text().toStdString();
}

// A registry as a program found it, with a key that gets deleted along with what it holds.
void Before(CWineRegistry& r) {
    CWineRegKey* pApp = r.CreateKey(u"HKCU\\Software\\App");
    pApp->SetValue({QStringLiteral("Ver"), REG_SZ, RegStringData(u"1.0")});
    pApp->SetValue({QStringLiteral("Gone"), REG_BINARY, QByteArray("\x01\x02", 2)});
    pApp->SetValue({QStringLiteral("Same"), REG_SZ, RegStringData(u"x")});
    pApp->SetValue({QStringLiteral("Kind"), REG_SZ, RegStringData(u"1")});
    CWineRegKey* pOld = r.CreateKey(u"HKLM\\Software\\Old");
    pOld->SetValue({QString(), REG_SZ, RegStringData(u"d")});
    pOld->SetValue({QStringLiteral("V"), REG_DWORD, RegDwordData(1)});
    r.CreateKey(u"HKLM\\Software\\Old\\Child")
        ->SetValue({QStringLiteral("C"), REG_BINARY, QByteArray("\xff", 1)});
    r.CreateKey(u"HKLM\\Software\\Old\\Empty");
}

void After(CWineRegistry& r) {
    Before(r);
    CWineRegKey* pApp = r.FindKey(u"HKCU\\Software\\App");
    pApp->SetValue({QStringLiteral("Ver"), REG_SZ, RegStringData(u"2.0")});
    pApp->DeleteValue(u"Gone");
    pApp->SetValue({QStringLiteral("New"), REG_DWORD, RegDwordData(5)});
    pApp->SetValue({QStringLiteral("Kind"), REG_DWORD, RegDwordData(1)});
    r.CreateKey(u"HKCU\\Software\\App\\Sub")
        ->SetValue({QStringLiteral("Q"), REG_QWORD, RegQwordData(1ull << 33)});
    r.DeleteKey(u"HKLM\\Software\\Old");
}

std::vector<SRow> EveryKindRows() {
    CWineRegistry before;
    Before(before);
    const QString strListing =
        RegKeyContentsText(*before.FindKey(u"HKLM\\Software\\Old"), MAX_FIELD_TEXT);
    return {
        {"RegCreateKey(Open)", "HKCU\\Software\\App", {}, {}},
        {"RegSetValueKey", "HKCU\\Software\\App\\Ver", Sz("1.0"), Sz("2.0"), "updater.exe"},
        {"RegSetValueKey", "HKCU\\Software\\App\\New", {}, Dword(5)},
        {"RegDeleteValue", "HKCU\\Software\\App\\Gone", "REG_BINARY: 01 02", {}},
        {"RegSetValueKey", "HKCU\\Software\\App\\Same", Sz("x"), Sz("x")},
        {"RegSetValueKey", "HKCU\\Software\\App\\Kind", Sz("1"), Dword(1)},
        {"RegSetValueKey",
         "HKCU\\Software\\App\\Locked",
         {},
         Dword(1),
         "setup.exe",
         "ACCESS DENIED"},
        {"RegCreateKey(New)", "HKCU\\Software\\App\\Sub", {}, {}},
        {"RegSetValueKey",
         "HKCU\\Software\\App\\Sub\\Q",
         {},
         RegValueText(REG_QWORD, RegQwordData(1ull << 33))},
        {"RegQueryValue", "HKCU\\Software\\App\\Ver", Sz("2.0"), {}},
        {"RegDeleteKey", "HKLM\\Software\\Old", strListing, {}},
    };
}

} // namespace

TEST(RegChanges, EveryKindOfChangeWithCountsProcessesAndEvents) {
    CHivewatchDoc doc;
    Fill(doc, EveryKindRows());
    const auto pChanges = CRegChanges::FromDocument(doc);
    const SRegChangeCounts& c = pChanges->Counts();
    EXPECT_EQ(c.m_nRecords, 11);
    EXPECT_EQ(c.m_nKeysCreated, 1);
    EXPECT_EQ(c.m_nKeysDeleted, 3) << "Old with its two subkeys";
    EXPECT_EQ(c.m_nValuesCreated, 2);
    EXPECT_EQ(c.m_nValuesChanged, 2);
    EXPECT_EQ(c.m_nValuesDeleted, 4) << "Gone, and the three values Old held";
    EXPECT_EQ(c.m_nUndoUnknown + c.m_nRedoUnknown + c.m_nUnknownContents, 0);
    EXPECT_EQ(RegChangeCountsText(c),
              QStringLiteral("1 key created, 3 keys deleted, 2 values created, 2 values changed, "
                             "4 values deleted"));

    const CRegChangeKey* pApp = pChanges->FindKey(QStringLiteral("HKCU\\Software\\App"));
    ASSERT_NE(pApp, nullptr);
    EXPECT_EQ(pApp->m_eChange, ERegChange::NONE);
    EXPECT_EQ(pApp->m_arValues.size(), 4u) << "Same and the refused Locked are left out";
    const SRegChangeValue* pVer = FindValue(pApp, QStringLiteral("Ver"));
    ASSERT_NE(pVer, nullptr);
    EXPECT_EQ(pVer->m_eChange, ERegChange::CHANGED);
    EXPECT_EQ(pVer->m_before.m_strText, Sz("1.0"));
    EXPECT_EQ(pVer->m_after.m_strText, Sz("2.0"));
    EXPECT_EQ(pVer->m_arProcesses, QStringList{"updater.exe"});
    EXPECT_EQ(pVer->m_nEvents, 1);
    EXPECT_EQ(FindValue(pApp, QStringLiteral("Kind"))->m_eChange, ERegChange::CHANGED);
    EXPECT_EQ(FindValue(pApp, QStringLiteral("Gone"))->m_eChange, ERegChange::DELETED);
    EXPECT_EQ(FindValue(pApp, QStringLiteral("Same")), nullptr);
    const CRegChangeKey* pSub = pChanges->FindKey(QStringLiteral("hkcu\\SOFTWARE\\app\\sub"));
    ASSERT_NE(pSub, nullptr);
    EXPECT_EQ(pSub->m_eChange, ERegChange::CREATED);
    EXPECT_EQ(pSub->m_arProcesses, QStringList{"setup.exe"});
    const CRegChangeKey* pOld =
        pChanges->FindKey(QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Old"));
    ASSERT_NE(pOld, nullptr);
    EXPECT_EQ(pOld->m_eChange, ERegChange::DELETED);
    EXPECT_EQ(pOld->m_eContents, CRegChangeKey::CONTENTS_LISTED);
    EXPECT_EQ(pOld->FullPath(), QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Old"));
    EXPECT_EQ(pOld->m_arSubKeys.size(), 2u) << "Child and the empty key, from the listing";
    EXPECT_EQ(FindValue(pOld, QString())->m_before.m_strText, Sz("d"));
}

// Redo takes the registry from before to after, undo from after to before, exactly; and a
// second import of either changes nothing more.
TEST(RegChanges, RedoAndUndoFilesCarryTheRegistryBothWays) {
    CHivewatchDoc doc;
    Fill(doc, EveryKindRows());
    const auto pChanges = CRegChanges::FromDocument(doc);
    CWineRegistry before, after, forward, back;
    Before(before);
    After(after);
    Before(forward);
    After(back);
    for (int nRound = 0; nRound < 2; ++nRound) {
        Import(forward, pChanges->RedoFile());
        Import(back, pChanges->UndoFile());
        ExpectSameKeys(forward.Top(), after.Top(), QStringLiteral("redo"));
        ExpectSameKeys(back.Top(), before.Top(), QStringLiteral("undo"));
    }
    const QString strUndo = pChanges->UndoFile().Text();
    EXPECT_TRUE(strUndo.contains(QStringLiteral("[-HKEY_CURRENT_USER\\Software\\App\\Sub]")));
    EXPECT_TRUE(strUndo.contains(QStringLiteral("\"Kind\"=\"1\"")));
    EXPECT_TRUE(strUndo.startsWith(QStringLiteral("Windows Registry Editor Version 5.00\r\n")));
}

TEST(RegChanges, KeyCreatedThenDeletedIsInNeitherFile) {
    CHivewatchDoc doc;
    Fill(doc, {{"RegCreateKey(New)", "HKCU\\Software\\Temp", {}, {}},
               {"RegSetValueKey", "HKCU\\Software\\Temp\\v", {}, Dword(1)},
               {"RegCreateKey(New)", "HKCU\\Software\\Temp\\Inner", {}, {}},
               {"RegDeleteKey", "HKCU\\Software\\Temp\\Inner", "KEY: (empty)", {}},
               {"RegDeleteKey", "HKCU\\Software\\Temp", "KEY: \"v\"=REG_DWORD:01000000", {}}});
    const auto pChanges = CRegChanges::FromDocument(doc);
    EXPECT_TRUE(pChanges->Counts().IsEmpty())
        << RegChangeCountsText(pChanges->Counts()).toStdString();
    EXPECT_TRUE(pChanges->Top().m_arSubKeys.empty());
    for (const QString& str : {pChanges->RedoFile().Text(), pChanges->UndoFile().Text()})
        EXPECT_FALSE(str.contains(QStringLiteral("Temp"))) << str.toStdString();
}

TEST(RegChanges, ValueChangedThreeTimesGoesFromFirstOldToLastNew) {
    CHivewatchDoc doc;
    Fill(doc, {{"RegSetValueKey", "HKCU\\Software\\A\\v", Sz("one"), Sz("two"), "a.exe"},
               {"RegSetValueKey", "HKCU\\Software\\A\\v", Sz("two"), Dword(3), "b.exe"},
               {"RegQueryValue", "HKCU\\Software\\A\\v", Dword(3), {}, "c.exe"},
               {"RegSetValueKey", "HKCU\\Software\\A\\V", Dword(3), Sz("four"), "a.exe"}});
    const auto pChanges = CRegChanges::FromDocument(doc);
    const SRegChangeValue* pV =
        FindValue(pChanges->FindKey(QStringLiteral("HKCU\\Software\\A")), QStringLiteral("v"));
    ASSERT_NE(pV, nullptr);
    EXPECT_EQ(pV->m_eChange, ERegChange::CHANGED);
    EXPECT_EQ(pV->m_before.m_strText, Sz("one"));
    EXPECT_EQ(pV->m_after.m_strText, Sz("four"));
    EXPECT_EQ(pV->m_nEvents, 3);
    EXPECT_EQ(pV->m_arProcesses, (QStringList{"a.exe", "b.exe"}));
    EXPECT_EQ(pChanges->Counts().m_nValuesChanged, 1);

    // Back where it started after the third change: nothing to do.
    CHivewatchDoc same;
    Fill(same, {{"RegSetValueKey", "HKCU\\Software\\A\\v", Sz("one"), Dword(2)},
                {"RegSetValueKey", "HKCU\\Software\\A\\v", Dword(2), Sz("one")}});
    EXPECT_TRUE(CRegChanges::FromDocument(same)->Counts().IsEmpty());
}

// Names with quotes, backslashes, brackets and other scripts, the unnamed value, and a value
// name that is a file path: the files put each one where it belongs.
TEST(RegChanges, OddNamesReachTheFilesIntact) {
    const QString strKey = QString::fromUtf16(u"HKCU\\Software\\\u65e5\u672c [x] 100%");
    const QStringList arNames = {
        QStringLiteral("say \"hi\""), QStringLiteral("C:\\Program Files\\App\\"),
        QStringLiteral("%SystemRoot%\\x.dll"), QString::fromUtf16(u"Gr\u00fc\u00dfe")};
    CHivewatchDoc doc;
    Fill(doc, {{"RegCreateKey(New)", strKey, {}, {}},
               {"RegSetValueKey", strKey + QStringLiteral("\\(Default)"), {}, Sz("default")}});
    for (const QString& strName : arNames)
        Append(doc, {"RegSetValueKey", strKey + u'\\' + strName, {}, Sz(strName)});
    const auto pChanges = CRegChanges::FromDocument(doc);
    const CRegChangeKey* pKey = pChanges->FindKey(strKey);
    ASSERT_NE(pKey, nullptr);
    EXPECT_EQ(pKey->m_arValues.size(), 5u);
    EXPECT_NE(FindValue(pKey, QString()), nullptr) << "(Default) is the unnamed value";
    for (const QString& strName : arNames)
        EXPECT_NE(FindValue(pKey, strName), nullptr) << strName.toStdString();

    CWineRegistry registry;
    Import(registry, pChanges->RedoFile());
    const CWineRegKey* pMade = registry.FindKey(strKey);
    ASSERT_NE(pMade, nullptr);
    EXPECT_EQ(pMade->SubKeyCount(), 0);
    ASSERT_EQ(pMade->ValueCount(), 5);
    for (const QString& strName : arNames)
        EXPECT_EQ(pMade->FindValue(strName)->m_data, RegStringData(strName))
            << strName.toStdString();
    Import(registry, pChanges->UndoFile());
    EXPECT_EQ(registry.FindKey(strKey), nullptr);
}

// Data the records show cut, a delete that does not list the key's contents, one too big to
// list: the undo file says what it cannot put back, and the counts say how many.
TEST(RegChanges, WhatCannotBeKnownIsSaidAndLeftOut) {
    CHivewatchDoc doc;
    Fill(doc, {{"RegSetValueKey", "HKCU\\Software\\A\\Big", "REG_BINARY: 01 02 03 ...",
                "REG_BINARY: 04"},
               {"RegSetValueKey", "HKCU\\Software\\A\\Grown", "REG_BINARY: 01", "REG_SZ: abc..."},
               {"RegDeleteValue", "HKCU\\Software\\A\\Blind", {}, {}},
               {"RegDeleteKey", "HKCU\\Software\\Unlisted", {}, {}},
               {"RegDeleteKey",
                "HKCU\\Software\\Huge",
                "KEY: (too big to list: 900 values in 3 keys)",
                {}},
               {"RegDeleteKey", "HKCU\\Software\\Broken", "KEY: \"x", {}}});
    const auto pChanges = CRegChanges::FromDocument(doc);
    const SRegChangeCounts& c = pChanges->Counts();
    EXPECT_EQ(c.m_nUndoUnknown, 2) << "Big and Blind";
    EXPECT_EQ(c.m_nRedoUnknown, 1) << "Grown";
    EXPECT_EQ(c.m_nUnknownContents, 3);
    EXPECT_EQ(c.m_nKeysDeleted, 3);
    EXPECT_TRUE(RegChangeCountsText(c).contains(QStringLiteral("2 values cannot be put back")));
    const QString strUndo = pChanges->UndoFile().Text();
    EXPECT_TRUE(
        strUndo.contains(QStringLiteral("; \"Big\" of HKEY_CURRENT_USER\\Software\\A is not "
                                        "put back: its data is cut in the records: "
                                        "REG_BINARY: 01 02 03 ...")))
        << strUndo.toStdString();
    EXPECT_TRUE(strUndo.contains(QStringLiteral("\"Grown\"=hex:01")));
    EXPECT_FALSE(strUndo.contains(QStringLiteral("\"Big\"=")));
    EXPECT_TRUE(
        strUndo.contains(QStringLiteral("; HKEY_CURRENT_USER\\Software\\Unlisted was deleted; "
                                        "the records do not say")));
    EXPECT_TRUE(strUndo.contains(QStringLiteral("[HKEY_CURRENT_USER\\Software\\Unlisted]")))
        << "the key itself was there and is made again";
    EXPECT_TRUE(strUndo.contains(QStringLiteral("Huge was deleted; it held more")));
    EXPECT_TRUE(strUndo.contains(QStringLiteral("Broken was deleted; the list of what it held "
                                                "cannot be read")));
    const QString strRedo = pChanges->RedoFile().Text();
    EXPECT_TRUE(
        strRedo.contains(QStringLiteral("\"Grown\" of HKEY_CURRENT_USER\\Software\\A is not set")));
    EXPECT_TRUE(strRedo.contains(QStringLiteral("\"Big\"=hex:04")));
}

// A key deleted and made again: undo puts back what the delete record listed and removes what
// came after; redo removes the old values it listed.
TEST(RegChanges, KeyDeletedAndMadeAgain) {
    CHivewatchDoc doc;
    Fill(doc, {{"RegSetValueKey", "HKCU\\Software\\R\\kept", Dword(1), Dword(2)},
               {"RegDeleteKey",
                "HKCU\\Software\\R",
                "KEY: \"kept\"=REG_DWORD:02000000 \"old\"=REG_SZ:\"o\" [Sub] \"s\"=REG_BINARY:00",
                {}},
               {"RegCreateKey(New)", "HKCU\\Software\\R", {}, {}},
               {"RegSetValueKey", "HKCU\\Software\\R\\new", {}, Dword(9)}});
    const auto pChanges = CRegChanges::FromDocument(doc);
    const CRegChangeKey* pR = pChanges->FindKey(QStringLiteral("HKCU\\Software\\R"));
    ASSERT_NE(pR, nullptr);
    EXPECT_EQ(pR->m_eChange, ERegChange::NONE);
    EXPECT_TRUE(pR->m_bRemadeAfterDelete);
    EXPECT_EQ(FindValue(pR, QStringLiteral("kept"))->m_before.m_strText, Dword(1))
        << "its first change tells its earlier data, not the listing";
    EXPECT_EQ(FindValue(pR, QStringLiteral("old"))->m_eChange, ERegChange::DELETED);
    EXPECT_EQ(FindValue(pR, QStringLiteral("new"))->m_eChange, ERegChange::CREATED);

    CWineRegistry registry;
    CWineRegKey* pKey = registry.CreateKey(u"HKCU\\Software\\R");
    pKey->SetValue({QStringLiteral("new"), REG_DWORD, RegDwordData(9)});
    Import(registry, pChanges->UndoFile());
    pKey = registry.FindKey(u"HKCU\\Software\\R");
    ASSERT_NE(pKey, nullptr);
    EXPECT_EQ(pKey->FindValue(u"new"), nullptr);
    EXPECT_EQ(pKey->FindValue(u"kept")->m_data, RegDwordData(1));
    EXPECT_EQ(pKey->FindValue(u"old")->m_data, RegStringData(u"o"));
    ASSERT_NE(registry.FindKey(u"HKCU\\Software\\R\\Sub"), nullptr);
    Import(registry, pChanges->RedoFile());
    pKey = registry.FindKey(u"HKCU\\Software\\R");
    EXPECT_EQ(pKey->ValueCount(), 1);
    EXPECT_EQ(registry.FindKey(u"HKCU\\Software\\R\\Sub"), nullptr);
}

// Only the records a display filter shows count, in their order.
TEST(RegChanges, OnlyTheGivenRecords) {
    CHivewatchDoc doc;
    Fill(doc, {{"RegSetValueKey", "HKCU\\Software\\F\\a", {}, Dword(1), "one.exe"},
               {"RegSetValueKey", "HKCU\\Software\\F\\b", {}, Dword(1), "two.exe"},
               {"RegSetValueKey", "HKCU\\Software\\F\\a", Dword(1), Dword(2), "one.exe"}});
    const std::vector<long long> arShown = {0, 2, 2, 1000, -5};
    const auto pChanges = CRegChanges::FromDocument(doc, &arShown);
    const CRegChangeKey* pF = pChanges->FindKey(QStringLiteral("HKCU\\Software\\F"));
    ASSERT_NE(pF, nullptr);
    ASSERT_EQ(pF->m_arValues.size(), 1u);
    EXPECT_EQ(pF->m_arValues[0].m_nEvents, 2);
    EXPECT_EQ(pChanges->Counts().m_nRecords, 2);
    const std::vector<long long> arNone;
    EXPECT_TRUE(CRegChanges::FromDocument(doc, &arNone)->Top().m_arSubKeys.empty());
}

// A recorded Wine trace: reg.exe and regedit.exe make a tree and reg.exe deletes it again.
TEST(RegChanges, RecordedWineTrace) {
    std::ifstream in(TestDataPath("wine_trace_reg_ops.txt").toStdString(), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    CWineShadowRegistry shadow;
    CWineTraceParser parser(&shadow);
    CLineSplitter splitter;
    std::vector<SDriverEvent> arEvents;
    CHivewatchDoc doc;
    long long nImportEnd = -1;
    splitter.Feed(ss.str(), [&](std::string_view line, bool) {
        arEvents.clear();
        parser.ParseLine(line, arEvents);
        for (const SDriverEvent& ev : arEvents) {
            if (ev.m_strPath.find("HwTrace") == std::string::npos)
                continue;
            Append(doc,
                   {g_RegOperationNames[size_t(ev.m_nOperation)].data(),
                    QString::fromStdString(ev.m_strPath), QString::fromStdString(ev.m_strOldValue),
                    QString::fromStdString(ev.m_strNewValue), "wine.exe", ev.m_strResult.c_str()});
            if (ev.m_nOperation == OP_SET_VALUE && ev.m_strPath.ends_with("Child\\Path"))
                nImportEnd = doc.GetRecordCount();
        }
    });
    ASSERT_GT(nImportEnd, 0);
    const auto pAll = CRegChanges::FromDocument(doc);
    EXPECT_TRUE(pAll->Counts().IsEmpty())
        << "made and removed again: " << RegChangeCountsText(pAll->Counts()).toStdString();

    std::vector<long long> arUntilImport;
    for (long long i = 0; i < nImportEnd; ++i)
        arUntilImport.push_back(i);
    const auto pPart = CRegChanges::FromDocument(doc, &arUntilImport);
    EXPECT_EQ(RegChangeCountsText(pPart->Counts()),
              QStringLiteral("3 keys created, 7 values created"));
    CWineRegistry registry;
    Import(registry, pPart->RedoFile());
    const CWineRegKey* pImported = registry.FindKey(u"HKCU\\Software\\HwTrace\\Imported");
    ASSERT_NE(pImported, nullptr);
    EXPECT_EQ(pImported->FindValue(u"Name")->m_data, RegStringData(u"Hello \"quoted\" world"));
    EXPECT_EQ(pImported->FindValue(u"Bin")->m_data, QByteArray("\x01\x02\x03\xff", 4));
    EXPECT_EQ(pImported->FindValue(u"")->m_data, RegStringData(u"default value"));
    EXPECT_EQ(registry.FindKey(u"HKCU\\Software\\HwTrace")->FindValue(u"Answer")->m_data,
              RegDwordData(43));
    Import(registry, pPart->UndoFile());
    EXPECT_EQ(registry.FindKey(u"HKCU\\Software\\HwTrace"), nullptr);

    // From the import on: the delete records list what the keys held, so undo makes the whole
    // tree again as the import left it, Answer (deleted on its own first) included.
    std::vector<long long> arFromImport;
    for (long long i = nImportEnd; i < doc.GetRecordCount(); ++i)
        arFromImport.push_back(i);
    const auto pRest = CRegChanges::FromDocument(doc, &arFromImport);
    EXPECT_EQ(pRest->Counts().m_nUnknownContents, 0);
    CWineRegistry gone;
    Import(gone, pRest->UndoFile());
    CWineRegistry made;
    Import(made, pPart->RedoFile());
    ExpectSameKeys(gone.Top(), made.Top(), QStringLiteral("undo of the deletes"));
}

// Random work on a registry, reported as a driver reports it: redo takes the first state to
// the last, undo the last to the first, whatever the order of creates, sets and deletes.
TEST(RegChanges, RandomWorkIsRedoneAndUndoneExactly) {
    const QStringList arKeys = {QStringLiteral("A"), QStringLiteral("b [1]"),
                                QString::fromUtf16(u"\u00c4rger"), QStringLiteral("100%")};
    const QStringList arNames = {QString(),
                                 QStringLiteral("n"),
                                 QStringLiteral("N2"),
                                 QStringLiteral("q\"uote"),
                                 QStringLiteral("C:\\dir\\f.dll"),
                                 QString::fromUtf16(u"\u00e9t\u00e9")};
    for (unsigned nSeed = 1; nSeed <= 40; ++nSeed) {
        std::mt19937 rng(nSeed);
        const auto pick = [&](const QStringList& ar) { return ar[qsizetype(rng() % ar.size())]; };
        const auto path = [&] {
            QString str = QStringLiteral("HKCU\\Software\\T");
            for (unsigned n = rng() % 3 + 1; n > 0; --n)
                str += u'\\' + pick(arKeys);
            return str;
        };
        const auto data = [&]() -> SWineRegValue {
            switch (rng() % 5) {
            case 0:
                return {{}, REG_SZ, RegStringData(QStringLiteral("s%1 \\ \"x\"").arg(rng() % 5))};
            case 1:
                return {{}, REG_DWORD, RegDwordData(rng() % 4)};
            case 2:
                return {{}, REG_MULTI_SZ, RegMultiStringData({"a", QString::number(rng() % 3)})};
            case 3:
                return {{}, REG_BINARY, QByteArray(int(rng() % 4), char(rng() % 256))};
            default:
                return {{}, REG_EXPAND_SZ, RegStringData(QStringLiteral("%T%\\%1").arg(rng() % 3))};
            }
        };
        const auto seed = [&](CWineRegistry& r) {
            std::mt19937 rngSeed(nSeed * 7919);
            for (int i = 0; i < 6; ++i) {
                QString str = QStringLiteral("HKCU\\Software\\T");
                for (unsigned n = rngSeed() % 3 + 1; n > 0; --n)
                    str += u'\\' + arKeys[qsizetype(rngSeed() % arKeys.size())];
                r.CreateKey(str)->SetValue({arNames[qsizetype(rngSeed() % arNames.size())],
                                            REG_DWORD, RegDwordData(rngSeed() % 3)});
            }
        };
        CWineRegistry registry;
        seed(registry);
        CHivewatchDoc doc;
        for (int nStep = 0; nStep < 60; ++nStep) {
            const QString strKey = path();
            const QString strParent = strKey.left(strKey.lastIndexOf(u'\\'));
            switch (rng() % 4) {
            case 0: { // a key: its parent must be there, as the registry wants
                if (!registry.FindKey(strParent))
                    break;
                bool bCreated = false;
                registry.CreateKey(strKey, &bCreated);
                Append(doc,
                       {bCreated ? "RegCreateKey(New)" : "RegCreateKey(Open)", strKey, {}, {}});
                break;
            }
            case 1: {
                CWineRegKey* pKey = registry.FindKey(strKey);
                if (!pKey)
                    break;
                SWineRegValue v = data();
                v.m_strName = pick(arNames);
                const SWineRegValue* pOld = pKey->FindValue(v.m_strName);
                const QString strOld = pOld ? pOld->Text() : QString();
                const QString strName =
                    v.m_strName.isEmpty() ? QStringLiteral("(Default)") : v.m_strName;
                Append(doc, {"RegSetValueKey", strKey + u'\\' + strName, strOld, v.Text()});
                pKey->SetValue(v);
                break;
            }
            case 2: {
                CWineRegKey* pKey = registry.FindKey(strKey);
                const QString strName = pick(arNames);
                const SWineRegValue* pOld = pKey ? pKey->FindValue(strName) : nullptr;
                if (!pOld)
                    break;
                Append(doc, {"RegDeleteValue",
                             strKey + u'\\' +
                                 (strName.isEmpty() ? QStringLiteral("(Default)") : strName),
                             pOld->Text(),
                             {}});
                pKey->DeleteValue(strName);
                break;
            }
            default: {
                const CWineRegKey* pKey = registry.FindKey(strKey);
                if (!pKey || rng() % 2)
                    break;
                Append(doc,
                       {"RegDeleteKey", strKey, RegKeyContentsText(*pKey, MAX_FIELD_TEXT), {}});
                registry.DeleteKey(strKey);
            }
            }
        }
        const auto pChanges = CRegChanges::FromDocument(doc);
        EXPECT_EQ(pChanges->Counts().m_nUndoUnknown + pChanges->Counts().m_nRedoUnknown, 0);
        CWineRegistry forward, back;
        seed(forward);
        Import(forward, pChanges->RedoFile());
        ExpectSameKeys(forward.Top(), registry.Top(), QStringLiteral("redo, seed %1").arg(nSeed));
        CWineRegistry first;
        seed(first);
        Import(registry, pChanges->UndoFile());
        ExpectSameKeys(registry.Top(), first.Top(), QStringLiteral("undo, seed %1").arg(nSeed));
        if (HasFailure())
            break;
    }
}

// The simulated registry's own activity, reported as its driver reports it (delete records
// list what the keys held): undo takes its files back to the seed, redo forward again. Loaded
// hives are mounted, not changes, and are left out of the comparison.
TEST(RegChanges, SimulatedActivityIsUndoneAndRedoneExactly) {
    CSimRegistry sim;
    sim.LoadText(SimSeedText());
    const std::string strBefore = (TestTempDir() + QStringLiteral("before")).toStdString();
    const std::string strAfter = (TestTempDir() + QStringLiteral("after")).toStdString();
    std::string strError;
    ASSERT_TRUE(sim.SaveFolder(strBefore, strError)) << strError;
    CSimActivity activity(sim, 7);
    const std::vector<SProcessInfo> arProcesses = {{100, "a.exe"}, {200, "b"}};
    std::vector<SDriverEvent> arEvents;
    for (int i = 0; i < 6000; ++i)
        activity.RunSession(arProcesses[size_t(i) % 2], arEvents);
    ASSERT_TRUE(sim.SaveFolder(strAfter, strError)) << strError;
    CHivewatchDoc doc;
    int nListed = 0;
    for (const SDriverEvent& ev : arEvents) {
        Append(doc, {g_RegOperationNames[size_t(ev.m_nOperation)].data(),
                     QString::fromStdString(ev.m_strPath), QString::fromStdString(ev.m_strOldValue),
                     QString::fromStdString(ev.m_strNewValue), ev.m_strProcess.c_str(),
                     ev.m_strResult.c_str()});
        nListed += ev.m_nOperation == OP_DELETE_KEY && ev.Succeeded() &&
                   ev.m_strOldValue.starts_with("KEY: ");
    }
    EXPECT_GT(nListed, 0) << "the activity deletes keys, each with its listing";
    const auto pChanges = CRegChanges::FromDocument(doc);
    EXPECT_GT(pChanges->Counts().m_nKeysCreated, 0);
    EXPECT_EQ(pChanges->Counts().m_nUndoUnknown + pChanges->Counts().m_nUnknownContents, 0);

    const auto load = [](const std::string& strDir, CWineRegistry& r) {
        QStringList arErrors;
        EXPECT_TRUE(r.LoadFolder(QString::fromStdString(strDir), arErrors))
            << arErrors.join(u'\n').toStdString();
        CWineRegKey* pUsers = r.FindKey(u"HKU");
        for (qsizetype i = pUsers->SubKeyCount() - 1; i >= 0; --i)
            if (pUsers->SubKey(i)->Name().startsWith(QLatin1String("TempHive")))
                pUsers->DeleteSubKey(pUsers->SubKey(i)->Name());
    };
    CWineRegistry before, after, back, forward;
    load(strBefore, before);
    load(strAfter, after);
    load(strAfter, back);
    load(strBefore, forward);
    Import(back, pChanges->UndoFile());
    ExpectSameKeys(back.Top(), before.Top(), QStringLiteral("undo"));
    Import(forward, pChanges->RedoFile());
    ExpectSameKeys(forward.Top(), after.Top(), QStringLiteral("redo"));
}

// Where a value path divides: file paths as names, the unnamed value, a name ending with a
// backslash, a value right below a root.
TEST(ValuePath, FilePathsAsNamesStayWhole) {
    const auto split = [](std::string_view path) -> std::pair<std::string_view, std::string_view> {
        const size_t n = ValuePathSplit(path);
        if (n == std::string_view::npos)
            return {};
        return {path.substr(0, n), path.substr(n + 1)};
    };
    using P = std::pair<std::string_view, std::string_view>;
    EXPECT_EQ(split("HKCU\\Software\\A\\v"), P("HKCU\\Software\\A", "v"));
    EXPECT_EQ(split("HKCU\\v"), P("HKCU", "v"));
    EXPECT_EQ(split("HKLM\\SOFTWARE\\Shared\\C:\\Windows\\x.dll"),
              P("HKLM\\SOFTWARE\\Shared", "C:\\Windows\\x.dll"));
    EXPECT_EQ(split("HKLM\\Installer\\Folders\\c:\\Program Files\\App\\"),
              P("HKLM\\Installer\\Folders", "c:\\Program Files\\App\\"));
    EXPECT_EQ(split("HKLM\\Run\\%SystemRoot%\\a.exe"), P("HKLM\\Run", "%SystemRoot%\\a.exe"));
    EXPECT_EQ(split("HKLM\\SYSTEM\\MountedDevices\\\\DosDevices\\C:"),
              P("HKLM\\SYSTEM\\MountedDevices", "\\DosDevices\\C:"));
    EXPECT_EQ(split("HKCU\\Software\\A\\dir\\"), P("HKCU\\Software\\A", "dir\\"));
    EXPECT_EQ(split("HKCU\\Software\\100%\\v"), P("HKCU\\Software\\100%", "v"));
    EXPECT_EQ(split("HKCU\\Software\\C:x\\v"), P("HKCU\\Software\\C:x", "v"));
    EXPECT_EQ(ValuePathSplit("novalue"), std::string_view::npos);
}
