// What the document/view glue asks of a document: new, open, save and the modified flag.
#pragma once

#include <QString>

class IDocumentLink {
public:
    virtual ~IDocumentLink() = default;
    // Empties the document; false when it could not be emptied.
    virtual bool OnNewDocument() = 0;
    // Replaces the contents with the file's; on failure pStrError says why in a user's words,
    // and the document holds whatever could be read.
    virtual bool OnOpenDocument(const QString& strPath, QString* pStrError) = 0;
    // Writes the contents to the file; on failure pStrError says why.
    virtual bool OnSaveDocument(const QString& strPath, QString* pStrError) = 0;
    virtual bool IsModified() const = 0;
    virtual void SetModifiedFlag(bool bModified) = 0;
};
