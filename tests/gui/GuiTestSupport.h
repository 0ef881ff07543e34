// Helpers of the window tests: records, waiting, and a user who answers dialogs.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>

class CHivewatchDoc;
class CRegInfoObj;
class QDialog;

// A record of an operation code (request named as the driver names it), successful unless
// strResult says otherwise.
CRegInfoObj* MakeRecord(int nSeq, int nFunType, const QString& strPath = QString(),
                        const QString& strOld = QString(), const QString& strNew = QString(),
                        const QString& strResult = QStringLiteral("SUCCESS"));
// Appends records with sequence numbers nFirst .. nFirst + nCount - 1 (RegOpenKey).
void AppendRecords(CHivewatchDoc& doc, int nFirst, int nCount);

// Processes events until fnDone says so or the time is up; returns fnDone's last answer.
bool WaitFor(const std::function<bool()>& fnDone, int nTimeoutMs = 10000);

// Plays the user at modal dialogs: each dialog that opens takes the next scripted answer.
// Message boxes record their texts.
class CDialogScript : public QObject {
    Q_OBJECT
public:
    CDialogScript();
    ~CDialogScript() override;

    // fnWhileOpen, when given, runs while the box is open, just before it is answered.
    void AnswerMessageBox(QMessageBox::StandardButton button,
                          const std::function<void()>& fnWhileOpen = {});
    // A file dialog gets this path and is accepted; an empty path cancels it.
    void AnswerFileDialog(const QString& strPath);
    // Any other dialog is handed to fnAnswer, which must close it.
    void AnswerDialog(const std::function<void(QDialog*)>& fnAnswer);

    QStringList MessageTexts() const { return m_arTexts; }
    int PendingAnswers() const { return int(m_answers.size()); }

private:
    enum EKind { MESSAGE_BOX, FILE_DIALOG, OTHER_DIALOG };
    struct SAnswer {
        EKind nKind;
        QMessageBox::StandardButton button;
        QString strPath;
        std::function<void(QDialog*)> fnAnswer;
        std::function<void()> fnWhileOpen;
    };
    void Poll();
    static void Click(QMessageBox* pBox, QMessageBox::StandardButton button);

    QTimer m_timer;
    std::deque<SAnswer> m_answers;
    QStringList m_arTexts;
    QPointer<QDialog> m_pAccepting; // a file dialog answered, closing once it has checked
};

// Acts on each progress dialog that shows, from the event loop the long work keeps running.
class CProgressWatch : public QObject {
public:
    explicit CProgressWatch(std::function<void(QProgressDialog*)> fn) : m_fn(std::move(fn)) {
        qApp->installEventFilter(this);
    }
    ~CProgressWatch() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* pObj, QEvent* pEvent) override {
        auto* pDlg = qobject_cast<QProgressDialog*>(pObj);
        if (pDlg && pEvent->type() == QEvent::Show) {
            ++m_nShown;
            m_bWindowModal = pDlg->windowModality() == Qt::WindowModal;
            QPointer<QProgressDialog> p(pDlg);
            QMetaObject::invokeMethod(
                this,
                [this, p] {
                    if (p)
                        m_fn(p);
                },
                Qt::QueuedConnection);
        }
        return false;
    }
    int m_nShown = 0;
    bool m_bWindowModal = false;

private:
    std::function<void(QProgressDialog*)> m_fn;
};
