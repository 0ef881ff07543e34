// The text a key delete record carries about what the deleted key held: values and subkeys.
#pragma once

#include "winereg/WineRegKey.h"

#include <QString>
#include <QStringView>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

// One line of printable text, so it survives a record field (no TAB, CR or LF):
//   KEY: (empty)
//   KEY: @=REG_SZ:"Hello" "Count"=REG_DWORD:2a000000 [Sub] "Bin"=REG_BINARY:01ff [Sub\Deeper]
//   KEY: (too big to list: 120 values in 16 keys)
// After "KEY:" come the key's own values, then each key below it, depth first, as its path
// relative to the deleted key in brackets followed by its values (a key without values is
// listed all the same). A value is @ (the unnamed one) or its name in quotes, "=", its type
// name, ":" and its data: a string of REG_SZ or REG_EXPAND_SZ in quotes when it has exactly
// one terminating zero and no other, "..." when the data is known only in part, otherwise the
// bytes as lower-case hex digit pairs (none for empty data). In names and quoted strings
// '%', '"', '[', ']', control characters and DEL are written %HH, a lone surrogate %uHHHH, and in
// key names a backslash %5C; every other character is itself (UTF-8 in a record).
inline constexpr char16_t KEY_CONTENTS_PREFIX[] = u"KEY:";

// Whether a value's data is known only in part (its text was cut).
using RegValueCutFn = std::function<bool(const CWineRegKey& key, const SWineRegValue& value)>;

// The text for key, or the "too big" form when the listing would take more than nMaxBytes
// bytes of UTF-8.
QString RegKeyContentsText(const CWineRegKey& key, qsizetype nMaxBytes,
                           const RegValueCutFn& fnCut = {});

struct SRegKeyContents {
    enum EState {
        NOT_GIVEN, // the text is not a key listing (an empty old value, say)
        LISTED,    // m_pKey holds the values and subkeys
        TOO_BIG,   // the key held m_nValues values in m_nKeys keys, not listed
        DAMAGED,   // it starts like a listing but cannot be read; m_strWhy says where
    };
    EState m_eState = NOT_GIVEN;
    std::unique_ptr<CWineRegKey> m_pKey;
    // Values whose data was listed as "..." (they are in m_pKey with empty data).
    std::vector<std::pair<const CWineRegKey*, QString>> m_arCut;
    qsizetype m_nValues = 0;
    qsizetype m_nKeys = 0;
    QString m_strWhy;

    bool IsCut(const CWineRegKey& key, QStringView name) const;
};

SRegKeyContents ParseRegKeyContents(QStringView text);
