// The event list at millions of records: one refresh (count change and repaint of a
// 1200 x 800 list), one scroll to an arbitrary row, and a plain repaint, at 10 thousand and
// 10 million records. Model and view work only; the records are filed outside the timing.
#include "bench/SampleDocument.h"
#include "bench/WindowBenchMain.h"
#include "display/BaseHivewatchDlg.h"
#include "display/MyListCtrl.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "store/RegOperations.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QImage>

#include <map>
#include <memory>
#include <vector>

namespace {

long long ResidentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

// One document and one shown 1200 x 800 list per size, made once.
struct SList {
    CHivewatchDoc doc;
    std::unique_ptr<CBaseHivewatchDlg> pDlg;
    long long nResidentKiB = 0;
};

SList& ListOf(long long nRecords) {
    static std::map<long long, std::unique_ptr<SList>> s_lists;
    if (s_lists.empty())
        ReleaseBeforeAppExit([] { s_lists.clear(); });
    std::unique_ptr<SList>& pList = s_lists[nRecords];
    if (!pList) {
        pList = std::make_unique<SList>();
        const long long nBefore = ResidentKiB();
        AppendSampleRecords(pList->doc, 0, nRecords);
        pList->nResidentKiB = ResidentKiB() - nBefore;
        pList->pDlg = ShowBenchList(pList->doc);
    }
    return *pList;
}

void Report(benchmark::State& state, SList& list) {
    state.counters["records"] = double(list.doc.GetRecordCount());
    state.counters["store_MiB"] = double(list.nResidentKiB) / 1024.0;
    state.counters["rows_shown"] = list.pDlg->GetListCtrl().GetCountPerPage();
}

// The capture thread filed 100 more records; the window shows the new count and repaints.
void BM_RefreshCountChangeAndRepaint(benchmark::State& state) {
    SList& list = ListOf(state.range(0));
    CMyListCtrl& ctrl = list.pDlg->GetListCtrl();
    long long nNext = list.doc.GetRecordCount();
    for (auto _ : state) {
        state.PauseTiming();
        AppendSampleRecords(list.doc, nNext, 100);
        nNext += 100;
        state.ResumeTiming();
        list.pDlg->RefreshItemCount();
        ctrl.viewport()->repaint();
    }
    Report(state, list);
}
BENCHMARK(BM_RefreshCountChangeAndRepaint)
    ->Arg(10'000)
    ->Arg(10'000'000)
    ->Unit(benchmark::kMillisecond);

// A jump of the scroll bar to any row, and the repaint that follows.
void BM_ScrollToArbitraryRow(benchmark::State& state) {
    SList& list = ListOf(state.range(0));
    CMyListCtrl& ctrl = list.pDlg->GetListCtrl();
    uint64_t x = 88172645463325252ull;
    for (auto _ : state) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        ctrl.SetTopIndex(qint64(x % uint64_t(ctrl.GetItemCount())));
        ctrl.viewport()->repaint();
    }
    Report(state, list);
}
BENCHMARK(BM_ScrollToArbitraryRow)->Arg(10'000)->Arg(10'000'000)->Unit(benchmark::kMillisecond);

// Painting the visible rows alone: the same at any record count.
void BM_RepaintVisibleRows(benchmark::State& state) {
    SList& list = ListOf(state.range(0));
    CMyListCtrl& ctrl = list.pDlg->GetListCtrl();
    for (auto _ : state)
        ctrl.viewport()->repaint();
    Report(state, list);
}
BENCHMARK(BM_RepaintVisibleRows)->Arg(10'000)->Arg(10'000'000)->Unit(benchmark::kMillisecond);

// The list's own painting, into an image, without the window system's backing store.
void BM_PaintIntoImage(benchmark::State& state) {
    SList& list = ListOf(state.range(0));
    QWidget* pViewport = list.pDlg->GetListCtrl().viewport();
    QImage image(pViewport->size(), QImage::Format_RGB32);
    for (auto _ : state)
        pViewport->render(&image);
    Report(state, list);
}
BENCHMARK(BM_PaintIntoImage)->Arg(10'000)->Arg(10'000'000)->Unit(benchmark::kMillisecond);

} // namespace
