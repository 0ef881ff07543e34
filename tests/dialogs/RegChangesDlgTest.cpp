// The Registry Changes window: counts, the tree and its texts, the redo and undo files with
// what the user is told, and a double-click that shows the key and value in the real editor.
#include "tests/dialogs/DialogTestSupport.h"

#include "dialogs/Commands.h"
#include "dialogs/RegChangesDlg.h"
#include "store/HivewatchDoc.h"
#include "tests/TestSupport.h"
#include "tests/tools/RegeditAsk.h"
#include "utils/SystemInfo.h"
#include "winereg/WineRegistry.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

namespace {

void Add(CHivewatchDoc& doc, const char* pRequest, const char* pPath, const char* pOld,
         const char* pNew, const char* pProcess = "setup.exe") {
    auto* p = new CRegInfoObj;
    p->m_nSeq = doc.GetRecordCount() + 1;
    p->m_strProcessName = QString::fromUtf8(pProcess);
    p->m_strRequest = QString::fromUtf8(pRequest);
    p->m_strPath = QString::fromUtf8(pPath);
    p->m_strResult = QStringLiteral("SUCCESS");
    p->m_strOldValue = QString::fromUtf8(pOld);
    p->m_strNewValue = QString::fromUtf8(pNew);
    doc.AppendRecord(p);
}

void FillDocument(CHivewatchDoc& doc) {
    Add(doc, "RegCreateKey(New)", "HKLM\\SOFTWARE\\Hivewatch\\Made", "", "");
    Add(doc, "RegSetValueKey", "HKLM\\SOFTWARE\\Hivewatch\\Jump\\Answer", "REG_SZ: x", "REG_SZ: y",
        "one.exe");
    Add(doc, "RegSetValueKey", "HKLM\\SOFTWARE\\Hivewatch\\Jump\\Answer", "REG_SZ: y",
        "REG_DWORD: 0x00000001 (1)", "two.exe");
    Add(doc, "RegSetValueKey", "HKLM\\SOFTWARE\\Hivewatch\\Jump\\Cut", "REG_BINARY: 01 ...",
        "REG_BINARY: 02");
}

// Rows of the tree as "name|change|data|processes|events", depth first.
QStringList Rows(const QAbstractItemModel& model, const QModelIndex& parent = {},
                 const QString& strIndent = {}) {
    QStringList ar;
    for (int nRow = 0; nRow < model.rowCount(parent); ++nRow) {
        QStringList arCells;
        for (int nColumn = 0; nColumn < model.columnCount(); ++nColumn)
            arCells << model.index(nRow, nColumn, parent).data().toString();
        ar << strIndent + arCells.join(u'|');
        ar << Rows(model, model.index(nRow, 0, parent), strIndent + QStringLiteral("  "));
    }
    return ar;
}

class RegChangesDlgTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        FillDocument(m_doc);
    }
    std::unique_ptr<CRegChangesDlg> Open() {
        return std::make_unique<CRegChangesDlg>(CRegChanges::FromDocument(m_doc),
                                                QStringLiteral("all 4 events"));
    }
    CHivewatchDoc m_doc;
};

} // namespace

