// The details pane "Information": a dock with one tab showing the selected record's fields.
#pragma once

#include "display/MyMFCTabCtrl.h"

#include <QDockWidget>
#include <QPlainTextEdit>
#include <QString>

class COutputWnd : public QDockWidget {
    Q_OBJECT
public:
    explicit COutputWnd(QWidget* pParent = nullptr);

    // The text exactly as built, with its "\r\n" line ends; shown line by line.
    void SetDetailsText(const QString& strText);
    QString GetDetailsText() const { return m_strText; }

    // Repaints the text in the settings' background colour (after a change of look).
    void UpdateColors();

    CMyMFCTabCtrl& GetTabs() { return m_wndTabs; }
    QPlainTextEdit& GetDetails() { return m_wndDetails; }

private:
    CMyMFCTabCtrl m_wndTabs;
    QPlainTextEdit m_wndDetails;
    QString m_strText;
};
