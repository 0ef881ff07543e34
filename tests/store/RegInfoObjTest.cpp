// Event record: its answers for every operation code, key paths, CSV quoting and search.
#include "store/RegInfoObj.h"
#include "store/RegOperations.h"
#include "utils/Archive.h"

#include <gtest/gtest.h>

#include <QBuffer>

namespace {

CRegInfoObj Make(const char* pRequest, const char* pResult = "SUCCESS",
                 const char* pPath = "HKLM\\SOFTWARE\\App", const char* pOld = "",
                 const char* pNew = "") {
    CRegInfoObj r;
    r.m_nSeq = 42;
    r.m_strTime = QStringLiteral("10:15:30.250");
    r.m_strProcessName = QStringLiteral("app.exe");
    r.m_nPid = 1200;
    r.m_strRequest = QString::fromUtf8(pRequest);
    r.m_strResult = QString::fromUtf8(pResult);
    r.m_strPath = QString::fromUtf8(pPath);
    r.m_strOldValue = QString::fromUtf8(pOld);
    r.m_strNewValue = QString::fromUtf8(pNew);
    return r;
}

} // namespace

TEST(RegInfoObj, EveryOperationCodeWriteAndModifiedRule) {
    // code: is a write, modifies when it succeeds (a set only when the data changed)
    const struct {
        int nWrite, nModifies;
    } expected[REG_OPERATION_COUNT] = {{0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0},
                                       {0, 0}, {0, 1}, {0, 1}, {1, 1}, {1, 1}, {1, 1}, {1, 1}};
    for (int code = 0; code < REG_OPERATION_COUNT; ++code) {
        const std::string name(g_RegOperationNames[size_t(code)]);
        CRegInfoObj ok =
            Make(name.c_str(), "SUCCESS", "HKLM\\K\\V", "REG_DWORD: 1", "REG_DWORD: 2");
        EXPECT_EQ(ok.GetFunType(), code) << name;
        EXPECT_EQ(ok.IsWriteOpt(), expected[code].nWrite) << name;
        EXPECT_EQ(ok.Modified(), expected[code].nModifies) << name;
        EXPECT_FALSE(ok.GetDescription().isEmpty()) << name;

        CRegInfoObj lower = Make(QString::fromStdString(name).toLower().toUtf8().constData());
        EXPECT_EQ(lower.GetFunType(), code) << name;

        CRegInfoObj failed = Make(name.c_str(), "ACCESS DENIED");
        EXPECT_EQ(failed.IsWriteOpt(), expected[code].nWrite) << name; // whatever the result
        EXPECT_EQ(failed.Modified(), 0) << name;
        EXPECT_TRUE(failed.GetDescription().contains(QStringLiteral("ACCESS DENIED"))) << name;
    }
}

TEST(RegInfoObj, SetValueModifiesOnlyWhenTheDataChanged) {
    EXPECT_EQ(Make("RegSetValueKey", "SUCCESS", "HKCU\\A\\v", "REG_SZ: x", "REG_SZ: x").Modified(),
              0);
    EXPECT_EQ(Make("RegSetValueKey", "SUCCESS", "HKCU\\A\\v", "", "REG_SZ: x").Modified(), 1);
    EXPECT_EQ(Make("RegSetValueKey", "SUCCESS", "HKCU\\A\\v", "REG_SZ: x", "").Modified(), 1);
}

TEST(RegInfoObj, UnknownRequestsStayInsideTheColourTables) {
    for (const char* p : {"", "Process Start", "RegSetInfoKey", "RegOpenKeyX", "\xE4\xB8\x8A"})
        EXPECT_EQ(Make(p).GetFunType(), OP_QUERY_KEY) << p;
    EXPECT_EQ(Make("RegEnumValue").GetFunType(), OP_ENUM_VALUE);
    EXPECT_EQ(Make("RegSetValue").GetFunType(), OP_SET_VALUE);
    EXPECT_EQ(Make("regunloadkey").GetFunType(), OP_UNLOAD_KEY);
}

