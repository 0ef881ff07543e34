#include "tools/regedit/RegeditServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// The socket's folder must be this user's own, or another user could put a socket there.
bool EnsurePrivateFolder(const QString& strDir, QString& strError) {
    if (!QDir().mkpath(strDir)) {
        strError = QStringLiteral("%1 cannot be created").arg(strDir);
        return false;
    }
    struct stat st {};
    if (stat(QFile::encodeName(strDir).constData(), &st) != 0 || st.st_uid != getuid()) {
        strError = QStringLiteral("%1 does not belong to this user").arg(strDir);
        return false;
    }
    if ((st.st_mode & 077) != 0 && chmod(QFile::encodeName(strDir).constData(), 0700) != 0) {
        strError = QStringLiteral("%1 cannot be made private").arg(strDir);
        return false;
    }
    return true;
}

} // namespace

CRegeditServer::CRegeditServer(CRegeditTarget& target, QObject* pParent)
    : QObject(pParent), m_target(target) {
    connect(&m_server, &QLocalServer::newConnection, this, &CRegeditServer::OnNewConnection);
}

bool CRegeditServer::Listen(const QString& strPath, QString& strError) {
    if (!EnsurePrivateFolder(QFileInfo(strPath).absolutePath(), strError))
        return false;
    QLocalServer::removeServer(strPath);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(strPath)) {
        strError = QStringLiteral("%1: %2").arg(strPath, m_server.errorString());
        return false;
    }
    return true;
}

void CRegeditServer::OnNewConnection() {
    while (QLocalSocket* pSocket = m_server.nextPendingConnection()) {
        connect(pSocket, &QLocalSocket::disconnected, pSocket, &QObject::deleteLater);
        connect(pSocket, &QLocalSocket::readyRead, this, [this, pSocket] { OnReadyRead(pSocket); });
        OnReadyRead(pSocket);
    }
}

void CRegeditServer::OnReadyRead(QLocalSocket* pSocket) {
    while (pSocket->state() == QLocalSocket::ConnectedState) {
        if (!pSocket->canReadLine()) {
            if (pSocket->bytesAvailable() > REGEDIT_MAX_LINE) {
                pSocket->write(RegeditError(QStringLiteral("the request line is too long")));
                pSocket->flush();
                pSocket->disconnectFromServer();
            }
            return;
        }
        QByteArray line = pSocket->readLine(REGEDIT_MAX_LINE + 2);
        if (!line.endsWith('\n')) {
            pSocket->write(RegeditError(QStringLiteral("the request line is too long")));
            pSocket->flush();
            pSocket->disconnectFromServer();
            return;
        }
        line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
        pSocket->write(Answer(line));
        pSocket->flush();
    }
}

QByteArray CRegeditServer::Answer(const QByteArray& line) {
    SRegeditRequest request;
    QString strError;
    if (!ParseRegeditRequest(line, request, strError))
        return RegeditError(strError);
    switch (request.m_eCommand) {
    case ERegeditCommand::HELLO:
        return RegeditOk({QLatin1String(REGEDIT_WINDOW_CLASS),
                          QString::number(QCoreApplication::applicationPid())});
    case ERegeditCommand::OPEN_DRIVER:
        m_target.OpenSource({});
        return RegeditOk();
    case ERegeditCommand::OPEN_PREFIX:
        if (!QDir::isAbsolutePath(request.m_strArgument))
            return RegeditError(QStringLiteral("the prefix must be an absolute path"));
        m_target.OpenSource({request.m_strArgument});
        return RegeditOk();
    case ERegeditCommand::SHOW:
        m_target.ShowAndRaise();
        return RegeditOk();
    case ERegeditCommand::EXPAND: {
        bool bComplete = false;
        const QString strSelected = m_target.ExpandTreeNode(request.m_strArgument, bComplete);
        if (strSelected.isEmpty())
            return RegeditError(
                QStringLiteral("\"%1\" does not start with a root key").arg(request.m_strArgument));
        return RegeditOk(
            {strSelected, bComplete ? QStringLiteral("complete") : QStringLiteral("partial")});
    }
    case ERegeditCommand::FOCUS_LIST:
    case ERegeditCommand::FOCUS_TREE:
        m_target.FocusValueList(request.m_eCommand == ERegeditCommand::FOCUS_LIST);
        return RegeditOk();
    case ERegeditCommand::KEY_HOME:
        return RegeditOk({m_target.KeyHome()});
    case ERegeditCommand::CHAR:
        return RegeditOk({m_target.TypeChar(QChar(request.m_chTyped))});
    case ERegeditCommand::STATE:
        return RegeditOk(m_target.State());
    case ERegeditCommand::QUIT:
        m_target.Quit();
        return RegeditOk();
    }
    return RegeditError(QStringLiteral("unknown command"));
}
