// The progress of long work (a search, opening a document): shown after a moment, with Cancel,
// keeping the window painting.
#pragma once

#include <QElapsedTimer>
#include <QString>

#include <memory>

class QProgressDialog;
class QWidget;

// Its Continue() is the progress callback of the document's search or load. Until the delay
// has passed it costs a clock reading; from then on a progress dialog, modal to pParent's
// window, shows how far the work is (updated at most ten times a second) and events are
// processed at every call, so the window repaints and Cancel can be pressed while the work
// holds the record lock. Being modal, the dialog keeps the user from any command that could
// change the document meanwhile.
class CWorkProgress {
public:
    static constexpr int DEFAULT_DELAY_MS = 300;
    static constexpr int UPDATE_INTERVAL_MS = 100;

    // strTitle: the dialog's title; strLabel: what is being done, shown as plain text.
    CWorkProgress(QWidget* pParent, const QString& strTitle, const QString& strLabel,
                  int nDelayMs = DEFAULT_DELAY_MS);
    ~CWorkProgress();
    CWorkProgress(const CWorkProgress&) = delete;
    CWorkProgress& operator=(const CWorkProgress&) = delete;

    // False once the user has cancelled.
    bool Continue(long long nDone, long long nTotal);
    bool WasShown() const { return m_bShown; }
    bool WasCancelled() const { return m_bCancelled; }

private:
    void Show();

    QWidget* m_pParent;
    QString m_strTitle;
    QString m_strLabel;
    int m_nDelayMs;
    QElapsedTimer m_clock;
    qint64 m_nLastUpdateMs = 0;
    std::unique_ptr<QProgressDialog> m_pDlg;
    bool m_bShown = false;
    bool m_bCancelled = false;
};
