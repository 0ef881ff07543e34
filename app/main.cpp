// Hivewatch's window program.
#include "app/HivewatchApp.h"
#include "platform/FileNames.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace {

bool HasDisplay() {
    for (const char* pVar : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* pValue = std::getenv(pVar);
        if (pValue && *pValue)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (!HasDisplay()) {
        std::fprintf(stderr, "hivewatch: no display to open a window on; for capturing without "
                             "a window use hivewatch-capture (hivewatch-capture --help).\n");
        return 1;
    }
    QApplication::setOrganizationName(QStringLiteral("Vexo"));
    QApplication::setApplicationName(QStringLiteral("Hivewatch"));
    QApplication::setApplicationVersion(QStringLiteral(HW_VERSION));
    QApplication qapp(argc, argv);

    SAppOptions opts;
    QString strError;
    // The arguments Qt has left, with the bytes of file names kept.
    if (!CHivewatchApp::ParseCommandLine(PlatformArguments(argc, argv), opts, &strError)) {
        std::fprintf(stderr, "hivewatch: %s\n%s", qPrintable(strError),
                     qPrintable(CHivewatchApp::HelpText()));
        return 2;
    }
    if (opts.bShowHelp || opts.bShowVersion) {
        std::printf("%s", opts.bShowHelp ? qPrintable(CHivewatchApp::HelpText())
                                         : "Hivewatch " HW_VERSION "\n");
        return 0;
    }
    CHivewatchApp app;
    const bool bRun = app.InitInstance(opts);
    const int nCode = bRun ? QApplication::exec() : 0;
    return app.ExitInstance(nCode);
}
