// The recent-file list: the last documents opened or saved, newest first, kept in the profile.
#pragma once

#include <QString>
#include <QStringList>

class CRecentFileList {
public:
    // nSize entries at most, kept under the profile section strSection as File1..FileN.
    explicit CRecentFileList(int nSize = 4,
                             const QString& strSection = QStringLiteral("Recent File List"));

    void ReadList();        // from the application's profile (QSettings)
    void WriteList() const; // to the profile

    // Puts a file first (once); the oldest entry falls off beyond the size.
    void Add(const QString& strPath);
    void Remove(const QString& strPath);

    const QStringList& GetEntries() const { return m_arFiles; }
    int GetSize() const { return m_nSize; }
    // A menu entry's text: "&1 " and the path, shortened in the middle when long.
    QString GetDisplayName(int nIndex) const;

private:
    static QString Normalized(const QString& strPath);

    int m_nSize;
    QString m_strSection;
    QStringList m_arFiles;
};
