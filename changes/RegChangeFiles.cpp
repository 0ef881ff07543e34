// The redo and undo files of CRegChanges.
#include "changes/RegChanges.h"

namespace {

QString ValueLabel(const QString& strName) {
    return strName.isEmpty() ? QStringLiteral("(Default)")
                             : QLatin1Char('"') + strName + QLatin1Char('"');
}

SWineRegValue RegValue(const QString& strName, const SRegChangeData& data) {
    return {strName, data.m_nType, data.m_data};
}

QString WhyNotKnown(const SRegChangeData& data) {
    if (data.m_eKnown == ERegTextData::CUT)
        return QStringLiteral("its data is cut in the records: %1").arg(data.m_strText);
    if (data.m_strText.isEmpty())
        return QStringLiteral("the records do not show its data");
    return QStringLiteral("its data cannot be read back: %1").arg(data.m_strText);
}

void ContentsComment(CRegFileWriter& w, const CRegChangeKey& key) {
    const QString strKey = key.FullPath();
    switch (key.m_eContents) {
    case CRegChangeKey::CONTENTS_UNKNOWN:
        w.Comment(QStringLiteral("%1 was deleted; the records do not say which values and "
                                 "subkeys it held, so they are not put back.")
                      .arg(strKey));
        break;
    case CRegChangeKey::CONTENTS_TOO_BIG:
        w.Comment(QStringLiteral("%1 was deleted; it held more values and subkeys than its "
                                 "record could list, so they are not put back.")
                      .arg(strKey));
        break;
    case CRegChangeKey::CONTENTS_DAMAGED:
        w.Comment(QStringLiteral("%1 was deleted; the list of what it held cannot be read (%2), "
                                 "so its values and subkeys are not put back.")
                      .arg(strKey, key.m_strContentsWhy));
        break;
    default:
        break;
    }
}

void Undo(CRegFileWriter& w, const CRegChangeKey& key) {
    if (key.m_pParent && key.m_eBefore == EPresence::ABSENT) {
        if (key.m_eAfter == EPresence::PRESENT) {
            w.DeleteKey(key.FullPath());
            w.BlankLine();
        }
        return;
    }
    ContentsComment(w, key);
    bool bSection = key.m_eBefore == EPresence::PRESENT && key.m_eAfter == EPresence::ABSENT;
    for (const SRegChangeValue& v : key.m_arValues)
        bSection = bSection || v.m_before.IsExact() ||
                   (v.m_before.m_ePresence == EPresence::ABSENT &&
                    v.m_after.m_ePresence == EPresence::PRESENT);
    if (bSection)
        w.Key(key.FullPath());
    for (const SRegChangeValue& v : key.m_arValues) {
        if (v.m_before.IsExact()) {
            w.Value(RegValue(v.m_strName, v.m_before));
        } else if (v.m_before.m_ePresence == EPresence::PRESENT) {
            w.Comment(QStringLiteral("%1 of %2 is not put back: %3")
                          .arg(ValueLabel(v.m_strName), key.FullPath(), WhyNotKnown(v.m_before)));
        } else if (v.m_before.m_ePresence == EPresence::ABSENT) {
            if (v.m_after.m_ePresence == EPresence::PRESENT)
                w.DeleteValue(v.m_strName);
        } else if (v.m_after.m_ePresence == EPresence::PRESENT) {
            w.Comment(QStringLiteral("%1 of %2 is left as it is: whether it was there before is "
                                     "not known")
                          .arg(ValueLabel(v.m_strName), key.FullPath()));
        }
    }
    if (bSection)
        w.BlankLine();
    for (const auto& pSub : key.m_arSubKeys)
        Undo(w, *pSub);
}

void Redo(CRegFileWriter& w, const CRegChangeKey& key) {
    if (key.m_pParent && key.m_eAfter == EPresence::ABSENT) {
        if (key.m_eBefore != EPresence::ABSENT) {
            w.DeleteKey(key.FullPath());
            w.BlankLine();
        }
        return;
    }
    if (key.m_bRemadeAfterDelete && key.m_eContents != CRegChangeKey::CONTENTS_LISTED &&
        key.m_eContents != CRegChangeKey::CONTENTS_NONE)
        w.Comment(QStringLiteral("%1 was deleted and made again; what it held before that and the "
                                 "records do not list is not removed.")
                      .arg(key.FullPath()));
    bool bSection = key.m_pParent && key.m_eBefore == EPresence::ABSENT;
    for (const SRegChangeValue& v : key.m_arValues)
        bSection = bSection || v.m_after.IsExact() || v.m_after.m_ePresence == EPresence::ABSENT;
    if (bSection)
        w.Key(key.FullPath());
    for (const SRegChangeValue& v : key.m_arValues) {
        if (v.m_after.IsExact())
            w.Value(RegValue(v.m_strName, v.m_after));
        else if (v.m_after.m_ePresence == EPresence::ABSENT)
            w.DeleteValue(v.m_strName);
        else
            w.Comment(QStringLiteral("%1 of %2 is not set: %3")
                          .arg(ValueLabel(v.m_strName), key.FullPath(), WhyNotKnown(v.m_after)));
    }
    if (bSection)
        w.BlankLine();
    for (const auto& pSub : key.m_arSubKeys)
        Redo(w, *pSub);
}

void Heading(CRegFileWriter& w, const QString& strWhat, const SRegChangeCounts& counts) {
    w.Comment(QStringLiteral("Hivewatch: %1 the registry changes of %2 records (%3).")
                  .arg(strWhat)
                  .arg(counts.m_nRecords)
                  .arg(RegChangeCountsText(counts)));
    w.BlankLine();
}

} // namespace

CRegFileWriter CRegChanges::RedoFile() const {
    CRegFileWriter w;
    Heading(w, QStringLiteral("applies"), m_counts);
    Redo(w, *m_pTop);
    return w;
}

CRegFileWriter CRegChanges::UndoFile() const {
    CRegFileWriter w;
    Heading(w, QStringLiteral("reverts"), m_counts);
    Undo(w, *m_pTop);
    return w;
}
