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
    if (setObj.m_nCaptureScope == SCOPE_ALL)
        out.strExcludeKept = OwnExcludeText(strOwnProcessName).toUpper();
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

QByteArray FitFilterText(const QString& strText, const QString& strKept) {
    const QByteArray narrow = Utf16ToAnsi(strText);
    if (narrow.size() <= FILTER_TEXT_CAPACITY)
        return narrow;
    // Room is set aside for the kept entries, each with a separator, before any other entry
    // is taken.
    QStringList arKept = strKept.split(kSeparator, Qt::SkipEmptyParts);
    qsizetype nReserved = 0;
    for (const QString& strEntry : arKept)
        nReserved += Utf16ToAnsi(strEntry).size() + 1;
    QByteArray fitted;
    for (const QString& strEntry : strText.split(kSeparator, Qt::SkipEmptyParts)) {
        const QByteArray entry = Utf16ToAnsi(strEntry);
        const qsizetype nNeeded = fitted.size() + (fitted.isEmpty() ? 0 : 1) + entry.size();
        const bool bKept = arKept.removeOne(strEntry);
        if (bKept)
            nReserved -= entry.size() + 1;
        // Even a kept entry must fit: one read from a settings file may be of any length.
        if (nNeeded + (bKept ? 0 : nReserved) > FILTER_TEXT_CAPACITY)
            continue;
        if (!fitted.isEmpty())
            fitted += ';';
        fitted += entry;
    }
    return fitted;
}

namespace {

// How one text fits: its entries that may be left out take nBytes, nRoom are left for them.
QString OverflowOf(const QString& strText, const QString& strKept, const char* pWhat) {
    const qsizetype nBytes = Utf16ToAnsi(strText).size();
    if (nBytes <= FILTER_TEXT_CAPACITY)
        return {};
    const qsizetype nKept = strKept.isEmpty() ? 0 : Utf16ToAnsi(strKept).size() + 1;
    const qsizetype nRoom = FILTER_TEXT_CAPACITY - nKept;
    return QStringLiteral("the %1 entries take %2 bytes, but only %3 bytes are left for them "
                          "(%4 too many)")
        .arg(QLatin1String(pWhat))
        .arg(nBytes - nKept)
        .arg(nRoom)
        .arg(nBytes - FILTER_TEXT_CAPACITY);
}

} // namespace

QString FilterOverflowText(const SComposedFilter& composed) {
    QStringList arWhy;
    for (const QString& strWhy : {OverflowOf(composed.strInclude, composed.strIncludeKept,
                                             "include (Process Include(s) and Path Include(s))"),
                                  OverflowOf(composed.strExclude, composed.strExcludeKept,
                                             "exclude (Process Exclude(s) and Path Exclude(s))")}) {
        if (!strWhy.isEmpty())
            arWhy << strWhy;
    }
    return arWhy.join(QStringLiteral("; "));
}

FILTER_BLOCK BuildFilterBlock(const CSetObj& setObj, const SComposedFilter& composed) {
    FILTER_BLOCK block;
    std::memcpy(&block, &setObj.m_Filter, sizeof(block));
    std::memset(block.szInclude, 0, sizeof(block.szInclude));
    std::memset(block.szExclude, 0, sizeof(block.szExclude));
    const QByteArray include = FitFilterText(composed.strInclude, composed.strIncludeKept);
    const QByteArray exclude = FitFilterText(composed.strExclude, composed.strExcludeKept);
    std::memcpy(block.szInclude, include.constData(), size_t(include.size()));
    std::memcpy(block.szExclude, exclude.constData(), size_t(exclude.size()));
    return block;
}
