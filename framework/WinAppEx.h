// The application object's shared state: the look in force and the image choice, one per run.
#pragma once

#include <QObject>

class CWinAppEx : public QObject {
    Q_OBJECT
public:
    CWinAppEx();
    ~CWinAppEx() override;
    CWinAppEx(const CWinAppEx&) = delete;
    CWinAppEx& operator=(const CWinAppEx&) = delete;

    // The application object of this run, or nullptr when none exists (parts under test).
    static CWinAppEx* GetApp();

    int m_nAppLook = 0;          // the application look in force, a command ID
    bool m_bHiColorIcons = true; // the full-colour toolbar and pane images
};
