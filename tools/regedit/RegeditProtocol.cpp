#include "tools/regedit/RegeditProtocol.h"

#include <QDir>

#include <unistd.h>

namespace {

struct SCommandName {
    const char* m_pName;
    ERegeditCommand m_eCommand;
};

constexpr SCommandName COMMANDS[] = {
    {"HELLO", ERegeditCommand::HELLO},
    {"OPEN DRIVER", ERegeditCommand::OPEN_DRIVER},
    {"OPEN PREFIX", ERegeditCommand::OPEN_PREFIX},
    {"SHOW", ERegeditCommand::SHOW},
    {"EXPAND", ERegeditCommand::EXPAND},
    {"FOCUS LIST", ERegeditCommand::FOCUS_LIST},
    {"FOCUS TREE", ERegeditCommand::FOCUS_TREE},
    {"KEY HOME", ERegeditCommand::KEY_HOME},
    {"CHAR", ERegeditCommand::CHAR},
    {"STATE", ERegeditCommand::STATE},
    {"QUIT", ERegeditCommand::QUIT},
};

bool TakesArgument(ERegeditCommand e) {
    return e == ERegeditCommand::OPEN_PREFIX || e == ERegeditCommand::EXPAND ||
           e == ERegeditCommand::CHAR;
}

} // namespace

QString RegeditSocketPath() {
    QString strDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (strDir.isEmpty() || !QDir::isAbsolutePath(strDir))
        strDir = QDir::tempPath() + QStringLiteral("/hivewatch-%1").arg(getuid());
    return strDir + QLatin1Char('/') + QLatin1String(REGEDIT_WINDOW_CLASS);
}

QByteArray EncodeRegeditField(const QString& str) {
    const QByteArray utf8 = str.toUtf8();
    QByteArray out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == '%') {
            static const char HEX[] = "0123456789ABCDEF";
            out += '%';
            out += HEX[u >> 4];
            out += HEX[u & 15];
        } else {
            out += c;
        }
    }
    return out;
}

QString DecodeRegeditField(const QByteArray& field) {
    return QString::fromUtf8(QByteArray::fromPercentEncoding(field));
}

bool ParseRegeditRequest(const QByteArray& line, SRegeditRequest& request, QString& strError) {
    request = {};
    const SCommandName* pFound = nullptr;
    for (const SCommandName& c : COMMANDS) {
        const QByteArray name(c.m_pName);
        if (line == name || (line.startsWith(name + ' ') && TakesArgument(c.m_eCommand))) {
            pFound = &c;
            break;
        }
    }
    if (!pFound) {
        strError = QStringLiteral("unknown command \"%1\"")
                       .arg(QString::fromUtf8(line.left(40)).simplified());
        return false;
    }
    request.m_eCommand = pFound->m_eCommand;
    const qsizetype nName = qsizetype(qstrlen(pFound->m_pName));
    if (!TakesArgument(request.m_eCommand))
        return true;
    const QByteArray argument = line.mid(nName + 1);
    if (argument.isEmpty()) {
        strError = QStringLiteral("%1 needs an argument").arg(QLatin1String(pFound->m_pName));
        return false;
    }
    if (request.m_eCommand == ERegeditCommand::CHAR) {
        bool bOk = false;
        const uint nUnit = argument.toUInt(&bOk, 16);
        if (!bOk || nUnit == 0 || nUnit > 0xFFFF || argument.size() > 4) {
            strError = QStringLiteral("CHAR needs one UTF-16 code unit in hexadecimal (1 to FFFF)");
            return false;
        }
        request.m_chTyped = char16_t(nUnit);
        return true;
    }
    request.m_strArgument = DecodeRegeditField(argument);
    return true;
}

QByteArray FormatRegeditRequest(const SRegeditRequest& request) {
    QByteArray line;
    for (const SCommandName& c : COMMANDS)
        if (c.m_eCommand == request.m_eCommand)
            line = c.m_pName;
    if (request.m_eCommand == ERegeditCommand::CHAR)
        line += ' ' + QByteArray::number(uint(request.m_chTyped), 16);
    else if (TakesArgument(request.m_eCommand))
        line += ' ' + EncodeRegeditField(request.m_strArgument);
    return line + '\n';
}

QByteArray RegeditOk(const QStringList& arFields) {
    QByteArray line = "OK";
    for (qsizetype i = 0; i < arFields.size(); ++i)
        line += (i == 0 ? ' ' : '\t') + EncodeRegeditField(arFields[i]);
    return line + '\n';
}

QByteArray RegeditError(const QString& strReason) {
    return "ERR " + EncodeRegeditField(strReason) + '\n';
}

bool ParseRegeditAnswer(const QByteArray& line, QStringList& arFields, QString& strError) {
    arFields.clear();
    if (line == "OK")
        return true;
    if (line.startsWith("OK ")) {
        for (const QByteArray& field : line.mid(3).split('\t'))
            arFields.append(DecodeRegeditField(field));
        return true;
    }
    strError = line.startsWith("ERR ")
                   ? DecodeRegeditField(line.mid(4))
                   : QStringLiteral("the registry editor answered something else than OK or ERR");
    return false;
}
