// Find over millions of records: a search that matches nothing examines every record, the
// worst case a user meets. Through the view's Find Next (the record lock, the document's
// search over every core, the progress that shows after a moment) and the document's search
// alone, on one thread and on all. The records are the varied flood mix the capture thread
// files (thousands of paths, every operation); the narrow sample, a few dozen records
// repeated, is the labelled best case. Searched: a word, digits (sequence numbers, process
// IDs, values) and a clock time, none found anywhere. Each figure comes with the load average
// and its ratio to the time a memcpy of the store's bytes takes in the same run.
#include "bench/BenchSupport.h"
#include "bench/SampleDocument.h"
#include "bench/WindowBenchMain.h"
#include "display/FindReplaceDialog.h"
#include "display/HivewatchView.h"
#include "display/ViewFrame.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include <map>
#include <memory>

namespace {

class CNoFrame : public IViewFrame {
public:
    void SetMainView(CHivewatchView*) override {}
    int ShowRecordDetails(qint64) override { return 1; }
};

// One document and one shown view per size and mix, made once.
struct SDocument {
    CHivewatchDoc doc;
    CNoFrame frame;
    std::unique_ptr<CHivewatchView> pView;
    double dCopySeconds = 0; // a memcpy of the store's bytes
};

enum EMix { MIX_VARIED, MIX_NARROW };

SDocument& DocumentOf(long long nRecords, EMix nMix) {
    static std::map<std::pair<long long, EMix>, std::unique_ptr<SDocument>> s_docs;
    if (s_docs.empty())
        ReleaseBeforeAppExit([] { s_docs.clear(); });
    std::unique_ptr<SDocument>& p = s_docs[{nRecords, nMix}];
    if (!p) {
        g_SetObj.m_nHistoryDepth = 0;
        p = std::make_unique<SDocument>();
        if (nMix == MIX_VARIED)
            FillFromBuffers(p->doc, FloodDriverBuffers(), size_t(nRecords));
        else
            AppendSampleRecords(p->doc, 0, nRecords);
        p->dCopySeconds = CopySeconds(p->doc.m_listRecords.GetBytesHeld());
        p->pView = std::make_unique<CHivewatchView>(&p->doc, &p->frame);
        p->pView->resize(1200, 800);
        p->pView->show();
        p->pView->OnInitialUpdate();
        QApplication::processEvents();
    }
    return *p;
}

// Searched texts that match no record of either mix.
const QString NEEDLES[] = {QStringLiteral("no such text anywhere"), QStringLiteral("99999999"),
                           QStringLiteral("25:61")};
const char* const NEEDLE_NAMES[] = {"word", "digits", "clock time"};

void Report(benchmark::State& state, const SDocument& d, const char* pMix) {
    state.SetLabel(std::string(pMix) + ", " + NEEDLE_NAMES[state.range(1)]);
    state.counters["records"] = double(d.doc.GetRecordCount());
    state.counters["load1"] = LoadAverage();
    // Seconds per search over the memcpy's seconds: the Find loop's time, not a rate.
    state.counters["x_memcpy"] =
        benchmark::Counter(d.dCopySeconds * double(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["copy_ms"] = d.dCopySeconds * 1e3;
}

// Find Next in the view, nothing selected, down: every record is examined once.
void ViewFindNoMatch(benchmark::State& state, EMix nMix, const char* pMix) {
    SDocument& d = DocumentOf(state.range(0), nMix);
    const QString& strNeedle = NEEDLES[state.range(1)];
    for (auto _ : state) {
        if (d.pView->OnFindReplace(strNeedle, FR_FINDNEXT | FR_DOWN) != -1)
            state.SkipWithError("found a match");
    }
    Report(state, d, pMix);
}
void BM_ViewFindNoMatch(benchmark::State& state) {
    ViewFindNoMatch(state, MIX_VARIED, "varied");
}
void BM_ViewFindNoMatchNarrow(benchmark::State& state) {
    ViewFindNoMatch(state, MIX_NARROW, "narrow, best case");
}
BENCHMARK(BM_ViewFindNoMatch)
    ->ArgsProduct({{10'000, 10'000'000}, {0, 1, 2}})
    ->ArgNames({"records", "needle"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ViewFindNoMatchNarrow)
    ->ArgsProduct({{10'000, 10'000'000}, {0}})
    ->ArgNames({"records", "needle"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The document's search alone, with each combination of the match options, on one thread
// (range 3: 1) or on every core (0).
void BM_DocumentFindNoMatch(benchmark::State& state) {
    SDocument& d = DocumentOf(state.range(0), MIX_VARIED);
    const QString& strNeedle = NEEDLES[state.range(1)];
    const int bMatchCase = int(state.range(2) & 1);
    const int bWholeWord = int(state.range(2) >> 1 & 1);
    const int nParts = int(state.range(3));
    for (auto _ : state) {
        const long long n = d.doc.GetRecordCount();
        if (d.doc.FindRecordIndex(strNeedle, bMatchCase, bWholeWord, n - 1, true, {}, nParts) != -1)
            state.SkipWithError("found a match");
    }
    Report(state, d, nParts == 1 ? "varied, one thread" : "varied, every core");
}
BENCHMARK(BM_DocumentFindNoMatch)
    ->ArgsProduct({{10'000'000}, {0, 1}, {0, 3}, {1, 0}})
    ->ArgNames({"records", "needle", "case+2*word", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
