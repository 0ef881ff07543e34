// Test entry point: isolates HOME and the XDG folders in a temporary folder before any test runs.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QTemporaryDir>

int main(int argc, char** argv) {
    QTemporaryDir home;
    const QByteArray base = home.path().toLocal8Bit();
    qputenv("HOME", base);
    qputenv("XDG_CONFIG_HOME", base + "/config");
    qputenv("XDG_DATA_HOME", base + "/data");
    qputenv("XDG_CACHE_HOME", base + "/cache");
    qputenv("XDG_RUNTIME_DIR", base + "/runtime");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
