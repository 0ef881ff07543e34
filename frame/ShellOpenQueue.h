// Documents handed to the window from outside (a later start, a drop, the command line),
// opened one after another.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

// A document that arrives while an earlier one is still being opened (its save prompt or a
// report is open), or while the user has a dialog open, waits its turn instead of opening a
// prompt of its own over it. Documents that cannot be opened are checked before anything is
// asked and reported together, in one message; past MAX_PENDING waiting documents, more are
// counted and reported, not kept.
class CShellOpenQueue : public QObject {
    Q_OBJECT
public:
    static constexpr int MAX_PENDING = 64;
    static constexpr int MAX_LISTED_ERRORS = 8;
    static constexpr int RETRY_MS = 150;

    // fnCheck: whether a file can be opened at all (false with the reason); fnOpen: opens
    // it, asking what it must; fnReport: shows one message; fnDialogOpen: whether the user
    // has a dialog open, which the queue waits out.
    using CheckFn = std::function<bool(const QString& strPath, QString* pStrWhy)>;
    using OpenFn = std::function<void(const QString& strPath)>;
    using ReportFn = std::function<void(const QString& strText)>;
    using DialogOpenFn = std::function<bool()>;
    CShellOpenQueue(CheckFn fnCheck, OpenFn fnOpen, ReportFn fnReport,
                    DialogOpenFn fnDialogOpen = {}, QObject* pParent = nullptr);

    // Opens the document now when nothing else is being opened, else after the others.
    void Add(const QString& strPath);
    // From now on nothing more is opened (the window is ending).
    void Stop();

    bool IsBusy() const { return m_bBusy; }
    int PendingCount() const { return int(m_arPending.size()); }

private:
    void Run();
    void ReportProblems();

    CheckFn m_fnCheck;
    OpenFn m_fnOpen;
    ReportFn m_fnReport;
    DialogOpenFn m_fnDialogOpen;
    QTimer m_retry;
    QStringList m_arPending;
    QStringList m_arProblems;
    int m_nUnlistedProblems = 0;
    int m_nDropped = 0;
    bool m_bBusy = false;
    bool m_bStopped = false;
};
