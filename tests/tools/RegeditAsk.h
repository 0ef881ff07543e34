// A test's direct line to the running registry editor: one request and its answer, and ending it.
#pragma once

#include <QByteArray>
#include <QStringList>

// Sends one request line to the editor at RegeditSocketPath() and waits up to 10 s for the
// answer; its fields, or one field "ERR ..." saying what went wrong.
QStringList AskRegedit(const QByteArray& line);

// Asks a running editor to quit and waits up to 5 s until its process is gone. False when it
// did not go: it is then killed, and the caller reports the failure.
bool QuitRegeditAndWait();
