// The main of the benchmarks that need widgets: an application object on the offscreen
// platform unless another is asked for, then the benchmarks named on the command line.
#include "bench/WindowBenchMain.h"
#include "display/BaseHivewatchDlg.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include <vector>

namespace {

std::vector<std::function<void()>>& Releases() {
    static std::vector<std::function<void()>> s_arReleases;
    return s_arReleases;
}

} // namespace

void ReleaseBeforeAppExit(std::function<void()> fnRelease) {
    Releases().push_back(std::move(fnRelease));
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // Newest first, as statics would have gone.
    for (auto it = Releases().rbegin(); it != Releases().rend(); ++it)
        (*it)();
    Releases().clear();
    return 0;
}

std::unique_ptr<CBaseHivewatchDlg> ShowBenchList(CHivewatchDoc& doc) {
    auto pDlg = std::make_unique<CBaseHivewatchDlg>(&doc);
    pDlg->resize(1200, 800);
    pDlg->show();
    pDlg->RefreshItemCount();
    QApplication::processEvents();
    return pDlg;
}
