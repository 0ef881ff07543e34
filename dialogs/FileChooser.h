// The file-open and save-as choosers of the dialogs, with filters written as "name|pattern|...".
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

// "EXE Files (*.exe)|*.exe|All Files (*.*)|*.*||" as Qt's name filters:
// "EXE Files (*.exe)", "All Files (*)". Patterns separated by ';' stay together; "*.*" means
// every file. Two separators in a row end the list.
QStringList QtNameFilters(const QString& strFilter);

// Name filter that shows executable files whatever their name: programs here have no
// extension, so the open chooser offers it after the first filter when asked to.
inline constexpr const char* EXECUTABLE_FILES_FILTER = "Executable Files (*)";

struct SFileRequest {
    bool m_bSave = false;        // save-as (no prompt before replacing), else open
    QStringList m_arNameFilters; // the first one is selected
    bool m_bExecutables = false; // m_arNameFilters holds EXECUTABLE_FILES_FILTER
};

// The chosen file's full path, or empty when the user cancelled. Opening asks for a file
// that exists. No default extension and no initial name.
QString ChooseFile(QWidget* pOwner, const QString& strFilter, bool bSave,
                   bool bOfferExecutables = false);

// Tests answer the chooser here; an empty function restores the file dialog.
using FileChooserFn = std::function<QString(QWidget* pOwner, const SFileRequest& request)>;
void SetFileChooser(FileChooserFn fn);
