#include "capture/CaptureEngine.h"

#include "capture/CaptureHost.h"
#include "capture/FilterComposer.h"
#include "platform/AnsiCodePage.h"
#include "platform/Clock.h"
#include "platform/FileOps.h"
#include "platform/HeldProcess.h"
#include "platform/Paths.h"
#include "platform/Processes.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "store/RecordLock.h"
#include "utils/ByteBuffer.h"
#include "utils/InstallDrv.h"
#include "utils/SystemInfo.h"

#include <QProcess>

#include <cstring>
#include <memory>

namespace {

constexpr unsigned IDLE_POLL_MS = 100;
constexpr uint32_t MAX_BATCH_MS = 1000;
constexpr unsigned FAILED_READ_PAUSE_MS = 10;
// A read that leaves less than this unused filled the buffer: the driver has more.
constexpr size_t FULL_READ_SLACK = READ_BUFFER_SIZE / 16;
constexpr size_t PREFETCH_AHEAD = 1024;

} // namespace

CCaptureEngine::CCaptureEngine(CHivewatchDoc* pDoc, ICaptureHost* pHost)
    : m_pDoc(pDoc), m_pHost(pHost) {}

CCaptureEngine::~CCaptureEngine() {
    if (m_bRunning || m_hCaptureThread.joinable() || m_hDevice)
        StopDriver();
}

int CCaptureEngine::Control(uint32_t nCode, const void* pIn, uint32_t nInSize) {
    uint32_t nReturned = 0;
    return DeviceIoControl(m_hDevice, nCode, pIn, nInSize, nullptr, 0, &nReturned);
}

// The driver runs with the program's rights, so it is loaded only from the copy made here,
// in a folder no other user can write, and never from the current folder.
bool CCaptureEngine::CopyDriver(QString& strTarget) {
    const QString strExeDir = g_ExtSysInfo.GetExePath();
    if (strExeDir.isEmpty()) {
        m_strLastError = QStringLiteral("cannot find the program's own folder, which holds %1")
                             .arg(QLatin1String(DRIVER_FILE_NAME));
        return false;
    }
    QString strWhy;
    const QString strSys = g_ExtSysInfo.GetSysPath(&strWhy);
    const QString strDrivers = strSys + QStringLiteral("drivers/");
    if (strSys.isEmpty() || !PlatformMakePrivateDir(strDrivers, &strWhy)) {
        m_strLastError = QStringLiteral("cannot prepare the folder for the driver: %1").arg(strWhy);
        return false;
    }
    strTarget = strDrivers + QLatin1String(DRIVER_FILE_NAME);
    const QString strSource = strExeDir + QLatin1String(DRIVER_FILE_NAME);
    // The copy an earlier start made is used again while it is identical: a start then writes
    // nothing, so it works on a full disk too.
    if (PlatformIsIdenticalCopy(strSource, strTarget))
        return true;
    if (!PlatformCopyFileReplacing(strSource, strTarget, &strWhy)) {
        m_strLastError = QStringLiteral("cannot copy the driver: %1").arg(strWhy);
        return false;
    }
    return true;
}

int CCaptureEngine::StartDriver() {
    QString strTarget;
    if (!CopyDriver(strTarget))
        return 0;
    m_hDevice = nullptr;
    CInstallDrv::UnloadDeviceDriver(QLatin1String(DRIVER_SERVICE_NAME));
    HANDLE hDevice = nullptr;
    CInstallDrv::LoadDeviceDriver(QLatin1String(DRIVER_SERVICE_NAME), strTarget, &hDevice);
    if (!hDevice) {
        m_strLastError = CInstallDrv::LastError();
        return 0;
    }
    return StartWithHandle(hDevice);
}

int CCaptureEngine::StartWithHandle(HANDLE hDevice) {
    m_hDevice = hDevice;
    uint32_t nVersion = 0, nReturned = 0;
    if (!DeviceIoControl(m_hDevice, IOCTL_REGDRV_GET_VERSION, nullptr, 0, &nVersion,
                         sizeof(nVersion), &nReturned) ||
        nReturned < sizeof(nVersion) || nVersion != REGDRV_VERSION) {
        m_strLastError =
            QStringLiteral("the driver does not answer with version %1").arg(REGDRV_VERSION);
        return 0;
    }
    if (!Control(IOCTL_REGDRV_APPLY)) {
        m_strLastError = QStringLiteral("the driver refused to apply its settings");
        return 0;
    }
    m_bRunning = 1;
    m_hCaptureThread = std::thread([this] { CaptureThreadProc(); });
    return 1;
}

