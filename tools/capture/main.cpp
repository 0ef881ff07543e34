// hivewatch-capture: the capture engine on the command line.
#include "platform/FileNames.h"
#include "tools/capture/CaptureTool.h"

#include <QStringList>

#include <cstdio>

int main(int argc, char** argv) {
    // File names are bytes: the arguments keep them even where they are not UTF-8.
    const QStringList args = PlatformArguments(argc, argv).mid(1);
    SCaptureToolOptions opts;
    QString strError;
    if (!ParseCaptureToolArgs(args, opts, strError)) {
        std::fprintf(stderr, "hivewatch-capture: %s\n\n%s",
                     PlatformReadableFileName(strError).toLocal8Bit().constData(),
                     CAPTURE_TOOL_USAGE);
        return 2;
    }
    return RunCaptureTool(opts, stdout, stderr);
}
