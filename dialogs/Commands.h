// The main frame's commands that open the dialogs: Options, Attach, Open New Program, Export,
// Registry Changes.
#pragma once

#include <QString>

#include <cstdint>
#include <vector>

class CHivewatchDoc;
class QWidget;

// Options: the dialog writes the settings itself when applied.
void RunOptionsCommand(QWidget* pParent);
// Attach to Running Process and Open New Program: true when the user chose a target with
// "Capture now" ticked, and the caller starts capturing at once (Start Capture).
bool RunAttachCommand(QWidget* pParent);
bool RunOpenNewProgramCommand(QWidget* pParent);
// Export: asks for the file and the records, writes them and says how it went.
void RunExportCommand(QWidget* pParent, const CHivewatchDoc& doc);

// Tools > Registry Changes: the net registry changes of every record, or only of the records
// at pShownIndices (list indices, ascending) when a display filter shows only those, in a
// window with the tree, the counts, the jump and the redo and undo files.
void RunRegistryChangesCommand(QWidget* pParent, const CHivewatchDoc& doc,
                               const std::vector<long long>* pShownIndices = nullptr);

// Exports larger than this show a progress dialog with a Cancel button.
inline constexpr int64_t EXPORT_PROGRESS_THRESHOLD = 100000;

// Writes the export and tells the user the outcome: "Finished", or why the file could not be
// created or written. nProgressThreshold: record count above which progress is shown.
// bShownOnly: the records the event list shows.
void WriteExportFile(QWidget* pParent, const CHivewatchDoc& doc, const QString& strPath,
                     int nExportScope, int64_t nProgressThreshold = EXPORT_PROGRESS_THRESHOLD,
                     bool bShownOnly = false);
