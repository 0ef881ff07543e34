#include "tools/capture/CaptureToolOptions.h"

#include "settings/SetObj.h"

#include <cmath>

const char* const CAPTURE_TOOL_USAGE =
    "Usage: hivewatch-capture [options]\n"
    "Captures registry activity without a window and writes it to files.\n"
    "\n"
    "Target (default: all processes, filtered by the settings):\n"
    "  --attach PID              watch one running process\n"
    "  --launch PROGRAM [ARGS]   start PROGRAM and watch it and the processes it starts\n"
    "                            (the rest of the line is its arguments, passed as given)\n"
    "  --pending-target          watch the target the settings hold from the window's\n"
    "                            Attach or Open New Program (ignored without this option)\n"
    "When to stop (default: Ctrl-C):\n"
    "  --seconds N               after N seconds\n"
    "  --count N                 after exactly N records (a whole number)\n"
    "  --until-idle N            after N seconds without a new record\n"
    "Output:\n"
    "  --out FILE.hvw            write a capture document\n"
    "  --csv FILE                write CSV\n"
    "  --export-scope S          all | write | modified (records the CSV holds; default all)\n"
    "  --redo-reg FILE.reg       write the registry changes of the records as a .reg file\n"
    "                            that applies them\n"
    "  --undo-reg FILE.reg       write a .reg file that reverts them (import either with\n"
    "                            regedit /s, under Wine: wine regedit /s FILE.reg)\n"
    "Rules (as the window's Edit > Filter; only the records they pass are written):\n"
    "  --include 'COLUMN RELATION VALUE'\n"
    "                            keep the records that match; with several rules for one\n"
    "                            column, those that match any of them (repeatable)\n"
    "  --exclude 'COLUMN RELATION VALUE'\n"
    "                            leave out the records that match (repeatable)\n"
    "      COLUMN    Seq, Time sample, Process Name, PID, Request, Path, Description,\n"
    "                Result, Old Value, New Value\n"
    "      RELATION  is, is not, contains, excludes, begins with, ends with, less than,\n"
    "                more than (Seq and PID compare as numbers; texts ignore case)\n"
    "      VALUE     the rest; put it in double quotes when it is empty or begins or ends\n"
    "                with a blank, e.g. --exclude 'Process Name is \"System\"'\n"
    "Other:\n"
    "  --in FILE.hvw             read a capture document instead of capturing; write it with\n"
    "                            --csv, --redo-reg and --undo-reg\n"
    "  --settings FILE           settings file to use (default: the program's setobj.dat)\n"
    "  --help                    show this text\n";

