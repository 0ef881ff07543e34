// The event list of a filtered capture: one refresh (100 records filed, the count changed and
// the visible rows of a 1200 x 800 list painted) at 10 thousand and 10 million records of a
// varied mix, with and without a filter. The limit is the paint alone, timed in the same run:
// a refresh that costs no more than it does not depend on the count. The load average comes
// with each figure.
#include "bench/BenchSupport.h"
#include "bench/VariedDocument.h"
#include "bench/WindowBenchMain.h"
#include "display/BaseHivewatchDlg.h"
#include "display/MyListCtrl.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>

#include <map>
#include <memory>

namespace {

struct SList {
    CHivewatchDoc doc;
    std::unique_ptr<CBaseHivewatchDlg> pDlg;
};

SList& ListOf(long long nRecords) {
    static std::map<long long, std::unique_ptr<SList>> s_lists;
    if (s_lists.empty())
        ReleaseBeforeAppExit([] { s_lists.clear(); });
    std::unique_ptr<SList>& pList = s_lists[nRecords];
    if (!pList) {
        g_SetObj.m_nHistoryDepth = 0;
        pList = std::make_unique<SList>();
        FillVariedDocument(pList->doc, size_t(nRecords));
        pList->pDlg = ShowBenchList(pList->doc);
    }
    return *pList;
}

// range(0): records; range(1): the rule set shown (-1: no filter).
void BM_RefreshFilteredList(benchmark::State& state) {
    SList& list = ListOf(state.range(0));
    const long long nSet = state.range(1);
    list.doc.SetDisplayFilter(nSet < 0 ? CFilterRules() : VariedRuleSets()[size_t(nSet)].rules);
    state.SetLabel(nSet < 0 ? "no filter" : VariedRuleSets()[size_t(nSet)].pName);
    CMyListCtrl& ctrl = list.pDlg->GetListCtrl();
    list.pDlg->RefreshItemCount();
    ctrl.SetTopIndex(ctrl.GetItemCount() / 2);
    unsigned nSeed = 100;
    double dRefresh = 0, dPaint = 0;
    QElapsedTimer clock;
    for (auto _ : state) {
        state.PauseTiming();
        FillVariedDocument(list.doc, 100, ++nSeed);
        state.ResumeTiming();
        clock.start();
        list.pDlg->RefreshItemCount();
        ctrl.viewport()->repaint();
        dRefresh += double(clock.nsecsElapsed());
        state.PauseTiming();
        clock.start();
        ctrl.viewport()->repaint();
        dPaint += double(clock.nsecsElapsed());
        state.ResumeTiming();
    }
    const double n = double(state.iterations());
    state.counters["ms_refresh"] = dRefresh / n / 1e6;
    state.counters["ms_paint_alone"] = dPaint / n / 1e6;
    state.counters["ratio_to_paint"] = dRefresh / dPaint;
    state.counters["records"] = double(list.doc.GetRecordCount());
    state.counters["shown"] = double(list.doc.GetShownCount());
    state.counters["load1"] = LoadAverage();
    list.doc.SetDisplayFilter({});
}
BENCHMARK(BM_RefreshFilteredList)
    ->ArgsProduct({{10'000, 10'000'000}, {-1, 1, 2}})
    ->Iterations(50)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

} // namespace
