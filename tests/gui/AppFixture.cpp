#include "tests/gui/AppFixture.h"

#include "display/BaseHivewatchDlg.h"
#include "display/HivewatchView.h"
#include "frame/MainFrame.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "tests/TestSupport.h"

#include <QAction>
#include <QSettings>

void AppFixture::SetUp() {
    g_SetObj.ResetDefaults();
    QSettings().clear(); // recent files, look and window layout of an earlier test

    m_strDir = TestTempDir();
    m_strSettings = m_strDir + QStringLiteral("setobj.dat");
}

void AppFixture::TearDown() {
    m_pApp.reset();
    EXPECT_EQ(m_script.PendingAnswers(), 0) << "a scripted answer was never asked for";
    g_SetObj.ResetDefaults();
}

bool AppFixture::StartApp(SAppOptions opts) {
    if (opts.strSettingsPath.isEmpty())
        opts.strSettingsPath = m_strSettings;
    // Registering with the desktop has its own test; the others leave the data folder alone.
    opts.bRegisterDesktop = m_bRegisterDesktop;
    m_pApp = std::make_unique<CHivewatchApp>();
    return m_pApp->InitInstance(opts);
}

void AppFixture::CloseAndExit() {
    Frame()->close();
    ASSERT_TRUE(WaitFor([this] { return !Frame()->isVisible(); }, 15000));
    m_pApp->ExitInstance(0);
}

CMainFrame* AppFixture::Frame() const {
    return m_pApp ? m_pApp->GetMainFrame() : nullptr;
}

CHivewatchDoc* AppFixture::Doc() const {
    return m_pApp->GetDocument();
}

CDocManager* AppFixture::DocManager() const {
    return m_pApp->GetDocManager();
}

QAction* AppFixture::Command(int nId) const {
    return Frame()->GetCommand(nId);
}

qint64 AppFixture::ListCount() const {
    CBaseHivewatchDlg* pDlg = Frame()->m_pMainView->GetListDlg();
    return pDlg ? pDlg->GetListCtrl().GetItemCount() : -1;
}

void AppFixture::CaptureRecords(int nRecords) {
    Frame()->OnStartCapture();
    ASSERT_EQ(Frame()->m_engine.m_bCapturing, 1);
    ASSERT_TRUE(WaitFor([&] { return ListCount() >= nRecords; }, 30000))
        << "records filed: " << Doc()->GetRecordCount();
}

QString AppFixture::WriteDocument(const QString& strName, int nCount) {
    CHivewatchDoc doc;
    AppendRecords(doc, 1, nCount);
    const QString strPath = m_strDir + strName;
    QString strError;
    EXPECT_TRUE(doc.OnSaveDocument(strPath, &strError)) << strError.toStdString();
    return strPath;
}
