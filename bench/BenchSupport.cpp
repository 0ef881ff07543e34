#include "bench/BenchSupport.h"

#include "capture/CaptureEngine.h"
#include "capture/FilterComposer.h"
#include "capture/RecordText.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "utils/InstallDrv.h"
#include "utils/SystemInfo.h"

#if __has_include("platform/PageMemory.h")
#include "platform/PageMemory.h"
#define HW_HAS_PAGE_MEMORY 1
#endif

#include <QFile>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <malloc.h>
#include <string>
#include <string_view>

namespace {

constexpr int FLOOD_BUFFER_COUNT = 64;
constexpr int VARIED_BUFFER_COUNT = 256;

std::vector<ByteVector> ReadFloodBuffers(const char* pszSource, int nBuffers) {
    setenv("HIVEWATCH_DRIVER_SOURCE", pszSource, 1);
    std::vector<ByteVector> buffers;
    HANDLE hDevice = nullptr;
    const QString strDriver = g_ExtSysInfo.GetExePath() + QStringLiteral("RegDrv.SYS");
    CInstallDrv::LoadDeviceDriver(QStringLiteral("RegdrvBench"), strDriver, &hDevice);
    unsetenv("HIVEWATCH_DRIVER_SOURCE");
    if (!hDevice)
        return buffers;
    CSetObj settings;
    if (std::string_view(pszSource) != "flood") // every operation, not only the default four
        for (size_t i = 0; i < FILTER_SWITCH_COUNT; ++i)
            settings.m_Filter.bSwitch[i] = i != DRV_SW_BOOKKEEPING;
    const FILTER_BLOCK block = BuildFilterBlock(settings, ComposeFilterTexts(settings));
    uint32_t nReturned = 0;
    DeviceIoControl(hDevice, IOCTL_REGDRV_SET_FILTER, &block, sizeof(block), nullptr, 0,
                    &nReturned);
    DeviceIoControl(hDevice, IOCTL_REGDRV_START, nullptr, 0, nullptr, 0, &nReturned);
    DeviceIoControl(hDevice, IOCTL_REGDRV_APPLY, nullptr, 0, nullptr, 0, &nReturned);
    for (int i = 0; i < nBuffers; ++i) {
        ByteVector buf(READ_BUFFER_SIZE);
        if (!DeviceIoControl(hDevice, IOCTL_REGDRV_READ, nullptr, 0, buf.data(),
                             uint32_t(buf.size()), &nReturned) ||
            nReturned == 0)
            break;
        buf.resize(nReturned);
        buffers.push_back(std::move(buf));
    }
    CloseHandle(hDevice);
    CInstallDrv::UnloadDeviceDriver(QStringLiteral("RegdrvBench"));
    return buffers;
}

// The records of one buffer: sequence, time and text.
struct SWireRecord {
    uint32_t nSeq;
    uint64_t nTime;
    std::string strText;
};

std::vector<SWireRecord> Unpack(const ByteVector& buf) {
    std::vector<SWireRecord> records;
    size_t nPos = 0;
    while (nPos + REGDRV_EVENT_HEADER_SIZE <= buf.size()) {
        const unsigned char* p = buf.data() + nPos;
        const char* pText = reinterpret_cast<const char*>(p + REGDRV_EVENT_TEXT_OFFSET);
        const size_t nText = strnlen(pText, buf.size() - nPos - REGDRV_EVENT_TEXT_OFFSET);
        records.push_back({LoadLE32(p), LoadLE64(p + 4), std::string(pText, nText)});
        nPos += RegDrvEventSize(nText);
    }
    return records;
}

} // namespace

