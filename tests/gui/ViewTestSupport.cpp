#include "tests/gui/ViewTestSupport.h"

#include "dialogs/UserMessage.h"
#include "display/FindReplaceDialog.h"
#include "settings/SetObj.h"

void ViewFixture::SetUp() {
    g_SetObj.ResetDefaults();
    g_SetObj.m_clrBackground = RGB(1, 2, 3);
    SetMessageHandler(
        [this](QWidget*, const QString& strText, EMessageKind) { m_arMessages.append(strText); });
    m_view.resize(800, 400);
    m_view.show();
    m_view.OnInitialUpdate();
    ASSERT_EQ(m_frame.m_pView, &m_view);
}

void ViewFixture::TearDown() {
    SetMessageHandler({});
    g_SetObj.ResetDefaults();
}

CFindReplaceDialog* ViewFixture::OpenFind() {
    const QList<CFindReplaceDialog*> arBefore = m_view.findChildren<CFindReplaceDialog*>();
    m_view.OnFind();
    for (CFindReplaceDialog* pDlg : m_view.findChildren<CFindReplaceDialog*>()) {
        if (!arBefore.contains(pDlg))
            return pDlg;
    }
    ADD_FAILURE() << "Find opened no dialog";
    return nullptr;
}
