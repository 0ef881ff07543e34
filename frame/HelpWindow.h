// The user guide that ships inside the program, in a window of its own.
#pragma once

#include <QWidget>

class QTextBrowser;

class CHelpWindow : public QWidget {
    Q_OBJECT
public:
    // The guide's resource path.
    static constexpr const char* GUIDE_URL = "qrc:/help/user-guide.md";

    explicit CHelpWindow(QWidget* pParent = nullptr);

    QTextBrowser* GetBrowser() const { return m_pBrowser; }

protected:
    // Escape and Ctrl+W close the window.
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    QTextBrowser* m_pBrowser;
};
