#include "app/HivewatchApp.h"

#include "app/DesktopRegistration.h"
#include "app/HivewatchDocLink.h"
#include "display/BaseHivewatchDlg.h"
#include "display/HivewatchView.h"
#include "frame/MainFrame.h"
#include "framework/DocManager.h"
#include "platform/FileNames.h"
#include "res/Resources.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "store/RecordLock.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QPixmap>
#include <QTimer>

#include <cstdio>

namespace {

void SetUpParser(QCommandLineParser& parser) {
    parser.setApplicationDescription(QStringLiteral("Hivewatch, a registry-activity monitor."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({QStringLiteral("settings"),
                      QStringLiteral("Use this settings file instead of the program's setobj.dat."),
                      QStringLiteral("file")});
    parser.addOption({QStringLiteral("screenshot"),
                      QStringLiteral("Capture for a few seconds, save an image of the window, "
                                     "and end."),
                      QStringLiteral("image")});
    parser.addPositionalArgument(QStringLiteral("document"),
                                 QStringLiteral("A capture document (.hvw) to open."),
                                 QStringLiteral("[document.hvw]"));
}

// Screenshot timing: capture starts shortly after the window shows; the image is taken once
// the list has filled.
constexpr int SCREENSHOT_START_MS = 300;
constexpr int SCREENSHOT_GRAB_MS = 3000;
constexpr int SCREENSHOT_SELECTED_ROW = 3;

} // namespace

CHivewatchApp::CHivewatchApp() {
    m_nAppLook = DEFAULT_APP_LOOK;
    m_bHiColorIcons = true;
    InitHivewatchResources();
}

CHivewatchApp::~CHivewatchApp() {
    if (m_pDoc)
        m_pDoc->SetHost(nullptr);
    m_pMainFrame.reset();
}

bool CHivewatchApp::ParseCommandLine(const QStringList& arArgs, SAppOptions& opts,
                                     QString* pStrError) {
    QCommandLineParser parser;
    SetUpParser(parser);
    if (!parser.parse(arArgs)) {
        if (pStrError)
            *pStrError = parser.errorText();
        return false;
    }
    opts.bShowHelp = parser.isSet(QStringLiteral("help"));
    opts.bShowVersion = parser.isSet(QStringLiteral("version"));
    opts.strSettingsPath = parser.value(QStringLiteral("settings"));
    opts.strScreenshot = parser.value(QStringLiteral("screenshot"));
    const QStringList arFiles = parser.positionalArguments();
    if (arFiles.size() > 1) {
        if (pStrError)
            *pStrError = QStringLiteral("Only one document can be opened.");
        return false;
    }
    opts.strFile = arFiles.isEmpty() ? QString() : arFiles.constFirst();
    return true;
}

QString CHivewatchApp::HelpText() {
    QCommandLineParser parser;
    SetUpParser(parser);
    return parser.helpText();
}

bool CHivewatchApp::InitInstance(const SAppOptions& opts) {
    QCoreApplication::setOrganizationName(QStringLiteral("Vexo"));
    QCoreApplication::setApplicationName(QStringLiteral("Hivewatch"));

    // One instance per session. A later start hands its document over and ends silently,
    // without a window and without touching the settings.
    m_hInstanceMutex = std::make_unique<CSingleInstance>(opts.strInstanceDir);
    const CSingleInstance::EResult instance = m_hInstanceMutex->Acquire();
    if (instance == CSingleInstance::OTHER_INSTANCE) {
        if (!opts.strFile.isEmpty())
            m_hInstanceMutex->HandOver(PlatformAbsoluteFileName(opts.strFile));
        return false;
    }
    if (instance == CSingleInstance::INSTANCE_FAILED) {
        // Not silent: without the lock this start cannot tell whether it would be the second.
        std::fprintf(stderr,
                     "hivewatch: %s. The window needs a folder of this user's own for "
                     "its instance lock; set XDG_RUNTIME_DIR to one.\n",
                     qPrintable(PlatformReadableFileName(m_hInstanceMutex->ErrorText())));
        return false;
    }
    if (!m_hInstanceMutex->ErrorText().isEmpty())
        std::fprintf(stderr, "hivewatch: %s\n",
                     qPrintable(PlatformReadableFileName(m_hInstanceMutex->ErrorText())));

    // The settings come before the window: it takes its look and colours from them. A
    // missing or damaged file leaves the defaults.
    m_strSettingsPath = opts.strSettingsPath.isEmpty() ? ::GetSettingsPath() : opts.strSettingsPath;
    LoadSettingsFile(m_strSettingsPath, &g_SetObj);
    m_bSettingsLoaded = true;
    m_nAppLook = g_SetObj.m_nAppLook;

    m_pDoc = std::make_unique<CHivewatchDoc>();
    m_pDocLink = std::make_unique<CHivewatchDocLink>(m_pDoc.get());
    m_pDocManager = std::make_unique<CDocManager>(
        m_pDocLink.get(), CDocTemplate(QLatin1String(HIVEWATCH_DOC_TEMPLATE)));
    m_pDocManager->InitialNewDocument();

    m_pMainFrame = std::make_unique<CMainFrame>(m_pDoc.get(), m_pDocManager.get());
    m_pDoc->SetHost(m_pMainFrame.get());
    if (!m_pMainFrame->OnCreate())
        return false;
    connect(m_hInstanceMutex.get(), &CSingleInstance::FileHandedOver, m_pMainFrame.get(),
            &CMainFrame::OpenDocumentFromShell);

    if (opts.bRegisterDesktop)
        RegisterWithDesktop({UserDataHome(), QCoreApplication::applicationFilePath(), true});

    if (!opts.strScreenshot.isEmpty()) {
        StartScreenshot(opts.strScreenshot);
        return true;
    }
    m_pMainFrame->showMaximized();
    // A document that cannot be read is reported and the window stays, holding whatever
    // could be read of it.
    if (!opts.strFile.isEmpty())
        m_pMainFrame->OpenDocumentFromShell(opts.strFile);
    return true;
}

void CHivewatchApp::StartScreenshot(const QString& strPath) {
    CMainFrame* pFrame = m_pMainFrame.get();
    pFrame->resize(1280, 800);
    pFrame->show();
    QTimer::singleShot(SCREENSHOT_START_MS, pFrame, [pFrame] { pFrame->OnStartCapture(); });
    QTimer::singleShot(SCREENSHOT_GRAB_MS, pFrame, [this, pFrame, strPath] {
        QPixmap image;
        {
            // The capture thread waits while the picture is taken, so the list, the
            // selected row and the details pane all show the same records.
            CAutoLock lock(&g_RecordLock);
            if (CBaseHivewatchDlg* pDlg =
                    pFrame->m_pMainView ? pFrame->m_pMainView->GetListDlg() : nullptr) {
                pDlg->RefreshItemCount();
                pDlg->SelectRow(SCREENSHOT_SELECTED_ROW);
            }
            image = pFrame->grab();
        }
        if (!image.save(strPath)) {
            std::fprintf(stderr, "hivewatch: cannot write %s\n", qPrintable(strPath));
            m_nExitCode = 1;
        }
        // What was captured for the picture is not a document worth a save prompt.
        m_pDoc->m_bNewRecords = 0;
        pFrame->close();
    });
}

int CHivewatchApp::ExitInstance(int nExitCode) {
    if (m_pDoc)
        m_pDoc->SetHost(nullptr);
    m_pMainFrame.reset();
    if (m_hInstanceMutex)
        m_hInstanceMutex->Release();
    // A run that ended before loading the settings must not replace them with defaults.
    if (m_bSettingsLoaded)
        SaveSettingsFile(m_strSettingsPath, &g_SetObj);
    return nExitCode != 0 ? nExitCode : m_nExitCode;
}
