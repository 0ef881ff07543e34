#include "frame/HelpWindow.h"

#include <QIcon>
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
}
