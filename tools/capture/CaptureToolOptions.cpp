#include "tools/capture/CaptureToolOptions.h"

#include "settings/SetObj.h"

const char* const CAPTURE_TOOL_USAGE =
    "Usage: hivewatch-capture [options]\n"
    "Captures registry activity without a window and writes it to files.\n"
    "\n"
    "Target (default: all processes, filtered by the settings):\n"
    "  --attach PID              watch one running process\n"
    "  --launch PROGRAM [ARGS]   start PROGRAM and watch it (the rest of the line is its\n"
    "                            arguments)\n"
    "When to stop (default: Ctrl-C):\n"
    "  --seconds N               after N seconds\n"
    "  --count N                 once N records were captured\n"
    "  --until-idle N            after N seconds without a new record\n"
    "Output:\n"
    "  --out FILE.hvw            write a capture document\n"
    "  --csv FILE                write CSV\n"
    "  --export-scope S          all | write | modified (records the CSV holds; default all)\n"
    "Other:\n"
    "  --in FILE.hvw --csv FILE  convert a capture document to CSV, capturing nothing\n"
    "  --settings FILE           settings file to use (default: the program's setobj.dat)\n"
    "  --help                    show this text\n";

namespace {

bool ParseNumber(const QString& strArg, const QString& strValue, double& dOut, QString& strError) {
    bool bOk = false;
    dOut = strValue.toDouble(&bOk);
    if (!bOk || dOut <= 0 || dOut > 1e9) {
        strError = QStringLiteral("%1 needs a positive number, not \"%2\"").arg(strArg, strValue);
        return false;
    }
    return true;
}

bool ParseScope(const QString& strValue, int& nScope, QString& strError) {
    if (strValue == QLatin1String("all"))
        nScope = EXPORT_ALL;
    else if (strValue == QLatin1String("write"))
        nScope = EXPORT_WRITE;
    else if (strValue == QLatin1String("modified"))
        nScope = EXPORT_MODIFIED;
    else {
        strError =
            QStringLiteral("--export-scope takes all, write or modified, not \"%1\"").arg(strValue);
        return false;
    }
    return true;
}

bool CheckCombination(const SCaptureToolOptions& opts, QString& strError) {
    if (opts.nAttachPid && !opts.strLaunch.isEmpty()) {
        strError = QStringLiteral("--attach and --launch cannot be used together");
        return false;
    }
    if (!opts.strIn.isEmpty()) {
        const bool bCaptureOption = opts.nAttachPid || !opts.strLaunch.isEmpty() || opts.dSeconds ||
                                    opts.nCount || opts.dUntilIdle || !opts.strOut.isEmpty();
        if (bCaptureOption || opts.strCsv.isEmpty()) {
            strError = QStringLiteral("--in converts a capture document: use it with --csv only");
            return false;
        }
        return true;
    }
    if (opts.strOut.isEmpty() && opts.strCsv.isEmpty()) {
        strError = QStringLiteral("nothing to write: give --out FILE.hvw and/or --csv FILE");
        return false;
    }
    return true;
}

} // namespace

bool ParseCaptureToolArgs(const QStringList& args, SCaptureToolOptions& opts, QString& strError) {
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& strArg = args[i];
        if (strArg == QLatin1String("--help") || strArg == QLatin1String("-h")) {
            opts.bHelp = true;
            return true;
        }
        if (strArg == QLatin1String("--launch")) {
            if (i + 1 >= args.size()) {
                strError = QStringLiteral("--launch needs a program");
                return false;
            }
            opts.strLaunch = args[i + 1];
            opts.arLaunchArgs = args.mid(i + 2);
            break;
        }
        if (i + 1 >= args.size() || !strArg.startsWith(QLatin1String("--"))) {
            strError = strArg.startsWith(QLatin1String("--"))
                           ? QStringLiteral("%1 needs a value").arg(strArg)
                           : QStringLiteral("unexpected argument \"%1\"").arg(strArg);
            return false;
        }
        const QString& strValue = args[++i];
        double d = 0;
        if (strArg == QLatin1String("--attach")) {
            bool bOk = false;
            opts.nAttachPid = strValue.toInt(&bOk);
            if (!bOk || opts.nAttachPid <= 0) {
                strError = QStringLiteral("--attach needs a process ID, not \"%1\"").arg(strValue);
                return false;
            }
        } else if (strArg == QLatin1String("--seconds")) {
            if (!ParseNumber(strArg, strValue, opts.dSeconds, strError))
                return false;
        } else if (strArg == QLatin1String("--until-idle")) {
            if (!ParseNumber(strArg, strValue, opts.dUntilIdle, strError))
                return false;
        } else if (strArg == QLatin1String("--count")) {
            if (!ParseNumber(strArg, strValue, d, strError))
                return false;
            opts.nCount = (long long)d;
        } else if (strArg == QLatin1String("--out")) {
            opts.strOut = strValue;
        } else if (strArg == QLatin1String("--csv")) {
            opts.strCsv = strValue;
        } else if (strArg == QLatin1String("--in")) {
            opts.strIn = strValue;
        } else if (strArg == QLatin1String("--settings")) {
            opts.strSettings = strValue;
        } else if (strArg == QLatin1String("--export-scope")) {
            if (!ParseScope(strValue, opts.nExportScope, strError))
                return false;
        } else {
            strError = QStringLiteral("unknown option %1 (see --help)").arg(strArg);
            return false;
        }
    }
    return CheckCombination(opts, strError);
}
