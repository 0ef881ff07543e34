// Filters written as "name|patterns|...||" become Qt's name filters.
#include "dialogs/FileChooser.h"
#include "tests/dialogs/DialogTestSupport.h"

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
