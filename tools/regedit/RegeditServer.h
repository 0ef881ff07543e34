// The registry editor's end of the automation channel: a local socket server that reads
// request lines and answers them through the editor.
#pragma once

#include "tools/regedit/RegeditController.h"
#include "tools/regedit/RegeditProtocol.h"

#include <QLocalServer>
#include <QObject>

class QLocalSocket;

// What the requests act on; the editor's window.
class CRegeditTarget {
public:
    virtual ~CRegeditTarget() = default;
    virtual void OpenSource(const SRegeditSource& source) = 0;
    virtual void ShowAndRaise() = 0;
    // The selected key's path and whether it is all of strPath; empty for an unknown root.
    virtual QString ExpandTreeNode(const QString& strPath, bool& bComplete) = 0;
    virtual void FocusValueList(bool bList) = 0;
    virtual QString KeyHome() = 0;
    virtual QString TypeChar(QChar ch) = 0;
    // Key, value, focus ("tree" or "list"), visible ("0" or "1"), the files' folder.
    virtual QStringList State() const = 0;
    virtual void Quit() = 0;
};

// Requests are answered one after another, in the order they arrive on each connection. A line
// longer than REGEDIT_MAX_LINE ends its connection; a bad request gets an ERR answer.
class CRegeditServer : public QObject {
    Q_OBJECT
public:
    CRegeditServer(CRegeditTarget& target, QObject* pParent = nullptr);

    // Listens at strPath (RegeditSocketPath()), reachable by this user only; creates its
    // folder (mode 0700) and replaces a socket left behind by an editor that is gone. Call
    // only after making sure no editor answers there.
    bool Listen(const QString& strPath, QString& strError);

    // The answer line to one request line.
    QByteArray Answer(const QByteArray& line);

private:
    void OnNewConnection();
    void OnReadyRead(QLocalSocket* pSocket);

    CRegeditTarget& m_target;
    QLocalServer m_server;
};
