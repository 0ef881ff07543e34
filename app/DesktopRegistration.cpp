#include "app/DesktopRegistration.h"

#include "platform/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {

// A desktop-entry argument: quoted, with the characters the format reserves escaped.
QString QuoteExecArgument(const QString& str) {
    QString strOut = QStringLiteral("\"");
    for (const QChar c : str) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            strOut += QLatin1Char('\\');
        strOut += c;
    }
    strOut += QLatin1Char('"');
    // The entry format escapes backslashes once more in string values, and "%" as "%%".
    strOut.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    strOut.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return strOut;
}

// Writes the file only when its contents differ, through the program's one checked writer.
// Sets bChanged when it wrote.
bool WriteIfChanged(const QString& strPath, const QByteArray& data, bool& bChanged,
                    QString* pStrError) {
    QFile current(strPath);
    if (current.open(QIODevice::ReadOnly) && current.readAll() == data)
        return true;
    current.close();
    QDir().mkpath(QFileInfo(strPath).absolutePath());
    CSafeFile file(strPath);
    if (!file.Open() || file.write(data) != data.size() || !file.Commit()) {
        if (pStrError)
            *pStrError = file.ErrorText();
        return false;
    }
    bChanged = true;
    return true;
}

QByteArray ResourceBytes(const QString& strPath) {
    QFile file(strPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void RunToolIfPresent(const char* pTool, const QString& strFolder) {
    const QString strTool = QStandardPaths::findExecutable(QLatin1String(pTool));
    if (!strTool.isEmpty())
        QProcess::startDetached(strTool, {strFolder});
}

} // namespace

QString UserDataHome() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

QString MimePackageText() {
    return QStringLiteral(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
               "  <mime-type type=\"%1\">\n"
               "    <comment>Hivewatch capture document</comment>\n"
               "    <icon name=\"application-x-hivewatch-document\"/>\n"
               "    <glob pattern=\"*.hvw\"/>\n"
               "  </mime-type>\n"
               "</mime-info>\n")
        .arg(QLatin1String(HVW_MIME_TYPE));
}

QString DesktopEntryText(const QString& strExePath) {
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Hivewatch\n"
                          "GenericName=Registry Activity Monitor\n"
                          "Comment=Watch registry activity live, filter, save and export it\n"
                          "Exec=%1 %f\n"
                          "Icon=hivewatch\n"
                          "Terminal=false\n"
                          "Categories=Development;Monitor;System;\n"
                          "MimeType=%2;\n")
        .arg(QuoteExecArgument(strExePath), QLatin1String(HVW_MIME_TYPE));
}

bool RegisterWithDesktop(const SDesktopRegistration& reg, QString* pStrError) {
    if (reg.strDataHome.isEmpty()) {
        if (pStrError)
            *pStrError = QStringLiteral("no user data folder");
        return false;
    }
    const QString strBase = QDir(reg.strDataHome).absolutePath() + QLatin1Char('/');
    bool bMimeChanged = false, bEntryChanged = false, bIconsChanged = false;
    const bool bOk =
        WriteIfChanged(strBase + QStringLiteral("mime/packages/hivewatch.xml"),
                       MimePackageText().toUtf8(), bMimeChanged, pStrError) &&
        WriteIfChanged(strBase + QStringLiteral("icons/hicolor/scalable/apps/hivewatch.svg"),
                       ResourceBytes(QStringLiteral(":/icons/hivewatch.svg")), bIconsChanged,
                       pStrError) &&
        WriteIfChanged(strBase + QStringLiteral("icons/hicolor/scalable/mimetypes/"
                                                "application-x-hivewatch-document.svg"),
                       ResourceBytes(QStringLiteral(":/icons/hvw-document.svg")), bIconsChanged,
                       pStrError) &&
        WriteIfChanged(strBase + QStringLiteral("applications/hivewatch.desktop"),
                       DesktopEntryText(reg.strExePath).toUtf8(), bEntryChanged, pStrError);
    if (!bOk)
        return false;
    // The caches are refreshed only when something changed, and never waited for.
    if (reg.bRunTools && bMimeChanged)
        RunToolIfPresent("update-mime-database", strBase + QStringLiteral("mime"));
    if (reg.bRunTools && bEntryChanged)
        RunToolIfPresent("update-desktop-database", strBase + QStringLiteral("applications"));
    return true;
}
