#include "app/SingleInstance.h"

#include "platform/FileNames.h"
#include "platform/Paths.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

namespace {
// A hand-over is one path and a line end; anything longer is not ours.
constexpr qint64 MAX_HANDOVER_BYTES = 64 * 1024;
const QByteArray kAck = QByteArrayLiteral("ok\n");

QString WithSlash(const QString& str) {
    return str.endsWith(QLatin1Char('/')) ? str : str + QLatin1Char('/');
}

// A folder for the lock and the socket must be the user's alone, or another user could
// listen in it or take the lock. One of the user's own that others may only read is closed
// to them; one that others could write to may already hold their files, and is not used.
bool UsePrivateDir(const QString& strDir, QString* pStrWhy) {
    QByteArray path = PlatformFileNameBytes(strDir);
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1); // a trailing '/' would make lstat follow a link
    struct stat st {};
    if (lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
        (st.st_mode & 077) != 0 && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0)
        chmod(path.constData(), 0700);
    return PlatformMakePrivateDir(strDir, pStrWhy);
}

} // namespace

CSingleInstance::CSingleInstance(const QString& strDir) {
    QString strNote;
    m_strDir = strDir.isEmpty() ? DefaultDir(&strNote) : WithSlash(strDir);
    m_strError = strNote;
    if (!m_strDir.isEmpty()) {
        m_pLock = std::make_unique<QLockFile>(m_strDir + QStringLiteral("hivewatch.lock"));
        // Only the age of a lock would make it stale; a lock whose process has died is
        // recognised as such by its process ID.
        m_pLock->setStaleLockTime(0);
    }
    connect(&m_server, &QLocalServer::newConnection, this, &CSingleInstance::OnNewConnection);
}

CSingleInstance::~CSingleInstance() {
    Release();
}

QString CSingleInstance::DefaultDir(QString* pStrNote) {
    const QString strRuntime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    QString strWhy;
    if (!strRuntime.isEmpty() && UsePrivateDir(strRuntime, &strWhy))
        return WithSlash(strRuntime);
    // Without a usable runtime folder: this user's private folder in the temporary one.
    const QString strTemp =
        QDir::tempPath() + QStringLiteral("/hivewatch-%1/").arg(ulong(getuid()));
    if (UsePrivateDir(strTemp, &strWhy))
        return strTemp;
    // Someone else holds that name in the shared folder: the user's own data folder instead.
    QString strNote = QStringLiteral("%1 is not used: %2").arg(strTemp, strWhy);
    QString strData = PlatformUserDataDir(&strWhy);
    if (!strData.isEmpty()) {
        strData += QStringLiteral("instance/");
        if (UsePrivateDir(strData, &strWhy)) {
            if (pStrNote)
                *pStrNote = strNote + QStringLiteral("; using %1 instead").arg(strData);
            return strData;
        }
    }
    if (pStrNote)
        *pStrNote =
            strNote +
            QStringLiteral(", and no private folder could be made instead (%1)").arg(strWhy);
    return {};
}

CSingleInstance::EResult CSingleInstance::Acquire() {
    if (m_bHeld)
        return FIRST_INSTANCE;
    if (!m_pLock)
        return INSTANCE_FAILED;
    if (!m_pLock->tryLock(0)) {
        if (m_pLock->error() == QLockFile::LockFailedError)
            return OTHER_INSTANCE;
        m_strError = QStringLiteral("cannot take the instance lock in %1").arg(m_strDir);
        return INSTANCE_FAILED;
    }
    m_bHeld = true;
    // The lock is ours, so a socket left behind is from a run that ended without cleaning up.
    QLocalServer::removeServer(SocketPath());
    // Only this user may connect: the socket carries the paths of the documents they open.
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(SocketPath())) {
        m_strError =
            QStringLiteral("cannot listen on %1: %2").arg(SocketPath(), m_server.errorString());
        Release();
        return INSTANCE_FAILED;
    }
    return FIRST_INSTANCE;
}

void CSingleInstance::Release() {
    if (!m_bHeld)
        return;
    m_server.close();
    m_pLock->unlock();
    m_bHeld = false;
}

QByteArray CSingleInstance::EncodeHandOver(const QString& strPath) {
    const QByteArray name = PlatformFileNameBytes(strPath);
    QByteArray line;
    line.reserve(name.size() + 1);
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && b != '%')
            line += c;
        else
            line += '%' + QByteArray::number(b, 16).rightJustified(2, '0').toUpper();
    }
    return line + '\n';
}

QString CSingleInstance::DecodeHandOver(const QByteArray& line) {
    QByteArray text = line;
    if (text.endsWith('\n'))
        text.chop(1);
    if (text.endsWith('\r'))
        text.chop(1);
    return PlatformFileNameFromBytes(QByteArray::fromPercentEncoding(text));
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
    socket.write(EncodeHandOver(strPath));
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
                const QString strPath = DecodeHandOver(pSocket->readLine(MAX_HANDOVER_BYTES));
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
