// Helpers shared by the tests: fixture files, temporary folders, byte dumps.
#pragma once

#include <QByteArray>
#include <QString>

// Points HOME, the XDG folders (the runtime folder created private) and the Qt platform at a
// temporary folder, so no test reads or writes the real user's settings, data or sockets.
void IsolateUserFolders(const QString& strBase);

// Path of a recorded fixture file under tests/data.
QString TestDataPath(const char* pName);
// Whole contents of a file; fails the current test when it cannot be read.
QByteArray ReadWholeFile(const QString& strPath);
// A fresh empty folder for this test process, ending in '/'.
QString TestTempDir();

// A folder where writing runs out of room, for the tests of full disks. Running as root it
// is a small tmpfs mounted for the test (filled up by Fill()); where mounting is refused, the
// file-size limit of this process is set to 0 by Fill() with the file-size signal ignored,
// so every write into a file fails as on a full disk. Set HW_TEST_FULL_DISK=limit to use the
// limit even as root. Tests skip when neither works.
class CFullDisk {
public:
    CFullDisk();
    ~CFullDisk(); // unmounts, restores the limit and the signal
    CFullDisk(const CFullDisk&) = delete;
    CFullDisk& operator=(const CFullDisk&) = delete;

    bool Available() const { return !m_strDir.isEmpty(); }
    QString Why() const { return m_strWhy; } // why there is none
    QString Dir() const { return m_strDir; } // ends with '/'
    bool IsMounted() const { return m_bMounted; }

    // From now on no file in Dir() can grow by more than about nRoom bytes (whole pages of the
    // small disk; with the limit, each file may hold nRoom bytes).
    void Fill(long long nRoom = 0);
    void Release(); // room again

private:
    QString m_strBase, m_strDir, m_strWhy;
    bool m_bMounted = false;
    bool m_bLimited = false;
    unsigned long long m_nOldSoft = 0, m_nOldHard = 0;
    void (*m_pfnOldSignal)(int) = nullptr;
};
