// Find over millions of records: a search that matches nothing examines every record, the
// worst case a user meets. Through the view's Find Next (the record lock, the document's
// search, the progress that shows after a moment) and the document's search alone.
#include "bench/SampleDocument.h"
#include "bench/WindowBenchMain.h"
#include "display/FindReplaceDialog.h"
#include "display/HivewatchView.h"
#include "display/ViewFrame.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "store/RegOperations.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include <map>
#include <memory>
#include <vector>

namespace {

class CNoFrame : public IViewFrame {
public:
    void SetMainView(CHivewatchView*) override {}
    int ShowRecordDetails(qint64) override { return 1; }
};

// One document and one shown view per size, made once.
struct SDocument {
    CHivewatchDoc doc;
    CNoFrame frame;
    std::unique_ptr<CHivewatchView> pView;
};

SDocument& DocumentOf(long long nRecords) {
    static std::map<long long, std::unique_ptr<SDocument>> s_docs;
    if (s_docs.empty())
        ReleaseBeforeAppExit([] { s_docs.clear(); });
    std::unique_ptr<SDocument>& p = s_docs[nRecords];
    if (!p) {
        p = std::make_unique<SDocument>();
        AppendSampleRecords(p->doc, 0, nRecords);
        p->pView = std::make_unique<CHivewatchView>(&p->doc, &p->frame);
        p->pView->resize(1200, 800);
        p->pView->show();
        p->pView->OnInitialUpdate();
        QApplication::processEvents();
    }
    return *p;
}

const QString NOWHERE = QStringLiteral("no such text anywhere");

// Find Next in the view, nothing selected, down: every record is examined once.
void BM_ViewFindNoMatch(benchmark::State& state) {
    SDocument& d = DocumentOf(state.range(0));
    for (auto _ : state) {
        const qint64 nRow = d.pView->OnFindReplace(NOWHERE, FR_FINDNEXT | FR_DOWN);
        if (nRow != -1)
            state.SkipWithError("found a match");
    }
    state.counters["records"] = double(d.doc.GetRecordCount());
    state.counters["records_per_s"] = benchmark::Counter(
        double(d.doc.GetRecordCount()) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ViewFindNoMatch)
    ->Arg(10'000)
    ->Arg(10'000'000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The document's search alone, with each combination of the match options.
void BM_DocumentFindNoMatch(benchmark::State& state) {
    SDocument& d = DocumentOf(state.range(0));
    const int bMatchCase = int(state.range(1) & 1);
    const int bWholeWord = int(state.range(1) >> 1 & 1);
    for (auto _ : state) {
        const long long n = d.doc.GetRecordCount();
        if (d.doc.FindRecordIndex(NOWHERE, bMatchCase, bWholeWord, n - 1, true) != -1)
            state.SkipWithError("found a match");
    }
    state.counters["records"] = double(d.doc.GetRecordCount());
}
BENCHMARK(BM_DocumentFindNoMatch)
    ->ArgsProduct({{10'000'000}, {0, 1, 2, 3}})
    ->ArgNames({"records", "case+2*word"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
