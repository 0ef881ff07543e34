// At exit, the Windows programs still running in the watched Wine prefix: ask whether to end them.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

enum class EWineExitChoice { NONE_RUNNING, END_THEM, LEAVE_THEM, CANCEL };

// Asks when the driver watches a Wine prefix and programs of it still run (they keep running
// when Hivewatch ends, unless the user chooses to end them); NONE_RUNNING otherwise.
// arPrograms: "notepad.exe (process 1234)" and the like; strPrefix: the prefix.
EWineExitChoice AskAboutWinePrograms(QWidget* pParent, const QString& strPrefix,
                                     const QStringList& arPrograms);

// The prefix the driver watches and the programs running in it (empty when the driver watches
// no Wine prefix).
QString WatchedWinePrefix();
QStringList RunningWinePrograms(const QString& strPrefix);
