// Test entry point: isolates HOME and the XDG folders in a temporary folder before any test runs.
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

int main(int argc, char** argv) {
    QTemporaryDir home;
    IsolateUserFolders(home.path());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
