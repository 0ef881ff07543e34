#include "dialogs/UserMessage.h"

#include "platform/FileNames.h"

#include <QMessageBox>

namespace {

MessageFn& Handler() {
    static MessageFn s_fn;
    return s_fn;
}

} // namespace

void SetMessageHandler(MessageFn fn) {
    Handler() = std::move(fn);
}

void ShowMessage(QWidget* pParent, const QString& strMessage, EMessageKind nKind) {
    // File names that are not UTF-8 show their odd bytes as \xHH.
    const QString strText = PlatformReadableFileName(strMessage);
    if (Handler()) {
        Handler()(pParent, strText, nKind);
        return;
    }
    const QMessageBox::Icon icon = nKind == MSG_INFORMATION ? QMessageBox::Information
                                   : nKind == MSG_ERROR     ? QMessageBox::Critical
                                                            : QMessageBox::Warning;
    QMessageBox box(icon, QStringLiteral("Hivewatch"), strText, QMessageBox::Ok, pParent);
    box.exec();
}
