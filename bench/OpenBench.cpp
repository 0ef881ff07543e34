// Opening a capture document in the window: how soon the first rows show, the longest the
// window goes without handling its events, and the whole open, for documents of 10 thousand
// and 10 million records of the varied flood mix. The open runs as the window runs it: the
// list refreshed and the progress (with Cancel, after its delay) asked every step. The limit
// is a plain read of the same file, timed in the same run; the load average comes with each
// figure.
#include "bench/BenchSupport.h"
#include "bench/WindowBenchMain.h"
#include "display/BaseHivewatchDlg.h"
#include "display/WorkProgress.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <map>
#include <memory>

namespace {

// A document of nRecords saved once in the temporary folder; removed at the end.
QString DocumentFile(long long nRecords) {
    static std::map<long long, QString> s_files;
    if (s_files.empty())
        ReleaseBeforeAppExit([] {
            for (const auto& [n, strPath] : s_files)
                QFile::remove(strPath);
        });
    QString& strPath = s_files[nRecords];
    if (strPath.isEmpty()) {
        g_SetObj.m_nHistoryDepth = 0;
        CHivewatchDoc doc;
        FillFromBuffers(doc, FloodDriverBuffers(), size_t(nRecords));
        strPath = QDir::tempPath() + QStringLiteral("/hw_open_bench_%1_%2.hvw")
                                         .arg(QCoreApplication::applicationPid())
                                         .arg(nRecords);
        if (!doc.OnSaveDocument(strPath))
            strPath.clear();
    }
    return strPath;
}

double ReadSeconds(const QString& strPath) {
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    QByteArray block(64 << 20, Qt::Uninitialized);
    QElapsedTimer clock;
    clock.start();
    while (file.read(block.data(), block.size()) > 0) {
    }
    return double(clock.nsecsElapsed()) * 1e-9;
}

void BM_OpenInWindow(benchmark::State& state) {
    const QString strPath = DocumentFile(state.range(0));
    if (strPath.isEmpty()) {
        state.SkipWithError("the document could not be written");
        return;
    }
    CHivewatchDoc doc;
    CBaseHivewatchDlg dlg(&doc);
    dlg.resize(1200, 800);
    dlg.show();
    QApplication::processEvents();
    double dFirstRows = 0, dMaxGap = 0, dTotal = 0;
    for (auto _ : state) {
        CWorkProgress progress(&dlg, QStringLiteral("Open"), QStringLiteral("Opening..."));
        QElapsedTimer clock;
        clock.start();
        qint64 nFirstNs = -1, nLastNs = 0;
        const bool bOk = doc.OnOpenDocument(strPath, nullptr, [&](long long nDone, long long n) {
            dlg.RefreshItemCount();
            const qint64 nNow = clock.nsecsElapsed();
            if (nFirstNs < 0)
                nFirstNs = nNow;
            dMaxGap = std::max(dMaxGap, double(nNow - nLastNs) * 1e-6);
            nLastNs = nNow;
            return progress.Continue(nDone, n);
        });
        dlg.RefreshItemCount();
        QApplication::processEvents();
        const double dNow = double(clock.nsecsElapsed());
        dTotal += dNow * 1e-6;
        dFirstRows += (nFirstNs < 0 ? dNow : double(nFirstNs)) * 1e-6;
        dMaxGap = std::max(dMaxGap, (dNow - double(nLastNs)) * 1e-6);
        if (!bOk)
            state.SkipWithError("the document could not be opened");
    }
    const double dRuns = double(state.iterations());
    state.counters["first_rows_ms"] = dFirstRows / dRuns;
    state.counters["max_gap_ms"] = dMaxGap;
    state.counters["open_ms"] = dTotal / dRuns;
    const double dRead = ReadSeconds(strPath) * 1e3;
    state.counters["read_ms"] = dRead;
    state.counters["x_read"] = dRead > 0 ? dTotal / dRuns / dRead : 0;
    state.counters["records"] = double(doc.GetRecordCount());
    state.counters["load1"] = LoadAverage();
}
BENCHMARK(BM_OpenInWindow)
    ->Arg(10'000)
    ->Arg(10'000'000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

} // namespace
