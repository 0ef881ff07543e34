// One running instance per user session: a lock held for the whole run, and a local socket on
// which a later start hands over the document it was asked to open.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

class CSingleInstance : public QObject {
    Q_OBJECT
public:
    enum EResult { FIRST_INSTANCE, OTHER_INSTANCE, INSTANCE_FAILED };

    // strDir: the folder of the lock and the socket; the user's private runtime folder
    // (DefaultDir) by default.
    explicit CSingleInstance(const QString& strDir = QString());
    ~CSingleInstance() override;

    // Takes the instance: FIRST_INSTANCE when this process now holds it and listens for
    // hand-overs; OTHER_INSTANCE when another process holds it; INSTANCE_FAILED when it
    // could be neither taken nor found (ErrorText says why).
    EResult Acquire();
    void Release();
    QString ErrorText() const { return m_strError; }

    // A later start: gives the running instance a document to open. True once it took it.
    bool HandOver(const QString& strPath, int nTimeoutMs = 5000);

    // The per-user folder, private to the user (owned by them, a real folder, closed to
    // everyone else): $XDG_RUNTIME_DIR when it is so; else hivewatch-UID in the temporary
    // folder, made private; when that name is taken by someone else, or cannot be made
    // private, a folder in the user's data folder. pStrNote says why the temporary folder
    // was passed over. Empty, with the reason in pStrNote, when no private folder can be had.
    static QString DefaultDir(QString* pStrNote = nullptr);
    QString SocketPath() const { return m_strDir + QStringLiteral("hivewatch.socket"); }
    QString Dir() const { return m_strDir; }

    // A hand-over line on the socket: the name's bytes, '%' and the bytes that are not
    // printable ASCII written as %HH, and a line end. Ordinary names go as they are.
    static QByteArray EncodeHandOver(const QString& strPath);
    static QString DecodeHandOver(const QByteArray& line);

signals:
    // A later start handed over this document (delivered after the hand-over has finished).
    void FileHandedOver(const QString& strPath);

private:
    void OnNewConnection();

    QString m_strDir;
    QString m_strError;
    std::unique_ptr<QLockFile> m_pLock;
    QLocalServer m_server;
    bool m_bHeld = false;
};
