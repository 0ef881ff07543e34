#include "frame/WineExitPrompt.h"

#include "platform/WineEnvironment.h"
#include "platform/WinePrograms.h"

#include <QMessageBox>
#include <QPushButton>

QString WatchedWinePrefix() {
    const std::optional<std::string> prefix = WineActivePrefix();
    return prefix ? QString::fromStdString(*prefix) : QString();
}

QStringList RunningWinePrograms(const QString& strPrefix) {
    QStringList ar;
    if (strPrefix.isEmpty())
        return ar;
    for (const SWineProgram& p : WinePrefixPrograms(strPrefix.toStdString()))
        ar.append(QStringLiteral("%1 (process %2)")
                      .arg(QString::fromStdString(p.m_strName))
                      .arg(p.m_nPid));
    return ar;
}

EWineExitChoice AskAboutWinePrograms(QWidget* pParent, const QString& strPrefix,
                                     const QStringList& arPrograms) {
    if (arPrograms.isEmpty())
        return EWineExitChoice::NONE_RUNNING;
    QMessageBox box(QMessageBox::Question, QStringLiteral("Hivewatch"),
                    QStringLiteral("These Windows programs are still running in the Wine prefix "
                                   "%1:\n\n%2\n\nEnd them now? They are asked to close as at a "
                                   "log-off; those that do not are ended. Left running, they go "
                                   "on without Hivewatch watching them.")
                        .arg(strPrefix, arPrograms.join(QLatin1Char('\n'))),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, pParent);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("End Them"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Leave Them Running"));
    box.setDefaultButton(QMessageBox::No);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return EWineExitChoice::END_THEM;
    case QMessageBox::No:
        return EWineExitChoice::LEAVE_THEM;
    default:
        return EWineExitChoice::CANCEL;
    }
}
