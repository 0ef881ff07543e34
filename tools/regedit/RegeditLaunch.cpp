#include "tools/regedit/RegeditLaunch.h"

#include <QDir>

QString RegeditPrefixForDriver(const std::function<QString(const char*)>& getVar) {
    const QString strSource = getVar("HIVEWATCH_DRIVER_SOURCE");
    QString strPrefix;
    if (strSource == QLatin1String("wine")) {
        strPrefix = getVar("WINEPREFIX");
        if (strPrefix.isEmpty())
            strPrefix = QStringLiteral("~/.wine");
    } else if (strSource.startsWith(QLatin1String("wine:")) && strSource.size() > 5) {
        strPrefix = strSource.mid(5);
    } else {
        return {};
    }
    if (strPrefix == QLatin1String("~") || strPrefix.startsWith(QLatin1String("~/")))
        strPrefix = getVar("HOME") + strPrefix.mid(1);
    return QDir::cleanPath(QDir(strPrefix).absolutePath());
}

QString RegeditPrefixForDriver() {
    return RegeditPrefixForDriver([](const char* p) { return qEnvironmentVariable(p); });
}
