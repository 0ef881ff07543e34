#include "tools/regedit/RegeditJump.h"

#include "tools/regedit/RegeditLaunch.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>

namespace {

constexpr int RETRY_MS = 100;

QString Seconds(int nMs) {
    return QString::number(double(nMs) / 1000.0, 'g', 3);
}

} // namespace

CRegeditJump::CRegeditJump(QObject* pParent) : QObject(pParent) {
    m_strProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/hivewatch-regedit");
    m_strPrefix = RegeditPrefixForDriver();
    m_timer.setSingleShot(true);
    // Coarse timers may fire 5% early; the limits and the pause are meant as said.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &CRegeditJump::OnTimer);
    connect(&m_socket, &QLocalSocket::connected, this, &CRegeditJump::OnConnected);
    connect(&m_socket, &QLocalSocket::errorOccurred, this, &CRegeditJump::OnSocketError);
    connect(&m_socket, &QLocalSocket::readyRead, this, &CRegeditJump::OnReadyRead);
}

CRegeditJump::~CRegeditJump() {
    m_socket.disconnect(this);
    m_socket.abort();
}

bool CRegeditJump::Start(const QString& strKeyPath, const QString& strValueName) {
    if (IsRunning())
        return false;
    m_strSelectedKey.clear();
    m_strSelectedValue.clear();
    m_bKeyComplete = false;
    m_bStartedEditor = false;
    m_strValueName = strValueName;
    m_arSteps.clear();
    const bool bPrefix = !m_strPrefix.isEmpty();
    m_arSteps.append(
        Send(bPrefix ? ERegeditCommand::OPEN_PREFIX : ERegeditCommand::OPEN_DRIVER, m_strPrefix));
    m_arSteps.append(Send(ERegeditCommand::SHOW));
    m_arSteps.append(Send(ERegeditCommand::EXPAND, strKeyPath));
    // The value steps go in here once EXPAND says the whole key is there.
    m_arSteps.append(Send(ERegeditCommand::SHOW));
    m_startClock.start();
    m_eState = EState::CONNECTING;
    // From the event loop, so finished() never comes before Start() has returned.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_eState == EState::CONNECTING)
                Connect();
        },
        Qt::QueuedConnection);
    return true;
}

void CRegeditJump::Cancel() {
    if (IsRunning())
        Finish(false, QStringLiteral("The jump to the registry editor was cancelled."));
}

void CRegeditJump::Connect() {
    m_socket.abort();
    m_socket.connectToServer(m_strSocketPath.isEmpty() ? RegeditSocketPath() : m_strSocketPath);
}

void CRegeditJump::OnConnected() {
    if (m_eState != EState::CONNECTING && m_eState != EState::WAITING_FOR_EDITOR)
        return;
    m_eState = EState::TALKING;
    SendNext();
}

void CRegeditJump::OnSocketError() {
    switch (m_eState) {
    case EState::CONNECTING:
        // Nobody listens: start the editor, then keep trying until it does.
        StartEditor();
        break;
    case EState::WAITING_FOR_EDITOR:
        if (m_startClock.elapsed() >= m_nTimeoutMs)
            Finish(false, QStringLiteral("The registry editor (%1) did not start listening within "
                                         "%2 seconds. Start it by hand to see what keeps it "
                                         "from starting.")
                              .arg(m_strProgram, Seconds(m_nTimeoutMs)));
        else
            m_timer.start(RETRY_MS);
        break;
    case EState::TALKING:
    case EState::PAUSING:
        Finish(false, QStringLiteral("The registry editor closed the connection (%1).")
                          .arg(m_socket.errorString()));
        break;
    case EState::IDLE:
        break;
    }
}

