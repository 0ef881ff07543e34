// hivewatch-capture: the capture engine on the command line.
#include "tools/capture/CaptureTool.h"

#include <QStringList>

#include <cstdio>

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    SCaptureToolOptions opts;
    QString strError;
    if (!ParseCaptureToolArgs(args, opts, strError)) {
        std::fprintf(stderr, "hivewatch-capture: %s\n\n%s", strError.toLocal8Bit().constData(),
                     CAPTURE_TOOL_USAGE);
        return 2;
    }
    return RunCaptureTool(opts, stdout, stderr);
}
