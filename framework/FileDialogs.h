// What the program's file dialogs share: a size that shows their columns, a start folder
// Qt can show, and names read back to the bytes of the file the user chose.
#pragma once

#include <QFileDialog>
#include <QString>

// Qt's file dialog, which also takes a file whose name is not UTF-8: Qt shows such a name
// with U+FFFD in place of the odd bytes, and its own checks (the file must exist to be
// opened; replacing one is confirmed) look for the name as shown and find nothing.
class CFileDialog : public QFileDialog {
    Q_OBJECT
public:
    using QFileDialog::QFileDialog;
    void accept() override;
};

// Sets the dialog's folder (the nearest one above strFolder that Qt can show, when Qt cannot
// show that one) and, when it is Qt's own dialog, widens its columns to their titles and to
// the widest texts they hold (a date, a size) and the dialog to show them all, within the
// screen. The desktop's own dialog sizes itself.
void PrepareFileDialog(QFileDialog& dlg, const QString& strFolder);

// A name as Qt's file dialog shows it: each byte that is not UTF-8 as U+FFFD.
QString ShownFileName(const QString& strName);

// The first file chosen, its name read back to the file's own bytes; empty when none.
QString ChosenFileName(const QFileDialog& dlg);
