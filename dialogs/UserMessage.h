// Message boxes with one OK button, the way the program tells the user what happened.
#pragma once

#include <QString>

#include <functional>

class QWidget;

enum EMessageKind { MSG_INFORMATION, MSG_WARNING, MSG_ERROR };

// Shows strText modally over pParent and returns when the user has closed it.
void ShowMessage(QWidget* pParent, const QString& strText, EMessageKind nKind = MSG_WARNING);

// Tests see the messages here instead of a modal box; an empty function restores the box.
using MessageFn = std::function<void(QWidget* pParent, const QString& strText, EMessageKind)>;
void SetMessageHandler(MessageFn fn);
