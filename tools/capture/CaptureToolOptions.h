// Command line of hivewatch-capture, parsed and checked before anything runs.
#pragma once

#include "store/FilterRule.h"

#include <QString>
#include <QStringList>

struct SCaptureToolOptions {
    bool bHelp = false;
    QString strSettings;         // empty: the program's own settings file, else the defaults
    int nAttachPid = 0;          // 0: no attached process
    QString strLaunch;           // program to start and watch
    QStringList arLaunchArgs;    // passed to it exactly as given
    bool bPendingTarget = false; // use the target the settings hold (attach or launch)
    double dSeconds = 0;         // 0: no time limit
    long long nCount = 0;        // 0: no record limit
    double dUntilIdle = 0;
    QString strOut; // capture document to write
    QString strCsv;
    int nExportScope = 0; // EXPORT_ALL
    QString strIn;        // convert an existing capture document instead of capturing
    QString strRedoReg;   // .reg file that applies the net registry changes of the records
    QString strUndoReg;   // .reg file that reverts them

    // The files written, in the order they are written; empty names left out.
    QStringList Outputs() const;
    CFilterRules arRules; // --include and --exclude: only the records they pass are written
};

// Fills opts from the arguments (without the program name). Returns false with a message
// that names the offending argument. Numbers must be finite, and whole where they count
// something; an option not known is reported as unknown.
bool ParseCaptureToolArgs(const QStringList& args, SCaptureToolOptions& opts, QString& strError);

extern const char* const CAPTURE_TOOL_USAGE;
