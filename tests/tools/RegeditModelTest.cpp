// The registry editor without a window: tree and value models, type-ahead, ExpandTreeNode,
// and the automation channel's lines.
#include "tests/TestSupport.h"

#include "tools/regedit/RegeditController.h"
#include "tools/regedit/RegeditServer.h"
#include "winereg/WineRegWriter.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QFile>

#include <random>

// Readable failure messages.
void PrintTo(const QString& str, std::ostream* pOut) {
    *pOut << '"' << str.toStdString() << '"';
}

namespace {

// A Wine prefix made of the real user.reg and a system.reg with classes and a link.
QString MakePrefix() {
    const QString strDir = TestTempDir();
    QFile::copy(TestDataPath("wine_user.reg"), strDir + "user.reg");
    CWineRegistry reg;
    reg.CreateKey(u"HKCR\\.txt")->SetValue({QString(), REG_SZ, RegStringData(u"txtfile")});
    reg.CreateKey(u"HKLM\\System\\ControlSet001\\Services\\Beep")
        ->SetValue({QStringLiteral("Start"), REG_DWORD, RegDwordData(1)});
    reg.CreateKey(u"HKLM\\System\\ControlSet001\\Hardware Profiles\\Current\\Software\\Fonts")
        ->SetValue({QStringLiteral("LogPixels"), REG_DWORD, RegDwordData(96)});
    CWineRegKey* pLink = reg.CreateKey(u"HKLM\\System\\CurrentControlSet");
    pLink->m_bLink = true;
    pLink->SetValue({QString::fromUtf16(LINK_VALUE_NAME), REG_LINK,
                     RegStringData(u"\\Registry\\Machine\\System\\ControlSet001").chopped(2)});
    reg.CreateKey(u"HKU\\.Default\\Control Panel");
    QString strError;
    EXPECT_TRUE(reg.SaveFile(strDir + "system.reg", u"HKLM", {}, strError));
    EXPECT_TRUE(reg.SaveFile(strDir + "userdef.reg", u"HKU\\.Default", {}, strError));
    return strDir;
}

void WriteFile(const QString& strPath, const QByteArray& data) {
    QFile file(strPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
}

} // namespace

TEST(RegeditModels, TreeOfTheFiveRootsWithViewsAndLinks) {
    CRegeditController controller;
    QAbstractItemModelTester treeTester(&controller.TreeModel(),
                                        QAbstractItemModelTester::FailureReportingMode::Fatal);
    QAbstractItemModelTester valueTester(&controller.ValueModel(),
                                         QAbstractItemModelTester::FailureReportingMode::Fatal);
    controller.Open({MakePrefix()});
    EXPECT_TRUE(controller.Errors().isEmpty()) << controller.Errors().join('\n').toStdString();
    CRegTreeModel& tree = controller.TreeModel();
    ASSERT_EQ(tree.rowCount(), 5);
    EXPECT_EQ(tree.index(0, 0).data().toString(), QStringLiteral("HKEY_CLASSES_ROOT"));
    EXPECT_EQ(tree.index(4, 0).data().toString(), QStringLiteral("HKEY_CURRENT_CONFIG"));

    bool bComplete = false;
    QModelIndexList ar = tree.IndexesAlong(u"HKEY_CLASSES_ROOT\\.TXT", &bComplete);
    ASSERT_EQ(ar.size(), 2);
    EXPECT_TRUE(bComplete);
    EXPECT_EQ(tree.PathOf(ar.back()), QStringLiteral("HKEY_CLASSES_ROOT\\.txt"));
    // A link key shows its target's subkeys; HKCC is the current profile through the link.
    ar =
        tree.IndexesAlong(u"Computer\\HKLM\\SYSTEM\\CurrentControlSet\\Services\\Beep", &bComplete);
    EXPECT_TRUE(bComplete);
    EXPECT_EQ(tree.PathOf(ar.back()),
              QStringLiteral("HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Beep"));
    ar = tree.IndexesAlong(u"hkcc\\Software\\Fonts", &bComplete);
    EXPECT_TRUE(bComplete);
    ar = tree.IndexesAlong(u"HKEY_CURRENT_USER\\Control Panel\\Missing\\Deeper", &bComplete);
    EXPECT_FALSE(bComplete);
    EXPECT_EQ(tree.PathOf(ar.back()), QStringLiteral("HKEY_CURRENT_USER\\Control Panel"));
    EXPECT_TRUE(tree.IndexesAlong(u"HKEY_NOWHERE\\Software").isEmpty());
    EXPECT_TRUE(tree.IndexesAlong(u"\\\\").isEmpty());
    EXPECT_EQ(tree.IndexesAlong(u"HKU").size(), 1);

    // The value list of the selected key: (Default) first, set or not.
    EXPECT_EQ(controller.ExpandTreeNode(QStringLiteral("HKCU\\Control Panel\\Desktop")),
              QStringLiteral("HKEY_CURRENT_USER\\Control Panel\\Desktop"));
    CRegValueModel& values = controller.ValueModel();
    ASSERT_GT(values.rowCount(), 20);
    EXPECT_EQ(values.index(0, CRegValueModel::COL_NAME).data().toString(),
              QStringLiteral("(Default)"));
    EXPECT_EQ(values.index(0, CRegValueModel::COL_DATA).data().toString(),
              QStringLiteral("(value not set)"));
    EXPECT_EQ(values.index(1, CRegValueModel::COL_NAME).data().toString(),
              QStringLiteral("ActiveWndTrackTimeout"));
    EXPECT_EQ(values.index(1, CRegValueModel::COL_TYPE).data().toString(),
              QStringLiteral("REG_DWORD"));
    EXPECT_EQ(values.index(1, CRegValueModel::COL_DATA).data().toString(),
              QStringLiteral("0x00000000 (0)"));
    controller.ExpandTreeNode(QStringLiteral("HKEY_CLASSES_ROOT\\.txt"));
    ASSERT_EQ(values.rowCount(), 1) << "a set unnamed value is the (Default) row";
    EXPECT_EQ(values.index(0, CRegValueModel::COL_DATA).data().toString(),
              QStringLiteral("txtfile"));
}

TEST(RegeditModels, ExpandTreeNodeReadsTheFilesAgain) {
    const QString strDir = MakePrefix();
    CRegeditController controller;
    QAbstractItemModelTester tester(&controller.TreeModel(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    controller.Open({strDir});
    QList<QString> arExpanded;
    QObject::connect(
        &controller, &CRegeditController::expandRequested,
        [&](const QModelIndex& index) { arExpanded.append(controller.TreeModel().PathOf(index)); });
    bool bComplete = true;
    EXPECT_EQ(controller.ExpandTreeNode(QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\New\\Key"),
                                        &bComplete),
              QStringLiteral("HKEY_LOCAL_MACHINE\\Software"));
    EXPECT_FALSE(bComplete);
    CWineRegistry reg;
    reg.CreateKey(u"HKLM\\Software\\New\\Key")
        ->SetValue({QStringLiteral("v"), REG_SZ, RegStringData(u"x")});
    QString strError;
    ASSERT_TRUE(reg.SaveFile(strDir + "system.reg", u"HKLM", {}, strError));
    arExpanded.clear();
    EXPECT_EQ(controller.ExpandTreeNode(QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\New\\Key"),
                                        &bComplete),
              QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\New\\Key"));
    EXPECT_TRUE(bComplete);
    ASSERT_GE(arExpanded.size(), 3);
    EXPECT_EQ(arExpanded.mid(arExpanded.size() - 3),
              (QList<QString>{"HKEY_LOCAL_MACHINE", "HKEY_LOCAL_MACHINE\\Software",
                              "HKEY_LOCAL_MACHINE\\Software\\New"}));
    EXPECT_EQ(controller.SelectedKeyPath(),
              QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\New\\Key"));
    EXPECT_EQ(controller.ExpandTreeNode(QStringLiteral("NOT_A_ROOT\\X")), QString());
    EXPECT_EQ(controller.SelectedKeyPath(),
              QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\New\\Key"))
        << "a path that names no root leaves the selection alone";

    // F5 keeps the selection; a damaged file is reported and the rest still shows.
    WriteFile(strDir + "user.reg", "WINE REGISTRY Version 2\n[A]\n\"v\"=\"cut");
    controller.Reload();
    EXPECT_EQ(controller.SelectedKeyPath(),
              QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\New\\Key"));
    ASSERT_EQ(controller.Errors().size(), 1);
    EXPECT_TRUE(controller.Errors()[0].contains(QLatin1String("user.reg, line 3:")));
    EXPECT_EQ(controller.TreeModel().rowCount(controller.TreeModel().index(1, 0)), 0);
}

TEST(RegeditModels, TypeAheadSelectsLikeAListView) {
    const QStringList arNames = {"(Default)", "Alpha", "Answer", "answer2", "Beta", "beat"};
    auto name = [&](int n) { return arNames[n]; };
    const int nCount = int(arNames.size());
    CTypeAhead typeAhead;
    // A name typed quickly after Home (row 0).
    int nRow = 0;
    qint64 t = 1000;
    for (QChar ch : QStringLiteral("answ"))
        nRow = typeAhead.Type(ch, t += 10, nRow, nCount, name);
    EXPECT_EQ(nRow, 2);
    for (QChar ch : QStringLiteral("er2"))
        nRow = typeAhead.Type(ch, t += 10, nRow, nCount, name);
    EXPECT_EQ(nRow, 3);
    // A pause starts a new search; one letter again moves on to the next entry with it, wrapping.
    nRow = typeAhead.Type(u'b', t += 5000, 3, nCount, name);
    EXPECT_EQ(nRow, 4);
    nRow = typeAhead.Type(u'b', t += 10, nRow, nCount, name);
    EXPECT_EQ(nRow, 5) << "\"bb\" matches nothing, so it cycles through the b entries";
    nRow = typeAhead.Type(u'b', t += 10, nRow, nCount, name);
    EXPECT_EQ(nRow, 4);
    EXPECT_EQ(typeAhead.Type(u'x', t += 5000, 4, nCount, name), -1) << "no match keeps the row";
    EXPECT_EQ(typeAhead.Type(u'(', t += 5000, -1, nCount, name), 0)
        << "no row: search from the top";
    EXPECT_EQ(typeAhead.Type(u'(', t += 5000, 0, nCount, name), 0)
        << "the only match, wrapping round";
    EXPECT_EQ(typeAhead.Type(u'a', t += 5000, 0, 0, name), -1);
}

TEST(RegeditChannel, RequestsAndAnswersRoundTrip) {
    for (const QString& str : {QStringLiteral("HKEY_CURRENT_USER\\a b\\%20\\\t\r\n"),
                               QStringLiteral("\u00e9\U0001F600"), QString()}) {
        SRegeditRequest request = MakeRegeditRequest(ERegeditCommand::EXPAND, str), back;
        QString strError;
        QByteArray line = FormatRegeditRequest(request);
        ASSERT_TRUE(line.endsWith('\n'));
        EXPECT_EQ(line.count('\n'), 1) << "fields never break the line";
        line.chop(1);
        if (str.isEmpty()) {
            EXPECT_FALSE(ParseRegeditRequest(line, back, strError));
            continue;
        }
        ASSERT_TRUE(ParseRegeditRequest(line, back, strError)) << strError.toStdString();
        EXPECT_EQ(back.m_strArgument, str);
        QStringList arFields;
        ASSERT_TRUE(ParseRegeditAnswer(RegeditOk({str, "x"}).trimmed(), arFields, strError));
        EXPECT_EQ(arFields, (QStringList{str, "x"}));
    }
    SRegeditRequest request;
    QString strError;
    ASSERT_TRUE(ParseRegeditRequest("CHAR d83d", request, strError));
    EXPECT_EQ(request.m_chTyped, u'\xd83d');
    for (const char* pBad : {"CHAR 0", "CHAR 10000", "CHAR -1", "CHAR", "HELLO there", "show",
                             "EXPAND", "OPEN", "OPEN PREFIX", ""}) {
        EXPECT_FALSE(ParseRegeditRequest(pBad, request, strError)) << pBad;
        EXPECT_FALSE(strError.isEmpty());
    }
    QStringList arFields;
    EXPECT_FALSE(ParseRegeditAnswer("ERR it%25s broken", arFields, strError));
    EXPECT_EQ(strError, QStringLiteral("it%s broken"));
    EXPECT_FALSE(ParseRegeditAnswer("garbage", arFields, strError));
}

namespace {

// Records what the server asks of the editor.
class CFakeTarget : public CRegeditTarget {
public:
    QStringList m_arCalls;
    void OpenSource(const SRegeditSource& source) override {
        m_arCalls << "open " + source.m_strPrefix;
    }
    void ShowAndRaise() override { m_arCalls << "show"; }
    QString ExpandTreeNode(const QString& strPath, bool& bComplete) override {
        m_arCalls << "expand " + strPath;
        bComplete = true;
        return strPath.startsWith(QLatin1String("HK")) ? strPath : QString();
    }
    void FocusValueList(bool bList) override { m_arCalls << (bList ? "list" : "tree"); }
    QString KeyHome() override { return QStringLiteral("(Default)"); }
    QString TypeChar(QChar ch) override { return QString(ch); }
    QStringList State() const override { return {"k", "v", "list", "1", "/f/"}; }
    void Quit() override { m_arCalls << "quit"; }
};

} // namespace

TEST(RegeditChannel, ServerAnswersEveryLineAndRefusesBadOnes) {
    CFakeTarget target;
    CRegeditServer server(target);
    EXPECT_EQ(server.Answer("EXPAND HKLM\\A%09B"), QByteArray("OK HKLM\\A%09B\tcomplete\n"));
    EXPECT_EQ(server.Answer("EXPAND nowhere"),
              QByteArray("ERR \"nowhere\" does not start with a root key\n"));
    EXPECT_EQ(server.Answer("OPEN PREFIX /p"), QByteArray("OK\n"));
    EXPECT_TRUE(server.Answer("OPEN PREFIX p").startsWith("ERR "));
    EXPECT_EQ(server.Answer("CHAR 41"), QByteArray("OK A\n"));
    EXPECT_EQ(server.Answer("STATE"), QByteArray("OK k\tv\tlist\t1\t/f/\n"));
    EXPECT_TRUE(server.Answer("HELLO").startsWith("OK RegEdit_RegEdit\t"));
    EXPECT_EQ(target.m_arCalls, (QStringList{"expand HKLM\\A\tB", "expand nowhere", "open /p"}));
    // Random lines: an answer for each, never a crash.
    std::mt19937 rng(5);
    for (int i = 0; i < 2000; ++i) {
        QByteArray line;
        const char* arStarts[] = {"CHAR ", "EXPAND ", "OPEN PREFIX ", "FOCUS ", "KEY ", ""};
        line += arStarts[rng() % 6];
        for (uint32_t n = rng() % 12; n > 0; --n)
            line += char(rng() % 256);
        const QByteArray answer = server.Answer(line);
        EXPECT_TRUE(answer.startsWith("OK") || answer.startsWith("ERR "))
            << line.toHex().toStdString();
        EXPECT_EQ(answer.count('\n'), 1);
    }
}
