#include "tests/tools/RegeditAsk.h"

#include "tools/regedit/RegeditProtocol.h"

#include <QElapsedTimer>
#include <QLocalSocket>
#include <QThread>

#include <csignal>

QStringList AskRegedit(const QByteArray& line) {
    QLocalSocket socket;
    socket.connectToServer(RegeditSocketPath());
    if (!socket.waitForConnected(3000))
        return {QStringLiteral("ERR no editor")};
    socket.write(line + '\n');
    while (!socket.canReadLine())
        if (!socket.waitForReadyRead(10000))
            return {QStringLiteral("ERR no answer")};
    QStringList arFields;
    QString strError;
    if (!ParseRegeditAnswer(socket.readLine().trimmed(), arFields, strError))
        return {QStringLiteral("ERR ") + strError};
    return arFields;
}

bool QuitRegeditAndWait() {
    const QStringList arHello = AskRegedit("HELLO");
    if (arHello.size() < 2)
        return true;
    const pid_t nPid = pid_t(arHello[1].toInt());
    AskRegedit("QUIT");
    QElapsedTimer clock;
    clock.start();
    while (nPid > 0 && kill(nPid, 0) == 0 && clock.elapsed() < 5000)
        QThread::msleep(20);
    if (nPid > 0 && kill(nPid, 0) == 0) {
        kill(nPid, SIGKILL);
        return false;
    }
    return true;
}
