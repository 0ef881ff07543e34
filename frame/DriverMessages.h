// Shows the window's user what the driver has to tell: each problem once, in a message box.
#pragma once

#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include <functional>

class QWidget;

// Asks for the driver's messages a few times a second (on the user-interface thread, so the
// capture thread never waits for a dialog) and shows each distinct one once per run. Messages
// that arrive while a box is open wait for it to close and then share one box.
class CDriverMessages : public QObject {
    Q_OBJECT
public:
    CDriverMessages(QWidget* pParent, std::function<QStringList()> fnTake);

    void Poll();
    QStringList Shown() const { return m_arShown; }

    static constexpr int POLL_MS = 500;

private:
    QWidget* m_pParent;
    std::function<QStringList()> m_fnTake;
    QTimer m_timer;
    QSet<QString> m_seen;
    QStringList m_arShown;
    bool m_bShowing = false;
};
