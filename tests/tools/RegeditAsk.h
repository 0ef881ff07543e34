// A test's direct line to the running registry editor: one request, its answer.
#pragma once

#include <QByteArray>
#include <QStringList>

// Sends one request line to the editor at RegeditSocketPath() and waits up to 10 s for the
// answer; its fields, or one field "ERR ..." saying what went wrong.
QStringList AskRegedit(const QByteArray& line);
