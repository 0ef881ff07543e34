// The display filter over ten million records of a varied mix (thousands of processes and keys,
// every operation): applying a filter on one thread and on every core, testing records as they
// arrive while the history is trimmed, finding the record of a row, and the memory the shown
// rows take. Each figure comes with its ratio to a physical limit timed in the same run (a
// plain copy of the bytes the walk must read, a random read from memory) and the load average
// at the end of the run, since the machine is shared.
#include "bench/BenchSupport.h"
#include "bench/VariedDocument.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "store/RecordLock.h"

#include <benchmark/benchmark.h>

#include <QFile>

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr size_t TEN_MILLION = 10'000'000;

double LoadAverage() {
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    return file.readAll().split(' ').value(0).toDouble();
}

// The ten-million-record document, made once; the history depth is off while it is filled.
CHivewatchDoc& TenMillion() {
    static CHivewatchDoc* s_pDoc = [] {
        g_SetObj.m_nHistoryDepth = 0;
        auto* p = new CHivewatchDoc;
        FillVariedDocument(*p, TEN_MILLION);
        return p;
    }();
    return *s_pDoc;
}

// Bytes a walk reads at least: the 32-byte entries, and the records' own bytes when the rules
// need them.
size_t BytesRead(const CHivewatchDoc& doc, bool bReadsTexts) {
    CAutoLock lock(&g_RecordLock);
    const size_t nEntries = size_t(doc.GetRecordCount()) * sizeof(SRecordEntry);
    return bReadsTexts ? doc.m_listRecords.GetBytesHeld() : nEntries;
}

// Applying a filter to every record: range(0) the rule set, range(1) the threads (0: as many
// as are worth it). The limit is a plain copy of the bytes the walk reads.
void BM_ApplyFilter(benchmark::State& state) {
    CHivewatchDoc& doc = TenMillion();
    const SVariedRuleSet& set = VariedRuleSets()[size_t(state.range(0))];
    const int nThreads = int(state.range(1));
    state.SetLabel(set.pName);
    double dWall = 0, dCpu = 0;
    for (auto _ : state) {
        const CStopwatch watch;
        if (!doc.SetDisplayFilter(set.rules, nThreads))
            state.SkipWithError("not enough memory");
        dWall += watch.WallSeconds();
        dCpu += watch.CpuSeconds();
        state.PauseTiming();
        state.counters["shown"] = double(doc.GetShownCount());
        state.counters["bytes_per_shown"] =
            double(doc.GetShownBytesHeld()) / double(std::max<long long>(1, doc.GetShownCount()));
        doc.SetDisplayFilter({});
        state.ResumeTiming();
    }
    const double n = double(state.iterations());
    const double dLimit = CopySeconds(BytesRead(doc, set.bReadsTexts));
    state.counters["ms_wall"] = dWall * 1e3 / n;
    state.counters["ms_cpu_caller"] = dCpu * 1e3 / n;
    state.counters["limit_copy_ms"] = dLimit * 1e3;
    state.counters["ratio_to_limit"] = dWall / n / dLimit;
    state.counters["records"] = double(doc.GetRecordCount());
    state.counters["load1"] = LoadAverage();
}
BENCHMARK(BM_ApplyFilter)
    ->ArgsProduct({{0, 1, 2, 3, 4, 5}, {1, 0}})
    ->ArgNames({"rules", "threads"})
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The Filter dialog's preview: the count alone, nothing kept, on every core worth it.
void BM_CountForPreview(benchmark::State& state) {
    CHivewatchDoc& doc = TenMillion();
    const SVariedRuleSet& set = VariedRuleSets()[size_t(state.range(0))];
    state.SetLabel(set.pName);
    double dWall = 0;
    for (auto _ : state) {
        const CStopwatch watch;
        benchmark::DoNotOptimize(doc.CountShownBy(set.rules));
        dWall += watch.WallSeconds();
    }
    const double dLimit = CopySeconds(BytesRead(doc, set.bReadsTexts));
    state.counters["ms_wall"] = dWall * 1e3 / double(state.iterations());
    state.counters["ratio_to_limit"] = dWall / double(state.iterations()) / dLimit;
    state.counters["load1"] = LoadAverage();
}
BENCHMARK(BM_CountForPreview)
    ->Arg(1)
    ->Arg(4)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Records of the mix as the driver sends them, for appending again and again.
struct SFieldTexts {
    std::array<std::string, 7> texts;
    int32_t nPid;
};

std::vector<SFieldTexts> ArrivingRecords(size_t nCount) {
    CHivewatchDoc source;
    FillVariedDocument(source, nCount, 7);
    std::vector<SFieldTexts> out(nCount);
    CAutoLock lock(&g_RecordLock);
    for (size_t i = 0; i < nCount; ++i) {
        CRegInfoObj r;
        source.CopyRecordAt((long long)i, r);
        out[i].nPid = r.m_nPid;
        out[i].texts = {std::to_string(r.m_nPid),     r.m_strProcessName.toStdString(),
                        r.m_strRequest.toStdString(), r.m_strPath.toStdString(),
                        r.m_strResult.toStdString(),  r.m_strOldValue.toStdString(),
                        r.m_strNewValue.toStdString()};
    }
    return out;
}

