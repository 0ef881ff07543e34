#include "app/HivewatchApp.h"

#include "app/DesktopRegistration.h"
#include "app/HivewatchDocLink.h"
#include "capture/FilterComposer.h"
#include "dialogs/UserMessage.h"
#include "display/BaseHivewatchDlg.h"
#include "display/HivewatchView.h"
#include "frame/MainFrame.h"
#include "frame/ShellOpenQueue.h"
#include "framework/DocManager.h"
#include "platform/EndSignals.h"
#include "platform/FileNames.h"
#include "platform/Paths.h"
#include "platform/SafeFile.h"
#include "res/Resources.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "store/RecordLock.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPixmap>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

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

// Writes the image in the format its name's extension names (PNG without one), replacing the
// file only when the whole image was written. The failure in words, or empty.
QString SaveImage(const QPixmap& image, const QString& strPath) {
    const QByteArray format = QFileInfo(strPath).suffix().toLatin1();
    CSafeFile file(strPath);
    if (!file.Open())
        return file.ErrorText();
    if (!image.save(&file, format.isEmpty() ? "PNG" : format.constData()))
        return file.ErrorNumber() != 0
                   ? file.ErrorText()
                   : QStringLiteral("cannot write %1: no image format has that extension")
                         .arg(strPath);
    return file.Commit() ? QString() : file.ErrorText();
}

// What the user is told once about the settings a run starts with: a file that could not be
// used, and filter lists too long for the driver. Empty when all is well.
QString SettingsStartNote(const SSettingsStart& settings, const QString& strPath) {
    QStringList arNotes;
    if (!settings.strMessage.isEmpty())
        arNotes << settings.strMessage;
    const QString strOverflow = FilterOverflowText(ComposeFilterTexts(g_SetObj));
    if (!strOverflow.isEmpty()) {
        arNotes << QStringLiteral("The filter lists of %1 do not fit the driver's filter: %2. "
                                  "Until they are shortened in Options, the entries that do not "
                                  "fit are left out of the filter.")
                       .arg(strPath, strOverflow);
    }
    return arNotes.join(QStringLiteral("\n\n"));
}

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
    // missing or damaged file leaves the defaults; a name that is no regular file ends the
    // start, since nothing could be read from it or saved to it.
    m_strSettingsPath = opts.strSettingsPath.isEmpty() ? ::GetSettingsPath() : opts.strSettingsPath;
    const SSettingsStart settings = StartWithSettingsFile(m_strSettingsPath, &g_SetObj);
    if (settings.bRefused) {
        std::fprintf(stderr, "hivewatch: %s\n", qPrintable(settings.strMessage));
        ShowMessage(nullptr, settings.strMessage, MSG_ERROR);
        m_nExitCode = 1;
        return false;
    }
    // Settings that could not be read are not replaced at exit.
    m_bSettingsLoaded = settings.bMayReplace;
    m_nAppLook = g_SetObj.m_nAppLook;
    const QString strSettingsNote = SettingsStartNote(settings, m_strSettingsPath);

    m_pDoc = std::make_unique<CHivewatchDoc>();
    m_pDocLink = std::make_unique<CHivewatchDocLink>(m_pDoc.get());
    m_pDocManager = std::make_unique<CDocManager>(
        m_pDocLink.get(), CDocTemplate(QLatin1String(HIVEWATCH_DOC_TEMPLATE)));
    m_pDocManager->InitialNewDocument();

    m_pMainFrame = std::make_unique<CMainFrame>(m_pDoc.get(), m_pDocManager.get());
    m_pDoc->SetHost(m_pMainFrame.get());
    m_pDocLink->SetProgressWindow(m_pMainFrame.get());
    if (!m_pMainFrame->OnCreate())
        return false;
    connect(m_hInstanceMutex.get(), &CSingleInstance::FileHandedOver, m_pMainFrame.get(),
            &CMainFrame::OpenDocumentFromShell);
    // From here on a logout or a service manager ends the program through EndOnSignal,
    // which keeps what was captured.
    m_pEndSignals = std::make_unique<CEndSignals>();
    connect(m_pEndSignals.get(), &CEndSignals::EndRequested, this, &CHivewatchApp::EndOnSignal);

    if (opts.bRegisterDesktop)
        RegisterWithDesktop({UserDataHome(), QCoreApplication::applicationFilePath(), true});

    if (!opts.strScreenshot.isEmpty()) {
        if (!strSettingsNote.isEmpty())
            std::fprintf(stderr, "hivewatch: %s\n", qPrintable(strSettingsNote));
        StartScreenshot(opts.strScreenshot);
        return true;
    }
    m_pMainFrame->showMaximized();
    OfferUnsavedCapture();
    // Told once the window shows: settings that could not be used.
    if (!strSettingsNote.isEmpty()) {
        QTimer::singleShot(0, m_pMainFrame.get(), [pFrame = m_pMainFrame.get(), strSettingsNote] {
            ShowMessage(pFrame, strSettingsNote, MSG_WARNING);
        });
    }
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
        const QString strError = SaveImage(image, strPath);
        if (!strError.isEmpty()) {
            std::fprintf(stderr, "hivewatch: %s\n", qPrintable(strError));
            m_nExitCode = 1;
        }
        // What was captured for the picture is not a document worth a save prompt.
        m_pDoc->m_bNewRecords = 0;
        pFrame->close();
    });
}

