#include "changes/RegChangeTree.h"

#include "store/RegInfoObj.h"

QString CRegChangeKey::FullPath() const {
    return ExpandRootKey(m_strPath);
}

QString RegChangeName(ERegChange eChange) {
    switch (eChange) {
    case ERegChange::CREATED:
        return QStringLiteral("created");
    case ERegChange::CHANGED:
        return QStringLiteral("changed");
    case ERegChange::DELETED:
        return QStringLiteral("deleted");
    case ERegChange::NONE:
        break;
    }
    return {};
}

namespace {

QString Counted(long long n, const char* pSingular, const char* pPlural, const char* pWhat) {
    return QStringLiteral("%1 %2 %3")
        .arg(n)
        .arg(QLatin1String(n == 1 ? pSingular : pPlural), QLatin1String(pWhat));
}

} // namespace

QString RegChangeCountsText(const SRegChangeCounts& c) {
    QStringList arParts;
    const struct {
        long long n;
        const char* pSingular;
        const char* pPlural;
        const char* pWhat;
    } kinds[] = {
        {c.m_nKeysCreated, "key", "keys", "created"},
        {c.m_nKeysDeleted, "key", "keys", "deleted"},
        {c.m_nValuesCreated, "value", "values", "created"},
        {c.m_nValuesChanged, "value", "values", "changed"},
        {c.m_nValuesDeleted, "value", "values", "deleted"},
    };
    for (const auto& kind : kinds)
        if (kind.n > 0)
            arParts.append(Counted(kind.n, kind.pSingular, kind.pPlural, kind.pWhat));
    QString str = arParts.isEmpty() ? QStringLiteral("no changes") : arParts.join(u", ");
    if (c.m_nUndoUnknown > 0)
        str += QStringLiteral("; %1 cannot be put back (earlier data cut or not known)")
                   .arg(Counted(c.m_nUndoUnknown, "value", "values", "").trimmed());
    if (c.m_nUnknownContents > 0)
        str += QStringLiteral("; %1 deleted with contents not known")
                   .arg(Counted(c.m_nUnknownContents, "key", "keys", "").trimmed());
    if (c.m_nRedoUnknown > 0)
        str += QStringLiteral("; %1 cannot be set again (new data cut)")
                   .arg(Counted(c.m_nRedoUnknown, "value", "values", "").trimmed());
    return str;
}
