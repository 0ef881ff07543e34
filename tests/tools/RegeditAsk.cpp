#include "tests/tools/RegeditAsk.h"

#include "tools/regedit/RegeditProtocol.h"

#include <QLocalSocket>

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
