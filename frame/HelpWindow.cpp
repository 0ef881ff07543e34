#include "frame/HelpWindow.h"

#include <QIcon>
#include <QKeyEvent>
#include <QTextBrowser>
#include <QTextDocument>
#include <QUrl>
#include <QVBoxLayout>

CHelpWindow::CHelpWindow(QWidget* pParent)
    : QWidget(pParent, Qt::Window), m_pBrowser(new QTextBrowser(this)) {
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Hivewatch Help"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/help.svg")));
    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->addWidget(m_pBrowser);
    m_pBrowser->setOpenExternalLinks(true);
    m_pBrowser->setSource(QUrl(QString::fromLatin1(GUIDE_URL)), QTextDocument::MarkdownResource);
    resize(720, 640);
    // A window of its own closes as the desktop's windows do, from the keyboard too. The
    // browser has the focus and would take Ctrl+W for itself, so its keys are seen first.
    m_pBrowser->installEventFilter(this);
}

bool CHelpWindow::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (pEvent->type() == QEvent::ShortcutOverride || pEvent->type() == QEvent::KeyPress) {
        const auto* pKey = static_cast<QKeyEvent*>(pEvent);
        const bool bClose =
            (pKey->key() == Qt::Key_Escape && pKey->modifiers() == Qt::NoModifier) ||
            (pKey->key() == Qt::Key_W && pKey->modifiers() == Qt::ControlModifier);
        if (bClose) {
            pEvent->accept(); // the override: the key comes as a key press, not a shortcut
            if (pEvent->type() == QEvent::KeyPress)
                close();
            return true;
        }
    }
    return QWidget::eventFilter(pWatched, pEvent);
}
