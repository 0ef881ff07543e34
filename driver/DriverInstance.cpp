#include "driver/DriverInstance.h"

#include "driver/ReplaySource.h"
#include "driver/SimSource.h"
#include "driver/WineServerSource.h"
#include "driver/WineTraceReplaySource.h"

#include <cstdio>
#include <cstring>

#include <random>
#include <utility>

namespace {

// Result of a bookkeeping record that only counts skipped trace lines.
constexpr std::string_view RESULT_NOT_SUPPORTED = "NOT SUPPORTED";

} // namespace

CDriverInstance::CDriverInstance(const SDriverConfig& cfg, std::unique_ptr<CEventSource> pSource)
    : m_pSource(std::move(pSource)) {
    if (cfg.m_eSource == EDriverSource::FLOOD)
        m_pFlood = std::make_unique<CFloodGenerator>(cfg.m_bVariedFlood);
    if (m_pSource)
        m_thread = std::jthread([this](std::stop_token stop) { m_pSource->Run(stop, *this); });
}

CDriverInstance::~CDriverInstance() {
    if (m_thread.joinable()) {
        m_thread.request_stop();
        m_thread.join();
    }
    // No program asks any more (the last save at unload may have failed): said where it can be.
    for (const std::string& str : m_messages)
        std::fprintf(stderr, "RegDrv: %s\n", str.c_str());
}

std::unique_ptr<CDriverInstance> CDriverInstance::Create(const SDriverConfig& cfg,
                                                         std::string& strError) {
    std::unique_ptr<CEventSource> pSource;
    if (cfg.m_eSource == EDriverSource::SIM) {
        const uint64_t nSeed = cfg.m_bSeeded ? cfg.m_nSeed : std::random_device()();
        // A seeded run promises the same operations every time, so it starts from the seed.
        pSource =
            std::make_unique<CSimSource>(nSeed, cfg.m_nRate, cfg.m_strRegistryDir, !cfg.m_bSeeded);
    } else if (cfg.m_eSource == EDriverSource::REPLAY) {
        auto pReplay = std::make_unique<CReplaySource>(cfg.m_strReplayPath, cfg.m_bRealtime);
        if (!pReplay->IsValid(strError))
            return nullptr;
        pSource = std::move(pReplay);
    } else if (cfg.m_eSource == EDriverSource::WINE_TRACE) {
        auto pReplay =
            std::make_unique<CWineTraceReplaySource>(cfg.m_strReplayPath, cfg.m_bRealtime);
        if (!pReplay->IsValid(strError))
            return nullptr;
        pSource = std::move(pReplay);
    } else if (cfg.m_eSource == EDriverSource::WINE) {
        auto pWine = std::make_unique<CWineServerSource>(
            cfg.m_strWinePrefix,
            CWineServerSource::ViewFolder(cfg.m_strRegistryDir, cfg.m_strWinePrefix));
        if (!pWine->Start(strError))
            return nullptr;
        pSource = std::move(pWine);
    }
    return std::make_unique<CDriverInstance>(cfg, std::move(pSource));
}

bool CDriverInstance::IoControl(uint32_t nCode, std::span<const unsigned char> in,
                                std::span<unsigned char> out, uint32_t& nReturned) {
    nReturned = 0;
    switch (nCode) {
    case IOCTL_REGDRV_GET_VERSION:
        if (out.size() < 4)
            return false;
        StoreLE32(out.data(), REGDRV_VERSION);
        nReturned = 4;
        return true;
    case IOCTL_REGDRV_SET_FILTER: {
        std::optional<CEventFilter> filter = CEventFilter::FromBytes(in);
        if (!filter)
            return false;
        std::lock_guard lock(m_mutex);
        m_pendingFilter = std::move(*filter);
        return true;
    }
    case IOCTL_REGDRV_SET_TARGET: {
        if (in.size() != REGDRV_TARGET_SIZE)
            return false;
        std::lock_guard lock(m_mutex);
        m_nPendingTarget = LoadLE32(in.data());
        return true;
    }
    case IOCTL_REGDRV_GET_MESSAGE:
        nReturned = TakeMessage(out);
        return true;
    case IOCTL_REGDRV_START:
    case IOCTL_REGDRV_STOP: {
        std::lock_guard lock(m_mutex);
        m_bPendingRunning = nCode == IOCTL_REGDRV_START;
        return true;
    }
    case IOCTL_REGDRV_APPLY: {
        if (!FollowReporting())
            return false;
        std::lock_guard lock(m_mutex);
        m_filter = m_pendingFilter;
        m_bRunning = m_bPendingRunning;
        m_bApplied = true;
        CommitTarget();
        if (m_pFlood)
            m_pFlood->ApplyFilter(m_filter);
        return true;
    }
    case IOCTL_REGDRV_READ:
        nReturned = Read(out);
        return true;
    default:
        return false;
    }
}

bool CDriverInstance::FollowReporting() {
    bool bOn = false, bChanges = false;
    {
        std::lock_guard lock(m_mutex);
        bOn = m_bPendingRunning;
        bChanges = m_bPendingRunning != m_bRunning;
    }
    // Outside the lock: a source may take seconds (a Wine server starting or ending) while
    // its thread keeps posting.
    std::string strError;
    if (!bChanges || !m_pSource || m_pSource->OnReportingChanged(bOn, strError))
        return true;
    Tell(strError); // the program asks why the switch failed
    return false;
}

