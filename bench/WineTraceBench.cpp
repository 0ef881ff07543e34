// Speed of the Wine trace parser on the recorded Wine 8.0 trace, read again and again: lines
// cut, requests followed, events made (with their record text), shadow registry kept current.
#include "driver/LineSplitter.h"
#include "driver/WineTraceParser.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>

namespace {

const std::string& TraceText() {
    static const std::string s_strText = [] {
        std::ifstream in(HW_TESTDATA_DIR "/wine_trace_reg_ops.txt", std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }();
    return s_strText;
}

void BM_ParseWineTrace(benchmark::State& state) {
    const std::string& strText = TraceText();
    if (strText.empty()) {
        state.SkipWithError("tests/data/wine_trace_reg_ops.txt is missing");
        return;
    }
    uint64_t nLines = 0, nEvents = 0;
    for (auto _ : state) {
        CWineShadowRegistry shadow;
        CWineTraceParser parser(&shadow);
        CLineSplitter splitter;
        std::vector<SDriverEvent> arEvents;
        splitter.Feed(strText, [&](std::string_view line, bool) {
            arEvents.clear();
            parser.ParseLine(line, arEvents);
            for (const SDriverEvent& ev : arEvents)
                benchmark::DoNotOptimize(FormatRecordText(ev));
            nEvents += arEvents.size();
        });
        nLines += parser.LinesRead();
    }
    state.SetItemsProcessed(int64_t(nLines));
    state.SetBytesProcessed(int64_t(strText.size() * state.iterations()));
    state.counters["events/s"] = benchmark::Counter(double(nEvents), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ParseWineTrace)->Unit(benchmark::kMillisecond);

} // namespace
