#include "capture/FilterComposer.h"

#include "platform/AnsiCodePage.h"
#include "platform/Processes.h"

#include <cstring>

namespace {

const QString kStar = QStringLiteral("*");
const QString kSeparator = QStringLiteral(";");

// Entries joined with ";"; with bStarRule, an entry "*" ends the walk and is not added.
// The separator follows every entry but the list's last, as the driver has always been sent.
QString JoinEntries(const QStringList& entries, bool bStarRule) {
    QString str;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (bStarRule && entries[i] == kStar)
            break;
        str += entries[i];
        if (i + 1 < entries.size())
            str += kSeparator;
    }
    return str;
}

// The process include of an all-process capture: "*" alone as soon as the list holds it.
QString ProcessIncludeText(const QStringList& entries) {
    return entries.contains(kStar) ? kStar : JoinEntries(entries, false);
}

// A process name as the driver compares it: without case and without a trailing ".exe".
QString DriverProcessKey(const QString& strName) {
    QString str = strName.toUpper();
    if (str.endsWith(QLatin1String(".EXE")))
        str.chop(4);
    return str;
}

// The names an all-process capture keeps out: the program's executable, and this process
// when it runs under another name.
QString OwnExcludeText(const QString& strOwnProcessName) {
    const QString strExe = QString::fromLatin1(OWN_EXECUTABLE_NAME);
    if (strOwnProcessName.isEmpty() || strOwnProcessName.contains(kSeparator) ||
        DriverProcessKey(strOwnProcessName) == DriverProcessKey(strExe))
        return strExe;
    return strExe + kSeparator + strOwnProcessName;
}

} // namespace

SComposedFilter ComposeFilterTexts(const CSetObj& setObj) {
    return ComposeFilterTexts(setObj, PlatformOwnProcessName());
}

SComposedFilter ComposeFilterTexts(const CSetObj& setObj, const QString& strOwnProcessName) {
    SComposedFilter out;
    QString& strI = out.strInclude;
    QString& strX = out.strExclude;
    // A target is watched by its process ID with every process it starts, whatever their
    // names (the driver follows the process tree): no process name narrows it.
    switch (setObj.m_nCaptureScope) {
    case SCOPE_ATTACHED:
        out.nTargetPid = setObj.m_nAttachPid;
        break;
    case SCOPE_NEW_PROGRAM:
        break;
    case SCOPE_ALL:
        strI = ProcessIncludeText(setObj.m_arProcInclude);
        strX = JoinEntries(setObj.m_arProcExclude, false);
        strX += strX.isEmpty() ? OwnExcludeText(strOwnProcessName)
                               : kSeparator + OwnExcludeText(strOwnProcessName);
        break;
    default:
        break;
    }
    const QString strP = JoinEntries(setObj.m_arPathInclude, true);
    if (!strP.isEmpty())
        strI += kSeparator + strP;
    const QString strQ = setObj.m_arPathExclude.join(kSeparator);
    if (!strQ.isEmpty())
        strX = strX.isEmpty() ? strQ : strX + kSeparator + strQ;
    strI = strI.toUpper();
    strX = strX.toUpper();
    return out;
}

QByteArray FitFilterText(const QString& strText) {
    constexpr qsizetype kMaxChars = 1022;
    const qsizetype nBudget = qsizetype(FILTER_TEXT_SIZE) - 1;
    const QString str =
        strText.size() > qsizetype(FILTER_TEXT_SIZE) ? strText.left(kMaxChars) : strText;
    QByteArray narrow = Utf16ToAnsi(str);
    if (narrow.size() <= nBudget)
        return narrow;
    // Add whole characters (a surrogate pair is one) while their narrow form still fits.
    QByteArray fitted;
    for (qsizetype i = 0; i < str.size();) {
        const qsizetype n = (str[i].isHighSurrogate() && i + 1 < str.size()) ? 2 : 1;
        const QByteArray ch = Utf16ToAnsi(str.mid(i, n));
        if (fitted.size() + ch.size() > nBudget)
            break;
        fitted += ch;
        i += n;
    }
    return fitted;
}

FILTER_BLOCK BuildFilterBlock(const CSetObj& setObj, const SComposedFilter& composed) {
    FILTER_BLOCK block;
    std::memcpy(&block, &setObj.m_Filter, sizeof(block));
    std::memset(block.szInclude, 0, sizeof(block.szInclude));
    std::memset(block.szExclude, 0, sizeof(block.szExclude));
    const QByteArray include = FitFilterText(composed.strInclude);
    const QByteArray exclude = FitFilterText(composed.strExclude);
    std::memcpy(block.szInclude, include.constData(), size_t(include.size()));
    std::memcpy(block.szExclude, exclude.constData(), size_t(exclude.size()));
    return block;
}
