// The Export dialog and command: the file name and selection, what the file holds, and what
// the user is told when the file cannot be created or written.
#include "tests/dialogs/DialogTestSupport.h"

#include "dialogs/Commands.h"
#include "dialogs/ExportDlg.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "tests/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProgressDialog>
#include <QTest>

namespace {

enum { FILE_NAME = 1038, BROWSE = 1039, ALL = 1041, WRITES = 1042, MODIFIED = 1043, SHOWN = 1044 };

CRegInfoObj* Rec(int nSeq, const char* pRequest, const char* pOld, const char* pNew) {
    auto* p = new CRegInfoObj;
    p->m_nSeq = nSeq;
    p->m_strTime = QStringLiteral("10:00:00.000");
    p->m_strProcessName = QStringLiteral("p.exe");
    p->m_nPid = 7;
    p->m_strRequest = QString::fromLatin1(pRequest);
    p->m_strPath = QStringLiteral("HKCU\\K\\v");
    p->m_strResult = QStringLiteral("SUCCESS");
    p->m_strOldValue = QString::fromLatin1(pOld);
    p->m_strNewValue = QString::fromLatin1(pNew);
    return p;
}

// The sequence numbers in an exported file, after checking its header.
QList<int> ExportedSeqs(const QString& strPath) {
    const QList<QByteArray> arLines = ReadWholeFile(strPath).split('\n');
    EXPECT_EQ(arLines.value(0), "Seq,Time,ProcessName,PID,Request,Path,OldValue,NewValue\r");
    QList<int> ar;
    for (qsizetype i = 1; i < arLines.size(); ++i)
        if (!arLines[i].isEmpty())
            ar << arLines[i].left(arLines[i].indexOf(',')).toInt();
    return ar;
}

class Export : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        m_doc.AppendRecord(Rec(1, "RegOpenKey", "", ""));
        m_doc.AppendRecord(Rec(2, "RegSetValueKey", "REG_SZ: a", "REG_SZ: a")); // no change
        m_doc.AppendRecord(Rec(3, "RegSetValueKey", "REG_SZ: a", "REG_SZ: b"));
        m_doc.AppendRecord(Rec(4, "RegLoadKey", "", ""));
    }
    // Runs the command, answering its dialog with a file name and a selection.
    void RunExport(const QString& strPath, int nRadio) {
        OnNextModal<CExportDlg>([=](CExportDlg* pDlg) {
            Type(*pDlg, FILE_NAME, strPath);
            Click(*pDlg, nRadio);
            Click(*pDlg, IDOK);
        });
        RunExportCommand(nullptr, m_doc);
    }
    QStringList Messages() const {
        QStringList ar;
        for (const SShownMessage& msg : m_arMessages)
            ar << msg.m_strText;
        return ar;
    }

    CHivewatchDoc m_doc;
};

TEST_F(Export, DialogRemembersTheSelectionAndRefusesAnEmptyName) {
    g_SetObj.m_nExportScope = EXPORT_MODIFIED;
    CExportDlg dlg;
    dlg.show();
    EXPECT_TRUE(Checked(dlg, MODIFIED));
    EXPECT_FALSE(Checked(dlg, ALL));
    Click(dlg, WRITES);
    Click(dlg, IDOK);
    EXPECT_EQ(Messages(), QStringList{"FileName is empty!"});
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(g_SetObj.m_nExportScope, EXPORT_MODIFIED);

    m_strFileAnswer = "/tmp/chosen";
    Click(dlg, BROWSE);
    ASSERT_EQ(m_arFileRequests.size(), 1u);
    EXPECT_TRUE(m_arFileRequests[0].m_bSave);
    EXPECT_EQ(m_arFileRequests[0].m_arNameFilters, (QStringList{"csv (*.csv)", "All Files (*)"}));
    EXPECT_EQ(Text(dlg, FILE_NAME), "/tmp/chosen");
    EXPECT_TRUE(Checked(dlg, WRITES)); // the pick made before browsing stays
    Click(dlg, IDOK);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.m_strFileName, "/tmp/chosen");
    EXPECT_EQ(g_SetObj.m_nExportScope, EXPORT_WRITE);
}

TEST_F(Export, WritesTheChosenRecordsOldestFirstAndSaysFinished) {
    const QString strPath = TestTempDir() + "no extension";
    QFile old(strPath);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(10000, 'x'));
    old.close();

    RunExport(strPath, WRITES);
    EXPECT_EQ(ExportedSeqs(strPath), QList<int>{3});
    RunExport(strPath, MODIFIED);
    EXPECT_EQ(ExportedSeqs(strPath), (QList<int>{3, 4}));
    RunExport(strPath, ALL);
    EXPECT_EQ(ExportedSeqs(strPath), (QList<int>{1, 2, 3, 4}));
    EXPECT_EQ(Messages(), (QStringList{"Finished", "Finished", "Finished"}));
    EXPECT_EQ(g_SetObj.m_nExportScope, EXPORT_ALL);

    // An empty document gives the header alone.
    CHivewatchDoc empty;
    OnNextModal<CExportDlg>([=](CExportDlg* pDlg) {
        Type(*pDlg, FILE_NAME, strPath);
        Click(*pDlg, IDOK);
    });
    RunExportCommand(nullptr, empty);
    EXPECT_TRUE(ExportedSeqs(strPath).isEmpty());

    // Cancel in the dialog does nothing at all.
    OnNextModal<CExportDlg>([](CExportDlg* pDlg) { Click(*pDlg, IDCANCEL); });
    RunExportCommand(nullptr, m_doc);
    EXPECT_EQ(m_arMessages.size(), 4u);
}

