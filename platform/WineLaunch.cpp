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

// The environment of a program run in the prefix: ours, without sanitizer runtimes, with
// WINEPREFIX naming the prefix (never the user's default ~/.wine).
QProcessEnvironment PrefixEnvironment(const QString& strPrefix) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& strName : env.keys())
        if (!WineKeepVariable((strName + QLatin1Char('=') + env.value(strName)).toStdString()))
            env.remove(strName);
    env.insert(QStringLiteral("WINEPREFIX"), strPrefix);
    return env;
}

QString LoaderPath() {
    const QString strWine = QString::fromStdString(WineFindProgram("wine"));
    return strWine.isEmpty() ? QStringLiteral("wine") : strWine;
}

// The arguments that make Wine run the Windows program strProgram itself, so the launched
// process is the program (or for a script or a package, the program that runs it).
bool WindowsArguments(const QString& strPrefix, const QString& strProgram, QStringList& arOut) {
    QString strSuffix = QFileInfo(strProgram).suffix().toLower();
    static const QStringList s_arWindows = {QStringLiteral("exe"), QStringLiteral("msi"),
                                            QStringLiteral("bat"), QStringLiteral("cmd")};
    const bool bWindowsPath = strProgram.size() > 2 && strProgram[1] == QLatin1Char(':') &&
                              !strProgram.contains(QLatin1Char('/'));
    if (bWindowsPath)
        strSuffix = strProgram.section(QLatin1Char('.'), -1).toLower();
    if (strSuffix.isEmpty() && !strProgram.contains(QLatin1Char('/')) &&
        !strProgram.contains(QLatin1Char('\\'))) {
        // "reg": the prefix's own reg.exe, as Wine would find it.
        const QString strExe = PrefixProgram(strPrefix, strProgram + QStringLiteral(".exe"));
        if (strExe.contains(QLatin1Char('\\'))) {
            arOut = {strExe};
            return true;
        }
    }
    if (!s_arWindows.contains(strSuffix))
        return false;
    // A named file that is not there fails to start as it would without Wine.
    if (strProgram.contains(QLatin1Char('/')) && !QFileInfo(strProgram).isFile())
        return false;
    const QString strFile = bWindowsPath ? strProgram : WindowsPathOf(strPrefix, strProgram);
    if (strSuffix == QLatin1String("msi"))
        arOut = {QStringLiteral("C:\\windows\\system32\\msiexec.exe"), QStringLiteral("/i"),
                 strFile};
    else if (strSuffix == QLatin1String("bat") || strSuffix == QLatin1String("cmd"))
        arOut = {QStringLiteral("C:\\windows\\system32\\cmd.exe"), QStringLiteral("/c"), strFile};
    else if (bWindowsPath)
        arOut = {strProgram};
    else if (strProgram.contains(QLatin1Char('/')))
        arOut = {QFileInfo(strProgram).absoluteFilePath()};
    else
        arOut = {PrefixProgram(strPrefix, strProgram)};
    return true;
}

} // namespace

bool WineLaunchFor(const QString& strProgram, const QStringList& arArgs, SWineLaunch& launch) {
    const std::optional<std::string> prefix = WineActivePrefix();
    if (!prefix)
        return false;
    const QString strPrefix = QString::fromStdString(*prefix);
    QStringList arProgram;
    QStringList arRest = arArgs;
    if (WineIsLoader(strProgram.toStdString())) {
        // "wine64 setup.exe /S": the program Wine is asked to run is the one to prepare.
        if (!arArgs.isEmpty() && WindowsArguments(strPrefix, arArgs.front(), arProgram))
            arRest.removeFirst();
        else
            arProgram.clear(); // anything else goes to the loader as it is
        launch.m_strProgram = strProgram.contains(QLatin1Char('/')) ? strProgram : LoaderPath();
    } else {
        if (!WindowsArguments(strPrefix, strProgram, arProgram))
            return false;
        launch.m_strProgram = LoaderPath();
    }
    launch.m_arArgs = arProgram + arRest;
    launch.m_env = PrefixEnvironment(strPrefix);
    return true;
}

bool WineEndPrograms(const QString& strPrefix, QString* pStrError, int nTimeoutMs) {
    QProcess process;
    process.setProcessEnvironment(PrefixEnvironment(strPrefix));
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(LoaderPath(), {QStringLiteral("wineboot"), QStringLiteral("--end-session"),
                                 QStringLiteral("--force"), QStringLiteral("--kill"),
                                 QStringLiteral("--shutdown")});
    if (process.waitForFinished(nTimeoutMs) && process.exitStatus() == QProcess::NormalExit)
        return true;
    if (pStrError)
        *pStrError = QStringLiteral("the programs of the Wine prefix %1 could not be ended: %2")
                         .arg(strPrefix, process.errorString());
    process.kill();
    process.waitForFinished(2000);
    return false;
}