namespace {

double ClockSeconds(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

} // namespace

CStopwatch::CStopwatch()
    : m_dWall0(ClockSeconds(CLOCK_MONOTONIC)), m_dCpu0(ClockSeconds(CLOCK_THREAD_CPUTIME_ID)),
      m_dProcessCpu0(ClockSeconds(CLOCK_PROCESS_CPUTIME_ID)) {}

double CStopwatch::WallSeconds() const {
    return ClockSeconds(CLOCK_MONOTONIC) - m_dWall0;
}

double CStopwatch::CpuSeconds() const {
    return ClockSeconds(CLOCK_THREAD_CPUTIME_ID) - m_dCpu0;
}

double CStopwatch::ProcessCpuSeconds() const {
    return ClockSeconds(CLOCK_PROCESS_CPUTIME_ID) - m_dProcessCpu0;
}

const std::vector<ByteVector>& FloodDriverBuffers() {
    // The varied flood cycles through its records: enough buffers to hold them all once.
    static const std::vector<ByteVector> s_buffers =
        ReadFloodBuffers("flood:varied", VARIED_BUFFER_COUNT);
    return s_buffers;
}

const std::vector<ByteVector>& NarrowFloodBuffers() {
    static const std::vector<ByteVector> s_buffers = ReadFloodBuffers("flood", FLOOD_BUFFER_COUNT);
    return s_buffers;
}

size_t RecordsIn(const std::vector<ByteVector>& buffers) {
    size_t n = 0;
    for (const ByteVector& buf : buffers)
        n += Unpack(buf).size();
    return n;
}

std::vector<ByteVector> FloodMixBuffers(size_t nRecords, size_t nPathChars) {
    std::vector<SWireRecord> mix;
    for (const ByteVector& buf : FloodDriverBuffers()) {
        for (SWireRecord& r : Unpack(buf))
            mix.push_back(std::move(r));
    }
    std::vector<ByteVector> buffers;
    if (mix.empty())
        return buffers;
    ByteVector buf(READ_BUFFER_SIZE);
    CByteWriter w(buf);
    for (size_t i = 0; i < nRecords; ++i) {
        const SWireRecord& r = mix[i % mix.size()];
        SRecordFields f = SplitRecordText(r.strText);
        // The flood's own path, made distinct by the record number and cut or padded.
        std::string strPath = std::string(f[3]) + "\\K" + std::to_string(i);
        strPath.resize(nPathChars, 'x');
        const std::string strText = std::string(f[0]) + '\t' + std::string(f[1]) + '\t' +
                                    std::string(f[2]) + '\t' + strPath + '\t' + std::string(f[4]) +
                                    '\t' + std::string(f[5]) + '\t' + std::string(f[6]);
        if (!RegDrvPackEvent(w, uint32_t(i + 1), r.nTime, strText)) {
            buf.resize(w.Position());
            buffers.push_back(std::move(buf));
            buf.assign(READ_BUFFER_SIZE, 0);
            w = CByteWriter(buf);
            RegDrvPackEvent(w, uint32_t(i + 1), r.nTime, strText);
        }
    }
    buf.resize(w.Position());
    buffers.push_back(std::move(buf));
    return buffers;
}

size_t FillFromBuffers(CHivewatchDoc& doc, const std::vector<ByteVector>& buffers,
                       size_t nRecords) {
    CCaptureEngine engine(&doc);
    engine.SetRecordLimit(nRecords);
    engine.m_bRunning = 1;
    engine.m_bCapturing = 1;
    for (size_t i = 0; engine.RecordsFiled() < nRecords && !buffers.empty(); ++i) {
        const ByteVector& buf = buffers[i % buffers.size()];
        engine.WalkBuffer(buf.data(), buf.size());
    }
    engine.m_bRunning = 0;
    engine.m_bCapturing = 0;
    return engine.RecordsFiled();
}

size_t HeapBytesInUse() {
    const struct mallinfo2 info = mallinfo2();
    size_t n = info.uordblks + info.hblkhd;
#ifdef HW_HAS_PAGE_MEMORY
    n += PlatformBlockBytesInUse();
#endif
    return n;
}

size_t ResidentBytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return size_t(line.mid(6).trimmed().split(' ').value(0).toLongLong()) * 1024;
    }
    return 0;
}

double CopySeconds(size_t nBytes) {
    constexpr size_t BLOCK = size_t(64) << 20;
    static std::vector<char> s_from(BLOCK, 1), s_to(BLOCK, 2);
    double dBest = 1e30;
    for (int nRun = 0; nRun < 3; ++nRun) {
        const CStopwatch watch;
        for (size_t nDone = 0; nDone < nBytes; nDone += BLOCK) {
            const size_t n = std::min(BLOCK, nBytes - nDone);
            std::memcpy(s_to.data(), s_from.data(), n);
            benchmark::ClobberMemory();
        }
        dBest = std::min(dBest, watch.CpuSeconds());
    }
    return dBest;
}

double CopyBuffersSeconds(const std::vector<ByteVector>& buffers, int nRounds) {
    // Into memory, as an ingest writes: a destination far larger than the caches, touched once
    // beforehand, filled round after round.
    constexpr size_t RING = size_t(256) << 20;
    static std::vector<unsigned char> s_ring(RING, 1);
    double dBest = 1e30;
    for (int nRun = 0; nRun < 3; ++nRun) {
        size_t nAt = 0;
        const CStopwatch watch;
        for (int i = 0; i < nRounds; ++i) {
            for (const ByteVector& buf : buffers) {
                if (nAt + buf.size() > RING)
                    nAt = 0;
                std::memcpy(s_ring.data() + nAt, buf.data(), buf.size());
                nAt += buf.size();
                benchmark::ClobberMemory();
            }
        }
        dBest = std::min(dBest, watch.CpuSeconds());
    }
    return dBest;
}

double LoadAverage() {
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    return file.readAll().split(' ').value(0).toDouble();
}
