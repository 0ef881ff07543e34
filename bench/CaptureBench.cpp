// Capture path: decoding real flood driver buffers into the document, the memory a record
// takes, the CSV export, and the whole path from the flooding driver module. Each speed is
// also given as a ratio to a plain copy of the same bytes timed in the same run.
#include "bench/BenchSupport.h"
#include "capture/CaptureEngine.h"
#include "capture/CsvExport.h"
#include "platform/SafeFile.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "utils/SystemInfo.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

size_t TotalBytes(const std::vector<ByteVector>& buffers) {
    size_t n = 0;
    for (const ByteVector& buf : buffers)
        n += buf.size();
    return n;
}

// Decode and append under the lock, from the real driver's flood buffers, into a document
// already holding as many records as the history depth keeps, so that every append also
// trims, as in a long capture.
void Ingest(benchmark::State& state, const std::vector<ByteVector>& buffers) {
    if (buffers.empty()) {
        state.SkipWithError("the driver module gave no flood buffers");
        return;
    }
    g_SetObj.m_nHistoryDepth = int32_t(state.range(0));
    CHivewatchDoc doc;
    FillFromBuffers(doc, buffers, size_t(state.range(0)));
    CCaptureEngine engine(&doc);
    engine.m_bRunning = 1;
    engine.m_bCapturing = 1;
    const size_t nRecordsPerRound = RecordsIn(buffers);
    const size_t nBytesPerRound = TotalBytes(buffers);
    int64_t nRounds = 0;
    double dWall = 0, dCpu = 0;
    for (auto _ : state) {
        const CStopwatch watch;
        for (const ByteVector& buf : buffers)
            engine.WalkBuffer(buf.data(), buf.size());
        dWall += watch.WallSeconds();
        dCpu += watch.CpuSeconds();
        ++nRounds;
    }
    engine.m_bRunning = 0;
    engine.m_bCapturing = 0;
    state.SetItemsProcessed(nRounds * int64_t(nRecordsPerRound));
    state.SetBytesProcessed(nRounds * int64_t(nBytesPerRound));
    const double dCopy = CopyBuffersSeconds(buffers, int(nRounds));
    state.counters["records_per_s_cpu"] = double(nRounds * nRecordsPerRound) / dCpu;
    state.counters["records_per_s_wall"] = double(nRounds * nRecordsPerRound) / dWall;
    state.counters["copy_GB_per_s"] = double(nRounds * nBytesPerRound) / dCopy / 1e9;
    state.counters["ratio_to_copy"] = dCopy / dCpu;
    g_SetObj.m_nHistoryDepth = 0;
}

// The varied flood: the simulation's mix of every operation on thousands of distinct paths.
void BM_Ingest(benchmark::State& state) {
    Ingest(state, FloodDriverBuffers());
}
BENCHMARK(BM_Ingest)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->MinTime(3);

// The narrow flood, the best case for the store's caches (64 records on 4 keys).
void BM_IngestNarrow(benchmark::State& state) {
    Ingest(state, NarrowFloodBuffers());
}
BENCHMARK(BM_IngestNarrow)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->MinTime(3);

// Heap bytes one record costs, by the allocators' own counts, for one million records of
// the flood mix with 60-character paths; the resident growth is shown beside it.
void BM_MemoryPerRecord(benchmark::State& state) {
    constexpr size_t RECORDS = 1'000'000;
    const std::vector<ByteVector> buffers = FloodMixBuffers(RECORDS, 60);
    for (auto _ : state) {
        CHivewatchDoc doc;
        const size_t nHeap = HeapBytesInUse();
        const size_t nResident = ResidentBytes();
        FillFromBuffers(doc, buffers, RECORDS);
        state.counters["bytes_per_record"] = double(HeapBytesInUse() - nHeap) / RECORDS;
        state.counters["resident_bytes_per_record"] = double(ResidentBytes() - nResident) / RECORDS;
        state.counters["records"] = doc.GetRecordCount();
    }
}
BENCHMARK(BM_MemoryPerRecord)->Iterations(1)->Unit(benchmark::kMillisecond);

