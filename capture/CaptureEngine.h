// The capture engine: owns the driver channel and the capture thread that files its records.
#pragma once

#include "capture/EventTime.h"
#include "capture/RecordText.h"
#include "capture/TargetWatch.h"
#include "platform/DeviceIo.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

class CHivewatchDoc;
class CRegInfoObj;
class ICaptureHost;

inline constexpr const char* DRIVER_SERVICE_NAME = "Regdrv";
inline constexpr const char* DRIVER_FILE_NAME = "RegDrv.SYS";

class CCaptureEngine {
public:
    explicit CCaptureEngine(CHivewatchDoc* pDoc, ICaptureHost* pHost = nullptr);
    ~CCaptureEngine(); // ends the thread and unloads the driver if that was not done
    CCaptureEngine(const CCaptureEngine&) = delete;
    CCaptureEngine& operator=(const CCaptureEngine&) = delete;

    // Copies the driver beside the executable into the drivers folder of the per-user system
    // folder (made private to the user; a copy that is already identical is kept as it is),
    // reloads the service from that copy, checks the version and starts the capture thread. Capture
    // itself stays off. When the folder or the copy cannot be made nothing is loaded, and
    // LastError() says why.
    int StartDriver();
    // Same from the version check on, with a channel opened elsewhere (in-process drivers).
    int StartWithHandle(HANDLE hDevice);
    // Switches capture off, ends the thread, closes the channel, unloads the driver.
    int StopDriver();

    int SwitchCaptureOn(); // START then APPLY, only when capture is off
    // STOP then APPLY, only when capture is on. Once capture is off, the watch on a target
    // (see StartCapture) ends.
    int SwitchCaptureOff();
    int SendFilterConfig();
    // Start Capture: the filter, switching on, launching a pending program, and the scope
    // back to all processes. False when the launch failed; capture is then off again,
    // pStrError says which program could not be started and LastError() why.
    // A capture started for an attached process or a launched program keeps only the
    // records of that process (and of the processes a launched program starts) until the
    // next Start Capture or until capture is switched off, although the stored scope goes
    // back to all processes.
    bool StartCapture(QString* pStrError = nullptr);
    // The same; a launch passes exactly the arguments in *pLaunchArgs (when given) instead
    // of splitting the stored parameter text.
    bool StartCapture(QString* pStrError, const QStringList* pLaunchArgs);

    // Files at most nRecords records in all (0: no limit); the capture thread files nothing
    // more once RecordsFiled() reached it.
    void SetRecordLimit(uint64_t nRecords) { m_nRecordLimit.store(nRecords); }

    // The window's close request, in two passes. The first switches capture off, marks the
    // document modified when records arrived since the last save and asks fnAllowClose (the
    // save prompt); when allowed, the capture thread is told to end and its close notice
    // brings the second pass, which unloads the driver. Without a capture thread the second
    // pass follows at once.
    enum ECloseStep { CLOSE_CANCELLED, CLOSE_WAIT_FOR_THREAD, CLOSE_NOW };
    ECloseStep OnCloseRequest(const std::function<bool()>& fnAllowClose);

    // Walks one buffer the driver returned and files its records straight into the document
    // (capture thread), all under one hold of the record lock. Records reach the document
    // only if it was not cleared or replaced since the walk began.
    void WalkBuffer(const unsigned char* pBuffer, size_t nReturned);
    int IsRecordRejected(const SRecordFields& fields) const;
    // Decodes one record into a new object, or nullptr when the program-side check drops it
    // (for callers that want the record class; the capture thread files records without it).
    CRegInfoObj* DecodeRecord(uint32_t nSeq, std::string_view text, const QString& strTime);

    QString LastError() const { return m_strLastError; }
    uint64_t RecordsFiled() const { return m_nRecordsFiled.load(std::memory_order_relaxed); }

    HANDLE m_hDevice = nullptr;
    std::atomic<int> m_bCapturing{0};
    std::atomic<int> m_bRunning{0};
    std::thread m_hCaptureThread;
    std::atomic<int> m_nTargetPid{-1};
    std::atomic<int> m_bQuit{0};
    std::atomic<int> m_bThreadEnded{0};

private:
    void CaptureThreadProc();
    void ReadBatch(unsigned char* pBuffer);
    void WalkBuffer(const unsigned char* pBuffer, size_t nReturned, uint64_t nGeneration);
    void Refresh();
    bool IsPidRejected(int32_t nPid) const;
    bool ShouldWalk() const;
    bool CopyDriver(QString& strTarget);
    bool LimitReached() const;
    int Control(uint32_t nCode, const void* pIn = nullptr, uint32_t nInSize = 0);

    CHivewatchDoc* m_pDoc;
    ICaptureHost* m_pHost;
    QString m_strLastError;
    std::atomic<uint64_t> m_nRecordsFiled{0};
    std::atomic<uint64_t> m_nRecordLimit{0};
    mutable CTargetWatch m_watch; // its verdict cache belongs to the capture thread
};