namespace {

constexpr double MAX_SECONDS = 1e9;
constexpr long long MAX_COUNT = 1'000'000'000'000LL;

// The options that take a value; --launch takes the rest of the line.
const char* const kValueOptions[] = {"--attach",     "--seconds",      "--count",    "--until-idle",
                                     "--out",        "--csv",          "--in",       "--settings",
                                     "--export-scope", "--redo-reg",   "--undo-reg", "--include",
                                     "--exclude"};

bool TakesValue(const QString& strArg) {
    for (const char* p : kValueOptions) {
        if (strArg == QLatin1String(p))
            return true;
    }
    return false;
}

bool ParseSeconds(const QString& strArg, const QString& strValue, double& dOut, QString& strError) {
    bool bOk = false;
    const double d = strValue.toDouble(&bOk);
    if (!bOk || !std::isfinite(d) || d <= 0 || d > MAX_SECONDS) {
        strError = QStringLiteral("%1 needs a positive number of seconds, not \"%2\"")
                       .arg(strArg, strValue);
        return false;
    }
    dOut = d;
    return true;
}

bool ParseCount(const QString& strArg, const QString& strValue, long long& nOut,
                QString& strError) {
    bool bOk = false;
    const long long n = strValue.toLongLong(&bOk);
    if (!bOk || n <= 0 || n > MAX_COUNT) {
        strError =
            QStringLiteral("%1 needs a positive whole number, not \"%2\"").arg(strArg, strValue);
        return false;
    }
    nOut = n;
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

bool ParseRule(const QString& strArg, const QString& strValue, CFilterRules& arRules,
               QString& strError) {
    if (arRules.size() >= MAX_FILTER_RULES) {
        strError =
            QStringLiteral("more than %1 --include and --exclude rules").arg(MAX_FILTER_RULES);
        return false;
    }
    SFilterRule rule;
    const EFilterAction nAction =
        strArg == QLatin1String("--exclude") ? FILTER_EXCLUDE : FILTER_INCLUDE;
    if (!ParseFilterRule(strValue, nAction, rule, strError)) {
        strError = strArg + QLatin1Char(' ') + strError;
        return false;
    }
    arRules.append(rule);
    return true;
}

bool CheckCombination(const SCaptureToolOptions& opts, QString& strError) {
    if (opts.nAttachPid && !opts.strLaunch.isEmpty()) {
        strError = QStringLiteral("--attach and --launch cannot be used together");
        return false;
    }
    if (opts.bPendingTarget && (opts.nAttachPid || !opts.strLaunch.isEmpty())) {
        strError = QStringLiteral("--pending-target cannot be used with --attach or --launch");
        return false;
    }
    const bool bRegFiles = !opts.strRedoReg.isEmpty() || !opts.strUndoReg.isEmpty();
    if (!opts.strIn.isEmpty()) {
        const bool bCaptureOption = opts.nAttachPid || !opts.strLaunch.isEmpty() ||
                                    opts.bPendingTarget || opts.dSeconds || opts.nCount ||
                                    opts.dUntilIdle || !opts.strOut.isEmpty();
        if (bCaptureOption || (opts.strCsv.isEmpty() && !bRegFiles)) {
            strError = QStringLiteral("--in reads a capture document: use it with --csv, "
                                      "--redo-reg and --undo-reg only");
            return false;
        }
        return true;
    }
    if (opts.strOut.isEmpty() && opts.strCsv.isEmpty() && !bRegFiles) {
        strError = QStringLiteral("nothing to write: give --out FILE.hvw, --csv FILE, "
                                  "--redo-reg FILE.reg or --undo-reg FILE.reg");
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
        if (strArg == QLatin1String("--pending-target")) {
            opts.bPendingTarget = true;
            continue;
        }
        if (!strArg.startsWith(QLatin1String("--"))) {
            strError = QStringLiteral("unexpected argument \"%1\"").arg(strArg);
            return false;
        }
        if (!TakesValue(strArg)) {
            strError = QStringLiteral("unknown option %1 (see --help)").arg(strArg);
            return false;
        }
        if (i + 1 >= args.size()) {
            strError = QStringLiteral("%1 needs a value").arg(strArg);
            return false;
        }
        const QString& strValue = args[++i];
        if (strArg == QLatin1String("--attach")) {
            bool bOk = false;
            opts.nAttachPid = strValue.toInt(&bOk);
            if (!bOk || opts.nAttachPid <= 0) {
                strError = QStringLiteral("--attach needs a process ID, not \"%1\"").arg(strValue);
                return false;
            }
        } else if (strArg == QLatin1String("--seconds")) {
            if (!ParseSeconds(strArg, strValue, opts.dSeconds, strError))
                return false;
        } else if (strArg == QLatin1String("--until-idle")) {
            if (!ParseSeconds(strArg, strValue, opts.dUntilIdle, strError))
                return false;
        } else if (strArg == QLatin1String("--count")) {
            if (!ParseCount(strArg, strValue, opts.nCount, strError))
                return false;
        } else if (strArg == QLatin1String("--out")) {
            opts.strOut = strValue;
        } else if (strArg == QLatin1String("--csv")) {
            opts.strCsv = strValue;
        } else if (strArg == QLatin1String("--in")) {
            opts.strIn = strValue;
        } else if (strArg == QLatin1String("--redo-reg")) {
            opts.strRedoReg = strValue;
        } else if (strArg == QLatin1String("--undo-reg")) {
            opts.strUndoReg = strValue;
        } else if (strArg == QLatin1String("--settings")) {
            opts.strSettings = strValue;
        } else if (strArg == QLatin1String("--export-scope")) {
            if (!ParseScope(strValue, opts.nExportScope, strError))
                return false;
        } else if (strArg == QLatin1String("--include") || strArg == QLatin1String("--exclude")) {
            if (!ParseRule(strArg, strValue, opts.arRules, strError))
                return false;
        }
    }
    return CheckCombination(opts, strError);
}

QStringList SCaptureToolOptions::Outputs() const {
    QStringList ar;
    for (const QString* p : {&strOut, &strCsv, &strRedoReg, &strUndoReg})
        if (!p->isEmpty())
            ar.append(*p);
    return ar;
}
