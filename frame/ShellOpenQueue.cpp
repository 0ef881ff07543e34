#include "frame/ShellOpenQueue.h"

CShellOpenQueue::CShellOpenQueue(CheckFn fnCheck, OpenFn fnOpen, ReportFn fnReport,
                                 DialogOpenFn fnDialogOpen, QObject* pParent)
    : QObject(pParent), m_fnCheck(std::move(fnCheck)), m_fnOpen(std::move(fnOpen)),
      m_fnReport(std::move(fnReport)), m_fnDialogOpen(std::move(fnDialogOpen)) {
    m_retry.setSingleShot(true);
    m_retry.setInterval(RETRY_MS);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        if (!m_bBusy)
            Run();
    });
}

void CShellOpenQueue::Add(const QString& strPath) {
    if (m_bStopped || strPath.isEmpty())
        return;
    if (!m_arPending.isEmpty() && m_arPending.constLast() == strPath)
        return; // the same document twice in a row opens once
    if (m_arPending.size() >= MAX_PENDING)
        ++m_nDropped;
    else
        m_arPending.append(strPath);
    // While a document is being opened, the loop below is still running further up the
    // stack (in the prompt's event loop) and takes this one when the prompt has closed.
    if (!m_bBusy)
        Run();
}

void CShellOpenQueue::Stop() {
    m_bStopped = true;
    m_retry.stop();
    m_arPending.clear();
    m_arProblems.clear();
    m_nUnlistedProblems = 0;
    m_nDropped = 0;
}

void CShellOpenQueue::Run() {
    m_bBusy = true;
    while (!m_bStopped) {
        // A dialog the user has open is answered first; nothing is asked over it.
        if (m_fnDialogOpen && m_fnDialogOpen() &&
            (!m_arPending.isEmpty() || !m_arProblems.isEmpty() || m_nDropped > 0)) {
            m_retry.start();
            break;
        }
        if (m_arPending.isEmpty()) {
            if (m_arProblems.isEmpty() && m_nDropped == 0)
                break;
            ReportProblems();
            continue;
        }
        const QString strPath = m_arPending.takeFirst();
        QString strWhy;
        if (!m_fnCheck(strPath, &strWhy)) {
            if (m_arProblems.size() < MAX_LISTED_ERRORS)
                m_arProblems << QStringLiteral("%1: %2").arg(strPath, strWhy);
            else
                ++m_nUnlistedProblems;
            continue;
        }
        // What could not be opened before this one is told first, in order.
        if (!m_arProblems.isEmpty() || m_nDropped > 0)
            ReportProblems();
        if (!m_bStopped)
            m_fnOpen(strPath);
    }
    m_bBusy = false;
}

void CShellOpenQueue::ReportProblems() {
    QString strText;
    if (m_arProblems.size() == 1 && m_nUnlistedProblems == 0)
        strText = QStringLiteral("Cannot open %1.").arg(m_arProblems.constFirst());
    else if (!m_arProblems.isEmpty())
        strText = QStringLiteral("These documents cannot be opened:\n%1")
                      .arg(m_arProblems.join(QLatin1Char('\n')));
    if (m_nUnlistedProblems > 0)
        strText += QStringLiteral("\n... and %1 more.").arg(m_nUnlistedProblems);
    if (m_nDropped > 0) {
        if (!strText.isEmpty())
            strText += QStringLiteral("\n\n");
        strText += QStringLiteral("%1 more documents were handed to Hivewatch while it was "
                                  "busy and were not opened; open them again one at a time.")
                       .arg(m_nDropped);
    }
    m_arProblems.clear();
    m_nUnlistedProblems = 0;
    m_nDropped = 0;
    m_fnReport(strText);
}
