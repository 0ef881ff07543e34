// Event store throughput: append with trimming, index lookup, .hvw save and load, memory.
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "store/RecordLock.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

#include <malloc.h>

#include <vector>

namespace {

// A realistic record: a 60-character path, short process name and values. Every text is
// allocated on its own, as in a loaded capture document (literals would share static data
// and understate the memory a record takes).
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

// Records are made ahead in batches, outside the timing, so only the append and the trim
// are measured.
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
BENCHMARK(BM_AppendWithTrim)->Arg(0)->Arg(100000);

struct CTiny : CObject {};

void BM_LookupByIndex10M(benchmark::State& state) {
    static CMyList* s_pList = [] {
        auto* p = new CMyList;
        for (int i = 0; i < 10'000'000; ++i)
            p->AddTail(new CTiny);
        return p;
    }();
    uint64_t x = 88172645463325252ull;
    for (auto _ : state) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        benchmark::DoNotOptimize(s_pList->FindIndex((long long)(x % 10'000'000)));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LookupByIndex10M);

void FillDoc(CHivewatchDoc& doc, int nCount) {
    for (int i = 0; i < nCount; ++i)
        doc.AppendRecord(MakeRecord(i));
}

// A capture document of 200,000 realistic records in the folder; returns its path.
QString WriteSampleDocument(const QTemporaryDir& dir) {
    const QString strPath = dir.path() + "/sample.hvw";
    CHivewatchDoc doc;
    FillDoc(doc, 200000);
    doc.OnSaveDocument(strPath);
    return strPath;
}

void BM_SaveHvw(benchmark::State& state) {
    QTemporaryDir dir;
    const QString strPath = dir.path() + "/b.hvw";
    CHivewatchDoc doc;
    FillDoc(doc, 200000);
    for (auto _ : state)
        doc.OnSaveDocument(strPath);
    state.SetBytesProcessed(int64_t(state.iterations()) * QFile(strPath).size());
}
BENCHMARK(BM_SaveHvw)->Unit(benchmark::kMillisecond);

void BM_LoadHvw(benchmark::State& state) {
    QTemporaryDir dir;
    const QString strPath = WriteSampleDocument(dir);
    CHivewatchDoc doc;
    for (auto _ : state)
        doc.OnOpenDocument(strPath);
    state.SetBytesProcessed(int64_t(state.iterations()) * QFile(strPath).size());
}
BENCHMARK(BM_LoadHvw)->Unit(benchmark::kMillisecond);

// Heap bytes one listed record costs, as the allocator sees it.
void BM_MemoryPerRecord(benchmark::State& state) {
    const int nCount = 200000;
    for (auto _ : state) {
        CHivewatchDoc doc;
        const size_t nBefore = mallinfo2().uordblks;
        FillDoc(doc, nCount);
        const size_t nAfter = mallinfo2().uordblks;
        state.counters["bytes_per_record"] = double(nAfter - nBefore) / nCount;
    }
}
BENCHMARK(BM_MemoryPerRecord)->Iterations(1)->Unit(benchmark::kMillisecond);

// The same for records loaded from a capture document, which share repeated texts.
void BM_LoadedMemoryPerRecord(benchmark::State& state) {
    QTemporaryDir dir;
    const QString strPath = WriteSampleDocument(dir);
    for (auto _ : state) {
        CHivewatchDoc doc;
        const size_t nBefore = mallinfo2().uordblks;
        doc.OnOpenDocument(strPath);
        const size_t nAfter = mallinfo2().uordblks;
        state.counters["bytes_per_record"] = double(nAfter - nBefore) / doc.GetRecordCount();
    }
}
BENCHMARK(BM_LoadedMemoryPerRecord)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
