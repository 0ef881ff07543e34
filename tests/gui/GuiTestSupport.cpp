#include "tests/gui/GuiTestSupport.h"

#include <QProgressDialog>

#include "store/HivewatchDoc.h"
#include "store/RegOperations.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QThread>

#include <gtest/gtest.h>

#include <vector>

CRegInfoObj* MakeRecord(int nSeq, int nFunType, const QString& strPath, const QString& strOld,
                        const QString& strNew, const QString& strResult) {
    auto* p = new CRegInfoObj;
    p->m_nSeq = nSeq;
    p->m_strTime = QStringLiteral("10:15:30.%1").arg(nSeq % 1000, 3, 10, QLatin1Char('0'));
    p->m_strProcessName = QStringLiteral("app.exe");
    p->m_nPid = 1200;
    p->m_strRequest = QString::fromLatin1(g_RegOperationNames[size_t(nFunType)].data());
    p->m_strPath =
        strPath.isEmpty() ? QStringLiteral("HKLM\\SOFTWARE\\Vendor\\Key%1").arg(nSeq) : strPath;
    p->m_strResult = strResult;
    p->m_strOldValue = strOld;
    p->m_strNewValue = strNew;
    return p;
}

void AppendRecords(CHivewatchDoc& doc, int nFirst, int nCount) {
    std::vector<CRegInfoObj*> records;
    for (int i = 0; i < nCount; ++i)
        records.push_back(MakeRecord(nFirst + i, OP_OPEN_KEY));
    doc.AppendRecords(records.data(), records.size());
}

bool WaitFor(const std::function<bool()>& fnDone, int nTimeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!fnDone()) {
        if (clock.elapsed() > nTimeoutMs)
            return fnDone();
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

CDialogScript::CDialogScript() {
    m_timer.setInterval(20);
    connect(&m_timer, &QTimer::timeout, this, &CDialogScript::Poll);
    m_timer.start();
}

CDialogScript::~CDialogScript() = default;

void CDialogScript::AnswerMessageBox(QMessageBox::StandardButton button,
                                     const std::function<void()>& fnWhileOpen) {
    m_answers.push_back({MESSAGE_BOX, button, {}, {}, fnWhileOpen});
}

void CDialogScript::AnswerFileDialog(const QString& strPath) {
    m_answers.push_back({FILE_DIALOG, QMessageBox::NoButton, strPath, {}, {}});
}

void CDialogScript::AnswerDialog(const std::function<void(QDialog*)>& fnAnswer) {
    m_answers.push_back({OTHER_DIALOG, QMessageBox::NoButton, {}, fnAnswer, {}});
}

void CDialogScript::Click(QMessageBox* pBox, QMessageBox::StandardButton button) {
    if (QAbstractButton* pButton = pBox->button(button))
        pButton->click();
    else
        pBox->done(button);
}

void CDialogScript::Poll() {
    auto* pModal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!pModal || !pModal->isVisible() || pModal == m_pAccepting)
        return;
    // Progress of long work is no question: it ends by itself (CProgressWatch acts on it).
    if (qobject_cast<QProgressDialog*>(pModal))
        return;
    auto* pBox = qobject_cast<QMessageBox*>(pModal);
    auto* pFiles = qobject_cast<QFileDialog*>(pModal);
    if (pBox)
        m_arTexts.append(pBox->text());
    const EKind nKind = pBox ? MESSAGE_BOX : pFiles ? FILE_DIALOG : OTHER_DIALOG;
    if (m_answers.empty() || m_answers.front().nKind != nKind) {
        ADD_FAILURE() << "unexpected dialog: " << pModal->metaObject()->className() << " "
                      << (pBox ? pBox->text().toStdString() : std::string());
        pModal->reject();
        return;
    }
    const SAnswer answer = m_answers.front();
    m_answers.pop_front();
    switch (nKind) {
    case MESSAGE_BOX:
        if (answer.fnWhileOpen) {
            // From the event loop: what it does may open a dialog that a later poll answers.
            m_pAccepting = pBox;
            QPointer<QMessageBox> pOpen = pBox;
            QMetaObject::invokeMethod(
                pBox,
                [this, pOpen, answer] {
                    answer.fnWhileOpen();
                    m_pAccepting = nullptr;
                    if (pOpen)
                        Click(pOpen, answer.button);
                },
                Qt::QueuedConnection);
        } else {
            Click(pBox, answer.button);
        }
        break;
    case FILE_DIALOG:
        if (answer.strPath.isEmpty()) {
            pFiles->reject();
        } else {
            // Typed into the name field, as a user does; selectFile() may be undone by the
            // dialog's own completion while its folder is still being read.
            if (auto* pEdit = pFiles->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                pEdit->setText(answer.strPath);
            else
                pFiles->selectFile(answer.strPath);
            // As its Open or Save button does; from the event loop, so that a question it
            // asks in turn (replace the file?) meets the next scripted answer.
            m_pAccepting = pFiles;
            QMetaObject::invokeMethod(
                pFiles,
                [this, pFiles] {
                    static_cast<QDialog*>(pFiles)->accept();
                    m_pAccepting = nullptr; // still open: it refused, and the next poll says so
                },
                Qt::QueuedConnection);
        }
        break;
    case OTHER_DIALOG:
        answer.fnAnswer(pModal);
        break;
    }
}
