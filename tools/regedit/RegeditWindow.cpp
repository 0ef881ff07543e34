#include "tools/regedit/RegeditWindow.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

CValueListView::CValueListView(CRegeditController& controller, QWidget* pParent)
    : QTreeView(pParent), m_controller(controller) {}

void CValueListView::keyboardSearch(const QString& strSearch) {
    for (QChar ch : strSearch)
        m_controller.TypeChar(ch);
}

void CValueListView::keyPressEvent(QKeyEvent* pEvent) {
    if (pEvent->key() == Qt::Key_Home && pEvent->modifiers() == Qt::NoModifier) {
        m_controller.KeyHome();
        scrollToTop();
        return;
    }
    QTreeView::keyPressEvent(pEvent);
}

CRegeditWindow::CRegeditWindow(const SRegeditSource& source, QWidget* pParent)
    : QMainWindow(pParent) {
    setObjectName(QLatin1String(REGEDIT_WINDOW_CLASS));
    resize(960, 640);
    QStyle* pStyle = style();
    m_controller.TreeModel().SetKeyIcon(pStyle->standardIcon(QStyle::SP_DirIcon));
    m_controller.ValueModel().SetIcons(pStyle->standardIcon(QStyle::SP_FileIcon),
                                       pStyle->standardIcon(QStyle::SP_FileDialogDetailedView));

    m_pTree = new QTreeView;
    m_pTree->setObjectName(QStringLiteral("SysTreeView32"));
    m_pTree->setModel(&m_controller.TreeModel());
    m_pTree->setSelectionModel(&m_controller.TreeSelection());
    m_pTree->setHeaderHidden(true);
    m_pTree->setUniformRowHeights(true);

    m_pValues = new CValueListView(m_controller);
    m_pValues->setObjectName(QStringLiteral("SysListView32"));
    m_pValues->setModel(&m_controller.ValueModel());
    m_pValues->setSelectionModel(&m_controller.ValueSelection());
    m_pValues->setRootIsDecorated(false);
    m_pValues->setUniformRowHeights(true);
    m_pValues->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pValues->header()->resizeSection(CRegValueModel::COL_NAME, 220);
    m_pValues->header()->resizeSection(CRegValueModel::COL_TYPE, 140);

    auto* pSplitter = new QSplitter;
    pSplitter->addWidget(m_pTree);
    pSplitter->addWidget(m_pValues);
    pSplitter->setStretchFactor(1, 2);
    m_pErrors = new QLabel;
    m_pErrors->setWordWrap(true);
    m_pErrors->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pErrors->setStyleSheet(QStringLiteral("QLabel { background: #fff3cd; padding: 4px; }"));
    auto* pCentral = new QWidget;
    auto* pLayout = new QVBoxLayout(pCentral);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->addWidget(m_pErrors);
    pLayout->addWidget(pSplitter, 1);
    setCentralWidget(pCentral);
    m_pPath = new QLabel;
    statusBar()->addWidget(m_pPath, 1);
    CreateMenus();

    connect(&m_controller, &CRegeditController::loaded, this, &CRegeditWindow::OnLoaded);
    connect(&m_controller, &CRegeditController::expandRequested, m_pTree, &QTreeView::expand);
    connect(&m_controller.TreeSelection(), &QItemSelectionModel::currentChanged, this,
            &CRegeditWindow::OnCurrentKeyChanged);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* pNow) {
        if (pNow == m_pValues || pNow == m_pTree)
            m_bListFocused = pNow == m_pValues;
    });
    m_controller.Open(source);
}

void CRegeditWindow::CreateMenus() {
    QMenu* pFile = menuBar()->addMenu(QStringLiteral("&File"));
    pFile->addAction(QStringLiteral("E&xit"), QKeySequence::Quit, this, &QWidget::close);
    QMenu* pView = menuBar()->addMenu(QStringLiteral("&View"));
    pView->addAction(QStringLiteral("&Refresh"), QKeySequence(Qt::Key_F5), &m_controller,
                     &CRegeditController::Reload);
}

void CRegeditWindow::SetChannelError(const QString& strError) {
    statusBar()->showMessage(QStringLiteral("Automation is off: %1").arg(strError));
}

void CRegeditWindow::OnLoaded() {
    setWindowTitle(QStringLiteral("Registry Editor - %1").arg(m_controller.Source().Describe()));
    const QStringList& arErrors = m_controller.Errors();
    m_pErrors->setText(arErrors.join(QLatin1Char('\n')));
    m_pErrors->setVisible(!arErrors.isEmpty());
    m_pPath->clear();
}

void CRegeditWindow::OnCurrentKeyChanged(const QModelIndex& current) {
    m_pPath->setText(m_controller.SelectedKeyPath());
    if (current.isValid())
        m_pTree->scrollTo(current);
}

void CRegeditWindow::OpenSource(const SRegeditSource& source) {
    m_controller.Open(source);
}

void CRegeditWindow::ShowAndRaise() {
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

QString CRegeditWindow::ExpandTreeNode(const QString& strPath, bool& bComplete) {
    const QString strSelected = m_controller.ExpandTreeNode(strPath, &bComplete);
    if (!strSelected.isEmpty())
        FocusValueList(false);
    return strSelected;
}

void CRegeditWindow::FocusValueList(bool bList) {
    m_bListFocused = bList;
    (bList ? static_cast<QWidget*>(m_pValues) : m_pTree)->setFocus(Qt::OtherFocusReason);
}

QString CRegeditWindow::KeyHome() {
    const QString strName = m_controller.KeyHome();
    m_pValues->scrollToTop();
    return strName;
}

QString CRegeditWindow::TypeChar(QChar ch) {
    const QString strName = m_controller.TypeChar(ch);
    m_pValues->scrollTo(m_controller.ValueSelection().currentIndex());
    return strName;
}

QStringList CRegeditWindow::State() const {
    return {m_controller.SelectedKeyPath(), m_controller.SelectedValueName(),
            m_bListFocused ? QStringLiteral("list") : QStringLiteral("tree"),
            isVisible() ? QStringLiteral("1") : QStringLiteral("0"),
            m_controller.Source().Folder()};
}

void CRegeditWindow::Quit() {
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}
