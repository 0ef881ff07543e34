// hivewatch-regedit: a read-only registry editor for the substitute driver's registry files and
// for Wine prefixes, driven by Hivewatch's Regedit Jump through its automation channel.
#include "tools/regedit/RegeditWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QLocalSocket>

#include <cstdio>

namespace {

// Sends requests to an editor that is already running; false when none answers.
bool HandOver(const QString& strPath, const QList<SRegeditRequest>& arRequests, bool& bSilent) {
    bSilent = false;
    QLocalSocket socket;
    socket.connectToServer(strPath);
    if (!socket.waitForConnected(1000))
        return false;
    for (const SRegeditRequest& request : arRequests) {
        socket.write(FormatRegeditRequest(request));
        while (!socket.canReadLine())
            if (!socket.waitForReadyRead(5000)) {
                bSilent = true;
                return false;
            }
        socket.readLine();
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("hivewatch-regedit"));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Shows the registry files of Hivewatch's substitute driver (by default) or "
                       "of a Wine prefix (system.reg, user.reg, userdef.reg). Read-only."));
    parser.addHelpOption();
    const QCommandLineOption prefixOption(QStringLiteral("prefix"),
                                          QStringLiteral("Show the registry of a Wine prefix."),
                                          QStringLiteral("DIR"));
    parser.addOption(prefixOption);
    parser.process(app);

    SRegeditSource source;
    if (parser.isSet(prefixOption))
        source.m_strPrefix = QDir(parser.value(prefixOption)).absolutePath();

    // One editor per user, as the window class is one per desktop: a second start shows the
    // running one (on the registry asked for) and ends.
    const QString strSocket = RegeditSocketPath();
    const SRegeditRequest open = MakeRegeditRequest(
        source.m_strPrefix.isEmpty() ? ERegeditCommand::OPEN_DRIVER : ERegeditCommand::OPEN_PREFIX,
        source.m_strPrefix);
    bool bSilent = false;
    if (HandOver(strSocket,
                 {MakeRegeditRequest(ERegeditCommand::HELLO), open,
                  MakeRegeditRequest(ERegeditCommand::SHOW)},
                 bSilent))
        return 0;
    if (bSilent) {
        std::fprintf(stderr,
                     "hivewatch-regedit: another registry editor holds %s but does not answer; "
                     "close it and start again.\n",
                     qPrintable(strSocket));
        return 1;
    }

    CRegeditWindow window(source);
    CRegeditServer server(window);
    QString strError;
    if (!server.Listen(strSocket, strError)) {
        std::fprintf(stderr, "hivewatch-regedit: automation is off: %s\n", qPrintable(strError));
        window.SetChannelError(strError);
    }
    window.show();
    return app.exec();
}
