// Capture path throughput: decoding a driver buffer alone, and the whole path from the
// flooding driver through read, walk, decode and append.
#include "capture/CaptureEngine.h"
#include "driver/RegDrvContract.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <malloc.h>
#include <string>
#include <thread>
#include <vector>

namespace {

// A full read buffer of realistic records (about 60-character paths).
std::vector<unsigned char> PackedBuffer(int& nRecords) {
    std::vector<unsigned char> buf(READ_BUFFER_SIZE);
    CByteWriter w(buf);
    nRecords = 0;
    for (uint32_t n = 1;; ++n) {
        const std::string text = std::to_string(4000 + n % 50) +
                                 "\texplorer.exe\tRegQueryValue\t"
                                 "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\V" +
                                 std::to_string(n % 1000) +
                                 "\tSUCCESS\tREG_DWORD: 0x00000001 (1)\t";
        if (!RegDrvPackEvent(w, n, 133541212291230000ull + n * 1000, text))
            break;
        ++nRecords;
    }
    buf.resize(w.Position());
    return buf;
}

void BM_DecodeBuffer(benchmark::State& state) {
    g_SetObj.m_nHistoryDepth = 100000;
    int nRecords = 0;
    const std::vector<unsigned char> buf = PackedBuffer(nRecords);
    CHivewatchDoc doc;
    CCaptureEngine engine(&doc);
    engine.m_bRunning = 1;
    engine.m_bCapturing = 1;
    for (auto _ : state)
        engine.WalkBuffer(buf.data(), buf.size());
    engine.m_bRunning = 0;
    engine.m_bCapturing = 0;
    state.SetItemsProcessed(state.iterations() * nRecords);
    state.SetBytesProcessed(state.iterations() * int64_t(buf.size()));
    g_SetObj.m_nHistoryDepth = 0;
}
BENCHMARK(BM_DecodeBuffer);

// Heap bytes one record costs when it comes through the decoder, which shares repeated texts.
void BM_DecodedMemoryPerRecord(benchmark::State& state) {
    int nRecords = 0;
    const std::vector<unsigned char> buf = PackedBuffer(nRecords);
    for (auto _ : state) {
        CHivewatchDoc doc;
        CCaptureEngine engine(&doc);
        engine.m_bRunning = 1;
        engine.m_bCapturing = 1;
        const size_t nBefore = mallinfo2().uordblks;
        for (int i = 0; i < 200; ++i)
            engine.WalkBuffer(buf.data(), buf.size());
        const size_t nAfter = mallinfo2().uordblks;
        state.counters["bytes_per_record"] = double(nAfter - nBefore) / doc.GetRecordCount();
        engine.m_bRunning = 0;
        engine.m_bCapturing = 0;
    }
}
BENCHMARK(BM_DecodedMemoryPerRecord)->Iterations(1)->Unit(benchmark::kMillisecond);

// The real driver module in flood mode; each iteration captures for one second.
void BM_FloodEndToEnd(benchmark::State& state) {
    setenv("HIVEWATCH_DRIVER_SOURCE", "flood", 1);
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
    ->Arg(100000)
    ->Iterations(4)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