QString CHivewatchApp::UnsavedCapturePath() {
    const QString strDir = PlatformUserDataDir();
    return strDir.isEmpty() ? QString() : strDir + QStringLiteral("unsaved-capture.hvw");
}

void CHivewatchApp::OfferUnsavedCapture() {
    const QString strPath = UnsavedCapturePath();
    struct stat st {};
    if (strPath.isEmpty() || stat(PlatformFileNameBytes(strPath).constData(), &st) != 0)
        return;
    QMessageBox box(QMessageBox::Question, QStringLiteral("Hivewatch"),
                    QStringLiteral("Restore the capture that was not saved?"),
                    QMessageBox::Yes | QMessageBox::No, m_pMainFrame.get());
    box.setDefaultButton(QMessageBox::Yes);
    const int nAnswer = box.exec();
    if (nAnswer != QMessageBox::Yes && nAnswer != QMessageBox::No)
        return; // not answered (the program is ending): offered again next time
    if (nAnswer == QMessageBox::Yes) {
        if (!m_pDocManager->OpenAsUntitled(strPath) && m_pDoc->GetRecordCount() == 0) {
            QMessageBox kept(QMessageBox::Warning, QStringLiteral("Hivewatch"),
                             PlatformReadableFileName(
                                 QStringLiteral("The capture was left in %1.").arg(strPath)),
                             QMessageBox::Ok, m_pMainFrame.get());
            kept.exec();
            return;
        }
        // Records not saved: closing asks to save them.
        m_pDoc->m_bNewRecords = 1;
        m_pMainFrame->UpdateCommandStates();
    }
    ::unlink(PlatformFileNameBytes(strPath).constData());
}

void CHivewatchApp::EndOnSignal(int nSignal) {
    if (m_bEnding || !m_pMainFrame)
        return;
    m_bEnding = true;
    std::fprintf(stderr, "hivewatch: ending on signal %d (%s)\n", nSignal, strsignal(nSignal));
    m_pMainFrame->GetOpenQueue()->Stop();
    m_pMainFrame->OnStopCapture();
    if (m_pDoc->m_bNewRecords) {
        const QString strPath = UnsavedCapturePath();
        QString strError = QStringLiteral("the user's data folder cannot be found");
        if (!strPath.isEmpty() && m_pDoc->OnSaveDocument(strPath, &strError))
            std::fprintf(stderr, "hivewatch: the capture not saved is kept in %s\n",
                         qPrintable(PlatformReadableFileName(strPath)));
        else
            std::fprintf(stderr, "hivewatch: the capture not saved could not be kept: %s\n",
                         qPrintable(PlatformReadableFileName(strError)));
    }
    SaveSettings();
    // Nothing is asked any more: the records are kept, or could not be.
    m_pDoc->m_bNewRecords = 0;
    m_pDoc->SetModifiedFlag(false);
    CloseWhenDialogsAreGone();
}

// Each open dialog is dismissed as Cancel would; what its caller does next may open another,
// which goes the same way; then the window closes.
void CHivewatchApp::CloseWhenDialogsAreGone() {
    if (QWidget* pModal = QApplication::activeModalWidget()) {
        if (auto* pDialog = qobject_cast<QDialog*>(pModal))
            pDialog->reject();
        else
            pModal->close();
        QTimer::singleShot(0, this, &CHivewatchApp::CloseWhenDialogsAreGone);
        return;
    }
    if (m_pMainFrame)
        m_pMainFrame->close();
}

// Saved at once: the session may end the process before the window has closed.
void CHivewatchApp::SaveSettings() {
    if (!m_bSettingsLoaded)
        return;
    QString strError;
    if (!SaveSettingsFile(m_strSettingsPath, &g_SetObj, &strError))
        std::fprintf(stderr, "hivewatch: %s\n", qPrintable(PlatformReadableFileName(strError)));
}

int CHivewatchApp::ExitInstance(int nExitCode) {
    if (m_pDoc)
        m_pDoc->SetHost(nullptr);
    m_pMainFrame.reset();
    if (m_hInstanceMutex)
        m_hInstanceMutex->Release();
    m_pEndSignals.reset();
    // A run that ended before loading the settings, or could not read them, must not replace
    // them with defaults.
    if (m_bSettingsLoaded)
        SaveSettingsFile(m_strSettingsPath, &g_SetObj);
    return nExitCode != 0 ? nExitCode : m_nExitCode;
}
