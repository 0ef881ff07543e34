// One running instance per user session: a lock held for the whole run, and a local socket on
// which a later start hands over the document it was asked to open.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

class CSingleInstance : public QObject {
    Q_OBJECT
public:
    enum EResult { FIRST_INSTANCE, OTHER_INSTANCE, INSTANCE_FAILED };

    // strDir: the folder of the lock and the socket; the user's runtime folder by default.
    explicit CSingleInstance(const QString& strDir = QString());
    ~CSingleInstance() override;

    // Takes the instance: FIRST_INSTANCE when this process now holds it and listens for
    // hand-overs; OTHER_INSTANCE when another process holds it; INSTANCE_FAILED when it
    // could be neither taken nor found.
    EResult Acquire();
    void Release();

    // A later start: gives the running instance a document to open. True once it took it.
    bool HandOver(const QString& strPath, int nTimeoutMs = 5000);

    // The per-user folder: $XDG_RUNTIME_DIR, or a private folder in the temporary folder.
    static QString DefaultDir();
    QString SocketPath() const { return m_strDir + QStringLiteral("hivewatch.socket"); }

signals:
    // A later start handed over this document (delivered after the hand-over has finished).
    void FileHandedOver(const QString& strPath);

private:
    void OnNewConnection();

    QString m_strDir;
    QLockFile m_lock;
    QLocalServer m_server;
    bool m_bHeld = false;
};
