#include "tools/capture/CaptureTool.h"

#include "capture/CaptureEngine.h"
#include "capture/CaptureHost.h"
#include "capture/CsvExport.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/Processes.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"

#include <QFileInfo>

#include <atomic>
#include <csignal>

namespace {

volatile std::sig_atomic_t g_bInterrupted = 0;

void OnInterrupt(int) {
    g_bInterrupted = 1;
}

void Print(FILE* p, const QString& str) {
    std::fputs(str.toLocal8Bit().constData(), p);
    std::fflush(p);
}

int Fail(FILE* pErr, const QString& str) {
    Print(pErr, QStringLiteral("hivewatch-capture: %1\n").arg(str));
    return 1;
}

bool LoadSettings(const SCaptureToolOptions& opts, FILE* pErr) {
    const QString strPath = opts.strSettings.isEmpty() ? GetSettingsPath() : opts.strSettings;
    if (!QFileInfo::exists(strPath)) {
        if (!opts.strSettings.isEmpty())
            return Fail(pErr, QStringLiteral("settings file %1 does not exist").arg(strPath)) == 0;
        return true; // no settings yet: the defaults
    }
    QString strError;
    if (!LoadSettingsFile(strPath, &g_SetObj, &strError)) {
        if (!opts.strSettings.isEmpty())
            return Fail(pErr, strError) == 0;
        Print(pErr, QStringLiteral("hivewatch-capture: %1\n").arg(strError));
    }
    return true;
}

QString JoinParams(const QStringList& args) {
    QStringList quoted;
    for (const QString& a : args)
        quoted << (a.contains(QLatin1Char(' ')) || a.isEmpty()
                       ? QLatin1Char('"') + a + QLatin1Char('"')
                       : a);
    return quoted.join(QLatin1Char(' '));
}

bool SetTarget(const SCaptureToolOptions& opts, FILE* pErr) {
    if (opts.nAttachPid) {
        const QString strName = PlatformProcessName(opts.nAttachPid);
        if (strName.isEmpty())
            return Fail(pErr,
                        QStringLiteral("no running process has ID %1").arg(opts.nAttachPid)) == 0;
        g_SetObj.m_strAttachName = strName;
        g_SetObj.m_nAttachPid = opts.nAttachPid;
        g_SetObj.StoreCaptureScope(SCOPE_ATTACHED);
    } else if (!opts.strLaunch.isEmpty()) {
        g_SetObj.m_strNewProgram = opts.strLaunch;
        g_SetObj.m_strNewParams = JoinParams(opts.arLaunchArgs);
        g_SetObj.StoreCaptureScope(SCOPE_NEW_PROGRAM);
    }
    return true;
}

struct CToolHost : ICaptureHost {
    void RefreshList() override {}
    void PostCloseNotice() override {}
};

// Waits until a stop condition holds, drawing a live count about ten times a second.
void WaitForStop(const SCaptureToolOptions& opts, CCaptureEngine& engine, FILE* pErr) {
    const bool bLive = PlatformStderrIsTerminal();
    const uint32_t nStart = PlatformTickCount();
    uint32_t nLastNew = nStart;
    uint64_t nLastFiled = 0;
    while (!g_bInterrupted) {
        PlatformSleepMs(100);
        const uint32_t nNow = PlatformTickCount();
        const uint64_t nFiled = engine.RecordsFiled();
        if (nFiled != nLastFiled) {
            nLastFiled = nFiled;
            nLastNew = nNow;
        }
        const double dElapsed = (nNow - nStart) / 1000.0;
        if (bLive)
            Print(pErr, QStringLiteral("\r%1 records captured, %2 s ")
                            .arg(nFiled)
                            .arg(dElapsed, 0, 'f', 1));
        if ((opts.dSeconds > 0 && dElapsed >= opts.dSeconds) ||
            (opts.nCount > 0 && nFiled >= uint64_t(opts.nCount)) ||
            (opts.dUntilIdle > 0 && (nNow - nLastNew) / 1000.0 >= opts.dUntilIdle))
            break;
    }
    if (bLive)
        Print(pErr, QStringLiteral("\n"));
}

int WriteOutputs(const SCaptureToolOptions& opts, CHivewatchDoc& doc, FILE* pOut, FILE* pErr) {
    int nExit = 0;
    if (!opts.strOut.isEmpty()) {
        QString strError;
        if (doc.OnSaveDocument(opts.strOut, &strError))
            Print(pOut, QStringLiteral("wrote %1 records to %2\n")
                            .arg(doc.GetRecordCount())
                            .arg(opts.strOut));
        else
            nExit = Fail(pErr, strError);
    }
    if (!opts.strCsv.isEmpty()) {
        const SExportResult result = ExportCsv(doc, opts.strCsv, opts.nExportScope);
        if (result.bOk)
            Print(pOut,
                  QStringLiteral("wrote %1 records to %2\n").arg(result.nRecords).arg(opts.strCsv));
        else
            nExit = Fail(pErr, result.strError);
    }
    return nExit;
}

int Convert(const SCaptureToolOptions& opts, FILE* pOut, FILE* pErr) {
    CHivewatchDoc doc;
    QString strError;
    if (!doc.OnOpenDocument(opts.strIn, &strError))
        return Fail(pErr, strError);
    return WriteOutputs(opts, doc, pOut, pErr);
}

int Capture(const SCaptureToolOptions& opts, FILE* pOut, FILE* pErr) {
    if (!LoadSettings(opts, pErr) || !SetTarget(opts, pErr))
        return 1;
    CHivewatchDoc doc;
    CToolHost host;
    CCaptureEngine engine(&doc, &host);
    if (!engine.StartDriver())
        return Fail(pErr, QStringLiteral("cannot start the driver: %1").arg(engine.LastError()));
    QString strError;
    if (!engine.StartCapture(&strError)) {
        engine.StopDriver();
        return Fail(pErr, strError);
    }
    if (!engine.m_bCapturing) {
        engine.StopDriver();
        return Fail(pErr, QStringLiteral("the driver did not switch the capture on"));
    }
    PlatformOnInterrupt(OnInterrupt);
    WaitForStop(opts, engine, pErr);
    engine.SwitchCaptureOff();
    engine.m_bQuit = 1;
    engine.StopDriver();
    return WriteOutputs(opts, doc, pOut, pErr);
}

} // namespace

int RunCaptureTool(const SCaptureToolOptions& opts, FILE* pOut, FILE* pErr) {
    if (opts.bHelp) {
        Print(pOut, QString::fromLatin1(CAPTURE_TOOL_USAGE));
        return 0;
    }
    return opts.strIn.isEmpty() ? Capture(opts, pOut, pErr) : Convert(opts, pOut, pErr);
}
