#include "tools/regedit/RegeditController.h"

#include "platform/WinePrograms.h"
#include "utils/SystemInfo.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QString WithSlash(const QString& strDir) {
    const QString str = QDir::cleanPath(strDir);
    return str.endsWith(QLatin1Char('/')) ? str : str + QLatin1Char('/');
}

// When the newest of a folder's registry files was written; invalid when it has none.
QDateTime NewestRegistryFile(const QString& strDir) {
    QDateTime newest;
    for (const char* pszFile : {"system.reg", "user.reg", "userdef.reg"}) {
        const QFileInfo info(strDir + QLatin1String(pszFile));
        if (info.isFile() && (!newest.isValid() || info.lastModified() > newest))
            newest = info.lastModified();
    }
    return newest;
}

} // namespace

QString DriverRegistryFolder() {
    if (qEnvironmentVariableIsSet("HIVEWATCH_DRIVER_REGISTRY")) {
        const QString strDir = qEnvironmentVariable("HIVEWATCH_DRIVER_REGISTRY");
        return strDir.isEmpty() ? QString() : WithSlash(strDir);
    }
    const QString strSys = g_ExtSysInfo.GetSysPath();
    return strSys.isEmpty() ? QString() : strSys + QStringLiteral("config/");
}

QString SRegeditSource::Folder() const {
    if (m_strPrefix.isEmpty())
        return DriverRegistryFolder();
    // The driver's view of the prefix holds what programs wrote a moment ago; Wine writes the
    // prefix's own files only now and then. Whichever was written last is shown.
    const QString strPrefix = WithSlash(m_strPrefix);
    const QString strDriver = DriverRegistryFolder();
    if (strDriver.isEmpty())
        return strPrefix;
    const QString strView = WithSlash(
        strDriver + QStringLiteral("wine/") +
        QString::fromStdString(WineViewName(QFile::encodeName(m_strPrefix).toStdString())));
    const QDateTime view = NewestRegistryFile(strView);
    return view.isValid() && view >= NewestRegistryFile(strPrefix) ? strView : strPrefix;
}

QString SRegeditSource::Describe() const {
    if (m_strPrefix.isEmpty())
        return QStringLiteral("Hivewatch registry (%1)").arg(Folder());
    const QString strFolder = Folder();
    const QString strPrefix = WithSlash(m_strPrefix);
    return strFolder == strPrefix
               ? QStringLiteral("Wine prefix %1").arg(strPrefix)
               : QStringLiteral("Wine prefix %1, as the driver sees it now").arg(strPrefix);
}

CRegeditController::CRegeditController(QObject* pParent) : QObject(pParent) {
    m_clock.start();
    connect(&m_treeSelection, &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { OnCurrentKeyChanged(current); });
}

CRegeditController::~CRegeditController() {
    // The models point into the registry: let go of it first.
    m_valueModel.SetKey(nullptr);
    m_treeModel.SetRegistry(nullptr);
}

void CRegeditController::Open(const SRegeditSource& source) {
    if (m_bOpened && source == m_source)
        return;
    m_source = source;
    m_bOpened = true;
    Load();
}

void CRegeditController::Load() {
    const QString strSelected = SelectedKeyPath();
    auto pRegistry = std::make_unique<CWineRegistry>();
    m_arErrors.clear();
    const QString strFolder = m_source.Folder();
    if (strFolder.isEmpty())
        m_arErrors.append(QStringLiteral("The system folder cannot be found or created."));
    else
        pRegistry->LoadFolder(strFolder, m_arErrors);
    m_valueModel.SetKey(nullptr);
    m_treeModel.SetRegistry(pRegistry.get());
    m_pRegistry = std::move(pRegistry);
    m_typeAhead.Reset();
    emit loaded();
    // The same key again, or as much of its path as is still there.
    if (!strSelected.isEmpty())
        SelectAlong(strSelected, nullptr);
}

void CRegeditController::Reload() {
    m_bOpened = true;
    Load();
}

void CRegeditController::SelectAlong(const QString& strPath, bool* pbComplete) {
    const QModelIndexList arIndexes = m_treeModel.IndexesAlong(strPath, pbComplete);
    for (qsizetype i = 0; i + 1 < arIndexes.size(); ++i)
        emit expandRequested(arIndexes[i]);
    if (!arIndexes.isEmpty())
        m_treeSelection.setCurrentIndex(arIndexes.back(), QItemSelectionModel::ClearAndSelect);
}

QString CRegeditController::ExpandTreeNode(const QString& strPath, bool* pbComplete) {
    if (pbComplete)
        *pbComplete = false;
    Load();
    if (m_treeModel.IndexesAlong(strPath).isEmpty())
        return {};
    SelectAlong(strPath, pbComplete);
    return SelectedKeyPath();
}

QString CRegeditController::SelectedKeyPath() const {
    return m_treeModel.PathOf(m_treeSelection.currentIndex());
}

QString CRegeditController::SelectedValueName() const {
    const QModelIndex current = m_valueSelection.currentIndex();
    return current.isValid() ? m_valueModel.NameAt(current.row()) : QString();
}

void CRegeditController::SelectValueRow(int nRow) {
    m_valueSelection.setCurrentIndex(m_valueModel.index(nRow, 0),
                                     QItemSelectionModel::ClearAndSelect |
                                         QItemSelectionModel::Rows);
}

QString CRegeditController::KeyHome() {
    m_typeAhead.Reset();
    if (m_valueModel.rowCount() > 0)
        SelectValueRow(0);
    return SelectedValueName();
}

QString CRegeditController::TypeChar(QChar ch) {
    const QModelIndex current = m_valueSelection.currentIndex();
    const int nRow =
        m_typeAhead.Type(ch, m_clock.elapsed(), current.isValid() ? current.row() : -1,
                         m_valueModel.rowCount(), [this](int n) { return m_valueModel.NameAt(n); });
    if (nRow >= 0)
        SelectValueRow(nRow);
    return SelectedValueName();
}

void CRegeditController::OnCurrentKeyChanged(const QModelIndex& current) {
    m_valueModel.SetKey(m_treeModel.KeyAt(current));
    m_typeAhead.Reset();
}
