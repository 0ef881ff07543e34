// The display filter, the highlight and the recent filters, kept across runs in a file of ours.
#pragma once

#include "store/FilterRule.h"

#include <QList>
#include <QString>

#include <cstdint>

inline constexpr int MAX_RECENT_FILTERS = 10;
// The highlight colour until the user picks one (a COLORREF: red in the lowest byte).
inline constexpr uint32_t DEFAULT_HIGHLIGHT_COLOR = 0x80ECFF; // RGB(255, 236, 128)

struct SDisplayRules {
    CFilterRules filter;
    bool bFilterOff = false; // View > Filter Off: the rules are kept but not applied
    CFilterRules highlight;
    uint32_t clrHighlight = DEFAULT_HIGHLIGHT_COLOR;
    QList<CFilterRules> recent; // filters applied before, the newest first

    bool operator==(const SDisplayRules& other) const = default;
};

// Puts rules at the front of the recent filters (moving an equal list there), keeping ten.
// An empty list is not remembered.
void RememberRecentFilter(QList<CFilterRules>& recent, const CFilterRules& rules);

// A small JSON file in the user's configuration folder. Each rule is kept as its action and
// the text ParseFilterRule reads, the same text hivewatch-capture takes after --include and
// --exclude, so a file edited by hand is checked as the command line is.
class CDisplayRulesFile {
public:
    static constexpr qint64 MAX_FILE_BYTES = 1 << 20;

    explicit CDisplayRulesFile(const QString& strPath) : m_strPath(strPath) {}
    // $XDG_CONFIG_HOME/Hivewatch/display-rules.json; empty when there is no such folder.
    static QString DefaultPath();
    QString Path() const { return m_strPath; }

    // No file gives the defaults and true. A file that cannot be read gives the defaults and
    // false; one that is damaged is also moved aside to the first free name of path +
    // ".damaged", ".damaged-2", ..., so the next save does not destroy it. Rules that are
    // not understood are left out. strMessage says what happened in either case (empty when
    // all went well).
    bool Load(SDisplayRules& out, QString& strMessage) const;
    // Replaces the file whole or not at all; false with strError saying why.
    bool Save(const SDisplayRules& rules, QString& strError) const;

private:
    QString m_strPath;
};
