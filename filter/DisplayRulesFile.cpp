#include "filter/DisplayRulesFile.h"

#include "platform/Paths.h"
#include "platform/RegularFile.h"
#include "platform/SafeFile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace {

const QString kFilter = QStringLiteral("filter");
const QString kFilterOff = QStringLiteral("filterOff");
const QString kHighlight = QStringLiteral("highlight");
const QString kHighlightColor = QStringLiteral("highlightColor");
const QString kRecent = QStringLiteral("recentFilters");
const QString kAction = QStringLiteral("action");
const QString kRule = QStringLiteral("rule");
const QString kInclude = QStringLiteral("include");
const QString kExclude = QStringLiteral("exclude");

QJsonArray RulesToJson(const CFilterRules& rules) {
    QJsonArray ar;
    for (const SFilterRule& rule : rules) {
        QJsonObject o;
        o[kAction] = rule.nAction == FILTER_EXCLUDE ? kExclude : kInclude;
        o[kRule] = FilterRuleText(rule);
        ar.append(o);
    }
    return ar;
}

// Rules that cannot be read are left out, each noted once in arNotes.
CFilterRules RulesFromJson(const QJsonValue& value, QStringList& arNotes) {
    CFilterRules rules;
    const QJsonArray ar = value.toArray();
    for (const QJsonValue& v : ar) {
        const QJsonObject o = v.toObject();
        const QString strAction = o.value(kAction).toString();
        if (rules.size() >= MAX_FILTER_RULES) {
            arNotes << QStringLiteral("rules beyond the first %1 of a list were left out")
                           .arg(MAX_FILTER_RULES);
            break;
        }
        if (strAction != kInclude && strAction != kExclude) {
            arNotes << QStringLiteral("a rule with the action \"%1\" was left out (the action "
                                      "is include or exclude)")
                           .arg(strAction);
            continue;
        }
        SFilterRule rule;
        QString strError;
        if (!ParseFilterRule(o.value(kRule).toString(),
                             strAction == kExclude ? FILTER_EXCLUDE : FILTER_INCLUDE, rule,
                             strError)) {
            arNotes << strError + QStringLiteral("; it was left out");
            continue;
        }
        rules.append(rule);
    }
    return rules;
}

QString ColorText(uint32_t clr) {
    return QStringLiteral("#%1%2%3")
        .arg(clr & 0xFF, 2, 16, QLatin1Char('0'))
        .arg(clr >> 8 & 0xFF, 2, 16, QLatin1Char('0'))
        .arg(clr >> 16 & 0xFF, 2, 16, QLatin1Char('0'));
}

bool ColorFromText(const QString& str, uint32_t& clr) {
    if (str.size() != 7 || !str.startsWith(QLatin1Char('#')))
        return false;
    bool bOk = false;
    const uint32_t rgb = str.mid(1).toUInt(&bOk, 16);
    if (!bOk)
        return false;
    clr = (rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16;
    return true;
}

// The first free name of strPath + ".damaged", ".damaged-2", ...
QString DamagedName(const QString& strPath) {
    QString strName = strPath + QStringLiteral(".damaged");
    for (int i = 2; QFile::exists(strName); ++i)
        strName = strPath + QStringLiteral(".damaged-%1").arg(i);
    return strName;
}

} // namespace

void RememberRecentFilter(QList<CFilterRules>& recent, const CFilterRules& rules) {
    if (rules.isEmpty())
        return;
    recent.removeAll(rules);
    recent.prepend(rules);
    while (recent.size() > MAX_RECENT_FILTERS)
        recent.removeLast();
}

QString CDisplayRulesFile::DefaultPath() {
    const QString strDir = PlatformUserConfigDir();
    return strDir.isEmpty() ? QString() : strDir + QStringLiteral("display-rules.json");
}

bool CDisplayRulesFile::Load(SDisplayRules& out, QString& strMessage) const {
    out = SDisplayRules();
    strMessage.clear();
    if (m_strPath.isEmpty() || !QFile::exists(m_strPath))
        return true;
    QString strWhy;
    const int fd = PlatformOpenRegularFile(m_strPath, &strWhy);
    QFile file;
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        strMessage = QStringLiteral("The saved filters in %1 could not be read (%2); the "
                                    "filters start empty.")
                         .arg(m_strPath, strWhy);
        return false;
    }
    QString strDamage;
    QJsonObject root;
    if (file.size() > MAX_FILE_BYTES) {
        strDamage = QStringLiteral("it is larger than %1 bytes").arg(MAX_FILE_BYTES);
    } else {
        QJsonParseError error{};
        const QJsonDocument json = QJsonDocument::fromJson(file.readAll(), &error);
        if (error.error != QJsonParseError::NoError)
            strDamage = error.errorString();
        else if (!json.isObject())
            strDamage = QStringLiteral("it holds no JSON object");
        root = json.object();
    }
    file.close();
    if (!strDamage.isEmpty()) {
        const QString strKept = DamagedName(m_strPath);
        const bool bKept = QFile::rename(m_strPath, strKept);
        strMessage = QStringLiteral("The saved filters in %1 are damaged (%2); the filters start "
                                    "empty%3.")
                         .arg(m_strPath, strDamage,
                              bKept ? QStringLiteral(", and the file was kept as %1").arg(strKept)
                                    : QString());
        return false;
    }
    QStringList arNotes;
    out.filter = RulesFromJson(root.value(kFilter), arNotes);
    out.bFilterOff = root.value(kFilterOff).toBool(false);
    out.highlight = RulesFromJson(root.value(kHighlight), arNotes);
    if (root.contains(kHighlightColor) &&
        !ColorFromText(root.value(kHighlightColor).toString(), out.clrHighlight))
        arNotes << QStringLiteral("the highlight colour is not written #rrggbb; the default is "
                                  "used");
    for (const QJsonValue& v : root.value(kRecent).toArray()) {
        const CFilterRules rules = RulesFromJson(v, arNotes);
        if (!rules.isEmpty() && out.recent.size() < MAX_RECENT_FILTERS)
            out.recent.append(rules);
    }
    arNotes.removeDuplicates();
    if (!arNotes.isEmpty())
        strMessage = QStringLiteral("In the saved filters of %1: %2.")
                         .arg(m_strPath, arNotes.join(QStringLiteral("; ")));
    return true;
}

bool CDisplayRulesFile::Save(const SDisplayRules& rules, QString& strError) const {
    if (m_strPath.isEmpty()) {
        strError = QStringLiteral("there is no configuration folder to keep the filters in; set "
                                  "XDG_CONFIG_HOME or HOME");
        return false;
    }
    QJsonObject root;
    root[kFilter] = RulesToJson(rules.filter);
    root[kFilterOff] = rules.bFilterOff;
    root[kHighlight] = RulesToJson(rules.highlight);
    root[kHighlightColor] = ColorText(rules.clrHighlight);
    QJsonArray recent;
    for (const CFilterRules& r : rules.recent)
        recent.append(RulesToJson(r));
    root[kRecent] = recent;
    const QByteArray data = QJsonDocument(root).toJson(QJsonDocument::Indented);
    CSafeFile file(m_strPath);
    if (!file.Open() || file.write(data) != data.size() || !file.Commit()) {
        strError = file.ErrorText();
        file.Discard();
        return false;
    }
    return true;
}
