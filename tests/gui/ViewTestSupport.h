// The event view in a test: its document, a frame that notes the details asked for, and the
// program's messages caught instead of shown.
#pragma once

#include "display/BaseHivewatchDlg.h"
#include "display/HivewatchView.h"
#include "display/ViewFrame.h"
#include "store/HivewatchDoc.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <vector>

class CFindReplaceDialog;

class CFakeViewFrame : public IViewFrame {
public:
    void SetMainView(CHivewatchView* pView) override { m_pView = pView; }
    int ShowRecordDetails(qint64 nRow) override {
        m_arShown.push_back(nRow);
        return 1;
    }
    CHivewatchView* m_pView = nullptr;
    std::vector<qint64> m_arShown; // rows whose details were shown, in order
};

// The look's background is RGB(1, 2, 3) throughout.
class ViewFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    CBaseHivewatchDlg& List() { return *m_view.GetListDlg(); }
    // Edit > Find: the dialog it opened.
    CFindReplaceDialog* OpenFind();

    CHivewatchDoc m_doc;
    CFakeViewFrame m_frame;
    CHivewatchView m_view{&m_doc, &m_frame};
    QStringList m_arMessages; // texts of the message boxes the program showed
};
