// The capture engine: owns the driver channel and the capture thread that files its records.
#pragma once

#include "capture/EventTime.h"
#include "capture/RecordText.h"
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

    int SwitchCaptureOn();  // START then APPLY, only when capture is off
    int SwitchCaptureOff(); // STOP then APPLY, only when capture is on
    // The filter (SET_FILTER) and the target (SET_TARGET: the attached process, or none),
    // staged for the next APPLY. 1 when the driver took both.
    int SendFilterConfig();
    // Start Capture: the filter and the target, switching on, running a pending program, and
    // the scope back to all processes. A capture started for an attached process or a
    // launched program reports that process and every process it starts, whatever their
    // names, until the next Start Capture: the driver follows the process tree. A program is
    // held before it runs until the driver watches it, so none of its operations is missed.
    // False when the program could not be started (pStrError: "Can not start a new process
    // with ...", LastError() why; capture is off again and the program stays pending) or when
    // capture could not be switched on (pStrError and LastError(): the driver's reason).
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
    // Decodes one record into a new object (for callers that want the record class; the
    // capture thread files records without it).
    CRegInfoObj* DecodeRecord(uint32_t nSeq, std::string_view text, const QString& strTime);

    // Problems the driver has told since the last call (a registry file it could not save, a
    // Wine server that could not be started), oldest first. User-interface thread.
    QStringList TakeDriverMessages();

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
    bool ShouldWalk() const;
    // Switches capture on for Start Capture; false with the driver's reason in m_strLastError.
    bool SwitchOnForStart();
    int SetTarget(int nPid); // SET_TARGET; 0 or less: no target
    bool CopyDriver(QString& strTarget);
    bool LimitReached() const;
    int Control(uint32_t nCode, const void* pIn = nullptr, uint32_t nInSize = 0);

    CHivewatchDoc* m_pDoc;
    ICaptureHost* m_pHost;
    QString m_strLastError;
    std::atomic<uint64_t> m_nRecordsFiled{0};
    std::atomic<uint64_t> m_nRecordLimit{0};
};
