// Helpers shared by the tests: fixture files, temporary folders, byte dumps.
#pragma once

#include <QByteArray>
#include <QString>

// Path of a recorded fixture file under tests/data.
QString TestDataPath(const char* pName);
// Whole contents of a file; fails the current test when it cannot be read.
QByteArray ReadWholeFile(const QString& strPath);
// A fresh empty folder for this test process, ending in '/'.
QString TestTempDir();
