// Event store: append with trimming, lookup by index, .hvw save and load through the page
// cache, Find over ten million records and freeing them. Speeds come with the time a plain
// copy, write or read of the same bytes takes in the same run. Every benchmark keeps a bounded
// number of records.
#include "bench/BenchSupport.h"
#include "platform/SafeFile.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "store/RecordLock.h"
#include "utils/Archive.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <chrono>

#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

// A realistic record: a 60-character path, short process name and values. Every text is
// allocated on its own, as in a loaded capture document.
CRegInfoObj* MakeRecord(int n) {
    auto* p = new CRegInfoObj;
    p->m_nSeq = n;
    p->m_strTime = QString::fromLatin1("12:34:56.%1").arg(n % 1000, 3, 10, QLatin1Char('0'));
    p->m_strProcessName = QString::fromLatin1("explorer.exe");
    p->m_nPid = 4000 + (n & 63);
    p->m_strRequest = QString::fromLatin1("RegQueryValue");
    p->m_strPath =
        QString::fromLatin1("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\V%1")
            .arg(n % 1000, 4, 10, QLatin1Char('0'));
    p->m_strResult = QString::fromLatin1("SUCCESS");
    p->m_strOldValue = QString::fromLatin1("REG_DWORD: 0x00000001 (1)");
    return p;
}

// Records made ahead in batches outside the timing, so only the append and the trim count.
// Without a depth the run is cut at a fixed number of records.
void BM_AppendWithTrim(benchmark::State& state) {
    g_SetObj.m_nHistoryDepth = int32_t(state.range(0));
    CHivewatchDoc doc;
    std::vector<CRegInfoObj*> batch;
    int n = 0;
    for (auto _ : state) {
        if (batch.empty()) {
            state.PauseTiming();
            for (int i = 0; i < 4096; ++i)
                batch.push_back(MakeRecord(n++));
            state.ResumeTiming();
        }
        doc.AppendRecord(batch.back());
        batch.pop_back();
    }
    for (CRegInfoObj* p : batch)
        delete p;
    state.SetItemsProcessed(state.iterations());
    g_SetObj.m_nHistoryDepth = 0;
}
BENCHMARK(BM_AppendWithTrim)->Arg(100000)->Iterations(3'000'000);
BENCHMARK(BM_AppendWithTrim)->Arg(0)->Iterations(1'000'000);

// A document of one million flood records for the lookup, save and load benchmarks.
CHivewatchDoc& MillionDoc() {
    static CHivewatchDoc* s_pDoc = [] {
        auto* p = new CHivewatchDoc;
        FillFromBuffers(*p, FloodDriverBuffers(), 1'000'000);
        return p;
    }();
    return *s_pDoc;
}

void BM_CopyRecordAtRandomIndex(benchmark::State& state) {
    const CHivewatchDoc& doc = MillionDoc();
    const long long n = doc.GetRecordCount();
    uint64_t x = 88172645463325252ull;
    CRegInfoObj record;
    for (auto _ : state) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        benchmark::DoNotOptimize(doc.CopyRecordAt((long long)(x % uint64_t(n)), record));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CopyRecordAtRandomIndex);

// The folder a save benchmark writes to. A memory file system holds its files in the page
// cache alone; a disk-backed one also makes the writer wait when the kernel throttles dirty
// pages on their way to the disk, which measures the disk more than the save.
QString SaveFolder(bool bPageCacheOnly) {
    if (bPageCacheOnly && QFileInfo(QStringLiteral("/dev/shm")).isWritable())
        return QStringLiteral("/dev/shm");
    return QDir::tempPath();
}

// Saving as the program saves (through the checked writer: a temporary file, every write
// checked, fsync, rename), into a file that is replaced each time. The copy writes the same
// bytes from memory through the same kind of file, fsync included. Argument 1: a memory file
// system (the page cache only); 0: the temporary folder, usually on disk. The save's CPU time
// is its process's: a thread of the file's own writes the blocks.
void BM_SaveHvw(benchmark::State& state) {
    CHivewatchDoc& doc = MillionDoc();
    const QString strFolder = SaveFolder(state.range(0) != 0);
    state.SetLabel(strFolder.toStdString());
    QTemporaryDir dir(strFolder + QStringLiteral("/hw_bench-XXXXXX"));
    const QString strPath = dir.path() + QStringLiteral("/save.hvw");
    double dWall = 0, dCpu = 0;
    int64_t nRuns = 0;
    for (auto _ : state) {
        const CStopwatch watch;
        if (!doc.OnSaveDocument(strPath))
            state.SkipWithError("the save failed");
        dWall += watch.WallSeconds();
        dCpu += watch.ProcessCpuSeconds();
        ++nRuns;
    }
    const qint64 nBytes = QFile(strPath).size();
    const QByteArray block(1 << 20, 'x');
    const CStopwatch copyWatch;
    for (int64_t i = 0; i < nRuns; ++i) {
        CSafeFile file(dir.path() + QStringLiteral("/copy.hvw"));
        file.Open();
        for (qint64 n = 0; n < nBytes; n += block.size())
            file.write(block.constData(), std::min<qint64>(block.size(), nBytes - n));
        file.Commit();
    }
    const double dCopyWall = copyWatch.WallSeconds();
    const double dCopy = copyWatch.CpuSeconds();
    state.SetBytesProcessed(nRuns * nBytes);
    state.counters["GB_per_s_cpu"] = double(nRuns * nBytes) / dCpu / 1e9;
    state.counters["GB_per_s_wall"] = double(nRuns * nBytes) / dWall / 1e9;
    state.counters["write_GB_per_s"] = double(nRuns * nBytes) / dCopy / 1e9;
    state.counters["write_GB_per_s_wall"] = double(nRuns * nBytes) / dCopyWall / 1e9;
    state.counters["ratio_to_copy"] = dCopy / dCpu;
    state.counters["ratio_to_copy_wall"] = dCopyWall / dWall;
}
BENCHMARK(BM_SaveHvw)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(2);

