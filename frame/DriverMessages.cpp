#include "frame/DriverMessages.h"

#include <QMessageBox>
#include <QWidget>

CDriverMessages::CDriverMessages(QWidget* pParent, std::function<QStringList()> fnTake)
    : QObject(pParent), m_pParent(pParent), m_fnTake(std::move(fnTake)) {
    connect(&m_timer, &QTimer::timeout, this, &CDriverMessages::Poll);
    m_timer.start(POLL_MS);
}

void CDriverMessages::Poll() {
    if (m_bShowing || !m_fnTake)
        return;
    QStringList arNew;
    for (const QString& str : m_fnTake())
        if (!m_seen.contains(str)) {
            m_seen.insert(str);
            arNew.append(str);
        }
    if (arNew.isEmpty())
        return;
    m_arShown += arNew;
    m_bShowing = true;
    QStringList arLines;
    for (const QString& str : arNew)
        arLines.append(str.left(1).toUpper() + str.mid(1) + QLatin1Char('.'));
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Hivewatch"),
                    QStringLiteral("The driver reports a problem:\n\n%1").arg(arLines.join('\n')),
                    QMessageBox::Ok, m_pParent);
    box.exec();
    m_bShowing = false;
}
