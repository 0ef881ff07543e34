// The document type's texts: window title, file filter, extension and the type's names.
#pragma once

#include <QString>

class CDocTemplate {
public:
    // The parts of a template string, in the order the string holds them ("\n"-separated).
    enum EDocStringIndex {
        windowTitle = 0,
        docName = 1,
        fileNewName = 2,
        filterName = 3,
        filterExt = 4,
        regFileTypeId = 5,
        regFileTypeName = 6,
    };

    explicit CDocTemplate(const QString& strTemplate);

    // One part of the template string; empty when the string has fewer parts.
    QString GetDocString(EDocStringIndex nIndex) const;

    // The title of a document that has no file yet.
    QString GetUntitledTitle() const;
    // The filter for file dialogs ("Hivewatch Files (*.hvw)").
    QString GetFileDialogFilter() const { return GetDocString(filterName); }
    // The extension with its dot (".hvw").
    QString GetExtension() const { return GetDocString(filterExt); }
    // The path with the extension added when its file name has none.
    QString WithDefaultExtension(const QString& strPath) const;

private:
    QString m_strTemplate;
};

// The one document type of this program.
inline constexpr const char* HIVEWATCH_DOC_TEMPLATE = "Hivewatch\n\nHivewatch\nHivewatch Files "
                                                      "(*.hvw)\n.hvw\nHivewatch.Document\n"
                                                      "Hivewatch.Document";