void CRegeditJump::StartEditor() {
    const QFileInfo program(m_strProgram);
    if (!program.isFile() || !program.isExecutable()) {
        Finish(false, QStringLiteral("The registry editor %1 cannot be found; it is installed "
                                     "beside Hivewatch.")
                          .arg(m_strProgram));
        return;
    }
    QStringList arArgs;
    if (!m_strPrefix.isEmpty())
        arArgs << QStringLiteral("--prefix") << m_strPrefix;
    if (!QProcess::startDetached(m_strProgram, arArgs)) {
        Finish(false,
               QStringLiteral("The registry editor %1 could not be started.").arg(m_strProgram));
        return;
    }
    m_bStartedEditor = true;
    m_startClock.restart();
    m_eState = EState::WAITING_FOR_EDITOR;
    m_timer.start(RETRY_MS);
}

void CRegeditJump::OnTimer() {
    switch (m_eState) {
    case EState::WAITING_FOR_EDITOR:
        Connect();
        break;
    case EState::PAUSING:
        m_eState = EState::TALKING;
        SendNext();
        break;
    case EState::TALKING:
        Finish(false, QStringLiteral("The registry editor did not answer \"%1\" within %2 "
                                     "seconds. Close it and jump again.")
                          .arg(QString::fromUtf8(FormatRegeditRequest(m_current).trimmed()),
                               Seconds(m_nTimeoutMs)));
        break;
    default:
        break;
    }
}

void CRegeditJump::SendNext() {
    if (m_arSteps.isEmpty()) {
        QString strMessage = QStringLiteral("The registry editor shows %1").arg(m_strSelectedKey);
        if (!m_bKeyComplete)
            strMessage += QStringLiteral(" (the rest of the path does not exist)");
        if (!m_strSelectedValue.isEmpty())
            strMessage += QStringLiteral(", value %1").arg(m_strSelectedValue);
        Finish(true, strMessage + QLatin1Char('.'));
        return;
    }
    const SStep step = m_arSteps.takeFirst();
    if (step.m_bPause) {
        m_eState = EState::PAUSING;
        m_timer.start(m_nPauseMs);
        return;
    }
    m_current = step.m_request;
    m_socket.write(FormatRegeditRequest(m_current));
    m_timer.start(m_nTimeoutMs);
}

void CRegeditJump::OnReadyRead() {
    while (m_eState == EState::TALKING && m_socket.canReadLine()) {
        QByteArray line = m_socket.readLine(REGEDIT_MAX_LINE + 2);
        line = line.trimmed();
        QStringList arFields;
        QString strError;
        if (!ParseRegeditAnswer(line, arFields, strError)) {
            Finish(false, QStringLiteral("The registry editor refused \"%1\": %2")
                              .arg(QString::fromUtf8(FormatRegeditRequest(m_current).trimmed()),
                                   strError));
            return;
        }
        m_timer.stop();
        HandleAnswer(arFields);
        if (m_eState == EState::TALKING)
            SendNext();
    }
    if (m_eState == EState::TALKING && m_socket.bytesAvailable() > REGEDIT_MAX_LINE)
        Finish(false, QStringLiteral("The registry editor sent an answer that is too long."));
}

void CRegeditJump::HandleAnswer(const QStringList& arFields) {
    switch (m_current.m_eCommand) {
    case ERegeditCommand::EXPAND:
        m_strSelectedKey = arFields.value(0);
        m_bKeyComplete = arFields.value(1) == QLatin1String("complete");
        // A value is looked for only in its own key; in a parent it would select a stranger.
        if (!m_strValueName.isEmpty() && m_bKeyComplete) {
            QList<SStep> arValueSteps{Send(ERegeditCommand::FOCUS_LIST),
                                      Send(ERegeditCommand::KEY_HOME), SStep{{}, true}};
            for (QChar ch : std::as_const(m_strValueName))
                if (ch.unicode() != 0)
                    arValueSteps.append(Send(ERegeditCommand::CHAR, {}, ch.unicode()));
            m_arSteps = arValueSteps + m_arSteps;
        }
        break;
    case ERegeditCommand::KEY_HOME:
    case ERegeditCommand::CHAR:
        m_strSelectedValue = arFields.value(0);
        break;
    default:
        break;
    }
}

void CRegeditJump::Finish(bool bOk, const QString& strMessage) {
    m_timer.stop();
    m_eState = EState::IDLE;
    m_arSteps.clear();
    m_socket.abort();
    emit finished(bOk, strMessage);
}
