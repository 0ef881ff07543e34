#include "framework/RecentFileList.h"

#include "platform/FileNames.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {
constexpr int MAX_DISPLAY_LENGTH = 60;
}

CRecentFileList::CRecentFileList(int nSize, const QString& strSection)
    : m_nSize(nSize > 0 ? nSize : 1), m_strSection(strSection) {}

QString CRecentFileList::Normalized(const QString& strPath) {
    return PlatformAbsoluteFileName(strPath);
}

void CRecentFileList::ReadList() {
    QSettings settings;
    settings.beginGroup(m_strSection);
    m_arFiles.clear();
    for (int i = 1; i <= m_nSize; ++i) {
        // A name that is not UTF-8 is kept as its bytes; text would lose them.
        const QVariant value = settings.value(QStringLiteral("File%1").arg(i));
        const QString strPath = value.typeId() == QMetaType::QByteArray
                                    ? PlatformFileNameFromBytes(value.toByteArray())
                                    : value.toString();
        if (!strPath.isEmpty() && !m_arFiles.contains(strPath))
            m_arFiles.append(strPath);
    }
}

void CRecentFileList::WriteList() const {
    QSettings settings;
    settings.beginGroup(m_strSection);
    for (int i = 1; i <= m_nSize; ++i) {
        const QString strKey = QStringLiteral("File%1").arg(i);
        if (i <= m_arFiles.size() && PlatformFileNameHasRawBytes(m_arFiles[i - 1]))
            settings.setValue(strKey, PlatformFileNameBytes(m_arFiles[i - 1]));
        else if (i <= m_arFiles.size())
            settings.setValue(strKey, m_arFiles[i - 1]);
        else
            settings.remove(strKey);
    }
}

void CRecentFileList::Add(const QString& strPath) {
    if (strPath.isEmpty())
        return;
    const QString strFull = Normalized(strPath);
    m_arFiles.removeAll(strFull);
    m_arFiles.prepend(strFull);
    while (m_arFiles.size() > m_nSize)
        m_arFiles.removeLast();
}

void CRecentFileList::Remove(const QString& strPath) {
    m_arFiles.removeAll(Normalized(strPath));
}

QString CRecentFileList::GetDisplayName(int nIndex) const {
    if (nIndex < 0 || nIndex >= m_arFiles.size())
        return {};
    QString strPath = QDir::toNativeSeparators(PlatformReadableFileName(m_arFiles[nIndex]));
    const QString strHome = QDir::homePath();
    if (!strHome.isEmpty() && strHome != QLatin1String("/") &&
        strPath.startsWith(strHome + QLatin1Char('/')))
        strPath = QLatin1Char('~') + strPath.mid(strHome.size());
    if (strPath.size() > MAX_DISPLAY_LENGTH) {
        // Keep the file name whole; shorten the folders in the middle.
        const QString strName = QFileInfo(strPath).fileName();
        const int nHead = qMax(3, MAX_DISPLAY_LENGTH - int(strName.size()) - 4);
        strPath = strPath.left(nHead) + QStringLiteral("...") + QLatin1Char('/') + strName;
    }
    strPath.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return QStringLiteral("&%1 %2").arg(nIndex + 1).arg(strPath);
}