TEST(RegInfoObj, KeyStringSpellsOutEveryRootAndSplitsValueNames) {
    const char* roots[][2] = {{"HKLM", "HKEY_LOCAL_MACHINE"},
                              {"HKCU", "HKEY_CURRENT_USER"},
                              {"HKCR", "HKEY_CLASSES_ROOT"},
                              {"HKU", "HKEY_USERS"},
                              {"HKCC", "HKEY_CURRENT_CONFIG"}};
    for (auto& root : roots) {
        QString strValue = QStringLiteral("stale");
        const QString strPath = QString::fromLatin1(root[0]) + QStringLiteral("\\Soft\\Key");
        EXPECT_EQ(
            Make("RegOpenKey", "SUCCESS", strPath.toUtf8().constData()).GetKeyString(strValue),
            QString::fromLatin1(root[1]) + QStringLiteral("\\Soft\\Key"));
        EXPECT_TRUE(strValue.isEmpty());
    }
    QString strValue;
    EXPECT_EQ(Make("RegOpenKey", "SUCCESS", "HKU").GetKeyString(strValue),
              QStringLiteral("HKEY_USERS"));
    EXPECT_EQ(Make("RegOpenKey", "SUCCESS", "HKLMX\\A").GetKeyString(strValue),
              QStringLiteral("HKLMX\\A"));
    EXPECT_EQ(Make("RegSetValueKey", "SUCCESS", "HKCU\\Env\\(Default)").GetKeyString(strValue),
              QStringLiteral("HKEY_CURRENT_USER\\Env"));
    EXPECT_EQ(strValue, QStringLiteral("(Default)"));
    EXPECT_EQ(Make("RegQueryValue", "SUCCESS", "HKLM\\A\\B\\Name").GetKeyString(strValue),
              QStringLiteral("HKEY_LOCAL_MACHINE\\A\\B"));
    EXPECT_EQ(strValue, QStringLiteral("Name"));
}

TEST(RegInfoObj, CsvLineQuotesAsRfc4180) {
    EXPECT_EQ(Make("RegOpenKey").GetCVSLine(),
              QStringLiteral("42,10:15:30.250,app.exe,1200,RegOpenKey,HKLM\\SOFTWARE\\App,,\r\n"));
    CRegInfoObj r = Make("RegSetValueKey", "SUCCESS", "HKCU\\A,B\\v", "REG_SZ: say \"hi\"",
                         "REG_MULTI_SZ: a\r\nb");
    EXPECT_EQ(r.GetCVSLine(), QStringLiteral("42,10:15:30.250,app.exe,1200,RegSetValueKey,"
                                             "\"HKCU\\A,B\\v\",\"REG_SZ: say \"\"hi\"\"\","
                                             "\"REG_MULTI_SZ: a\r\nb\"\r\n"));
}

TEST(RegInfoObj, FindStringSearchesEveryShownTextWithWordAndCaseRules) {
    CRegInfoObj r = Make("RegSetValueKey", "SUCCESS", "HKLM\\Soft\\my_value", "REG_DWORD: 0x1 (1)",
                         "REG_DWORD: 0x2 (2)");
    EXPECT_TRUE(r.FindString(QStringLiteral("1200"), 0, 1)); // PID as text
    EXPECT_TRUE(r.FindString(QStringLiteral("42"), 0, 1));   // sequence number as text
    EXPECT_TRUE(r.FindString(QStringLiteral("app.EXE"), 0, 0));
    EXPECT_FALSE(r.FindString(QStringLiteral("app.EXE"), 1, 0));
    EXPECT_TRUE(r.FindString(QStringLiteral("my_value"), 1, 1));
    EXPECT_FALSE(r.FindString(QStringLiteral("value"), 0, 1)); // bordered by '_'
    EXPECT_TRUE(r.FindString(QStringLiteral("value"), 0, 0));
    EXPECT_TRUE(r.FindString(QStringLiteral("0x2"), 0, 1)); // new value, whole word
    EXPECT_FALSE(r.FindString(QStringLiteral("120"), 0, 1));
    EXPECT_TRUE(r.FindString(QStringLiteral("Changed"), 0, 1)); // the description column
    EXPECT_FALSE(r.FindString(QString(), 0, 0));
}

TEST(RegInfoObj, SerializeRestoresEveryField) {
    CRegInfoObj a = Make("RegDeleteValue", "SUCCESS", "HKCU\\\u00e9\\v", "REG_SZ: \U0001F600", "");
    QBuffer buf;
    buf.open(QIODevice::ReadWrite);
    {
        CArchive ar(&buf, CArchive::store);
        a.Serialize(ar);
        ar.Close();
    }
    buf.seek(0);
    CArchive ar(&buf, CArchive::load);
    CRegInfoObj b;
    b.Serialize(ar);
    EXPECT_EQ(ar.BytesRemaining(), 0u);
    EXPECT_EQ(b.GetCVSLine(), a.GetCVSLine());
    EXPECT_EQ(b.m_strResult, a.m_strResult);
    EXPECT_EQ(b.GetFunType(), OP_DELETE_VALUE);
}