void CDriverInstance::PostSkippedLines(uint64_t nLines) {
    std::lock_guard lock(m_mutex);
    if (m_bRunning)
        m_nSkippedLines += nLines;
}

void CDriverInstance::Post(SDriverEvent&& ev) {
    std::lock_guard lock(m_mutex);
    if (!m_bRunning ||
        !m_filter.Passes(ev.m_nOperation, ev.Succeeded(), ev.m_strProcess, ev.m_strPath) ||
        !m_tree.Contains(ev.m_nPid))
        return;
    m_queue.Push(ev.m_nFileTime, FormatRecordText(ev), ev.m_nPid);
}

// A new target takes effect for what is still queued too, so no event of another process
// that was waiting to be read reaches a capture started for one program.
void CDriverInstance::CommitTarget() {
    if (m_nPendingTarget == m_tree.Root())
        return;
    m_tree.SetRoot(m_nPendingTarget);
    if (m_tree.HasRoot())
        m_queue.RemoveUnless([this](uint32_t nPid) { return m_tree.Contains(nPid); });
}

void CDriverInstance::ProcessStarted(uint32_t nPid, uint32_t nParent) {
    std::lock_guard lock(m_mutex);
    m_tree.Started(nPid, nParent);
}

void CDriverInstance::ProcessSeen(uint32_t nPid, uint32_t nParent, uint64_t nStartTime) {
    std::lock_guard lock(m_mutex);
    m_tree.Seen(nPid, nParent, nStartTime);
}

bool CDriverInstance::HasTarget() const {
    std::lock_guard lock(m_mutex);
    return m_tree.HasRoot();
}

bool CDriverInstance::InTarget(uint32_t nPid) {
    std::lock_guard lock(m_mutex);
    return m_tree.Contains(nPid);
}

void CDriverInstance::Tell(std::string strMessage) {
    std::lock_guard lock(m_mutex);
    if (!m_messages.empty() && m_messages.back() == strMessage)
        return; // the same problem again, not yet read: once is enough
    if (m_messages.size() >= MAX_MESSAGES)
        m_messages.pop_front();
    m_messages.push_back(std::move(strMessage));
}

uint32_t CDriverInstance::TakeMessage(std::span<unsigned char> out) {
    std::lock_guard lock(m_mutex);
    if (m_messages.empty() || out.empty())
        return 0;
    std::string str = std::move(m_messages.front());
    m_messages.pop_front();
    size_t n = std::min(str.size(), out.size());
    // Cut before a continuation byte, so the text stays whole characters.
    while (n < str.size() && n > 0 && (static_cast<unsigned char>(str[n]) & 0xC0) == 0x80)
        --n;
    std::memcpy(out.data(), str.data(), n);
    return uint32_t(n);
}

size_t CDriverInstance::Backlog() const {
    std::lock_guard lock(m_mutex);
    return m_queue.Size();
}

bool CDriverInstance::IsCapturing() const {
    std::lock_guard lock(m_mutex);
    return m_bApplied && m_bRunning;
}

SDriverEvent CDriverInstance::DroppedEvent(uint64_t nDropped, uint64_t nSkippedLines) {
    SDriverEvent ev;
    ev.m_nPid = 4;
    ev.m_strProcess = "System";
    ev.m_nOperation = OP_FLUSH_KEY;
    ev.m_strPath = "HKLM\\SYSTEM\\RegDrv";
    // Events lost to a full queue overflowed it; trace lines skipped were of a form this
    // driver does not read (a newer Wine, say).
    ev.m_strResult = std::string(nDropped > 0 ? RESULT_BUFFER_OVERFLOW : RESULT_NOT_SUPPORTED);
    ev.m_strNewValue = "Dropped: " + std::to_string(nDropped);
    if (nSkippedLines > 0)
        ev.m_strNewValue += ", Skipped trace lines: " + std::to_string(nSkippedLines);
    ev.m_nFileTime = CurrentFileTime();
    return ev;
}

uint32_t CDriverInstance::Read(std::span<unsigned char> out) {
    CByteWriter w(out);
    std::lock_guard lock(m_mutex);
    const uint64_t nDropped = m_queue.TakeDropped();
    const uint64_t nSkipped = std::exchange(m_nSkippedLines, 0);
    if ((nDropped > 0 || nSkipped > 0) && m_filter.SwitchOn(DRV_SW_BOOKKEEPING)) {
        const SDriverEvent ev = DroppedEvent(nDropped, nSkipped);
        if (RegDrvPackEvent(w, m_nNextSeq, ev.m_nFileTime, FormatRecordText(ev)))
            ++m_nNextSeq;
    }
    while (!m_queue.Empty() &&
           RegDrvPackEvent(w, m_nNextSeq, m_queue.Front().m_nFileTime, m_queue.Front().m_strText)) {
        m_queue.Pop();
        ++m_nNextSeq;
    }
    if (m_pFlood && m_bRunning) {
        const uint64_t nTime = CurrentFileTime();
        for (const std::string* p;
             (p = m_pFlood->Peek()) && RegDrvPackEvent(w, m_nNextSeq, nTime, *p);) {
            m_pFlood->Advance();
            ++m_nNextSeq;
        }
    }
    return uint32_t(w.Position());
}