int CCaptureEngine::StopDriver() {
    SwitchCaptureOff();
    m_bRunning = 0;
    if (m_hCaptureThread.joinable())
        m_hCaptureThread.join();
    CloseHandle(m_hDevice);
    m_hDevice = nullptr;
    CInstallDrv::UnloadDeviceDriver(QLatin1String(DRIVER_SERVICE_NAME));
    return 1;
}

int CCaptureEngine::SwitchCaptureOn() {
    if (m_bCapturing == 1)
        return 1;
    if (Control(IOCTL_REGDRV_START) && Control(IOCTL_REGDRV_APPLY))
        m_bCapturing = 1;
    return m_bCapturing == 1;
}

int CCaptureEngine::SwitchCaptureOff() {
    if (m_bCapturing != 0 && Control(IOCTL_REGDRV_STOP) && Control(IOCTL_REGDRV_APPLY))
        m_bCapturing = 0;
    return m_bCapturing == 0;
}

int CCaptureEngine::SendFilterConfig() {
    m_nTargetPid = -1;
    const SComposedFilter composed = ComposeFilterTexts(g_SetObj);
    m_nTargetPid = composed.nTargetPid;
    const FILTER_BLOCK block = BuildFilterBlock(g_SetObj, composed);
    const int nFilter = Control(IOCTL_REGDRV_SET_FILTER, &block, uint32_t(sizeof(block)));
    return SetTarget(composed.nTargetPid) && nFilter;
}

int CCaptureEngine::SetTarget(int nPid) {
    unsigned char target[REGDRV_TARGET_SIZE];
    StoreLE32(target, nPid > 0 ? uint32_t(nPid) : 0u);
    return Control(IOCTL_REGDRV_SET_TARGET, target, uint32_t(sizeof(target)));
}

QStringList CCaptureEngine::TakeDriverMessages() {
    QStringList arMessages;
    if (!m_hDevice)
        return arMessages;
    // A bound, so a driver that always has something to say cannot hold the window.
    for (int i = 0; i < 64; ++i) {
        char sz[4096];
        uint32_t nReturned = 0;
        if (!DeviceIoControl(m_hDevice, IOCTL_REGDRV_GET_MESSAGE, nullptr, 0, sz, sizeof(sz),
                             &nReturned) ||
            nReturned == 0)
            break;
        arMessages.append(
            QString::fromUtf8(sz, qsizetype(std::min<uint32_t>(nReturned, sizeof(sz)))));
    }
    return arMessages;
}

bool CCaptureEngine::SwitchOnForStart() {
    TakeDriverMessages(); // what was said before belongs to earlier work
    if (SwitchCaptureOn())
        return true;
    const QStringList arWhy = TakeDriverMessages();
    m_strLastError = arWhy.isEmpty() ? QStringLiteral("the driver could not switch capture on")
                                     : arWhy.join(QStringLiteral("; "));
    return false;
}

bool CCaptureEngine::StartCapture(QString* pStrError) {
    return StartCapture(pStrError, nullptr);
}

bool CCaptureEngine::StartCapture(QString* pStrError, const QStringList* pLaunchArgs) {
    const bool bLaunch = g_SetObj.LoadCaptureScope() == SCOPE_NEW_PROGRAM;
    const auto launchFailed = [&](const QString& strWhy) {
        m_strLastError = strWhy;
        SwitchCaptureOff();
        if (pStrError)
            *pStrError = QStringLiteral("Can not start a new process with \"%1 %2\"")
                             .arg(g_SetObj.m_strNewProgram, g_SetObj.m_strNewParams);
        return false;
    };
    // The program starts held: the driver watches its process before it runs.
    CHeldProcess program;
    QString strWhy;
    if (bLaunch &&
        !program.Start(g_SetObj.m_strNewProgram,
                       pLaunchArgs ? *pLaunchArgs : QProcess::splitCommand(g_SetObj.m_strNewParams),
                       &strWhy))
        return launchFailed(strWhy);
    SendFilterConfig();
    if (bLaunch) {
        m_nTargetPid = program.Pid();
        SetTarget(program.Pid());
    }
    if (m_bCapturing != 1 && !SwitchOnForStart()) {
        if (pStrError)
            *pStrError = QStringLiteral("Capture could not be started: %1.").arg(m_strLastError);
        return false; // a held program ends without having run; the target stays pending
    }
    if (bLaunch && !program.Release(&strWhy))
        return launchFailed(strWhy);
    g_SetObj.StoreCaptureScope(SCOPE_ALL);
    return true;
}

