// The Registry Changes window: what the events changed in the registry, as a tree with counts,
// a jump to each key, and the files that redo and undo the changes.
#pragma once

#include "dialogs/RegChangesModel.h"
#include "tools/regedit/RegeditJump.h"

#include <QDialog>

#include <memory>

class QLabel;
class QPushButton;
class QTreeView;

class CRegChangesDlg : public QDialog {
    Q_OBJECT
public:
    // strScope says which events were looked at ("all 1200 events").
    CRegChangesDlg(std::unique_ptr<CRegChanges> pChanges, const QString& strScope,
                   QWidget* pParent = nullptr);
    ~CRegChangesDlg() override;

    const CRegChanges& Changes() const { return *m_pChanges; }
    CRegChangesModel& Model() { return *m_pModel; }
    QTreeView* Tree() const { return m_pTree; }
    QLabel* Summary() const { return m_pSummary; }
    QPushButton* RedoButton() const { return m_pRedo; }
    QPushButton* UndoButton() const { return m_pUndo; }
    CRegeditJump& Jump() { return m_jump; }

    // Shows the row's key, and its value when it is a value row, in the registry editor.
    void JumpTo(const QModelIndex& index);
    // Asks for a file and writes the redo (bUndo false) or undo file there; false when the
    // user cancelled or the file could not be written (the user has been told why).
    bool ExportFile(bool bUndo);

private:
    void OnJumpFinished(bool bOk, const QString& strMessage);
    void EndWaitCursor();

    std::unique_ptr<CRegChanges> m_pChanges;
    std::unique_ptr<CRegChangesModel> m_pModel;
    QLabel* m_pSummary;
    QTreeView* m_pTree;
    QPushButton* m_pRedo;
    QPushButton* m_pUndo;
    CRegeditJump m_jump;
    bool m_bWaitCursor = false;
};