// Takes the file's pages out of the system's cache, so that its next read comes from the disk
// (a file on a memory file system stays where it is).
void DropFromCache(const QString& strPath) {
    const int fd = ::open(QFile::encodeName(strPath).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

// Opening a file into a document that held it already (the old records go first, as on File
// Open). The copy reads the same file in large blocks after each open, so that both see the
// machine alike even when its speed drifts during the run. Argument 0: the file is in the page
// cache (the strict case). 1: each open and each read starts from the disk, as a file saved a
// while ago. The ratio is of wall times: the load reads and parses on a second thread; the CPU
// time of all its threads is given beside it.
void BM_LoadHvw(benchmark::State& state) {
    const bool bCold = state.range(0) != 0;
    QTemporaryDir dir;
    const QString strPath = dir.path() + QStringLiteral("/load.hvw");
    state.SetLabel((bCold ? "from disk, " : "page cache, ") + dir.path().toStdString());
    MillionDoc().OnSaveDocument(strPath);
    CHivewatchDoc doc;
    doc.OnOpenDocument(strPath);
    QByteArray block(1 << 20, Qt::Uninitialized);
    double dWall = 0, dCpu = 0, dCopy = 0, dCopyWall = 0;
    int64_t nRuns = 0;
    for (auto _ : state) {
        if (bCold) {
            state.PauseTiming();
            DropFromCache(strPath);
            state.ResumeTiming();
        }
        const CStopwatch watch;
        if (!doc.OnOpenDocument(strPath))
            state.SkipWithError("the open failed");
        dWall += watch.WallSeconds();
        dCpu += watch.ProcessCpuSeconds();
        ++nRuns;
        state.PauseTiming();
        if (bCold)
            DropFromCache(strPath);
        const CStopwatch copyWatch;
        QFile file(strPath);
        file.open(QIODevice::ReadOnly);
        while (file.read(block.data(), block.size()) > 0)
            benchmark::ClobberMemory();
        dCopy += copyWatch.CpuSeconds();
        dCopyWall += copyWatch.WallSeconds();
        state.ResumeTiming();
    }
    const qint64 nBytes = QFile(strPath).size();
    state.SetBytesProcessed(nRuns * nBytes);
    state.counters["GB_per_s_cpu"] = double(nRuns * nBytes) / dCpu / 1e9;
    state.counters["GB_per_s_wall"] = double(nRuns * nBytes) / dWall / 1e9;
    state.counters["read_GB_per_s"] = double(nRuns * nBytes) / dCopy / 1e9;
    state.counters["read_GB_per_s_wall"] = double(nRuns * nBytes) / dCopyWall / 1e9;
    state.counters["ratio_to_copy"] = dCopyWall / dWall;
    state.counters["cpu_ratio_to_copy"] = dCopy / dCpu;
    state.counters["records"] = doc.GetRecordCount();
    state.counters["load1"] = LoadAverage();
}
BENCHMARK(BM_LoadHvw)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2);

constexpr size_t TEN_MILLION = 10'000'000;

// A search that matches nothing examines every record of ten million once.
void BM_FindNothing10M(benchmark::State& state) {
    auto pDoc = std::make_unique<CHivewatchDoc>();
    FillFromBuffers(*pDoc, FloodDriverBuffers(), TEN_MILLION);
    const size_t nHeap = HeapBytesInUse();
    double dWall = 0, dCpu = 0;
    for (auto _ : state) {
        const CStopwatch watch;
        benchmark::DoNotOptimize(pDoc->FindRecordIndex(QStringLiteral("nowhere"), 0, 0, 0, true));
        dWall += watch.WallSeconds();
        dCpu += watch.CpuSeconds();
    }
    state.SetItemsProcessed(state.iterations() * int64_t(pDoc->GetRecordCount()));
    state.counters["ms_cpu"] = dCpu * 1e3 / double(state.iterations());
    state.counters["ms_wall"] = dWall * 1e3 / double(state.iterations());
    state.counters["copy_ms_of_heap"] = CopySeconds(nHeap) * 1e3;
    pDoc.reset();
}
BENCHMARK(BM_FindNothing10M)->Unit(benchmark::kMillisecond)->Iterations(2);

// Clear Display of ten million records; the copy is of as many bytes as the heap held.
void BM_Free10M(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto pDoc = std::make_unique<CHivewatchDoc>();
        FillFromBuffers(*pDoc, FloodDriverBuffers(), TEN_MILLION);
        const size_t nHeap = HeapBytesInUse();
        state.counters["copy_ms_of_heap"] = CopySeconds(nHeap) * 1e3;
        state.ResumeTiming();
        const CStopwatch watch;
        pDoc->ClearDisplay();
        state.counters["ms_cpu"] = watch.CpuSeconds() * 1e3;
        state.counters["ms_wall"] = watch.WallSeconds() * 1e3;
        state.PauseTiming();
        pDoc.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Free10M)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
