// Event store throughput: append with trimming, index lookup, .hvw save and load, memory.
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "store/RecordLock.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

#include <malloc.h>

namespace {

// A realistic record: a 60-character path, short process name and values.
CRegInfoObj* MakeRecord(int n) {
    auto* p = new CRegInfoObj;
    p->m_nSeq = n;
    p->m_strTime = QStringLiteral("12:34:56.789");
    p->m_strProcessName = QStringLiteral("explorer.exe");
    p->m_nPid = 4000 + (n & 63);
    p->m_strRequest = QStringLiteral("RegQueryValue");
    p->m_strPath =
        QStringLiteral("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\V%1")
            .arg(n % 1000, 4, 10, QLatin1Char('0'));
    p->m_strResult = QStringLiteral("SUCCESS");
    p->m_strOldValue = QStringLiteral("REG_DWORD: 0x00000001 (1)");
    return p;
}

void BM_AppendWithTrim(benchmark::State& state) {
    g_SetObj.m_nHistoryDepth = int32_t(state.range(0));
    CHivewatchDoc doc;
    int n = 0;
    for (auto _ : state)
        doc.AppendRecord(MakeRecord(n++));
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
    const QString strPath = dir.path() + "/b.hvw";
    {
        CHivewatchDoc doc;
        FillDoc(doc, 200000);
        doc.OnSaveDocument(strPath);
    }
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

} // namespace
