// Type-ahead selection in a list: typed characters pick the next entry whose name starts with them.
#pragma once

#include <QString>

#include <functional>

// As in a list view: characters typed within TIMEOUT_MS of each other build one search text;
// a first character searches from the entry after the current one (so pressing a letter again
// moves on to the next entry with that letter), a longer text from the current entry on,
// wrapping round; names compare ignoring case. Typing one letter again and again cycles
// through the entries starting with it.
class CTypeAhead {
public:
    static constexpr qint64 TIMEOUT_MS = 1500;

    void Reset() { m_strTyped.clear(); }
    const QString& Typed() const { return m_strTyped; }

    // The row to select after ch is typed at nNowMs (any monotonic clock), nCurrent being the
    // current row (-1 for none) of nCount rows named by name; -1 when nothing matches (the
    // selection then stays).
    int Type(QChar ch, qint64 nNowMs, int nCurrent, int nCount,
             const std::function<QString(int)>& name);

private:
    QString m_strTyped;
    qint64 m_nLastMs = 0;
};
