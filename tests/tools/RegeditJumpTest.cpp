// Regedit Jump end to end: the real hivewatch-regedit, started by the jump, driven through its
// automation channel.
#include "tests/TestSupport.h"
#include "tests/tools/RegeditAsk.h"

#include "tools/regedit/RegeditJump.h"
#include "tools/regedit/RegeditLaunch.h"
#include "utils/SystemInfo.h"
#include "winereg/WineRegistry.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>

#include <map>

void PrintTo(const QString& str, std::ostream* pOut) {
    *pOut << '"' << str.toStdString() << '"';
}

namespace {

QCoreApplication& App() {
    static int s_nArgc = 1;
    static char s_szName[] = "hw_regedit_jump_tests";
    static char* s_arArgv[] = {s_szName, nullptr};
    static QCoreApplication s_app(s_nArgc, s_arArgv);
    return s_app;
}

struct SResult {
    bool m_bOk = false;
    QString m_strMessage;
    qint64 m_nMs = 0;
};

SResult Jump(CRegeditJump& jump, const QString& strKey, const QString& strValue) {
    QSignalSpy spy(&jump, &CRegeditJump::finished);
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(jump.Start(strKey, strValue));
    EXPECT_FALSE(jump.Start(strKey, strValue)) << "one jump at a time";
    if (spy.isEmpty() && !spy.wait(40000))
        return {false, QStringLiteral("no finished signal"), clock.elapsed()};
    EXPECT_EQ(spy.size(), 1);
    return {spy[0][0].toBool(), spy[0][1].toString(), clock.elapsed()};
}

class RegeditJump : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        // The substitute driver's registry, as the driver saves it.
        CWineRegistry reg;
        CWineRegKey* pJump = reg.CreateKey(u"HKLM\\SOFTWARE\\Hivewatch\\Jump");
        for (const char* pName : {"Alpha", "Answer", "Beta", "answer2", "Zulu"})
            pJump->SetValue({QString::fromUtf8(pName), REG_SZ, RegStringData(u"x")});
        pJump->SetValue({QString(), REG_SZ, RegStringData(u"default")});
        reg.CreateKey(u"HKCU\\Software\\Other");
        QStringList arErrors;
        ASSERT_TRUE(reg.SaveFolder(g_ExtSysInfo.GetSysPath() + "config/", arErrors))
            << arErrors.join('\n').toStdString();
    }

    void TearDown() override {
        // End the editor this test started, and make sure it is gone.
        if (!QuitRegeditAndWait())
            ADD_FAILURE() << "the editor did not quit";
    }
};

} // namespace

