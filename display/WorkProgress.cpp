#include "display/WorkProgress.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressDialog>

#include <algorithm>

namespace {
constexpr int PROGRESS_RANGE = 1000;
}

CWorkProgress::CWorkProgress(QWidget* pParent, const QString& strTitle, const QString& strLabel,
                             int nDelayMs)
    : m_pParent(pParent), m_strTitle(strTitle), m_strLabel(strLabel), m_nDelayMs(nDelayMs) {
    m_clock.start();
}

CWorkProgress::~CWorkProgress() = default;

void CWorkProgress::Show() {
    QWidget* pWindow = m_pParent ? m_pParent->window() : nullptr;
    m_pDlg = std::make_unique<QProgressDialog>(pWindow);
    m_pDlg->setObjectName(QStringLiteral("WorkProgress"));
    m_pDlg->setWindowTitle(m_strTitle);
    // The label holds the user's texts (a searched text, a file name): shown as they are,
    // never as markup.
    auto* pLabel = new QLabel(m_pDlg.get());
    pLabel->setTextFormat(Qt::PlainText);
    m_pDlg->setLabel(pLabel);
    m_pDlg->setLabelText(m_strLabel);
    m_pDlg->setCancelButtonText(QStringLiteral("Cancel"));
    m_pDlg->setRange(0, PROGRESS_RANGE);
    m_pDlg->setAutoClose(false);
    m_pDlg->setAutoReset(false);
    m_pDlg->setMinimumDuration(0);
    m_pDlg->setWindowModality(Qt::WindowModal);
    m_pDlg->show();
    m_bShown = true;
}

bool CWorkProgress::Continue(long long nDone, long long nTotal) {
    if (m_bCancelled)
        return false;
    const qint64 nNowMs = m_clock.elapsed();
    if (!m_pDlg) {
        if (nNowMs < m_nDelayMs)
            return true;
        Show();
        m_nLastUpdateMs = nNowMs - UPDATE_INTERVAL_MS;
    }
    if (nNowMs - m_nLastUpdateMs >= UPDATE_INTERVAL_MS && nTotal > 0) {
        m_nLastUpdateMs = nNowMs;
        const long long nPart = nDone * PROGRESS_RANGE / nTotal;
        m_pDlg->setValue(int(std::clamp<long long>(nPart, 0, PROGRESS_RANGE)));
    }
    QCoreApplication::processEvents();
    if (m_pDlg->wasCanceled())
        m_bCancelled = true;
    return !m_bCancelled;
}
