#include "dialogs/RegChangesDlg.h"

#include "dialogs/FileChooser.h"
#include "dialogs/UserMessage.h"
#include "settings/SetObj.h"
#include "utils/ui/ColorRef.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

constexpr const char* REG_FILE_FILTER = "Registry Files (*.reg)|*.reg|All Files (*.*)|*.*||";
constexpr size_t EXPAND_ALL_ITEMS = 5000;
constexpr int MAX_DATA_COLUMN_CHARS = 60;

} // namespace

CRegChangesDlg::CRegChangesDlg(std::unique_ptr<CRegChanges> pChanges, const QString& strScope,
                               QWidget* pParent)
    : QDialog(pParent), m_pChanges(std::move(pChanges)),
      m_pModel(std::make_unique<CRegChangesModel>(*m_pChanges)) {
    setWindowTitle(QStringLiteral("Registry Changes"));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ColorFromRef(g_SetObj.m_clrBackground));
    setPalette(pal);
    setAutoFillBackground(true);

    auto* pLayout = new QVBoxLayout(this);
    m_pSummary = new QLabel(RegChangeCountsText(m_pChanges->Counts()), this);
    m_pSummary->setWordWrap(true);
    m_pSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    pLayout->addWidget(m_pSummary);
    auto* pScope = new QLabel(
        QStringLiteral("From the first to the last of %1. Double-click a key or value to show "
                       "it in the registry editor.")
            .arg(strScope),
        this);
    pScope->setWordWrap(true);
    pLayout->addWidget(pScope);

    m_pTree = new QTreeView(this);
    m_pTree->setModel(m_pModel.get());
    m_pTree->setUniformRowHeights(true);
    m_pTree->setAlternatingRowColors(true);
    m_pTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Everything open when it is a few screens' worth; otherwise down to the keys below the
    // roots, so a huge tree opens at once.
    if (m_pModel->ItemCount() <= EXPAND_ALL_ITEMS)
        m_pTree->expandAll();
    else
        m_pTree->expandToDepth(1);
    for (int nColumn = 0; nColumn < CRegChangesModel::COLUMN_COUNT; ++nColumn)
        m_pTree->resizeColumnToContents(nColumn);
    // A long value does not push the processes out of sight.
    const int nDataWidth = fontMetrics().averageCharWidth() * MAX_DATA_COLUMN_CHARS;
    if (m_pTree->columnWidth(CRegChangesModel::COL_DATA) > nDataWidth)
        m_pTree->setColumnWidth(CRegChangesModel::COL_DATA, nDataWidth);
    pLayout->addWidget(m_pTree, 1);
    connect(m_pTree, &QTreeView::doubleClicked, this, &CRegChangesDlg::JumpTo);

    auto* pButtons = new QDialogButtonBox(this);
    m_pRedo = pButtons->addButton(QStringLiteral("Export Redo..."), QDialogButtonBox::ActionRole);
    m_pUndo = pButtons->addButton(QStringLiteral("Export Undo..."), QDialogButtonBox::ActionRole);
    QPushButton* pClose = pButtons->addButton(QDialogButtonBox::Close);
    m_pRedo->setToolTip(QStringLiteral("A .reg file that applies these changes"));
    m_pUndo->setToolTip(QStringLiteral("A .reg file that reverts these changes"));
    connect(m_pRedo, &QPushButton::clicked, this, [this] { ExportFile(false); });
    connect(m_pUndo, &QPushButton::clicked, this, [this] { ExportFile(true); });
    connect(pClose, &QPushButton::clicked, this, &QDialog::reject);
    pLayout->addWidget(pButtons);

    connect(&m_jump, &CRegeditJump::finished, this, &CRegChangesDlg::OnJumpFinished);
    // Room for the paths and data without filling a small screen.
    const QSize room = screen() ? screen()->availableGeometry().size() : QSize(1024, 768);
    resize(std::min(room.width() * 3 / 4, 1000), std::min(room.height() * 3 / 4, 640));
}

CRegChangesDlg::~CRegChangesDlg() {
    EndWaitCursor();
}

void CRegChangesDlg::JumpTo(const QModelIndex& index) {
    const CRegChangeKey* pKey = m_pModel->KeyOf(index);
    if (!pKey || m_jump.IsRunning())
        return;
    if (!m_jump.Start(pKey->FullPath(), m_pModel->ValueNameOf(index)))
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_bWaitCursor = true;
}

void CRegChangesDlg::EndWaitCursor() {
    if (m_bWaitCursor) {
        m_bWaitCursor = false;
        QApplication::restoreOverrideCursor();
    }
}

void CRegChangesDlg::OnJumpFinished(bool bOk, const QString& strMessage) {
    EndWaitCursor();
    if (!bOk)
        ShowMessage(this, strMessage, MSG_WARNING);
}

bool CRegChangesDlg::ExportFile(bool bUndo) {
    const QString strPath = ChooseFile(this, QString::fromLatin1(REG_FILE_FILTER), true);
    if (strPath.isEmpty())
        return false;
    const CRegFileWriter file = bUndo ? m_pChanges->UndoFile() : m_pChanges->RedoFile();
    QString strError;
    if (!file.Save(strPath, strError)) {
        ShowMessage(this,
                    QStringLiteral("The %1 file was not written: %2")
                        .arg(bUndo ? QStringLiteral("undo") : QStringLiteral("redo"), strError),
                    MSG_ERROR);
        return false;
    }
    ShowMessage(this,
                QStringLiteral("The %1 file was written to %2. Import it with the registry "
                               "editor (under Wine: wine regedit /s FILE).")
                    .arg(bUndo ? QStringLiteral("undo") : QStringLiteral("redo"), strPath),
                MSG_INFORMATION);
    return true;
}
