// The net registry changes of a stretch of records: a tree of keys and values, each with what
// it was before the first record and after the last, who changed it and how often.
#pragma once

#include "winereg/WineRegValue.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

enum class EPresence : uint8_t {
    UNKNOWN, // the records do not tell
    ABSENT,
    PRESENT,
};

enum class ERegChange : uint8_t {
    NONE, // unchanged, made and removed again, or set to the data it had
    CREATED,
    CHANGED, // values only: other data or another type
    DELETED,
};

// A value at one end of the stretch.
struct SRegChangeData {
    EPresence m_ePresence = EPresence::UNKNOWN;
    // How much of the data the records show; for a present value only.
    ERegTextData m_eKnown = ERegTextData::UNREADABLE;
    uint32_t m_nType = REG_NONE;
    QByteArray m_data; // when m_eKnown is EXACT
    QString m_strText; // "TYPE: data" as the records show it; empty when they show none

    bool IsExact() const {
        return m_ePresence == EPresence::PRESENT && m_eKnown == ERegTextData::EXACT;
    }
};

struct SRegChangeValue {
    QString m_strName; // empty for the unnamed value
    SRegChangeData m_before, m_after;
    ERegChange m_eChange = ERegChange::NONE;
    QStringList m_arProcesses; // in the order they first changed it
    long long m_nEvents = 0;   // records that changed it
};

class CRegChangeKey {
public:
    // What is known of the values and subkeys a deleted key held.
    enum EContents : uint8_t {
        CONTENTS_NONE,    // the key was not deleted, or the records tell nothing more
        CONTENTS_LISTED,  // its delete record listed them
        CONTENTS_UNKNOWN, // its delete record did not say
        CONTENTS_TOO_BIG, // they were too many for the record
        CONTENTS_DAMAGED, // the listing could not be read
    };

    QString m_strName; // as the records spell it; a root's abbreviation ("HKCU")
    QString m_strPath; // "HKCU\Software\X"; empty for the top of the tree
    CRegChangeKey* m_pParent = nullptr;
    EPresence m_eBefore = EPresence::UNKNOWN, m_eAfter = EPresence::UNKNOWN;
    ERegChange m_eChange = ERegChange::NONE;
    // Set on a key whose own deletion was the first one to remove it.
    EContents m_eContents = CONTENTS_NONE;
    QString m_strContentsWhy;          // why a listing could not be read
    bool m_bRemadeAfterDelete = false; // present at both ends, deleted and made again between
    QStringList m_arProcesses;
    long long m_nEvents = 0; // records that created or deleted it

    // Sorted by name as the registry sorts (ignoring case). Only keys and values with a change
    // in them or below them are kept.
    std::vector<std::unique_ptr<CRegChangeKey>> m_arSubKeys;
    std::vector<SRegChangeValue> m_arValues;

    // The full path with the root's full name ("HKEY_CURRENT_USER\Software\X").
    QString FullPath() const;
};

struct SRegChangeCounts {
    long long m_nRecords = 0; // records looked at
    long long m_nKeysCreated = 0;
    long long m_nKeysDeleted = 0;
    long long m_nValuesCreated = 0;
    long long m_nValuesChanged = 0;
    long long m_nValuesDeleted = 0;
    // Values the undo file cannot put back (their earlier data was cut or is not known), and
    // the redo file cannot set (their new data was cut).
    long long m_nUndoUnknown = 0;
    long long m_nRedoUnknown = 0;
    // Deleted keys whose earlier values and subkeys are not known.
    long long m_nUnknownContents = 0;

    bool IsEmpty() const {
        return m_nKeysCreated + m_nKeysDeleted + m_nValuesCreated + m_nValuesChanged +
                   m_nValuesDeleted ==
               0;
    }
};

// "12 keys created, 40 values changed, 3 values deleted" (the kinds that occur, in the order
// keys created, keys deleted, values created, changed, deleted; "no changes" when none), then
// what cannot be undone: "; 2 values cannot be put back (data cut in the records)".
QString RegChangeCountsText(const SRegChangeCounts& counts);
// "created", "changed", "deleted" or empty.
QString RegChangeName(ERegChange eChange);
