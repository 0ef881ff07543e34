#include "dialogs/UserMessage.h"

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

void ShowMessage(QWidget* pParent, const QString& strText, EMessageKind nKind) {
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
