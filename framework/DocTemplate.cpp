#include "framework/DocTemplate.h"

#include <QFileInfo>
#include <QStringList>

CDocTemplate::CDocTemplate(const QString& strTemplate) : m_strTemplate(strTemplate) {}

QString CDocTemplate::GetDocString(EDocStringIndex nIndex) const {
    const QStringList parts = m_strTemplate.split(QLatin1Char('\n'));
    return int(nIndex) < parts.size() ? parts[int(nIndex)] : QString();
}

// A template without a document name leaves new documents untitled.
QString CDocTemplate::GetUntitledTitle() const {
    const QString strName = GetDocString(docName);
    return strName.isEmpty() ? QStringLiteral("Untitled") : strName;
}

QString CDocTemplate::WithDefaultExtension(const QString& strPath) const {
    if (strPath.isEmpty() || !QFileInfo(strPath).suffix().isEmpty())
        return strPath;
    return strPath + GetExtension();
}
