// Entry point of the window tests: temporary HOME and XDG folders, the offscreen platform and
// one application object for the whole test process.
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char** argv) {
    QTemporaryDir home;
    IsolateUserFolders(home.path());
    QApplication::setOrganizationName(QStringLiteral("Vexo"));
    QApplication::setApplicationName(QStringLiteral("Hivewatch"));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
