// Shared by the dialog tests: the application object, fresh settings, and answers to every
// chooser and message box so that no test waits on a person.
#pragma once

#include "dialogs/DialogEx.h"
#include "dialogs/FileChooser.h"
#include "dialogs/UserMessage.h"
#include "platform/ProcessList.h"
#include "utils/ui/ColorRef.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

#include <functional>
#include <optional>
#include <ostream>
#include <vector>

// Readable failure messages.
inline void PrintTo(const QString& str, std::ostream* pStream) {
    *pStream << '"' << str.toStdString() << '"';
}
inline void PrintTo(const QStringList& ar, std::ostream* pStream) {
    *pStream << ar.join(QLatin1Char('|')).toStdString();
}

struct SShownMessage {
    QString m_strText;
    EMessageKind m_nKind;
};

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The control with the given ID, of the given kind; fails the test when missing.
    template <class T> static T* Item(const CDialogEx& dlg, int nId) {
        T* p = qobject_cast<T*>(dlg.GetDlgItem(nId));
        EXPECT_NE(p, nullptr) << "no control " << nId;
        return p;
    }
    static void Click(const CDialogEx& dlg, int nId);
    static void Type(const CDialogEx& dlg, int nId, const QString& strText); // replaces the text
    static QString Text(const CDialogEx& dlg, int nId);
    static bool Checked(const CDialogEx& dlg, int nId);

    // Runs fn on the next modal dialog of type T once it is shown, inside its event loop.
    template <class T> static void OnNextModal(std::function<void(T*)> fn) {
        OnNextModalWidget([fn](QWidget* p) {
            if (auto* pDlg = qobject_cast<T*>(p)) {
                fn(pDlg);
                return true;
            }
            return false;
        });
    }
    // nIntervalMs 0 looks on every pass of the event loop, also the one a long task runs
    // between its steps.
    static void OnNextModalWidget(std::function<bool(QWidget*)> fn, int nIntervalMs = 5);

    std::vector<SShownMessage> m_arMessages;
    std::vector<SFileRequest> m_arFileRequests;
    QString m_strFileAnswer;                    // what the file chooser answers ("" = cancel)
    std::optional<COLORREF> m_crColorAnswer;    // what the colour chooser answers
    std::vector<SRunningProcess> m_arProcesses; // what the process picker is shown
    bool m_bProcessListFails = false;
};