// "Events shown" writes what the list shows; the settings file keeps its own three choices.
TEST_F(Export, EventsShownWritesTheFilteredRecordsAndIsRememberedApart) {
    SFilterRule rule;
    rule.nColumn = FC_REQUEST;
    rule.nRelation = REL_IS;
    rule.strValue = "RegSetValueKey";
    ASSERT_TRUE(m_doc.SetDisplayFilter({rule}));
    g_SetObj.m_nExportScope = EXPORT_MODIFIED;
    const QString strPath = TestTempDir() + "shown.csv";
    RunExport(strPath, SHOWN);
    EXPECT_EQ(ExportedSeqs(strPath), (QList<int>{2, 3})) << "both sets, changed or not";
    EXPECT_EQ(g_SetObj.m_nExportScope, EXPORT_MODIFIED);
    EXPECT_EQ(Messages(), QStringList{"Finished"});
    {
        CExportDlg dlg;
        dlg.show();
        EXPECT_TRUE(Checked(dlg, SHOWN));
        EXPECT_FALSE(Checked(dlg, MODIFIED));
    }
    // Another choice afterwards is the settings file's again, and is shown next time.
    RunExport(strPath, WRITES);
    EXPECT_EQ(ExportedSeqs(strPath), QList<int>{3});
    EXPECT_EQ(g_SetObj.m_nExportScope, EXPORT_WRITE);
    CExportDlg dlg;
    dlg.show();
    EXPECT_TRUE(Checked(dlg, WRITES));
    EXPECT_FALSE(Checked(dlg, SHOWN));
    // Without a filter, the events shown are all of them.
    ASSERT_TRUE(m_doc.SetDisplayFilter({}));
    RunExport(strPath, SHOWN);
    EXPECT_EQ(ExportedSeqs(strPath), (QList<int>{1, 2, 3, 4}));
}

TEST_F(Export, FilesThatCannotBeCreatedOrWrittenAreReportedWithTheirCause) {
    RunExport(TestTempDir() + "missing/x.csv", ALL);
    EXPECT_EQ(Messages(), QStringList{"File could not be created: 3\n"});

    CFullDisk disk;
    if (!disk.Available())
        GTEST_SKIP() << disk.Why().toStdString();
    const QString strPath = disk.Dir() + "old.csv";
    QFile old(strPath);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old contents");
    old.close();
    disk.Fill();
    m_arMessages.clear();
    RunExport(strPath, ALL);
    disk.Release();
    ASSERT_EQ(m_arMessages.size(), 1u); // and no "Finished"
    EXPECT_TRUE(m_arMessages[0].m_strText.startsWith("File could not be written: 13\n"))
        << m_arMessages[0].m_strText.toStdString();
    EXPECT_TRUE(m_arMessages[0].m_strText.contains(strPath));
    EXPECT_EQ(ReadWholeFile(strPath), QByteArray("old contents"));
}

TEST_F(Export, ALargeExportShowsProgressAndCancelLeavesTheOldFile) {
    CRegInfoObj* pModel = Rec(0, "RegSetValueKey", "REG_SZ: a", "REG_SZ: b");
    for (int i = 0; i < int(EXPORT_PROGRESS_THRESHOLD) + 10000; ++i) {
        auto* p = new CRegInfoObj(*pModel);
        p->m_nSeq = i;
        m_doc.AppendRecord(p);
    }
    delete pModel;
    const QString strDir = TestTempDir();
    const QString strPath = strDir + "big.csv";
    QFile old(strPath);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old contents");
    old.close();

    // The user cancels as soon as the progress shows.
    bool bShown = false;
    OnNextModal<CExportDlg>([&](CExportDlg* pDlg) {
        Type(*pDlg, FILE_NAME, strPath);
        Click(*pDlg, IDOK);
        OnNextModalWidget(
            [&](QWidget* pModal) {
                auto* pProgress = qobject_cast<QProgressDialog*>(pModal);
                if (!pProgress)
                    return false;
                bShown = true;
                pProgress->cancel();
                return true;
            },
            0);
    });
    RunExportCommand(nullptr, m_doc);
    EXPECT_TRUE(bShown);
    EXPECT_TRUE(m_arMessages.empty());
    EXPECT_EQ(ReadWholeFile(strPath), QByteArray("old contents"));
    EXPECT_EQ(QDir(strDir).entryList(QDir::Files | QDir::Hidden), QStringList{"big.csv"});

    // Left to run, it finishes with every record.
    bShown = false;
    OnNextModal<CExportDlg>([&](CExportDlg* pDlg) {
        Type(*pDlg, FILE_NAME, strPath);
        Click(*pDlg, IDOK);
        OnNextModalWidget(
            [&](QWidget* pModal) { return bShown = qobject_cast<QProgressDialog*>(pModal); }, 0);
    });
    RunExportCommand(nullptr, m_doc);
    EXPECT_TRUE(bShown);
    EXPECT_EQ(Messages(), QStringList{"Finished"});
    EXPECT_EQ(ReadWholeFile(strPath).count('\n'), m_doc.GetRecordCount() + 1);
}

} // namespace