TEST_F(RegChangesDlgTest, CountsAndTreeSayWhatChangedWhoDidItAndHowOften) {
    const auto pDlg = Open();
    EXPECT_EQ(pDlg->windowTitle(), QStringLiteral("Registry Changes"));
    EXPECT_EQ(pDlg->Summary()->text(),
              QStringLiteral("1 key created, 2 values changed; 1 value cannot be put back "
                             "(earlier data cut or not known)"));
    EXPECT_EQ(Rows(pDlg->Model()),
              (QStringList{"HKLM||||", "  SOFTWARE||||", "    Hivewatch||||", "      Jump||||",
                           "        Answer|changed|REG_SZ: x \u2192 REG_DWORD: 0x00000001 (1)|"
                           "one.exe, two.exe|2",
                           "        Cut|changed (cannot be put back)|REG_BINARY: 01 ... \u2192 "
                           "REG_BINARY: 02|setup.exe|1",
                           "      Made|created||setup.exe|1"}));
    const QModelIndex jump =
        pDlg->Model().index(0, 0, pDlg->Model().index(0, 0, pDlg->Model().index(0, 0)));
    EXPECT_EQ(pDlg->Model().data(pDlg->Model().index(0, 0, jump), Qt::ToolTipRole).toString(),
              QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Hivewatch\\Jump"));
}

TEST_F(RegChangesDlgTest, ExportsWriteTheFilesOrSayWhyNot) {
    const auto pDlg = Open();
    m_strFileAnswer = TestTempDir() + QStringLiteral("undo.reg");
    pDlg->UndoButton()->click();
    ASSERT_EQ(m_arMessages.size(), 1u);
    EXPECT_EQ(m_arMessages[0].m_nKind, MSG_INFORMATION);
    EXPECT_TRUE(m_arMessages[0].m_strText.contains(m_strFileAnswer));
    CWineRegistry registry;
    registry.CreateKey(u"HKLM\\SOFTWARE\\Hivewatch\\Made");
    registry.CreateKey(u"HKLM\\SOFTWARE\\Hivewatch\\Jump")
        ->SetValue({QStringLiteral("Answer"), REG_DWORD, RegDwordData(1)});
    QString strError;
    ASSERT_TRUE(registry.ImportRegFile(m_strFileAnswer, strError)) << strError.toStdString();
    EXPECT_EQ(registry.FindKey(u"HKLM\\SOFTWARE\\Hivewatch\\Made"), nullptr);
    EXPECT_EQ(registry.FindKey(u"HKLM\\SOFTWARE\\Hivewatch\\Jump")->FindValue(u"Answer")->m_data,
              RegStringData(u"x"));
    EXPECT_TRUE(
        QString::fromUtf16(
            reinterpret_cast<const char16_t*>(ReadWholeFile(m_strFileAnswer).constData()),
            ReadWholeFile(m_strFileAnswer).size() / 2)
            .contains(QStringLiteral("\"Cut\" of HKEY_LOCAL_MACHINE\\SOFTWARE\\Hivewatch\\Jump is "
                                     "not put back")));

    m_arMessages.clear();
    m_strFileAnswer = TestTempDir() + QStringLiteral("no/such/folder/redo.reg");
    pDlg->RedoButton()->click();
    ASSERT_EQ(m_arMessages.size(), 1u);
    EXPECT_EQ(m_arMessages[0].m_nKind, MSG_ERROR);
    EXPECT_TRUE(
        m_arMessages[0].m_strText.startsWith(QStringLiteral("The redo file was not written: ")))
        << m_arMessages[0].m_strText.toStdString();
    EXPECT_FALSE(QFile::exists(m_strFileAnswer));

    m_arMessages.clear();
    m_strFileAnswer.clear(); // cancelled: nothing written, nothing said
    EXPECT_FALSE(pDlg->ExportFile(false));
    EXPECT_TRUE(m_arMessages.empty());
}

// The command looks at the records a display filter shows when it is given them.
TEST_F(RegChangesDlgTest, CommandOverAllOrTheShownRecords) {
    OnNextModal<CRegChangesDlg>([](CRegChangesDlg* pDlg) {
        EXPECT_EQ(pDlg->Changes().Counts().m_nRecords, 4);
        pDlg->reject();
    });
    RunRegistryChangesCommand(nullptr, m_doc);
    const std::vector<long long> arShown = {0};
    OnNextModal<CRegChangesDlg>([](CRegChangesDlg* pDlg) {
        EXPECT_EQ(RegChangeCountsText(pDlg->Changes().Counts()), QStringLiteral("1 key created"));
        pDlg->reject();
    });
    RunRegistryChangesCommand(nullptr, m_doc, &arShown);
}

// A double-click on a value row: the real editor shows its key with the value selected.
TEST_F(RegChangesDlgTest, DoubleClickShowsTheKeyAndValueInTheEditor) {
    CWineRegistry reg;
    CWineRegKey* pJump = reg.CreateKey(u"HKLM\\SOFTWARE\\Hivewatch\\Jump");
    for (const char* pName : {"Alpha", "Answer", "Beta"})
        pJump->SetValue({QString::fromUtf8(pName), REG_SZ, RegStringData(u"x")});
    QStringList arErrors;
    ASSERT_TRUE(reg.SaveFolder(g_ExtSysInfo.GetSysPath() + "config/", arErrors))
        << arErrors.join('\n').toStdString();
    const auto pDlg = Open();
    pDlg->Jump().SetPrefix({});
    pDlg->Jump().SetValuePause(50);
    pDlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(pDlg.get()));
    QSignalSpy finished(&pDlg->Jump(), &CRegeditJump::finished);
    QTreeView* pTree = pDlg->Tree();
    const QModelIndex jump =
        pDlg->Model().index(0, 0, pDlg->Model().index(0, 0, pDlg->Model().index(0, 0)));
    const QModelIndex answer = pDlg->Model().index(0, 0, pDlg->Model().index(0, 0, jump));
    ASSERT_EQ(answer.data().toString(), QStringLiteral("Answer"));
    pTree->scrollTo(answer);
    const QPoint at = pTree->visualRect(answer).center();
    // A double-click as the system delivers it: press, release, then the second press.
    QTest::mouseClick(pTree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(pTree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_TRUE(pDlg->Jump().IsRunning()) << "the window is not held up";
    EXPECT_TRUE(finished.wait(30000) || !finished.isEmpty());
    ASSERT_EQ(finished.size(), 1);
    EXPECT_TRUE(finished[0][0].toBool()) << finished[0][1].toString().toStdString();
    const QStringList arState = AskRegedit("STATE");
    EXPECT_EQ(arState.value(0), QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Hivewatch\\Jump"));
    EXPECT_EQ(arState.value(1), QStringLiteral("Answer"));
    EXPECT_TRUE(QuitRegeditAndWait());
    EXPECT_TRUE(m_arMessages.empty());
}
