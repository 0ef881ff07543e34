// Filters written as "name|patterns|...||" become Qt's name filters.
#include "dialogs/FileChooser.h"
#include "tests/TestSupport.h"
#include "tests/dialogs/DialogTestSupport.h"

#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLocale>
#include <QScreen>
#include <QTreeView>

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

namespace {

// Qt's own file dialog opens large enough to show its columns: each title whole, the time a
// file was changed whole, and, at the desktop font, every column without scrolling; at any
// font it stays on the screen.
TEST_F(DialogTest, FileDialogsOpenLargeEnoughToShowTheirColumns) {
    SetFileChooser({});
    const QFont font = QApplication::font();
    for (const double dScale : {1.0, 2.0}) {
        QFont scaled = font;
        scaled.setPointSizeF(font.pointSizeF() * dScale);
        QApplication::setFont(scaled);
        bool bSeen = false;
        OnNextModal<QFileDialog>([&](QFileDialog* pDlg) {
            bSeen = true;
            auto* pTree = pDlg->findChild<QTreeView*>(QStringLiteral("treeView"));
            ASSERT_TRUE(pTree);
            QHeaderView* pHeader = pTree->header();
            const QString strTime = QLocale::system().toString(
                QDateTime(QDate(2000, 12, 28), QTime(23, 58, 58)), QLocale::ShortFormat);
            int nLength = 0;
            for (int i = 0; i < pHeader->count(); ++i) {
                if (pHeader->isSectionHidden(i))
                    continue;
                EXPECT_GE(pHeader->sectionSize(i), pHeader->sectionSizeHint(i))
                    << "column " << i << " at " << dScale;
                nLength += pHeader->sectionSize(i);
            }
            EXPECT_GT(pHeader->sectionSize(3), pTree->fontMetrics().horizontalAdvance(strTime))
                << dScale;
            if (dScale == 1.0) {
                EXPECT_LE(nLength, pTree->viewport()->width()) << "every column in sight";
            }
            const QRect rcScreen = pDlg->screen()->availableGeometry();
            EXPECT_LE(pDlg->width(), rcScreen.width());
            EXPECT_LE(pDlg->height(), rcScreen.height());
            pDlg->reject();
        });
        ChooseFile(nullptr, "csv(*.csv)|*.csv|All Files (*.*)|*.*||", true);
        EXPECT_TRUE(bSeen);
    }
    QApplication::setFont(font);
}

} // namespace
