#include "platform/WineLaunch.h"

#include "platform/WineEnvironment.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace {

// Wine maps drive Z: to the Unix root in a prefix it made; a path given to a Windows program
// as an argument must be a Windows path.
QString WindowsPathOf(const QString& strPrefix, const QString& strUnixPath) {
    const QString strAbsolute = QFileInfo(strUnixPath).absoluteFilePath();
    const QString strDriveZ =
        QFileInfo(strPrefix + QStringLiteral("/dosdevices/z:")).symLinkTarget();
    if (strDriveZ != QStringLiteral("/"))
        return strAbsolute;
    QString strPath = QStringLiteral("Z:") + strAbsolute;
    strPath.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return strPath;
}

// "notepad.exe" alone: the prefix's own program by its Windows path when it has one, as Wine
// would otherwise start it through start.exe, another process.
QString PrefixProgram(const QString& strPrefix, const QString& strName) {
    for (const char* pszDir : {"windows/system32", "windows"}) {
        const QString strUnix = strPrefix + QStringLiteral("/drive_c/") + QLatin1String(pszDir) +
                                QLatin1Char('/') + strName;
        if (QFileInfo(strUnix).isFile())
            return QStringLiteral("C:\\") +
                   QString(QLatin1String(pszDir)).replace(QLatin1Char('/'), QLatin1Char('\\')) +
                   QLatin1Char('\\') + strName;
    }
    return strName;
}

} // namespace

bool WineLaunchFor(const QString& strProgram, const QStringList& arArgs, SWineLaunch& launch) {
    const std::optional<std::string> prefix = WineActivePrefix();
    const QString strSuffix = QFileInfo(strProgram).suffix().toLower();
    static const QStringList s_arWindows = {QStringLiteral("exe"), QStringLiteral("msi"),
                                            QStringLiteral("bat"), QStringLiteral("cmd")};
    if (!prefix || !s_arWindows.contains(strSuffix))
        return false;
    // A named file that is not there fails to start as it would without Wine.
    if (strProgram.contains(QLatin1Char('/')) && !QFileInfo(strProgram).isFile())
        return false;
    const QString strPrefix = QString::fromStdString(*prefix);
    const QString strWine = QString::fromStdString(WineFindProgram("wine"));
    launch.m_strProgram = strWine.isEmpty() ? QStringLiteral("wine") : strWine;
    // Windows programs are named by their Windows path, so Wine runs them in this very
    // process instead of through its start.exe: the process ID is the program's own.
    if (strSuffix == QLatin1String("msi"))
        launch.m_arArgs = {QStringLiteral("C:\\windows\\system32\\msiexec.exe"),
                           QStringLiteral("/i"), WindowsPathOf(strPrefix, strProgram)};
    else if (strSuffix == QLatin1String("bat") || strSuffix == QLatin1String("cmd"))
        launch.m_arArgs = {QStringLiteral("C:\\windows\\system32\\cmd.exe"), QStringLiteral("/c"),
                           WindowsPathOf(strPrefix, strProgram)};
    else if (strProgram.contains(QLatin1Char('/')))
        launch.m_arArgs = {QFileInfo(strProgram).absoluteFilePath()};
    else
        launch.m_arArgs = {PrefixProgram(strPrefix, strProgram)};
    launch.m_arArgs += arArgs;
    launch.m_env = QProcessEnvironment::systemEnvironment();
    for (const QString& strName : launch.m_env.keys())
        if (!WineKeepVariable(
                (strName + QLatin1Char('=') + launch.m_env.value(strName)).toStdString()))
            launch.m_env.remove(strName);
    launch.m_env.insert(QStringLiteral("WINEPREFIX"), strPrefix);
    return true;
}