CCaptureEngine::ECloseStep
CCaptureEngine::OnCloseRequest(const std::function<bool()>& fnAllowClose) {
    if (!m_bThreadEnded) {
        if (m_bCapturing)
            SwitchCaptureOff();
        PlatformSleepMs(IDLE_POLL_MS);
        m_pDoc->SetModifiedFlag(m_pDoc->m_bNewRecords != 0);
        if (fnAllowClose && !fnAllowClose())
            return CLOSE_CANCELLED;
        m_pDoc->SetModifiedFlag(false);
        m_bQuit = 1;
        if (m_hCaptureThread.joinable())
            return CLOSE_WAIT_FOR_THREAD;
    } else {
        PlatformSleepMs(IDLE_POLL_MS);
    }
    StopDriver();
    return CLOSE_NOW;
}

// ---- capture thread ----

void CCaptureEngine::CaptureThreadProc() {
    // One buffer for the thread's whole life; nothing is allocated per read.
    auto pBuffer = std::make_unique<unsigned char[]>(READ_BUFFER_SIZE);
    while (m_bRunning && !m_bQuit) {
        PlatformSleepMs(IDLE_POLL_MS);
        if (!m_bCapturing)
            continue;
        ReadBatch(pBuffer.get());
    }
    m_bThreadEnded = 1;
    if (m_pHost)
        m_pHost->PostCloseNotice();
}

// Reads back to back while the driver returns full buffers; a read that returns less means
// it has nothing more for now, and the thread sleeps.
void CCaptureEngine::ReadBatch(unsigned char* pBuffer) {
    const uint32_t nStart = PlatformTickCount();
    for (;;) {
        if (LimitReached())
            return;
        uint32_t nReturned = 0;
        // Taken before the read: a clear or a load from now on makes these records stale.
        const uint64_t nGeneration = m_pDoc->GetGeneration();
        if (!DeviceIoControl(m_hDevice, IOCTL_REGDRV_READ, nullptr, 0, pBuffer,
                             uint32_t(READ_BUFFER_SIZE), &nReturned)) {
            // A failing driver is retried with a pause, leaving as soon as the thread
            // is asked to end or capture is switched off.
            PlatformSleepMs(FAILED_READ_PAUSE_MS);
            if (!ShouldWalk() || uint32_t(PlatformTickCount() - nStart) > MAX_BATCH_MS)
                return;
            continue;
        }
        if (nReturned == 0)
            return;
        WalkBuffer(pBuffer, nReturned, nGeneration);
        Refresh();
        if (nReturned + FULL_READ_SLACK < READ_BUFFER_SIZE || !ShouldWalk())
            return;
    }
}

bool CCaptureEngine::ShouldWalk() const {
    return m_bRunning && m_bCapturing && !m_bQuit && !LimitReached();
}

bool CCaptureEngine::LimitReached() const {
    const uint64_t nLimit = m_nRecordLimit.load(std::memory_order_relaxed);
    return nLimit != 0 && m_nRecordsFiled.load(std::memory_order_relaxed) >= nLimit;
}

void CCaptureEngine::Refresh() {
    if (m_pHost)
        m_pHost->RefreshList();
    m_pDoc->SetModifiedFlag();
}

void CCaptureEngine::WalkBuffer(const unsigned char* pBuffer, size_t nReturned) {
    WalkBuffer(pBuffer, nReturned, m_pDoc->GetGeneration());
}

namespace {

// One record of a read buffer, split.
struct SSplitRecord {
    const unsigned char* pRecord = nullptr;
    SRecordFields fields;
    size_t nText = 0;
    bool bAscii = false;
};

// Splits the records of a read buffer one after another, asking for the bytes a little ahead
// of each.
class CBufferSplitter {
public:
    CBufferSplitter(const unsigned char* pBuffer, size_t nEnd) : m_pBuffer(pBuffer), m_nEnd(nEnd) {}

