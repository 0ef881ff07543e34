#include "tools/capture/CaptureTool.h"

#include "capture/CaptureEngine.h"
#include "capture/CaptureHost.h"
#include "capture/CaptureStream.h"
#include "capture/CsvExport.h"
#include "capture/FilterComposer.h"
#include "changes/RegChanges.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/FileNames.h"
#include "platform/FileOps.h"
#include "platform/Processes.h"
#include "platform/SafeFile.h"
#include "platform/WineEnvironment.h"
#include "platform/WinePrograms.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"

#include <atomic>
#include <csignal>

namespace {

volatile std::sig_atomic_t g_bInterrupted = 0;

void OnInterrupt(int) {
    g_bInterrupted = 1;
}

// File names in messages show each byte that is not UTF-8 as \xHH.
void Print(FILE* p, const QString& str) {
    std::fputs(PlatformReadableFileName(str).toLocal8Bit().constData(), p);
    std::fflush(p);
}

int Fail(FILE* pErr, const QString& str) {
    Print(pErr, QStringLiteral("hivewatch-capture: %1\n").arg(str));
    return 1;
}

// A settings file named with --settings must be usable: the tool stops otherwise. The
// program's own settings file falls back to the defaults with a warning, a damaged one kept
// aside as the window keeps it.
bool LoadSettings(const SCaptureToolOptions& opts, FILE* pErr) {
    const bool bNamed = !opts.strSettings.isEmpty();
    const QString strPath = bNamed ? opts.strSettings : GetSettingsPath();
    if (strPath.isEmpty())
        return true; // no settings yet: the defaults
    QStringList notes;
    if (bNamed) {
        const SSettingsRead read = ReadSettingsFile(strPath, &g_SetObj);
        if (read.nResult == SETTINGS_MISSING)
            return Fail(pErr, QStringLiteral("settings file %1 does not exist; stopping without "
                                             "capturing")
                                  .arg(strPath)) == 0;
        if (read.nResult != SETTINGS_READ)
            return Fail(pErr, QStringLiteral("cannot use the settings: %1; stopping without "
                                             "capturing")
                                  .arg(read.strError)) == 0;
        notes = read.arNotes;
    } else {
        const SSettingsStart start = StartWithSettingsFile(strPath, &g_SetObj);
        if (start.bRefused)
            return Fail(pErr,
                        QStringLiteral("%1; stopping without capturing").arg(start.strMessage)) ==
                   0;
        if (!start.strMessage.isEmpty())
            Print(pErr, QStringLiteral("hivewatch-capture: %1\n").arg(start.strMessage));
        notes = start.arNotes;
    }
    for (const QString& strNote : notes)
        Print(pErr, QStringLiteral("hivewatch-capture: %1\n").arg(strNote));
    return true;
}

// Lists that do not fit the driver's filter would lose entries: the capture does not start.
bool CheckFilterFits(const SCaptureToolOptions& opts, FILE* pErr) {
    const QString strOverflow = FilterOverflowText(ComposeFilterTexts(g_SetObj));
    if (strOverflow.isEmpty())
        return true;
    const QString strPath = opts.strSettings.isEmpty() ? GetSettingsPath() : opts.strSettings;
    return Fail(pErr, QStringLiteral("the filter lists of %1 do not fit the driver's filter: %2; "
                                     "shorten them in the window's Options dialog; stopping "
                                     "without capturing")
                          .arg(strPath, strOverflow)) == 0;
}

// A text of the launch arguments for messages; the arguments themselves go to the program
// as a list.
QString JoinParams(const QStringList& args) {
    QStringList quoted;
    for (const QString& a : args)
        quoted << (a.contains(QLatin1Char(' ')) || a.isEmpty()
                       ? QLatin1Char('"') + a + QLatin1Char('"')
                       : a);
    return quoted.join(QLatin1Char(' '));
}

QString PendingTargetText() {
    if (g_SetObj.m_nCaptureScope == SCOPE_ATTACHED)
        return QStringLiteral("attach to %1 (process %2)")
            .arg(g_SetObj.m_strAttachName)
            .arg(g_SetObj.m_nAttachPid);
    return QStringLiteral("launch \"%1 %2\"")
        .arg(g_SetObj.m_strNewProgram, g_SetObj.m_strNewParams);
}

// The capture's target: one given on the command line, the one the settings hold when asked
// for, or else all processes. A plain run never starts a program it was not told to start.
bool SetTarget(const SCaptureToolOptions& opts, FILE* pErr) {
    const int nStored = g_SetObj.LoadCaptureScope();
    const bool bPending = nStored == SCOPE_ATTACHED || nStored == SCOPE_NEW_PROGRAM;
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
    } else if (opts.bPendingTarget) {
        if (!bPending)
            return Fail(pErr, QStringLiteral("the settings hold no pending target")) == 0;
        if (nStored == SCOPE_ATTACHED && PlatformProcessName(g_SetObj.m_nAttachPid).isEmpty())
            return Fail(pErr, QStringLiteral("the pending target, process %1, is not running")
                                  .arg(g_SetObj.m_nAttachPid)) == 0;
        Print(pErr, QStringLiteral("hivewatch-capture: using the pending target: %1\n")
                        .arg(PendingTargetText()));
    } else if (bPending) {
        Print(pErr, QStringLiteral("hivewatch-capture: the settings hold a pending target (%1); "
                                   "capturing all processes instead (--pending-target uses it)\n")
                        .arg(PendingTargetText()));
        g_SetObj.StoreCaptureScope(SCOPE_ALL);
    }
    return true;
}

