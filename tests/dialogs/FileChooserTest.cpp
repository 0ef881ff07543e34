// Filters written as "name|patterns|...||" become Qt's name filters.
#include "dialogs/FileChooser.h"
#include "tests/TestSupport.h"
#include "tests/dialogs/DialogTestSupport.h"

#include <QFile>
#include <QFileDialog>

namespace {

TEST(FileChooser, FilterPairsBecomeQtNameFilters) {
    EXPECT_EQ(QtNameFilters("EXE Files (*.exe)|*.exe|All Files (*.*)|*.*||"),
              (QStringList{"EXE Files (*.exe)", "All Files (*)"}));
    EXPECT_EQ(QtNameFilters("csv(*.csv)|*.csv|All Files (*.*)|*.*||"),
              (QStringList{"csv (*.csv)", "All Files (*)"}));
    // Several patterns, the list ending at two separators in a row, no end mark.
    EXPECT_EQ(QtNameFilters("Logs|*.log;*.txt|Nothing||Ignored|*.x||"),
              (QStringList{"Logs (*.log *.txt)"}));
    EXPECT_EQ(QtNameFilters("Logs|*.log"), QStringList{"Logs (*.log)"});
    EXPECT_TRUE(QtNameFilters("").isEmpty());
    EXPECT_TRUE(QtNameFilters("|||").isEmpty());
}

} // namespace

namespace {

// The real file dialog, answered through its own widgets.
TEST_F(DialogTest, FileDialogsOfferTheFiltersAndAnswerWithTheFullPath) {
    SetFileChooser({});
    const QString strDir = TestTempDir();
    QFile program(strDir + "prog");
    ASSERT_TRUE(program.open(QIODevice::WriteOnly));
    program.close();
    program.setPermissions(program.permissions() | QFile::ExeOwner);

    OnNextModal<QFileDialog>([&](QFileDialog* pDlg) {
        EXPECT_EQ(pDlg->nameFilters(),
                  (QStringList{"EXE Files (*.exe)", "Executable Files (*)", "All Files (*)"}));
        EXPECT_EQ(pDlg->selectedNameFilter(), "EXE Files (*.exe)");
        EXPECT_EQ(pDlg->fileMode(), QFileDialog::ExistingFile);
        pDlg->selectNameFilter("Executable Files (*)");
        pDlg->setDirectory(strDir);
        pDlg->selectFile(strDir + "prog");
        static_cast<QDialog*>(pDlg)->accept(); // as the Open or Save button does
    });
    EXPECT_EQ(ChooseFile(nullptr, "EXE Files (*.exe)|*.exe|All Files (*.*)|*.*||", false, true),
              strDir + "prog");

    // Saving replaces an existing file without asking.
    OnNextModal<QFileDialog>([&](QFileDialog* pDlg) {
        EXPECT_EQ(pDlg->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_TRUE(pDlg->testOption(QFileDialog::DontConfirmOverwrite));
        pDlg->setDirectory(strDir);
        pDlg->selectFile(strDir + "prog");
        static_cast<QDialog*>(pDlg)->accept(); // as the Open or Save button does
    });
    EXPECT_EQ(ChooseFile(nullptr, "csv(*.csv)|*.csv|All Files (*.*)|*.*||", true), strDir + "prog");

    OnNextModal<QFileDialog>([](QFileDialog* pDlg) { pDlg->reject(); });
    EXPECT_EQ(ChooseFile(nullptr, "csv(*.csv)|*.csv||", true), "");
}

} // namespace
