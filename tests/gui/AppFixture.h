// A whole Hivewatch in the test process: the application object started as the program
// starts it, with its settings file, instance lock and recent files in temporary folders.
#pragma once

#include "app/HivewatchApp.h"
#include "tests/gui/GuiTestSupport.h"

#include <gtest/gtest.h>

#include <memory>

class CMainFrame;
class CHivewatchDoc;
class CDocManager;
class QAction;

class AppFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the program; the options get this test's settings file unless they name one.
    bool StartApp(SAppOptions opts = SAppOptions());
    // Closes the window as a user does (any prompt must be scripted first), waits for the
    // two-pass close to finish, and runs the shut-down.
    void CloseAndExit();

    CMainFrame* Frame() const;
    CHivewatchDoc* Doc() const;
    CDocManager* DocManager() const;
    QAction* Command(int nId) const;
    // Starts capturing and waits until at least nRecords have been filed and shown.
    void CaptureRecords(int nRecords);
    qint64 ListCount() const;

    // A capture document of nCount records (sequence numbers 1..nCount) in the temp folder.
    QString WriteDocument(const QString& strName, int nCount);

    QString m_strDir;      // this test's temporary folder, ending in '/'
    QString m_strSettings; // its settings file
    bool m_bRegisterDesktop = false;
    std::unique_ptr<CHivewatchApp> m_pApp;
    CDialogScript m_script;
};
