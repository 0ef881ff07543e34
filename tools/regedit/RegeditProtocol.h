// The registry editor's automation channel: where it listens and the lines it understands.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The editor listens on a per-user local socket named after its main window class. One request
// per line, one answer line per request, UTF-8:
//
//   HELLO                   OK RegEdit_RegEdit <pid>
//   OPEN DRIVER             OK      (shows the substitute driver's registry files)
//   OPEN PREFIX <dir>       OK      (shows the registry files of a Wine prefix)
//   SHOW                    OK      (shows the window, raises and activates it)
//   EXPAND <key path>       OK <selected key>\t<complete|partial>
//                           (reloads the files, expands the tree as far as the key exists and
//                            selects the deepest key found; the path as GetKeyString gives it,
//                            root full or abbreviated)
//   FOCUS LIST | FOCUS TREE OK
//   KEY HOME                OK <selected value>    (selects the value list's first entry)
//   CHAR <hex code unit>    OK <selected value>    (one typed UTF-16 code unit: type-ahead)
//   STATE                   OK <key>\t<value>\t<focus: tree|list>\t<visible: 0|1>\t<folder>
//   QUIT                    OK      (the editor closes)
//
// Anything else, or a command that cannot be carried out, is answered "ERR <reason>".
// Fields are percent-encoded for '%', TAB, CR, LF and other control characters.

inline constexpr char REGEDIT_WINDOW_CLASS[] = "RegEdit_RegEdit";
// Longest request line the editor reads; a longer one ends the connection.
inline constexpr qsizetype REGEDIT_MAX_LINE = 64 * 1024;

// $XDG_RUNTIME_DIR/RegEdit_RegEdit, or a folder of this user's own in the temporary folder when
// XDG_RUNTIME_DIR is not set.
QString RegeditSocketPath();

// One field of a request or answer, and back.
QByteArray EncodeRegeditField(const QString& str);
QString DecodeRegeditField(const QByteArray& field);

enum class ERegeditCommand {
    HELLO,
    OPEN_DRIVER,
    OPEN_PREFIX,
    SHOW,
    EXPAND,
    FOCUS_LIST,
    FOCUS_TREE,
    KEY_HOME,
    CHAR,
    STATE,
    QUIT
};

struct SRegeditRequest {
    ERegeditCommand m_eCommand = ERegeditCommand::HELLO;
    QString m_strArgument;  // the folder of OPEN PREFIX, the path of EXPAND
    char16_t m_chTyped = 0; // the code unit of CHAR
};

inline SRegeditRequest MakeRegeditRequest(ERegeditCommand eCommand, QString strArgument = {},
                                          char16_t chTyped = 0) {
    SRegeditRequest request;
    request.m_eCommand = eCommand;
    request.m_strArgument = std::move(strArgument);
    request.m_chTyped = chTyped;
    return request;
}

// Reads one request line (without its line end); false with the reason when it is not one.
bool ParseRegeditRequest(const QByteArray& line, SRegeditRequest& request, QString& strError);
// The request line (with its line end) for a request.
QByteArray FormatRegeditRequest(const SRegeditRequest& request);

// Answer lines, with their line end.
QByteArray RegeditOk(const QStringList& arFields = {});
QByteArray RegeditError(const QString& strReason);
// Reads an answer line: true for OK (arFields gets its fields), false for ERR or anything
// else (strError gets the reason).
bool ParseRegeditAnswer(const QByteArray& line, QStringList& arFields, QString& strError);
