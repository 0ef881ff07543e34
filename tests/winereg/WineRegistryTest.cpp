// The registry tree: case rules, root names, links, and the files of a folder.
#include "winereg/WineRegistry.h"
#include "tests/TestSupport.h"
#include "winereg/WineRegWriter.h"

#include <gtest/gtest.h>

#include <QFile>

namespace {

void WriteFile(const QString& strPath, const QByteArray& data) {
    QFile file(strPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
}

SWineRegValue Dword(const char* pName, uint32_t n) {
    return {QString::fromUtf8(pName), REG_DWORD, RegDwordData(n)};
}

} // namespace

TEST(WineRegKey, NamesIgnoreCaseKeepSpellingAndStaySorted) {
    CWineRegKey top;
    bool bCreated = false;
    CWineRegKey* pKey = top.CreateKey(u"Software\\Zeta", &bCreated);
    EXPECT_TRUE(bCreated);
    EXPECT_EQ(top.CreateKey(u"SOFTWARE\\\\zeta\\", &bCreated), pKey);
    EXPECT_FALSE(bCreated);
    top.CreateKey(u"software\\alpha");
    top.CreateKey(u"software\\_under");
    top.CreateKey(u"software\\\u00e9t\u00e9");
    const CWineRegKey* pSoftware = top.FindSubKey(u"SoFtWaRe");
    ASSERT_TRUE(pSoftware);
    EXPECT_EQ(pSoftware->Name(), QStringLiteral("Software"));
    ASSERT_EQ(pSoftware->SubKeyCount(), 4);
    // Upper-case order: '_' (0x5F) sorts after the letters' upper-case forms.
    EXPECT_EQ(pSoftware->SubKey(0)->Name(), QStringLiteral("alpha"));
    EXPECT_EQ(pSoftware->SubKey(1)->Name(), QStringLiteral("Zeta"));
    EXPECT_EQ(pSoftware->SubKey(2)->Name(), QStringLiteral("_under"));
    EXPECT_TRUE(top.FindKey(u"SOFTWARE\\\u00c9T\u00c9")) << "non-ASCII names ignore case too";
    EXPECT_EQ(pKey->PathFrom(), QStringLiteral("Software\\Zeta"));
    EXPECT_EQ(top.CreateKey(u"a\\b\\c")->PathFrom(top.FindSubKey(u"a")), QStringLiteral("b\\c"));

    EXPECT_FALSE(pKey->SetValue(Dword("Value", 1)));
    const std::optional<SWineRegValue> old = pKey->SetValue(Dword("VALUE", 2));
    ASSERT_TRUE(old);
    EXPECT_EQ(old->m_data, RegDwordData(1));
    EXPECT_EQ(pKey->ValueCount(), 1);
    EXPECT_EQ(pKey->FindValue(u"value")->m_strName, QStringLiteral("VALUE"));
    EXPECT_TRUE(pKey->DeleteValue(u"vAlUe"));
    EXPECT_FALSE(pKey->DeleteValue(u"value"));
    EXPECT_TRUE(top.DeleteSubKey(u"SOFTWARE"));
    EXPECT_FALSE(top.FindKey(u"software\\zeta"));

    std::u16string strDeep;
    for (int i = 0; i < CWineRegKey::MAX_DEPTH + 1; ++i)
        strDeep += u"k\\";
    EXPECT_FALSE(top.CreateKey(strDeep));
    EXPECT_FALSE(top.FindSubKey(u"k")) << "a refused path creates nothing";
}

TEST(WineRegistry, RootNamesInEveryForm) {
    const QString strSid = QStringLiteral("S-1-5-21-1-2-3-1000");
    struct SCase {
        const char* m_pPath;
        const char* m_pInternal;
    };
    for (const SCase& c : {
             SCase{"HKLM\\Software\\X", "Machine\\Software\\X"},
             SCase{"hkey_local_machine\\Software\\X", "Machine\\Software\\X"},
             SCase{"HKCU", "User\\S-1-5-21-1-2-3-1000"},
             SCase{"HKEY_CURRENT_USER\\Software", "User\\S-1-5-21-1-2-3-1000\\Software"},
             SCase{"HKCR\\.txt", "Machine\\Software\\Classes\\.txt"},
             SCase{"HKEY_USERS\\.DEFAULT", "User\\.DEFAULT"},
             SCase{"HKCC\\Software",
                   "Machine\\System\\CurrentControlSet\\Hardware Profiles\\Current\\Software"},
             SCase{"\\Registry\\Machine\\System", "Machine\\System"},
             SCase{"REGISTRY\\User\\.Default", "User\\.Default"},
         }) {
        const std::optional<QString> internal =
            RegistryPathOf(QString::fromUtf8(c.m_pPath), strSid);
        ASSERT_TRUE(internal) << c.m_pPath;
        EXPECT_EQ(internal->toStdString(), c.m_pInternal);
    }
    EXPECT_FALSE(RegistryPathOf(u"HKLMX\\Software", strSid));
    EXPECT_FALSE(RegistryPathOf(u"HKEY_PERFORMANCE_DATA", strSid));

    for (const SCase& c : {
             SCase{"\\Registry\\Machine\\Software\\Classes\\CLSID", "HKCR\\CLSID"},
             SCase{"\\Registry\\Machine\\Software\\ClassesX", "HKLM\\Software\\ClassesX"},
             SCase{"\\REGISTRY\\MACHINE", "HKLM"},
             SCase{"\\Registry\\User\\S-1-5-21-1-2-3-1000\\Software\\HwTrace",
                   "HKCU\\Software\\HwTrace"},
             SCase{"\\Registry\\User\\S-1-5-21-1-2-3-10000", "HKU\\S-1-5-21-1-2-3-10000"},
             SCase{"Registry\\User\\.Default\\Control Panel", "HKU\\.Default\\Control Panel"},
             SCase{"\\Registry\\Machine\\System\\CurrentControlSet\\Hardware Profiles\\Current\\"
                   "Software\\Fonts",
                   "HKCC\\Software\\Fonts"},
             SCase{"\\Device\\Harddisk0", ""},
         })
        EXPECT_EQ(RootPathOf(QString::fromUtf8(c.m_pPath), strSid).toStdString(), c.m_pInternal);
}

TEST(WineRegistry, ViewsAndLinksReachTheSameKeys) {
    CWineRegistry reg;
    reg.CreateKey(u"HKCR\\.txt")->SetValue(Dword("v", 1));
    EXPECT_TRUE(reg.FindKey(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES\\.TXT")->FindValue(u"v"));
    EXPECT_EQ(reg.FindKey(u"HKCU"), nullptr) << "the user's key exists once something is in it";
    reg.CreateKey(u"HKCU\\Software");
    EXPECT_EQ(reg.FindKey(u"HKU\\S-1-5-21-0-0-0-1000\\software"), reg.FindKey(u"HKCU\\Software"));

    // CurrentControlSet as Wine keeps it: a link to ControlSet001.
    CWineRegKey* pLink = reg.CreateKey(u"HKLM\\System\\CurrentControlSet");
    pLink->m_bLink = true;
    pLink->SetValue({QString::fromUtf16(LINK_VALUE_NAME), REG_LINK,
                     RegStringData(u"\\REGISTRY\\Machine\\System\\ControlSet001").chopped(2)});
    EXPECT_EQ(reg.FindKey(u"HKLM\\System\\CurrentControlSet\\Services"), nullptr)
        << "a link to a missing key leads nowhere";
    EXPECT_EQ(reg.CreateKey(u"HKCC\\Software"), nullptr);
    CWineRegKey* pFonts =
        reg.CreateKey(u"HKLM\\System\\ControlSet001\\Hardware Profiles\\Current\\Software\\Fonts");
    ASSERT_TRUE(pFonts);
    EXPECT_EQ(reg.FindKey(u"HKCC\\Software\\Fonts"), pFonts);
    EXPECT_EQ(reg.LinkTarget(*pLink), reg.FindKey(u"HKLM\\System\\ControlSet001"));
    EXPECT_EQ(reg.CreateKey(u"HKCC\\Software\\New")->Parent(), pFonts->Parent());

    // A link to itself ends instead of looping.
    pLink->SetValue({QString::fromUtf16(LINK_VALUE_NAME), REG_LINK,
                     RegStringData(u"\\REGISTRY\\Machine\\System\\CurrentControlSet").chopped(2)});
    EXPECT_EQ(reg.FindKey(u"HKCC"), nullptr);

    EXPECT_TRUE(reg.DeleteKey(u"HKLM\\System\\CurrentControlSet"));
    EXPECT_TRUE(reg.FindKey(u"HKLM\\System\\ControlSet001")) << "deleting a link keeps its target";
    EXPECT_FALSE(reg.DeleteKey(u"HKLM"));
    EXPECT_FALSE(reg.DeleteKey(u"HKU\\"));
    EXPECT_FALSE(reg.DeleteKey(u"HKLM\\Missing"));
}

TEST(WineRegistry, FolderOfFilesLoadsAndSaves) {
    const QString strDir = TestTempDir();
    // A prefix: the real user.reg of a Wine prefix, a small system.reg and userdef.reg.
    WriteFile(strDir + "user.reg", ReadWholeFile(TestDataPath("wine_user.reg")));
    WriteFile(strDir + "system.reg", "WINE REGISTRY Version 2\n"
                                     ";; All keys relative to REGISTRY\\\\Machine\n\n"
                                     "[Software\\\\Classes\\\\.txt] 1\n@=\"txtfile\"\n");
    WriteFile(strDir + "userdef.reg", "WINE REGISTRY Version 2\n"
                                      ";; All keys relative to REGISTRY\\\\User\\\\.Default\n\n"
                                      "[Control Panel] 1\n\"x\"=dword:00000001\n");
    CWineRegistry reg;
    QStringList arErrors;
    ASSERT_TRUE(reg.LoadFolder(strDir, arErrors)) << arErrors.join('\n').toStdString();
    EXPECT_EQ(reg.UserSid(), QStringLiteral("S-1-5-21-48926810-3388489794-1000-1000"));
    EXPECT_TRUE(reg.FindKey(u"HKEY_CURRENT_USER\\Control Panel\\Desktop")->FindValue(u"Wallpaper"));
    EXPECT_EQ(reg.FindKey(u"HKCR\\.txt")->FindValue(u"")->Text(),
              QStringLiteral("REG_SZ: txtfile"));
    EXPECT_TRUE(reg.FindKey(u"HKU\\.DEFAULT\\Control Panel")->FindValue(u"x"));

    // Save what was loaded, plus other users' keys, and load it again.
    reg.CreateKey(u"HKU\\S-1-5-18\\Software")->SetValue(Dword("system", 18));
    const QString strOut = TestTempDir();
    ASSERT_TRUE(reg.SaveFolder(strOut, arErrors)) << arErrors.join('\n').toStdString();
    const QByteArray userReg = ReadWholeFile(strOut + "user.reg");
    EXPECT_TRUE(userReg.startsWith("WINE REGISTRY Version 2\n;; All keys relative to "
                                   "REGISTRY\\\\User\\\\S-1-5-21-48926810-3388489794-1000-1000\n"));
    EXPECT_FALSE(ReadWholeFile(strOut + "users.reg").contains("Control Panel"))
        << "the current user and .Default are in their own files";
    CWineRegistry back;
    ASSERT_TRUE(back.LoadFolder(strOut, arErrors)) << arErrors.join('\n').toStdString();
    EXPECT_EQ(back.Top().CountKeys(), reg.Top().CountKeys());
    EXPECT_EQ(back.FindKey(u"HKU\\S-1-5-18\\Software")->FindValue(u"system")->m_data,
              RegDwordData(18));
    EXPECT_EQ(back.UserSid(), reg.UserSid());

    // A damaged file is reported with its line and adds nothing; the others still load.
    WriteFile(strOut + "userdef.reg", "WINE REGISTRY Version 2\n[X]\n\"v\"=hex:0");
    QFile::remove(strOut + "system.reg");
    CWineRegistry damaged;
    EXPECT_FALSE(damaged.LoadFolder(strOut, arErrors));
    ASSERT_EQ(arErrors.size(), 2);
    EXPECT_TRUE(arErrors[0].endsWith(QLatin1String("system.reg: the file does not exist")));
    EXPECT_TRUE(arErrors[1].contains(QLatin1String("userdef.reg, line 3:")));
    EXPECT_FALSE(damaged.FindKey(u"HKU\\.Default\\X"));
    EXPECT_TRUE(damaged.FindKey(u"HKCU\\Control Panel\\Desktop"));
}

TEST(WineRegistry, RegFilesMergeUnderTheirRoots) {
    CWineRegistry reg;
    QString strError;
    ASSERT_TRUE(reg.LoadFile(TestDataPath("wine_trace_reg_ops_import.reg"), {}, strError))
        << strError.toStdString();
    EXPECT_TRUE(reg.FindKey(u"HKCU\\Software\\HwTrace\\Imported\\Child"));
    const QString strDir = TestTempDir();
    WriteFile(strDir + "bad.reg", "REGEDIT4\n[HKEY_NOWHERE\\X]\n");
    EXPECT_FALSE(reg.LoadFile(strDir + "bad.reg", {}, strError));
    EXPECT_TRUE(strError.contains(QLatin1String("unknown root key \"HKEY_NOWHERE\"")));
    WriteFile(strDir + "loose.reg", "WINE REGISTRY Version 2\n[X]\n");
    EXPECT_FALSE(reg.LoadFile(strDir + "loose.reg", {}, strError));
    EXPECT_TRUE(strError.contains(QLatin1String("does not say which key")));
    EXPECT_TRUE(reg.LoadFile(strDir + "loose.reg", u"HKLM\\Mounted", strError));
    WriteFile(strDir + "rel.reg", "WINE REGISTRY Version 2\n"
                                  ";; All keys relative to REGISTRY\\\\Machine\n[Software\\\\Rel]\n");
    ASSERT_TRUE(reg.LoadFile(strDir + "rel.reg", {}, strError)) << strError.toStdString();
    EXPECT_TRUE(reg.FindKey(u"HKLM\\Software\\Rel"));
    EXPECT_EQ(reg.Top().SubKeyCount(), 2) << "only Machine and User below \\REGISTRY";
    EXPECT_TRUE(reg.FindKey(u"HKLM\\Mounted\\X"));
}