// Outputs are checked before anything is captured: a capture must not end in a write that
// cannot work, and no file may be both read and written, or written twice.
bool CheckOutputs(const SCaptureToolOptions& opts, FILE* pErr) {
    const QStringList arOutputs = opts.Outputs();
    for (const QString& strPath : arOutputs) {
        QString strWhy;
        if (!CSafeFile::CheckTarget(strPath, nullptr, &strWhy))
            return Fail(pErr, QStringLiteral("cannot write %1: %2").arg(strPath, strWhy)) == 0;
    }
    for (qsizetype i = 0; i < arOutputs.size(); ++i)
        for (qsizetype j = i + 1; j < arOutputs.size(); ++j)
            if (PlatformSameFile(arOutputs[i], arOutputs[j]))
                return Fail(pErr, QStringLiteral("two outputs name the same file (%1)")
                                      .arg(arOutputs[j])) == 0;
    if (!opts.strIn.isEmpty()) {
        for (const QString& strPath : arOutputs) {
            if (PlatformSameFile(opts.strIn, strPath))
                return Fail(pErr, QStringLiteral("--in and an output name the same file (%1)")
                                      .arg(strPath)) == 0;
        }
    }
    return true;
}

struct CToolHost : ICaptureHost {
    void RefreshList() override {}
    void PostCloseNotice() override {}
};

// Prints what the driver has to tell; true when it told anything (the run then fails at the end).
bool PrintDriverMessages(CCaptureEngine& engine, FILE* pErr) {
    const QStringList arMessages = engine.TakeDriverMessages();
    for (const QString& str : arMessages)
        Print(pErr, QStringLiteral("hivewatch-capture: the driver reports: %1\n").arg(str));
    return !arMessages.isEmpty();
}

// Windows programs of the watched prefix outlive the capture; the user hears which.
void SayWhichWineProgramsRun(FILE* pErr) {
    const std::optional<std::string> prefix = WineActivePrefix();
    if (!prefix)
        return;
    const std::vector<SWineProgram> arPrograms = WinePrefixPrograms(*prefix);
    if (arPrograms.empty())
        return;
    Print(pErr, QStringLiteral("hivewatch-capture: still running in the Wine prefix %1: %2 "
                               "(end them with: WINEPREFIX=\"%1\" wineserver -k)\n")
                    .arg(QString::fromStdString(*prefix),
                         QString::fromStdString(WineDescribePrograms(arPrograms))));
}

// Waits until a stop condition holds, drawing a live count about ten times a second. The
// files are written a hundred times a second: the records they have go from memory sooner,
// and the blocks they free take the next ones while they are still in the process.
bool WaitForStop(const SCaptureToolOptions& opts, CCaptureEngine& engine, FILE* pErr,
                 CCaptureStream* pStream) {
    constexpr uint32_t POLL_MS = 10, DRAW_EVERY = 10;
    bool bDriverProblem = false;
    const bool bLive = PlatformStderrIsTerminal();
    const uint32_t nStart = PlatformTickCount();
    uint32_t nLastNew = nStart;
    uint64_t nLastFiled = 0;
    for (uint32_t nPoll = 1; !g_bInterrupted; ++nPoll) {
        PlatformSleepMs(POLL_MS);
        if (pStream)
            pStream->WritePending(); // the files grow with the capture
        const uint32_t nNow = PlatformTickCount();
        const uint64_t nFiled = engine.RecordsFiled();
        if (nFiled != nLastFiled) {
            nLastFiled = nFiled;
            nLastNew = nNow;
        }
        const double dElapsed = (nNow - nStart) / 1000.0;
        if (nPoll % DRAW_EVERY == 0) {
            if (PrintDriverMessages(engine, pErr)) {
                bDriverProblem = true;
                if (bLive)
                    Print(pErr, QStringLiteral("\n"));
            }
            if (bLive)
                Print(pErr, QStringLiteral("\r%1 records captured, %2 s ")
                                .arg(nFiled)
                                .arg(dElapsed, 0, 'f', 1));
        }
        if ((opts.dSeconds > 0 && dElapsed >= opts.dSeconds) ||
            (opts.nCount > 0 && nFiled >= uint64_t(opts.nCount)) ||
            (opts.dUntilIdle > 0 && (nNow - nLastNew) / 1000.0 >= opts.dUntilIdle))
            break;
    }
    if (bLive)
        Print(pErr, QStringLiteral("\n"));
    return bDriverProblem;
}