TEST_F(RegeditJump, ShowsKeyAndValueAndReusesTheEditor) {
    CRegeditJump jump;
    jump.SetPrefix({});
    EXPECT_EQ(jump.EditorProgram(), QStringLiteral(HW_BIN_DIR "/hivewatch-regedit"));
    SResult r = Jump(jump, QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Hivewatch\\Jump"),
                     QStringLiteral("Answer"));
    ASSERT_TRUE(r.m_bOk) << r.m_strMessage.toStdString();
    EXPECT_TRUE(jump.StartedEditor());
    EXPECT_EQ(jump.SelectedKey(), QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Hivewatch\\Jump"));
    EXPECT_TRUE(jump.KeyComplete());
    EXPECT_EQ(jump.SelectedValue(), QStringLiteral("Answer"));
    EXPECT_GE(r.m_nMs, 1000) << "the pause before typing";
    QStringList arState = AskRegedit("STATE");
    ASSERT_EQ(arState.size(), 5) << arState.join('|').toStdString();
    EXPECT_EQ(arState[0], QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Hivewatch\\Jump"));
    EXPECT_EQ(arState[1], QStringLiteral("Answer"));
    EXPECT_EQ(arState[2], QStringLiteral("list"));
    EXPECT_EQ(arState[3], QStringLiteral("1"));
    const QString strPid = AskRegedit("HELLO").value(1);

    // The key changed since: the second jump reuses the editor, which reads the files again.
    CWineRegistry reg;
    QStringList arErrors;
    ASSERT_TRUE(reg.LoadFolder(g_ExtSysInfo.GetSysPath() + "config/", arErrors));
    reg.CreateKey(u"HKCU\\Software\\Other\\Created Later")
        ->SetValue({QStringLiteral("Late"), REG_DWORD, RegDwordData(7)});
    ASSERT_TRUE(reg.SaveFolder(g_ExtSysInfo.GetSysPath() + "config/", arErrors));
    jump.SetValuePause(50);
    r = Jump(jump, QStringLiteral("HKEY_CURRENT_USER\\Software\\Other\\Created Later"),
             QStringLiteral("late"));
    ASSERT_TRUE(r.m_bOk) << r.m_strMessage.toStdString();
    EXPECT_FALSE(jump.StartedEditor());
    EXPECT_EQ(AskRegedit("HELLO").value(1), strPid) << "no second editor";
    EXPECT_EQ(AskRegedit("STATE").value(1), QStringLiteral("Late"));

    // The unnamed value, by the name the list shows; then a key without a value to select.
    r = Jump(jump, QStringLiteral("HKLM\\SOFTWARE\\Hivewatch\\Jump"), QStringLiteral("(Default)"));
    ASSERT_TRUE(r.m_bOk) << r.m_strMessage.toStdString();
    EXPECT_EQ(AskRegedit("STATE").value(1), QStringLiteral("(Default)"));
    AskRegedit("FOCUS TREE");
    r = Jump(jump, QStringLiteral("HKEY_CURRENT_USER\\Software"), QString());
    ASSERT_TRUE(r.m_bOk) << r.m_strMessage.toStdString();
    arState = AskRegedit("STATE");
    EXPECT_EQ(arState.value(0), QStringLiteral("HKEY_CURRENT_USER\\Software"));
    EXPECT_EQ(arState.value(1), QString()) << "nothing is typed into the value list";
    EXPECT_EQ(arState.value(2), QStringLiteral("tree"));
}

TEST_F(RegeditJump, MissingKeyIsExpandedAsFarAsItExists) {
    CRegeditJump jump;
    jump.SetPrefix({});
    const SResult r =
        Jump(jump, QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Hivewatch\\Gone\\Deeper"),
             QStringLiteral("Alpha"));
    ASSERT_TRUE(r.m_bOk) << r.m_strMessage.toStdString();
    EXPECT_EQ(jump.SelectedKey(), QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Hivewatch"));
    EXPECT_FALSE(jump.KeyComplete());
    EXPECT_TRUE(r.m_strMessage.contains(QLatin1String("does not exist")))
        << r.m_strMessage.toStdString();
    EXPECT_EQ(AskRegedit("STATE").value(1), QString()) << "no value of another key is selected";
    // A root the editor does not know is an error, not a crash.
    const SResult bad = Jump(jump, QStringLiteral("HKEY_NOWHERE\\X"), QString());
    EXPECT_FALSE(bad.m_bOk);
    EXPECT_TRUE(bad.m_strMessage.contains(QLatin1String("does not start with a root key")))
        << bad.m_strMessage.toStdString();
}

TEST_F(RegeditJump, OpensTheWinePrefixTheDriverWatches) {
    const QString strPrefix = TestTempDir();
    QFile::copy(TestDataPath("wine_user.reg"), strPrefix + "user.reg");
    std::map<std::string, QString> env = {{"HIVEWATCH_DRIVER_SOURCE", "wine:" + strPrefix},
                                          {"HOME", "/home/u"}};
    auto getVar = [&](const char* p) { return env.count(p) ? env[p] : QString(); };
    CRegeditJump jump;
    jump.SetPrefix(RegeditPrefixForDriver(getVar));
    SResult r = Jump(jump, QStringLiteral("HKEY_CURRENT_USER\\Control Panel\\Desktop"),
                     QStringLiteral("Wallpaper"));
    ASSERT_TRUE(r.m_bOk) << r.m_strMessage.toStdString();
    EXPECT_EQ(jump.SelectedValue(), QStringLiteral("Wallpaper"));
    EXPECT_EQ(AskRegedit("STATE").value(4), QDir::cleanPath(strPrefix) + '/');
    // Back to the driver's own registry in the same editor.
    jump.SetPrefix({});
    jump.SetValuePause(0);
    r = Jump(jump, QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Hivewatch\\Jump"), "Zulu");
    ASSERT_TRUE(r.m_bOk) << r.m_strMessage.toStdString();
    EXPECT_FALSE(jump.StartedEditor());
    EXPECT_EQ(jump.SelectedValue(), QStringLiteral("Zulu"));

    env = {{"HIVEWATCH_DRIVER_SOURCE", "wine"}, {"HOME", "/home/u"}};
    EXPECT_EQ(RegeditPrefixForDriver(getVar), QStringLiteral("/home/u/.wine"));
    env["WINEPREFIX"] = "/opt/prefix/";
    EXPECT_EQ(RegeditPrefixForDriver(getVar), QStringLiteral("/opt/prefix"));
    env = {{"HIVEWATCH_DRIVER_SOURCE", "wine:~/games"}, {"HOME", "/home/u"}};
    EXPECT_EQ(RegeditPrefixForDriver(getVar), QStringLiteral("/home/u/games"));
    for (const char* pSource :
         {"sim", "flood", "replay:/x.csv", "wine-trace:/t.txt", "wine:", ""}) {
        env = {{"HIVEWATCH_DRIVER_SOURCE", pSource}};
        EXPECT_EQ(RegeditPrefixForDriver(getVar), QString()) << pSource;
    }
}

TEST(RegeditJumpFailures, SilentEditorEndsTheJumpWithinTheLimit) {
    App();
    // Something listens where the editor would, accepts, and never answers.
    const QString strPath = TestTempDir() + "RegEdit_RegEdit";
    QLocalServer silent;
    ASSERT_TRUE(silent.listen(strPath));
    QList<QLocalSocket*> arAccepted;
    QObject::connect(&silent, &QLocalServer::newConnection,
                     [&] { arAccepted.append(silent.nextPendingConnection()); });
    CRegeditJump jump;
    jump.SetSocketPath(strPath);
    const SResult r =
        Jump(jump, QStringLiteral("HKEY_CURRENT_USER\\Software"), QStringLiteral("v"));
    EXPECT_FALSE(r.m_bOk);
    EXPECT_FALSE(jump.StartedEditor());
    EXPECT_TRUE(r.m_strMessage.contains(QLatin1String("did not answer")))
        << r.m_strMessage.toStdString();
    EXPECT_GE(r.m_nMs, CRegeditJump::DEFAULT_TIMEOUT_MS - 100);
    EXPECT_LT(r.m_nMs, CRegeditJump::DEFAULT_TIMEOUT_MS + 3000);
    EXPECT_EQ(arAccepted.size(), 1);
}

TEST(RegeditJumpFailures, EditorThatIsMissingOrNeverListens) {
    App();
    CRegeditJump jump;
    jump.SetSocketPath(TestTempDir() + "RegEdit_RegEdit");
    jump.SetEditorProgram("/nonexistent/hivewatch-regedit");
    SResult r = Jump(jump, QStringLiteral("HKLM"), {});
    EXPECT_FALSE(r.m_bOk);
    EXPECT_TRUE(r.m_strMessage.contains(QLatin1String("cannot be found")))
        << r.m_strMessage.toStdString();

    // A program that starts and ends without ever listening.
    jump.SetEditorProgram("/bin/true");
    jump.SetTimeout(1500);
    r = Jump(jump, QStringLiteral("HKLM"), {});
    EXPECT_FALSE(r.m_bOk);
    EXPECT_TRUE(jump.StartedEditor());
    EXPECT_TRUE(
        r.m_strMessage.contains(QLatin1String("did not start listening within 1.5 seconds")))
        << r.m_strMessage.toStdString();
    EXPECT_LT(r.m_nMs, 4000);

    // Cancel ends a waiting jump at once.
    QSignalSpy spy(&jump, &CRegeditJump::finished);
    jump.SetTimeout(60000);
    ASSERT_TRUE(jump.Start(QStringLiteral("HKLM"), {}));
    jump.Cancel();
    ASSERT_EQ(spy.size(), 1);
    EXPECT_FALSE(spy[0][0].toBool());
    EXPECT_FALSE(jump.IsRunning());
}