// The export of one million flood records, through the safe file (written whole, flushed to
// disk, renamed); the copy writes the same number of bytes through the same kind of file.
void BM_ExportCsv(benchmark::State& state) {
    constexpr size_t RECORDS = 1'000'000;
    CHivewatchDoc doc;
    FillFromBuffers(doc, FloodDriverBuffers(), RECORDS);
    QTemporaryDir dir;
    const QString strPath = dir.path() + QStringLiteral("/export.csv");
    double dWall = 0, dCpu = 0;
    int64_t nRuns = 0;
    for (auto _ : state) {
        const CStopwatch watch;
        const SExportResult result = ExportCsv(doc, strPath, EXPORT_ALL);
        dWall += watch.WallSeconds();
        dCpu += watch.ProcessCpuSeconds(); // the file's writer thread included
        ++nRuns;
        if (!result.bOk)
            state.SkipWithError("the export failed");
    }
    const qint64 nBytes = QFile(strPath).size();
    const QByteArray block(1 << 16, 'x');
    const CStopwatch copyWatch;
    for (int64_t i = 0; i < nRuns; ++i) {
        CSafeFile file(dir.path() + QStringLiteral("/copy.csv"));
        file.Open();
        for (qint64 n = 0; n < nBytes; n += block.size())
            file.write(block.constData(), std::min<qint64>(block.size(), nBytes - n));
        file.Commit();
    }
    const double dCopy = copyWatch.CpuSeconds();
    state.SetItemsProcessed(nRuns * int64_t(RECORDS));
    state.SetBytesProcessed(nRuns * nBytes);
    state.counters["records_per_s_cpu"] = double(nRuns * RECORDS) / dCpu;
    state.counters["records_per_s_wall"] = double(nRuns * RECORDS) / dWall;
    state.counters["ratio_to_copy"] = dCopy / dCpu;
    state.counters["copy_records_per_s_wall"] = double(nRuns * RECORDS) / copyWatch.WallSeconds();
}
BENCHMARK(BM_ExportCsv)->Unit(benchmark::kMillisecond)->MinTime(2);

// The real driver module flooding its varied mix; each iteration captures for one second.
void BM_FloodEndToEnd(benchmark::State& state) {
    setenv("HIVEWATCH_DRIVER_SOURCE", "flood:varied", 1);
    g_SetObj.m_nHistoryDepth = int32_t(state.range(0));
    CHivewatchDoc doc;
    CCaptureEngine engine(&doc);
    if (!engine.StartDriver()) {
        state.SkipWithError("the driver did not start");
        return;
    }
    engine.StartCapture();
    uint64_t nFiled = 0;
    for (auto _ : state) {
        const uint64_t nBefore = engine.RecordsFiled();
        std::this_thread::sleep_for(std::chrono::seconds(1));
        nFiled += engine.RecordsFiled() - nBefore;
    }
    engine.StopDriver();
    state.SetItemsProcessed(int64_t(nFiled));
    state.counters["records_in_document"] = doc.GetRecordCount();
    unsetenv("HIVEWATCH_DRIVER_SOURCE");
    g_SetObj.m_nHistoryDepth = 0;
}
BENCHMARK(BM_FloodEndToEnd)
    ->Arg(1'000'000)
    ->Iterations(4)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// hivewatch-capture --count N --out X.hvw (or --csv X.csv) against the varied flood, as a user
// runs it, beside `cp X Y && sync` of the file it wrote, on the same disk, in the same run. The
// target: the capture and save take at most 1.3 times the copy.
void BM_CaptureToolSave(benchmark::State& state) {
    const bool bCsv = state.range(1) != 0;
    const QString strTool = g_ExtSysInfo.GetExePath() + QStringLiteral("hivewatch-capture");
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/hw_bench-XXXXXX"));
    const QString strOut =
        dir.path() + (bCsv ? QStringLiteral("/capture.csv") : QStringLiteral("/capture.hvw"));
    const QString strCopy = dir.path() + QStringLiteral("/copy");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HIVEWATCH_DRIVER_SOURCE"), QStringLiteral("flood:varied"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir.path());
    const auto run = [&](const QString& strProgram, const QStringList& args) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(strProgram, args);
        return p.waitForFinished(600000) && p.exitCode() == 0;
    };
    double dTool = 0, dCopy = 0;
    int64_t nRuns = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QFile::remove(strOut);
        run(QStringLiteral("sync"), {}); // each run starts with no dirty pages of the last
        state.ResumeTiming();
        const CStopwatch tool;
        if (!run(strTool,
                 {"--count", QString::number(state.range(0)), bCsv ? "--csv" : "--out", strOut}))
            state.SkipWithError("hivewatch-capture failed");
        dTool += tool.WallSeconds();
        state.PauseTiming();
        QFile::remove(strCopy);
        run(QStringLiteral("sync"), {});
        state.ResumeTiming();
        const CStopwatch copy;
        run(QStringLiteral("sh"), {"-c", "cp \"$0\" \"$1\" && sync", strOut, strCopy});
        dCopy += copy.WallSeconds();
        ++nRuns;
    }
    state.counters["tool_s"] = dTool / double(nRuns);
    state.counters["cp_sync_s"] = dCopy / double(nRuns);
    state.counters["ratio_to_cp_sync"] = dTool / dCopy;
    state.counters["GB"] = double(QFile(strOut).size()) / 1e9;
    state.counters["load1"] = LoadAverage();
}
BENCHMARK(BM_CaptureToolSave)
    ->ArgNames({"records", "csv"})
    ->Args({10'000'000, 0})
    ->Args({10'000'000, 1})
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