// With rules, the records they pass; the export scope narrows them further.
SExportResult Export(const SCaptureToolOptions& opts, const CHivewatchDoc& doc, FILE* pErr) {
    const bool bShownOnly = !opts.arRules.isEmpty();
    if (!PlatformStderrIsTerminal())
        return ExportCsv(doc, opts.strCsv, opts.nExportScope, {}, bShownOnly);
    const SExportResult result = ExportCsv(
        doc, opts.strCsv, opts.nExportScope,
        [&](int64_t nDone, int64_t nTotal) {
            Print(pErr, QStringLiteral("\rexporting %1: %2% ")
                            .arg(opts.strCsv)
                            .arg(nTotal > 0 ? nDone * 100 / nTotal : 100));
            return !g_bInterrupted;
        },
        bShownOnly);
    Print(pErr, QStringLiteral("\n"));
    return result;
}

// The registry changes of the records (those the rules show, when there are rules), as the
// files that redo and undo them.
int WriteRegFiles(const SCaptureToolOptions& opts, const CHivewatchDoc& doc, FILE* pOut,
                  FILE* pErr) {
    std::vector<long long> arShown;
    if (doc.IsFiltered())
        doc.ForEachShownIndex([&](long long nIndex) {
            arShown.push_back(nIndex);
            return true;
        });
    const std::unique_ptr<CRegChanges> pChanges =
        CRegChanges::FromDocument(doc, doc.IsFiltered() ? &arShown : nullptr);
    const QString strCounts = RegChangeCountsText(pChanges->Counts());
    int nExit = 0;
    const auto write = [&](const QString& strPath, const CRegFileWriter& file, const char* pWhat) {
        if (strPath.isEmpty())
            return;
        QString strError;
        if (file.Save(strPath, strError))
            Print(pOut, QStringLiteral("wrote the %1 file %2: %3\n")
                            .arg(QLatin1String(pWhat), strPath, strCounts));
        else
            nExit = Fail(pErr, strError);
    };
    write(opts.strRedoReg, pChanges->RedoFile(), "redo");
    write(opts.strUndoReg, pChanges->UndoFile(), "undo");
    return nExit;
}

// Records arriving later are tested as they come; those already there at once.
bool ApplyRules(const SCaptureToolOptions& opts, CHivewatchDoc& doc, FILE* pErr) {
    if (opts.arRules.isEmpty() || doc.SetDisplayFilter(opts.arRules))
        return true;
    return Fail(pErr, QStringLiteral("there is not enough memory to apply the --include and "
                                     "--exclude rules to %1 records; close other programs or "
                                     "use fewer records")
                          .arg(doc.GetRecordCount())) == 0;
}

int WriteOutputs(const SCaptureToolOptions& opts, CHivewatchDoc& doc, FILE* pOut, FILE* pErr) {
    int nExit = 0;
    if (!opts.strOut.isEmpty()) {
        QString strError;
        const bool bShownOnly = !opts.arRules.isEmpty();
        const bool bSaved = bShownOnly ? doc.SaveShownRecords(opts.strOut, &strError)
                                       : doc.OnSaveDocument(opts.strOut, &strError);
        if (bSaved)
            Print(pOut, QStringLiteral("wrote %1 records to %2\n")
                            .arg(bShownOnly ? doc.GetShownCount() : doc.GetRecordCount())
                            .arg(opts.strOut));
        else
            nExit = Fail(pErr, strError);
    }
    if (!opts.strCsv.isEmpty()) {
        const SExportResult result = Export(opts, doc, pErr);
        if (result.bOk)
            Print(pOut,
                  QStringLiteral("wrote %1 records to %2\n").arg(result.nRecords).arg(opts.strCsv));
        else
            nExit = Fail(pErr, result.strError);
    }
    if (!opts.strRedoReg.isEmpty() || !opts.strUndoReg.isEmpty()) {
        if (WriteRegFiles(opts, doc, pOut, pErr) != 0)
            nExit = 1;
    }
    return nExit;
}

