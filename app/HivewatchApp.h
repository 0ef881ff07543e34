// The application object: one instance per session, settings in and out, the document,
// the glue and the main window, the command line.
#pragma once

#include "app/SingleInstance.h"
#include "framework/WinAppEx.h"

#include <QString>
#include <QStringList>

#include <memory>

class CDocManager;
class CEndSignals;
class CHivewatchDoc;
class CHivewatchDocLink;
class CMainFrame;

struct SAppOptions {
    QString strFile;         // a capture document to open
    QString strSettingsPath; // the settings file; empty: the program's own setobj.dat
    QString strScreenshot;   // grab the window while it captures into this image, then end
    QString strInstanceDir;  // where the instance lock lives; empty: the user's runtime folder
    bool bRegisterDesktop = true;
    bool bShowHelp = false;
    bool bShowVersion = false;
};

class CHivewatchApp : public CWinAppEx {
    Q_OBJECT
public:
    CHivewatchApp();
    ~CHivewatchApp() override;

    // Reads the command line: [--settings FILE] [--screenshot FILE] [document.hvw].
    static bool ParseCommandLine(const QStringList& arArgs, SAppOptions& opts, QString* pStrError);
    static QString HelpText();

    // The start-up: false when this run ends at once (another instance runs, or the
    // window could not be built); there is then no window.
    bool InitInstance(const SAppOptions& opts);
    // The shut-down, also after a start that ended early: releases the instance and saves
    // the settings if this run loaded them. Returns the exit code.
    int ExitInstance(int nExitCode);

    // Where a capture not yet saved is kept when the program is ended by a signal: in the
    // user's data folder. Empty when that folder cannot be had.
    static QString UnsavedCapturePath();
    // The program is asked to end (SIGTERM, SIGHUP, SIGINT) and no one may be there to
    // answer: the capture stops, records not yet saved go to UnsavedCapturePath(), the
    // settings are saved, open dialogs are dismissed and the window closes without asking.
    void EndOnSignal(int nSignal);

    CMainFrame* GetMainFrame() const { return m_pMainFrame.get(); }
    CHivewatchDoc* GetDocument() const { return m_pDoc.get(); }
    CDocManager* GetDocManager() const { return m_pDocManager.get(); }
    CHivewatchDocLink* GetDocLink() const { return m_pDocLink.get(); }
    QString GetSettingsPath() const { return m_strSettingsPath; }

    std::unique_ptr<CSingleInstance> m_hInstanceMutex;

private:
    void StartScreenshot(const QString& strPath);
    // Offers back a capture kept when the program was last ended by a signal, then removes
    // the file (unless it could not be read: it stays, and the user is told where).
    void OfferUnsavedCapture();
    void SaveSettings();
    void CloseWhenDialogsAreGone();

    std::unique_ptr<CHivewatchDoc> m_pDoc;
    std::unique_ptr<CHivewatchDocLink> m_pDocLink;
    std::unique_ptr<CDocManager> m_pDocManager;
    std::unique_ptr<CMainFrame> m_pMainFrame;
    std::unique_ptr<CEndSignals> m_pEndSignals;
    QString m_strSettingsPath;
    bool m_bSettingsLoaded = false;
    bool m_bEnding = false;
    int m_nExitCode = 0;
};
