// Writing a file that replaces its target only when it is complete, or not at all.
#pragma once

#include <QIODevice>
#include <QString>

// The data goes to a temporary file beside the target; Commit() checks every write, the flush
// to disk and the close before renaming it over the target. A failure, a Discard() or the
// destructor before Commit() leaves the old file exactly as it was and no temporary file
// behind. Targets that are not regular files (folders, FIFOs, devices) are refused before
// anything is written; a symbolic link is followed to the file it names. The replacement keeps
// the permissions of the file it replaces, and its owner and group where the process may set
// them.
//
// The temporary file is named after the target and the writing process and stays locked while
// it is written, so that Open() can remove what a writer that was killed left of the same
// target, and never touches the file of a writer that still runs.
class CSafeFile : public QIODevice {
public:
    explicit CSafeFile(const QString& strPath);
    ~CSafeFile() override;
    CSafeFile(const CSafeFile&) = delete;
    CSafeFile& operator=(const CSafeFile&) = delete;

    bool Open(); // checks the target and creates the temporary file
    // Puts the data on disk: fsync and close of the temporary file, both checked. False when
    // they or an earlier write failed. Commit() does it when it was not done yet.
    bool Finish();
    bool Commit(); // Finish(), then the rename over the target
    void Discard();
    // Overwrites bytes written before (a count known only at the end, say), before Finish().
    // False, and the file fails, when they were not all written.
    bool PatchAt(qint64 nOffset, const void* pData, qint64 nBytes);
    // Asks the system to start writing what was written so far to the disk, without waiting,
    // so that the flush at the end has less left to wait for.
    void StartWriteback();

    // Whether a file may be written at strPath: an existing regular file, or a new name in an
    // existing folder. False with the system error and the reason in words otherwise.
    static bool CheckTarget(const QString& strPath, int* pErrno = nullptr,
                            QString* pStrWhy = nullptr);

    // The failure: the system error, the framework's cause number and a message that names
    // the file and says what went wrong ("cannot write /x/a.hvw: the disk is full").
    int ErrorNumber() const { return m_nErrno; }
    int ErrorCause() const;
    QString ErrorText() const;
    bool FailedToCreate() const { return m_bCreating; }

    // What puts a file's data on disk (fsync). Tests replace it to make that step fail; a null
    // function puts fsync back. Not for use while files are being written.
    using SyncFn = int (*)(int fd);
    static void SetSyncFunction(SyncFn pfn);

    bool isSequential() const override { return true; }
    void close() override { Discard(); } // closing without Commit() keeps the old file

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* pData, qint64 nSize) override;

private:
    bool Fail(int nErrno, bool bCreating, const QString& strWords = {});
    bool CreateTemp();
    void CloseTemp();

    QString m_strPath;   // as the caller named it
    QString m_strTarget; // the file actually replaced (links followed)
    QByteArray m_temp;   // the temporary file's path as the system names it
    int m_fd = -1;
    int m_nErrno = 0;
    bool m_bFinished = false;
    bool m_bFailed = false;
    bool m_bCreating = false;
    QString m_strWords; // overrides the words of m_nErrno
};