// Appending as the capture thread does, the history depth trimming one record per append:
// without a filter, then with one that tests every record (one process's writes); per record.
// range(0): the records kept. The limit is a copy of the records' bytes.
void BM_AppendWhileFiltered(benchmark::State& state) {
    const long long nKept = state.range(0);
    std::unique_ptr<CHivewatchDoc> pSmall;
    CHivewatchDoc* pDoc = &TenMillion();
    if (nKept < (long long)TEN_MILLION) {
        pSmall = std::make_unique<CHivewatchDoc>();
        FillVariedDocument(*pSmall, size_t(nKept));
        pDoc = pSmall.get();
    }
    static const std::vector<SFieldTexts> s_arriving = ArrivingRecords(1 << 16);
    size_t nBytes = 0;
    for (const SFieldTexts& r : s_arriving)
        for (const std::string& s : r.texts)
            nBytes += s.size();
    g_SetObj.m_nHistoryDepth = int32_t(nKept);
    const auto appendAll = [&] {
        const CStopwatch watch;
        uint32_t nSeq = 20'000'000;
        for (size_t nDone = 0; nDone < s_arriving.size();) {
            CAutoLock lock(&g_RecordLock);
            pDoc->BeginCaptureGroup(pDoc->GetGeneration());
            for (size_t k = 0; k < 4096 && nDone < s_arriving.size(); ++k, ++nDone) {
                const SFieldTexts& r = s_arriving[nDone];
                ++nSeq;
                pDoc->AppendCaptured(nSeq, 133'600'000'000'000'000ull + nSeq, r.nPid,
                                     {r.texts[0], r.texts[1], r.texts[2], r.texts[3], r.texts[4],
                                      r.texts[5], r.texts[6]});
            }
            pDoc->EndCaptureGroup();
        }
        return watch.CpuSeconds();
    };
    // A filter is put in force by a walk of every record, which leaves the caches cold: each
    // timed round follows an untimed one under the same rules.
    double dPlain = 0, dFiltered = 0;
    int64_t nRounds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        pDoc->SetDisplayFilter({});
        appendAll();
        state.ResumeTiming();
        dPlain += appendAll();
        state.PauseTiming();
        pDoc->SetDisplayFilter(VariedRuleSets()[1].rules);
        appendAll();
        state.ResumeTiming();
        dFiltered += appendAll();
        ++nRounds;
    }
    pDoc->SetDisplayFilter({});
    g_SetObj.m_nHistoryDepth = 0;
    const double nRecords = double(nRounds) * double(s_arriving.size());
    std::vector<char> from(nBytes, 'x'), to(nBytes);
    const CStopwatch copyWatch;
    for (int64_t i = 0; i < nRounds; ++i) {
        std::memcpy(to.data(), from.data(), nBytes);
        benchmark::ClobberMemory();
    }
    const double dCopy = copyWatch.CpuSeconds();
    state.counters["ns_per_record_plain"] = dPlain / nRecords * 1e9;
    state.counters["ns_per_record_filtered"] = dFiltered / nRecords * 1e9;
    state.counters["ns_filter_test"] = (dFiltered - dPlain) / nRecords * 1e9;
    state.counters["ns_copy_of_record_bytes"] = dCopy / nRecords * 1e9;
    state.counters["ratio_to_copy"] = dFiltered / std::max(dCopy, 1e-9);
    state.counters["records_kept"] = double(pDoc->GetRecordCount());
    state.counters["load1"] = LoadAverage();
}
BENCHMARK(BM_AppendWhileFiltered)
    ->Arg(10'000)
    ->Arg(TEN_MILLION)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

// The record of a row, at random rows of ten million: the row's list index alone (the
// mapping), and the whole copy a list cell takes. range(0): filtered. The limit is one random
// read from memory as large as the index.
void BM_RowLookup(benchmark::State& state) {
    CHivewatchDoc& doc = TenMillion();
    const bool bFiltered = state.range(0) != 0;
    doc.SetDisplayFilter(bFiltered ? VariedRuleSets()[2].rules : CFilterRules());
    const long long nRows = doc.GetShownCount();
    uint64_t x = 88172645463325252ull;
    const auto next = [&] {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        return (long long)(x % uint64_t(nRows));
    };
    double dMap = 0, dCopy = 0;
    int64_t n = 0;
    CRegInfoObj record;
    for (auto _ : state) {
        CStopwatch watch;
        for (int i = 0; i < 10000; ++i)
            benchmark::DoNotOptimize(doc.IndexAtRow(next()));
        dMap += watch.CpuSeconds();
        watch = CStopwatch();
        for (int i = 0; i < 10000; ++i)
            benchmark::DoNotOptimize(doc.CopyRecordAtRow(next(), record));
        dCopy += watch.CpuSeconds();
        n += 10000;
    }
    // Random reads of four bytes from an array of forty million of them.
    std::vector<uint32_t> ar(40'000'000, 1);
    uint64_t nSum = 0;
    const CStopwatch readWatch;
    for (int64_t i = 0; i < n; ++i)
        nSum += ar[size_t(next() * 4 % (long long)ar.size())];
    benchmark::DoNotOptimize(nSum);
    const double dRead = readWatch.CpuSeconds();
    doc.SetDisplayFilter({});
    state.counters["rows"] = double(nRows);
    state.counters["ns_row_to_index"] = dMap / double(n) * 1e9;
    state.counters["ns_row_to_cell_copy"] = dCopy / double(n) * 1e9;
    state.counters["ns_random_read"] = dRead / double(n) * 1e9;
    state.counters["ratio_to_random_read"] = dMap / dRead;
    state.counters["load1"] = LoadAverage();
}
BENCHMARK(BM_RowLookup)->Arg(0)->Arg(1)->Iterations(20)->Unit(benchmark::kMillisecond);

} // namespace
