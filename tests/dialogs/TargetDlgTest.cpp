// Attach to Running Program and Open New Program, alone and through their commands: what they
// show, what they store, the scope they select, and "Capture now".
#include "tests/dialogs/DialogTestSupport.h"

#include "dialogs/AttachDlg.h"
#include "dialogs/Commands.h"
#include "dialogs/NewProgramDlg.h"
#include "dialogs/ProcessSelDlg.h"
#include "settings/SetObj.h"

#include <QTableWidget>
#include <QTest>

namespace {

enum {
    PROCESS_BOX = 1003,
    ATTACH_BROWSE = 1004,
    ATTACH_CAPTURE_NOW = 1029,
    FILE_NAME = 1005,
    PARAMETER = 1006,
    PROGRAM_BROWSE = 1007,
    PROGRAM_CAPTURE_NOW = 1030,
};

using TargetDialogs = DialogTest;

TEST_F(TargetDialogs, AttachStoresThePickedProcessAndTheAttachedScope) {
    m_arProcesses = {{300, "gedit"}, {412, "notepad.exe"}};
    OnNextModal<CAttachDlg>([&](CAttachDlg* pDlg) {
        EXPECT_EQ(Text(*pDlg, PROCESS_BOX), ""); // first use
        EXPECT_TRUE(Checked(*pDlg, ATTACH_CAPTURE_NOW));
        Click(*pDlg, ATTACH_CAPTURE_NOW);
        // Picker cancelled: nothing changes, the check box stays as the user left it.
        OnNextModal<CProcessSelDlg>([](CProcessSelDlg* pPicker) { Click(*pPicker, IDCANCEL); });
        Click(*pDlg, ATTACH_BROWSE);
        EXPECT_EQ(Text(*pDlg, PROCESS_BOX), "");
        EXPECT_FALSE(Checked(*pDlg, ATTACH_CAPTURE_NOW));
        OnNextModal<CProcessSelDlg>([](CProcessSelDlg* pPicker) {
            pPicker->m_wndProcList->selectRow(1);
            Click(*pPicker, IDOK);
        });
        Click(*pDlg, ATTACH_BROWSE);
        EXPECT_EQ(Text(*pDlg, PROCESS_BOX), "gedit/PID:300");
        EXPECT_FALSE(Checked(*pDlg, ATTACH_CAPTURE_NOW));
        Click(*pDlg, IDOK);
    });
    EXPECT_FALSE(RunAttachCommand(nullptr));
    EXPECT_EQ(g_SetObj.m_strAttachName, "gedit");
    EXPECT_EQ(g_SetObj.m_nAttachPid, 300);
    EXPECT_EQ(g_SetObj.m_bAttachCaptureNow, 0);
    EXPECT_EQ(g_SetObj.m_nCaptureScope, SCOPE_ATTACHED);

    // Reopened: the stored choice; ticked and attached, the capture starts at once.
    OnNextModal<CAttachDlg>([&](CAttachDlg* pDlg) {
        EXPECT_EQ(Text(*pDlg, PROCESS_BOX), "gedit/PID:300");
        EXPECT_FALSE(Checked(*pDlg, ATTACH_CAPTURE_NOW));
        Click(*pDlg, ATTACH_CAPTURE_NOW);
        QTest::keyClick(pDlg, Qt::Key_Return);
    });
    EXPECT_TRUE(RunAttachCommand(nullptr));
    EXPECT_EQ(g_SetObj.m_bAttachCaptureNow, 1);
}

TEST_F(TargetDialogs, AttachCancelledAfterPickingLeavesTheSettings) {
    m_arProcesses = {{300, "gedit"}};
    g_SetObj.m_strAttachName = "old";
    g_SetObj.m_nAttachPid = 5;
    OnNextModal<CAttachDlg>([&](CAttachDlg* pDlg) {
        EXPECT_EQ(Text(*pDlg, PROCESS_BOX), "old/PID:5");
        OnNextModal<CProcessSelDlg>([](CProcessSelDlg* pPicker) { Click(*pPicker, IDOK); });
        Click(*pDlg, ATTACH_BROWSE);
        EXPECT_EQ(Text(*pDlg, PROCESS_BOX), "gedit/PID:300");
        Click(*pDlg, IDCANCEL);
    });
    EXPECT_FALSE(RunAttachCommand(nullptr));
    EXPECT_EQ(g_SetObj.m_strAttachName, "old");
    EXPECT_EQ(g_SetObj.m_nAttachPid, 5);
    EXPECT_EQ(g_SetObj.m_nCaptureScope, SCOPE_ALL);

    // A stored ID without a name shows nothing, and Attach stores what there is.
    g_SetObj.m_strAttachName.clear();
    CAttachDlg dlg;
    dlg.show();
    EXPECT_EQ(Text(dlg, PROCESS_BOX), "");
    Click(dlg, IDOK);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(g_SetObj.m_nAttachPid, 5);
    EXPECT_EQ(g_SetObj.m_nCaptureScope, SCOPE_ATTACHED);
}

TEST_F(TargetDialogs, OpenNewProgramStoresTheTextsAsTypedAndBrowseKeepsTheRest) {
    CNewProgramDlg dlg;
    dlg.show();
    EXPECT_EQ(Text(dlg, FILE_NAME), "");
    EXPECT_EQ(Text(dlg, PARAMETER), "");
    EXPECT_TRUE(Checked(dlg, PROGRAM_CAPTURE_NOW));
    Type(dlg, FILE_NAME, "typed");
    Type(dlg, PARAMETER, " --flag \"a b\" ");
    Click(dlg, PROGRAM_CAPTURE_NOW);

    Click(dlg, PROGRAM_BROWSE); // cancelled
    EXPECT_EQ(Text(dlg, FILE_NAME), "typed");
    m_strFileAnswer = "/usr/bin/gedit";
    Click(dlg, PROGRAM_BROWSE);
    EXPECT_EQ(Text(dlg, FILE_NAME), "/usr/bin/gedit");
    EXPECT_EQ(Text(dlg, PARAMETER), " --flag \"a b\" ");
    EXPECT_FALSE(Checked(dlg, PROGRAM_CAPTURE_NOW));
    ASSERT_EQ(m_arFileRequests.size(), 2u);
    EXPECT_FALSE(m_arFileRequests[0].m_bSave);
    EXPECT_EQ(m_arFileRequests[0].m_arNameFilters,
              (QStringList{"EXE Files (*.exe)", "Executable Files (*)", "All Files (*)"}));

    Click(dlg, IDOK);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(g_SetObj.m_strNewProgram, "/usr/bin/gedit");
    EXPECT_EQ(g_SetObj.m_strNewParams, " --flag \"a b\" ");
    EXPECT_EQ(g_SetObj.m_bNewCaptureNow, 0);
    EXPECT_EQ(g_SetObj.m_nCaptureScope, SCOPE_NEW_PROGRAM);
}

TEST_F(TargetDialogs, OpenNewProgramCommandStartsTheCaptureOnlyWhenAsked) {
    g_SetObj.m_strNewProgram = "prog";
    OnNextModal<CNewProgramDlg>([](CNewProgramDlg* pDlg) {
        EXPECT_EQ(Text(*pDlg, FILE_NAME), "prog");
        Click(*pDlg, IDOK);
    });
    EXPECT_TRUE(RunOpenNewProgramCommand(nullptr));
    EXPECT_EQ(g_SetObj.m_nCaptureScope, SCOPE_NEW_PROGRAM);

    g_SetObj.m_nCaptureScope = SCOPE_ALL;
    OnNextModal<CNewProgramDlg>([](CNewProgramDlg* pDlg) {
        Type(*pDlg, FILE_NAME, "other");
        QTest::keyClick(pDlg, Qt::Key_Escape);
    });
    EXPECT_FALSE(RunOpenNewProgramCommand(nullptr));
    EXPECT_EQ(g_SetObj.m_strNewProgram, "prog");
    EXPECT_EQ(g_SetObj.m_nCaptureScope, SCOPE_ALL);
}

} // namespace
