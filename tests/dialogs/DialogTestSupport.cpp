#include "tests/dialogs/DialogTestSupport.h"

#include "dialogs/ProcessSelDlg.h"
#include "settings/SetObj.h"
#include "utils/ui/SelColor.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTest>

namespace {

// One application object for the whole test process, made after main() set up the
// offscreen platform and the temporary home.
class CApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int s_nArgc = 1;
        static char s_szName[] = "hw_dialogs_tests";
        static char* s_argv[] = {s_szName, nullptr};
        m_pApp = new QApplication(s_nArgc, s_argv);
    }
    void TearDown() override {
        delete m_pApp;
        m_pApp = nullptr;
    }

private:
    QApplication* m_pApp = nullptr;
};

const auto* g_pAppEnvironment = ::testing::AddGlobalTestEnvironment(new CApplicationEnvironment);

} // namespace

void DialogTest::SetUp() {
    g_SetObj = CSetObj();
    QSettings().clear(); // choices an earlier test left in the program's own settings
    SetMessageHandler([this](QWidget*, const QString& strText, EMessageKind nKind) {
        m_arMessages.push_back({strText, nKind});
    });
    SetFileChooser([this](QWidget*, const SFileRequest& request) {
        m_arFileRequests.push_back(request);
        return m_strFileAnswer;
    });
    CSelColor::SetColorChooser([this](QWidget*, COLORREF) { return m_crColorAnswer; });
    CProcessSelDlg::SetProcessSource([this](std::vector<SRunningProcess>& ar) {
        ar = m_arProcesses;
        return !m_bProcessListFails;
    });
}

void DialogTest::TearDown() {
    SetMessageHandler({});
    SetFileChooser({});
    CSelColor::SetColorChooser({});
    CProcessSelDlg::SetProcessSource({});
    g_SetObj = CSetObj();
}

void DialogTest::Click(const CDialogEx& dlg, int nId) {
    auto* pButton = Item<QAbstractButton>(dlg, nId);
    ASSERT_NE(pButton, nullptr);
    // Check boxes and radio buttons take clicks on their mark and caption only.
    const bool bPush = qobject_cast<QPushButton*>(pButton) != nullptr;
    const int nMid = pButton->height() / 2;
    QTest::mouseClick(pButton, Qt::LeftButton, {},
                      bPush ? pButton->rect().center() : QPoint(nMid, nMid));
}

void DialogTest::Type(const CDialogEx& dlg, int nId, const QString& strText) {
    auto* pEdit = Item<QLineEdit>(dlg, nId);
    ASSERT_NE(pEdit, nullptr);
    pEdit->selectAll();
    QTest::keyClick(pEdit, Qt::Key_Delete);
    QTest::keyClicks(pEdit, strText);
}

QString DialogTest::Text(const CDialogEx& dlg, int nId) {
    auto* pEdit = Item<QLineEdit>(dlg, nId);
    return pEdit ? pEdit->text() : QString();
}

bool DialogTest::Checked(const CDialogEx& dlg, int nId) {
    auto* pButton = Item<QAbstractButton>(dlg, nId);
    return pButton && pButton->isChecked();
}

void DialogTest::OnNextModalWidget(std::function<bool(QWidget*)> fn, int nIntervalMs) {
    auto* pTimer = new QTimer(qApp);
    pTimer->setInterval(nIntervalMs);
    QObject::connect(pTimer, &QTimer::timeout, pTimer, [pTimer, fn] {
        QWidget* pModal = QApplication::activeModalWidget();
        if (!pModal || !pModal->isVisible())
            return;
        pTimer->stop();
        if (!fn(pModal)) {
            pTimer->start(); // another dialog is on top; wait for ours
            return;
        }
        pTimer->deleteLater();
    });
    pTimer->start();
}
