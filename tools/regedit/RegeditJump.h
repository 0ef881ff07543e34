// Regedit Jump: shows a key (and selects a value) in the registry editor, starting the editor
// when none runs, step by step on the calling thread's event loop.
#pragma once

#include "tools/regedit/RegeditProtocol.h"

#include <QElapsedTimer>
#include <QList>
#include <QLocalSocket>
#include <QObject>
#include <QTimer>

// The steps, each waiting for the editor's answer without blocking the event loop:
//  1. connect to the running editor, or start hivewatch-regedit (detached, so it outlives the
//     caller) and retry until it listens, at most Timeout();
//  2. OPEN the registry it must show (the driver's files, or the Wine prefix the driver
//     watches), SHOW it;
//  3. EXPAND the key path (the editor reloads its files, expands as far as the key exists and
//     selects it);
//  4. when a value name is given and the whole key was found: FOCUS LIST, KEY HOME, a pause of
//     ValuePause() on a timer, then one CHAR per UTF-16 code unit of the name (type-ahead);
//  5. SHOW again, to raise the editor.
// Every answer is awaited at most Timeout(). The end is reported once by finished().
class CRegeditJump : public QObject {
    Q_OBJECT
public:
    static constexpr int DEFAULT_TIMEOUT_MS = 10000;
    static constexpr int DEFAULT_VALUE_PAUSE_MS = 1000;

    explicit CRegeditJump(QObject* pParent = nullptr);
    ~CRegeditJump() override;

    // hivewatch-regedit beside the running executable unless set.
    void SetEditorProgram(const QString& strProgram) { m_strProgram = strProgram; }
    QString EditorProgram() const { return m_strProgram; }
    // The Wine prefix to show; empty: the substitute driver's registry. Defaults to
    // RegeditPrefixForDriver() of this process's environment.
    void SetPrefix(const QString& strPrefix) { m_strPrefix = strPrefix; }
    QString Prefix() const { return m_strPrefix; }
    void SetTimeout(int nMs) { m_nTimeoutMs = nMs; }
    int Timeout() const { return m_nTimeoutMs; }
    void SetValuePause(int nMs) { m_nPauseMs = nMs; }
    // The socket to use; RegeditSocketPath() unless set.
    void SetSocketPath(const QString& strPath) { m_strSocketPath = strPath; }

    // Starts a jump to strKeyPath (as CRegInfoObj::GetKeyString gives it) and, when
    // strValueName is not empty, to that value. False, with nothing done, while a jump runs.
    bool Start(const QString& strKeyPath, const QString& strValueName);
    bool IsRunning() const { return m_eState != EState::IDLE; }
    // Ends a running jump now; finished(false, ...) follows.
    void Cancel();

    // What the last jump found: the key the editor selected, whether that was the whole
    // path, the value it selected, and whether this jump had to start the editor.
    QString SelectedKey() const { return m_strSelectedKey; }
    bool KeyComplete() const { return m_bKeyComplete; }
    QString SelectedValue() const { return m_strSelectedValue; }
    bool StartedEditor() const { return m_bStartedEditor; }

signals:
    // bOk: the editor shows the key (strMessage says what was selected); otherwise strMessage
    // says what failed and what to do.
    void finished(bool bOk, const QString& strMessage);

private:
    enum class EState { IDLE, CONNECTING, WAITING_FOR_EDITOR, TALKING, PAUSING };
    struct SStep {
        SRegeditRequest m_request;
        bool m_bPause = false;
    };
    static SStep Send(ERegeditCommand eCommand, QString strArgument = {}, char16_t ch = 0) {
        return {MakeRegeditRequest(eCommand, std::move(strArgument), ch), false};
    }

    void Connect();
    void OnConnected();
    void OnSocketError();
    void OnReadyRead();
    void OnTimer();
    void StartEditor();
    void SendNext();
    void HandleAnswer(const QStringList& arFields);
    void Finish(bool bOk, const QString& strMessage);

    QString m_strProgram;
    QString m_strPrefix;
    QString m_strSocketPath;
    int m_nTimeoutMs = DEFAULT_TIMEOUT_MS;
    int m_nPauseMs = DEFAULT_VALUE_PAUSE_MS;

    EState m_eState = EState::IDLE;
    QLocalSocket m_socket;
    QTimer m_timer;
    QElapsedTimer m_startClock;
    QList<SStep> m_arSteps;
    SRegeditRequest m_current;
    QString m_strValueName;
    QString m_strSelectedKey, m_strSelectedValue;
    bool m_bKeyComplete = false;
    bool m_bStartedEditor = false;
};