int Convert(const SCaptureToolOptions& opts, FILE* pOut, FILE* pErr) {
    if (!CheckOutputs(opts, pErr))
        return 1;
    CHivewatchDoc doc;
    QString strError;
    if (!doc.OnOpenDocument(opts.strIn, &strError))
        return Fail(pErr, strError);
    if (!ApplyRules(opts, doc, pErr))
        return 1;
    return WriteOutputs(opts, doc, pOut, pErr);
}

int Capture(const SCaptureToolOptions& opts, FILE* pOut, FILE* pErr) {
    if (!CheckOutputs(opts, pErr) || !LoadSettings(opts, pErr) || !SetTarget(opts, pErr) ||
        !CheckFilterFits(opts, pErr))
        return 1;
    CHivewatchDoc doc;
    if (!ApplyRules(opts, doc, pErr))
        return 1;
    CToolHost host;
    CCaptureEngine engine(&doc, &host);
    if (!engine.StartDriver())
        return Fail(pErr, QStringLiteral("cannot start the driver: %1").arg(engine.LastError()));
    // The capture thread files no more than --count records, so the document and the files
    // hold exactly that many even if more arrive before this thread notices.
    engine.SetRecordLimit(uint64_t(opts.nCount));
    PlatformOnInterrupt(OnInterrupt);
    QString strError;
    if (!engine.StartCapture(&strError, opts.strLaunch.isEmpty() ? nullptr : &opts.arLaunchArgs)) {
        const QString strWhy = engine.LastError();
        engine.StopDriver();
        return Fail(pErr, strError.contains(strWhy)
                              ? strError
                              : QStringLiteral("%1: %2").arg(strError, strWhy));
    }
    if (!engine.m_bCapturing) {
        engine.StopDriver();
        return Fail(pErr, QStringLiteral("the driver did not switch the capture on"));
    }
    // The files are written while the records arrive; when the document stops holding every
    // record (the history depth trims it), or only some are to be written (rules), they are
    // written the usual way at the end.
    CCaptureStream stream(doc, opts.strOut, opts.strCsv, opts.nExportScope);
    const bool bStreaming = opts.arRules.isEmpty() && stream.Open(nullptr);
    // Nothing reads the records after the files but the .reg writer: without it, and with no
    // history depth, each record goes once it is written and a long capture stays small.
    if (bStreaming && g_SetObj.LoadHistoryDepth() <= 0 && opts.strRedoReg.isEmpty() &&
        opts.strUndoReg.isEmpty())
        stream.ReleaseWrittenRecords(doc);
    bool bDriverProblem = WaitForStop(opts, engine, pErr, bStreaming ? &stream : nullptr);
    engine.SwitchCaptureOff();
    bDriverProblem = PrintDriverMessages(engine, pErr) || bDriverProblem;
    engine.m_bQuit = 1;
    engine.StopDriver();
    SayWhichWineProgramsRun(pErr);
    g_bInterrupted = 0; // a stop by signal still saves; a second one cancels the export
    int nExit = 0;
    if (bStreaming && stream.Finish()) {
        if (!opts.strOut.isEmpty())
            Print(pOut, QStringLiteral("wrote %1 records to %2\n")
                            .arg(stream.RecordsWritten())
                            .arg(opts.strOut));
        if (!opts.strCsv.isEmpty())
            Print(
                pOut,
                QStringLiteral("wrote %1 records to %2\n").arg(stream.CsvLines()).arg(opts.strCsv));
        if ((!opts.strRedoReg.isEmpty() || !opts.strUndoReg.isEmpty()) &&
            WriteRegFiles(opts, doc, pOut, pErr) != 0)
            nExit = 1;
    } else if (bStreaming && !stream.Diverged()) {
        nExit = Fail(pErr, stream.ErrorText());
    } else {
        nExit = WriteOutputs(opts, doc, pOut, pErr);
    }
    return bDriverProblem ? 1 : nExit;
}

} // namespace

int RunCaptureTool(const SCaptureToolOptions& opts, FILE* pOut, FILE* pErr) {
    if (opts.bHelp) {
        Print(pOut, QString::fromLatin1(CAPTURE_TOOL_USAGE));
        return 0;
    }
    // A write beyond the file-size limit must fail with a message, not kill the tool.
    PlatformIgnoreFileSizeSignal();
    return opts.strIn.isEmpty() ? Capture(opts, pOut, pErr) : Convert(opts, pOut, pErr);
}
