#include "app/SingleInstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

#include <unistd.h>

namespace {
// A hand-over is one path and a line end; anything longer is not ours.
constexpr qint64 MAX_HANDOVER_BYTES = 64 * 1024;
const QByteArray kAck = QByteArrayLiteral("ok\n");

QString WithSlash(const QString& str) {
    return str.endsWith(QLatin1Char('/')) ? str : str + QLatin1Char('/');
}
} // namespace

CSingleInstance::CSingleInstance(const QString& strDir)
    : m_strDir(WithSlash(strDir.isEmpty() ? DefaultDir() : strDir)),
      m_lock(m_strDir + QStringLiteral("hivewatch.lock")) {
    // Only the age of a lock would make it stale; a lock whose process has died is
    // recognised as such by its process ID.
    m_lock.setStaleLockTime(0);
    connect(&m_server, &QLocalServer::newConnection, this, &CSingleInstance::OnNewConnection);
}

CSingleInstance::~CSingleInstance() {
    Release();
}

QString CSingleInstance::DefaultDir() {
    const QString strRuntime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!strRuntime.isEmpty() && QDir::isAbsolutePath(strRuntime) && QDir().mkpath(strRuntime) &&
        QFileInfo(strRuntime).isWritable())
        return WithSlash(strRuntime);
    // Without a usable runtime folder: a private folder of this user's in the temporary one.
    const QString strDir = QDir::tempPath() + QStringLiteral("/hivewatch-%1").arg(getuid());
    QDir().mkpath(strDir);
    QFile::setPermissions(strDir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return WithSlash(strDir);
}

CSingleInstance::EResult CSingleInstance::Acquire() {
    if (m_bHeld)
        return FIRST_INSTANCE;
    if (!m_lock.tryLock(0))
        return m_lock.error() == QLockFile::LockFailedError ? OTHER_INSTANCE : INSTANCE_FAILED;
    m_bHeld = true;
    // The lock is ours, so a socket left behind is from a run that ended without cleaning up.
    QLocalServer::removeServer(SocketPath());
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(SocketPath())) {
        Release();
        return INSTANCE_FAILED;
    }
    return FIRST_INSTANCE;
}

void CSingleInstance::Release() {
    if (!m_bHeld)
        return;
    m_server.close();
    m_lock.unlock();
    m_bHeld = false;
}

bool CSingleInstance::HandOver(const QString& strPath, int nTimeoutMs) {
    QLocalSocket socket;
    QElapsedTimer clock;
    clock.start();
    // The running instance may still be starting: its lock is taken before it listens.
    for (;;) {
        socket.connectToServer(SocketPath());
        if (socket.waitForConnected(500))
            break;
        if (clock.elapsed() > nTimeoutMs)
            return false;
        QThread::msleep(100);
    }
    socket.write(strPath.toUtf8() + '\n');
    if (!socket.waitForBytesWritten(nTimeoutMs))
        return false;
    QByteArray answer;
    while (!answer.contains('\n') && clock.elapsed() <= nTimeoutMs &&
           socket.waitForReadyRead(int(qMax<qint64>(1, nTimeoutMs - clock.elapsed()))))
        answer += socket.readAll();
    socket.disconnectFromServer();
    return answer == kAck;
}

void CSingleInstance::OnNewConnection() {
    while (QLocalSocket* pSocket = m_server.nextPendingConnection()) {
        connect(pSocket, &QLocalSocket::disconnected, pSocket, &QObject::deleteLater);
        connect(pSocket, &QLocalSocket::readyRead, this, [this, pSocket] {
            if (pSocket->bytesAvailable() > MAX_HANDOVER_BYTES && !pSocket->canReadLine()) {
                pSocket->abort();
                return;
            }
            while (pSocket->canReadLine()) {
                const QString strPath = QString::fromUtf8(pSocket->readLine()).trimmed();
                if (strPath.isEmpty())
                    continue;
                pSocket->write(kAck);
                pSocket->flush();
                // Opened once this handler has returned: opening may ask to save first.
                QTimer::singleShot(0, this, [this, strPath] { emit FileHandedOver(strPath); });
            }
        });
    }
}