    // Splits the record at nPos; false when none starts there or its text has no zero before
    // the end (nothing past the end is read).
    bool SplitAt(size_t nPos, SSplitRecord& out) const {
        if (nPos >= m_nEnd || m_nEnd - nPos < REGDRV_EVENT_HEADER_SIZE)
            return false;
        out.pRecord = m_pBuffer + nPos;
        __builtin_prefetch(out.pRecord + PREFETCH_AHEAD);
        __builtin_prefetch(out.pRecord + PREFETCH_AHEAD + 64);
        const char* pText = reinterpret_cast<const char*>(out.pRecord + REGDRV_EVENT_TEXT_OFFSET);
        return SplitRecordTextAt(pText, m_nEnd - nPos - REGDRV_EVENT_TEXT_OFFSET, out.fields,
                                 out.nText, out.bAscii);
    }

private:
    const unsigned char* m_pBuffer;
    size_t m_nEnd;
};

} // namespace

// The records go straight into the store under one hold of the lock, no more than the record
// limit allows. Each record is split and prepared one step ahead of its append, so the store's
// lookups for it are under way while the record before it is filed.
void CCaptureEngine::WalkBuffer(const unsigned char* pBuffer, size_t nReturned,
                                uint64_t nGeneration) {
    uint64_t nRoom = UINT64_MAX;
    if (const uint64_t nLimit = m_nRecordLimit.load(std::memory_order_relaxed)) {
        const uint64_t nFiled = m_nRecordsFiled.load(std::memory_order_relaxed);
        nRoom = nFiled >= nLimit ? 0 : nLimit - nFiled;
    }
    const size_t nEnd = std::min(nReturned, READ_BUFFER_SIZE);
    uint64_t nAppended = 0;
    CAutoLock lock(&g_RecordLock);
    if (!m_pDoc->BeginCaptureGroup(nGeneration))
        return;
    try {
        SSplitRecord records[2];
        CRecordList::SCapturedKeys keys[2];
        SSplitRecord* pCur = &records[0];
        SSplitRecord* pNext = &records[1];
        CRecordList::SCapturedKeys* pCurKeys = &keys[0];
        CRecordList::SCapturedKeys* pNextKeys = &keys[1];
        const CBufferSplitter splitter(pBuffer, nEnd);
        bool bHave = splitter.SplitAt(0, *pCur);
        if (bHave)
            m_pDoc->PrepareCaptured(pCur->fields, pCur->bAscii, *pCurKeys);
        // The record limit is kept by nRoom; the switches are looked at for every record.
        const auto switchedOn = [this] {
            return m_bRunning.load(std::memory_order_relaxed) &&
                   m_bCapturing.load(std::memory_order_relaxed) &&
                   !m_bQuit.load(std::memory_order_relaxed);
        };
        while (bHave && nAppended < nRoom && switchedOn()) {
            const size_t nNext = size_t(pCur->pRecord - pBuffer) + RegDrvEventSize(pCur->nText);
            bHave = splitter.SplitAt(nNext, *pNext);
            if (bHave)
                m_pDoc->PrepareCaptured(pNext->fields, pNext->bAscii, *pNextKeys);
            m_pDoc->AppendCaptured(LoadLE32(pCur->pRecord), LoadLE64(pCur->pRecord + 4),
                                   ParsePidField(pCur->fields[0]), pCur->fields, *pCurKeys);
            ++nAppended;
            std::swap(pCur, pNext);
            std::swap(pCurKeys, pNextKeys);
        }
    } catch (const std::bad_alloc&) {
        // Out of memory: the rest of the buffer is dropped; what was filed stays.
    }
    if (nAppended > 0)
        m_pDoc->EndCaptureGroup();
    m_nRecordsFiled.fetch_add(nAppended, std::memory_order_relaxed);
}

CRegInfoObj* CCaptureEngine::DecodeRecord(uint32_t nSeq, std::string_view text,
                                          const QString& strTime) {
    const SRecordFields fields = SplitRecordText(text);
    auto* pObj = new CRegInfoObj;
    const auto wide = [](std::string_view s) { return AnsiToUtf16(s.data(), qsizetype(s.size())); };
    pObj->m_nSeq = int32_t(nSeq);
    pObj->m_strTime = strTime;
    pObj->m_nPid = ParsePidField(fields[0]);
    pObj->m_strProcessName = wide(fields[1]);
    pObj->m_strRequest = wide(fields[2]);
    pObj->m_strPath = wide(fields[3]);
    pObj->m_strResult = wide(fields[4]);
    pObj->m_strOldValue = wide(fields[5]);
    pObj->m_strNewValue = wide(fields[6]);
    return pObj;
}
